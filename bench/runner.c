/* Times whole processes side by side and prints the table.
 *
 *   brimlet_bench_runner ROUNDS WARMUP SPEC [ADDRESS...]
 *
 * SPEC has one command per line, fields separated by tabs:
 *   label  floor-label  peer-label  folder  [NAME=VALUE...]  program  arguments...
 * floor-label and peer-label name the lines this one is compared with ("-" for none);
 * NAME=VALUE fields before the program are set in its environment.
 *
 * Every round runs every command once, each round starting one command further on,
 * so that all commands share the machine's conditions. Per run: wall time from
 * before fork to after wait4, CPU time (user + system), peak resident set size
 * (ru_maxrss) and minor page faults (ru_minflt) as wait4 reports them for the child.
 * The table gives medians.
 *
 * Before every run one UDP datagram goes to each IPv4 ADDRESS (the discard port), so
 * that the counters have moved and every run of the program has counts to save, as
 * on a machine with traffic; the floor saves whatever happens.
 *
 * A forked child starts out with the runner's anonymous pages, which the kernel counts
 * in the child's peak until it execs: the runner is linked statically and allocates
 * little, so that this stays far below what any measured program uses itself. */

#define _GNU_SOURCE
#include <errno.h>
#include <arpa/inet.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

enum { maxCommands = 32, maxArguments = 16 };

struct Command {
    char* label;
    char* floorLabel;
    char* peerLabel;
    char* folder;
    char* argv[maxArguments + 1];
    double* wall;  /* milliseconds */
    double* cpu;   /* milliseconds */
    double* rss;   /* KiB */
    double* faults; /* minor page faults */
    double wallMedian, cpuMedian, rssMedian, faultsMedian, wallLow, wallHigh;
};

static struct Command commands[maxCommands];
static int commandCount;

enum { maxNudges = 16 };
static struct sockaddr_in nudges[maxNudges];
static int nudgeCount;
static int nudgeSocket = -1;

static void nudge(void)
{
    for (int i = 0; i < nudgeCount; ++i)
        if (sendto(nudgeSocket, "nudge", 5, 0, (const struct sockaddr*)&nudges[i], sizeof nudges[i]) < 0) {
            perror("sendto");
            exit(1);
        }
}

static double milliseconds(struct timeval t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; }

static void readSpec(const char* path)
{
    FILE* plan = fopen(path, "r");
    if (!plan) {
        perror(path);
        exit(2);
    }
    char* line = NULL;
    size_t capacity = 0;
    while (getline(&line, &capacity, plan) > 0) {
        line[strcspn(line, "\n")] = '\0';
        if (line[0] == '\0' || line[0] == '#')
            continue;
        if (commandCount == maxCommands) {
            fprintf(stderr, "too many commands\n");
            exit(2);
        }
        struct Command* c = &commands[commandCount++];
        char* fields[maxArguments + 5];
        int n = 0;
        for (char* field = strtok(strdup(line), "\t"); field && n < maxArguments + 4; field = strtok(NULL, "\t"))
            fields[n++] = field;
        if (n < 5) {
            fprintf(stderr, "bad line: %s\n", line);
            exit(2);
        }
        c->label = fields[0];
        c->floorLabel = fields[1];
        c->peerLabel = fields[2];
        c->folder = fields[3];
        for (int i = 4; i < n; ++i)
            c->argv[i - 4] = fields[i];
    }
    free(line);
    fclose(plan);
}

/* Runs one command; returns its figures, or exits when it fails. */
static void runOnce(const struct Command* c, double* wall, double* cpu, double* rss, double* faults)
{
    struct timespec start, end;
    nudge();
    clock_gettime(CLOCK_MONOTONIC, &start);
    pid_t child = fork();
    if (child < 0) {
        perror("fork");
        exit(1);
    }
    if (child == 0) {
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        if (chdir(c->folder) != 0)
            _exit(126);
        char* const* argv = c->argv;
        for (; strchr(argv[0], '=') && !strchr(argv[0], '/'); ++argv)
            putenv(argv[0]);
        execv(argv[0], argv);
        _exit(127);
    }
    int status = 0;
    struct rusage usage;
    while (wait4(child, &status, 0, &usage) < 0) {
        if (errno != EINTR) {
            perror("wait4");
            exit(1);
        }
    }
    clock_gettime(CLOCK_MONOTONIC, &end);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        fprintf(stderr, "%s failed (status %d) in %s\n", c->label, status, c->folder);
        exit(1);
    }
    *wall = (end.tv_sec - start.tv_sec) * 1e3 + (end.tv_nsec - start.tv_nsec) / 1e6;
    *cpu = milliseconds(usage.ru_utime) + milliseconds(usage.ru_stime);
    *rss = (double)usage.ru_maxrss;
    *faults = (double)usage.ru_minflt;
}

static int compare(const void* a, const void* b)
{
    double x = *(const double*)a, y = *(const double*)b;
    return (x > y) - (x < y);
}

static double quantile(double* values, int n, double q)
{
    qsort(values, (size_t)n, sizeof *values, compare);
    double position = q * (n - 1);
    int below = (int)position;
    if (below + 1 >= n)
        return values[n - 1];
    return values[below] + (position - below) * (values[below + 1] - values[below]);
}

static const struct Command* find(const char* label)
{
    for (int i = 0; i < commandCount; ++i)
        if (strcmp(commands[i].label, label) == 0)
            return &commands[i];
    return NULL;
}

static void printRatios(double wall, double cpu, double rss, const struct Command* base)
{
    if (base)
        printf(" %.2f | %.2f | %.2f |", wall / base->wallMedian, cpu / base->cpuMedian, rss / base->rssMedian);
    else
        printf(" | | |");
}

int main(int argc, char** argv)
{
    if (argc < 4 || argc - 4 > maxNudges) {
        fprintf(stderr, "usage: %s ROUNDS WARMUP SPEC [ADDRESS...]\n", argv[0]);
        return 2;
    }
    for (int i = 4; i < argc; ++i) {
        struct sockaddr_in* to = &nudges[nudgeCount++];
        to->sin_family = AF_INET;
        to->sin_port = htons(9);
        if (inet_pton(AF_INET, argv[i], &to->sin_addr) != 1) {
            fprintf(stderr, "not an IPv4 address: %s\n", argv[i]);
            return 2;
        }
    }
    if (nudgeCount > 0 && (nudgeSocket = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) < 0) {
        perror("socket");
        return 1;
    }
    const int rounds = atoi(argv[1]);
    const int warmup = atoi(argv[2]);
    readSpec(argv[3]);
    if (rounds < 1 || commandCount == 0) {
        fprintf(stderr, "nothing to run\n");
        return 2;
    }
    for (int i = 0; i < commandCount; ++i) {
        commands[i].wall = calloc((size_t)rounds, sizeof(double));
        commands[i].cpu = calloc((size_t)rounds, sizeof(double));
        commands[i].rss = calloc((size_t)rounds, sizeof(double));
        commands[i].faults = calloc((size_t)rounds, sizeof(double));
    }

    for (int round = -warmup; round < rounds; ++round) {
        for (int k = 0; k < commandCount; ++k) {
            const int i = ((round % commandCount + commandCount) + k) % commandCount;
            double wall, cpu, rss, faults;
            runOnce(&commands[i], &wall, &cpu, &rss, &faults);
            if (round >= 0) {
                commands[i].wall[round] = wall;
                commands[i].cpu[round] = cpu;
                commands[i].rss[round] = rss;
                commands[i].faults[round] = faults;
            }
        }
    }

    for (int i = 0; i < commandCount; ++i) {
        struct Command* c = &commands[i];
        c->wallLow = quantile(c->wall, rounds, 0.1);
        c->wallHigh = quantile(c->wall, rounds, 0.9);
        c->wallMedian = quantile(c->wall, rounds, 0.5);
        c->cpuMedian = quantile(c->cpu, rounds, 0.5);
        c->rssMedian = quantile(c->rss, rounds, 0.5);
        c->faultsMedian = quantile(c->faults, rounds, 0.5);
    }

    printf("| command | wall median ms | wall p10-p90 ms | CPU median ms | peak RSS KiB | page faults |"
           " wall / floor | CPU / floor | RSS / floor | wall / vnStat | CPU / vnStat | RSS / vnStat |\n");
    printf("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    for (int i = 0; i < commandCount; ++i) {
        const struct Command* c = &commands[i];
        printf("| %s | %.2f | %.2f-%.2f | %.2f | %.0f | %.0f |", c->label, c->wallMedian, c->wallLow, c->wallHigh,
               c->cpuMedian, c->rssMedian, c->faultsMedian);
        printRatios(c->wallMedian, c->cpuMedian, c->rssMedian, find(c->floorLabel));
        printRatios(c->wallMedian, c->cpuMedian, c->rssMedian, find(c->peerLabel));
        printf("\n");
    }

    printf("\n%d interleaved rounds after %d warm-up rounds; medians per command.\n", rounds, warmup);
    return 0;
}
