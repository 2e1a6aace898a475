/* use_twlib.c - a C program built against an installed twlib. */
#include <stdio.h>
#include <string.h>

#include "tslib/tslib.h"
#include "twlib/twlib.h"

int main(void)
{
    char *s = twStrCpy("menu");
    twSymTable *t = twSymCreate(7, twSymStHash, twSymStEqu, twSymStCpy, twSymStFree);
    twSymStore(t, s, (void *)1);
    char dir[TS_PATH_SIZE], base[TS_PATH_SIZE], ext[TS_PATH_SIZE];
    int parsed = tsParse("/a/b/menus.def", NULL, dir, base, ext);
    printf("c: %s %ld %d %s %s %s\n", s, (long)(intptr_t)twSymFetch(t, "menu"), parsed, dir, base, ext);
    twSymDestroy(t, NULL);
    twStrFree(s);
    twGoodbye();
}
