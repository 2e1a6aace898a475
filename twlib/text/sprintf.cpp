/* sprintf.cpp - the library's printf engine.
 *
 * For now the conversions are the platform's own; the buffer contracts are
 * the library's: never past the caller's buffer, and the static result may
 * be an argument of the next call because the text is built in a work
 * buffer before it is copied out.
 */
#include "twlib/text/sprintf.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "twlib/core/mem.h"

int twSprintfVa(char *buf, int size, const char *fmt, va_list ap)
{
    if (!fmt || size <= 0) return -1;
    int n = vsnprintf(buf, (size_t)size, fmt, ap);
    return (n < 0 || n >= size) ? -1 : n;
}

int twSprintf(char *buf, int size, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    int n = twSprintfVa(buf, size, fmt, ap);
    va_end(ap);
    return n;
}

// The work buffer and the result buffer live for the whole process; they
// come from the raw layer so that they never show in the usage report.
static char *workBuf;
static size_t workSize;
static char *resultBuf;
static size_t resultSize;

char *twSprintfStaticVa(const char *fmt, va_list ap)
{
    if (!fmt) return nullptr;
    if (workSize < 512) {
        workBuf = static_cast<char *>(twMem_FastRealloc(workBuf, 512));
        workSize = 512;
    }
    for (;;) {
        va_list copy;
        va_copy(copy, ap);
        int n = vsnprintf(workBuf, workSize, fmt, copy);
        va_end(copy);
        if (n < 0) { workBuf[0] = '\0'; break; }
        if ((size_t)n < workSize) break;
        workSize = (size_t)n + 1;
        workBuf = static_cast<char *>(twMem_FastRealloc(workBuf, workSize));
    }
    if (resultSize < workSize) {
        resultBuf = static_cast<char *>(twMem_FastRealloc(resultBuf, workSize));
        resultSize = workSize;
    }
    strcpy(resultBuf, workBuf);
    return resultBuf;
}

char *twSprintfStatic(const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    char *s = twSprintfStaticVa(fmt, ap);
    va_end(ap);
    return s;
}
