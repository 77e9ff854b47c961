/* A C process that reads the number settings of the user's locale (LC_NUMERIC as the
 * environment names it), as every run does before it writes a number, and prints them.
 * Its cost beyond empty.c is that of the locale. */

#include <langinfo.h>
#include <locale.h>
#include <stdio.h>

int main(void)
{
    locale_t user = newlocale(LC_NUMERIC_MASK, "", (locale_t)0);
    if (!user) {
        printf("no such locale\n");
        return 1;
    }
    printf("decimal '%s', thousands '%s'\n", nl_langinfo_l(RADIXCHAR, user), nl_langinfo_l(THOUSEP, user));
    freelocale(user);
    return 0;
}
