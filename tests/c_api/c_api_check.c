/* c_api_check.c - a plain C program that includes both umbrella headers and
 * links the library: the exported interface must stay C. It calls one
 * operation of each family, and catches an exception with the C catch
 * protocol. */
#include <stdio.h>
#include <string.h>

#include "twlib/twlib.h"
#include "tslib/tslib.h"

static int failures;

static void check(int ok, const char *what)
{
    if (!ok) {
        fprintf(stderr, "c api check failed: %s\n", what);
        ++failures;
    }
}

int main(void)
{
    char *s = twStrCpy("menu");
    void *block = twMemMalloc(16, "c api check");
    check(twStrEqu(s, "menu") && block != NULL, "pool strings and tagged blocks");
    twMemFree(block);
    twStrFree(s);

    char buf[32];
    twSprintf(buf, sizeof buf, "%s-%Ld", "n", (twInt64)-1234567890123LL);
    check(strcmp(buf, "n--1234567890123") == 0, "the printf engine with a 64-bit argument");

    twRegexpT *re = twRegexpCompile("^(a+)b$");
    twRegexpMatch m;
    check(twRegexpExec(re, &m, "aaab") == 1 && m.end[1] - m.start[1] == 3, "regular expressions");
    twRegexpDestroy(re);

    int caught = 0;
    TW_TRY(TW_EX_POSTCOND) {
        twRegexpCompile("a**");
    }
    TW_CATCH {
        caught = 1;
    }
    TW_END_TRY;
    check(caught, "an exception caught in C");

    char dir[TS_PATH_SIZE], base[TS_PATH_SIZE], ext[TS_PATH_SIZE];
    check(tsParse("/a/b/menus.def", NULL, dir, base, ext) == TS_OK && strcmp(base, "menus") == 0,
          "path names");

    if (failures) return 1;
    puts("1 passed, 0 failed");
    twGoodbye();
}
