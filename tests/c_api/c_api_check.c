/* c_api_check.c - a plain C program that includes both umbrella headers and
 * links the library: the exported interface must stay C. */
#include <stdio.h>
#include <string.h>

#include "twlib/twlib.h"
#include "tslib/tslib.h"

int main(void)
{
    char *s = twStrCpy("menu");
    void *block = twMemMalloc(16, "c api check");
    int ok = twStrEqu(s, "menu") && block != NULL;
    twMemFree(block);
    twStrFree(s);
    if (!ok) {
        fprintf(stderr, "c api check failed\n");
        return 1;
    }
    puts("1 passed, 0 failed");
    twGoodbye();
}
