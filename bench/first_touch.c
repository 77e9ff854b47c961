/* What the first write to a fresh page of memory costs on this machine, against a
 * second write to the same pages: the price of every page a run touches.
 *
 *   brimlet_first_touch [PAGES]      (PAGES defaults to 256)
 *
 * Prints the median over 21 fresh mappings, in microseconds per 4 KiB page. */

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <time.h>

enum { trials = 21 };

static double microseconds(struct timespec a, struct timespec b)
{
    return (b.tv_sec - a.tv_sec) * 1e6 + (b.tv_nsec - a.tv_nsec) / 1e3;
}

static int compare(const void* a, const void* b)
{
    double x = *(const double*)a, y = *(const double*)b;
    return (x > y) - (x < y);
}

int main(int argc, char** argv)
{
    const size_t pages = argc > 1 ? strtoul(argv[1], NULL, 10) : 256;
    const size_t size = pages * 4096;
    double first[trials], second[trials];
    for (int t = 0; t < trials; ++t) {
        char* memory = mmap(NULL, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (memory == MAP_FAILED) {
            perror("mmap");
            return 1;
        }
        struct timespec a, b, c;
        clock_gettime(CLOCK_MONOTONIC, &a);
        memset(memory, 1, size);
        clock_gettime(CLOCK_MONOTONIC, &b);
        memset(memory, 2, size);
        clock_gettime(CLOCK_MONOTONIC, &c);
        first[t] = microseconds(a, b) / pages;
        second[t] = microseconds(b, c) / pages;
        munmap(memory, size);
    }
    qsort(first, trials, sizeof *first, compare);
    qsort(second, trials, sizeof *second, compare);
    printf("first write to a fresh page %.2f us, a second write %.3f us (medians over %d x %zu pages)\n",
           first[trials / 2], second[trials / 2], trials, pages);
    return 0;
}
