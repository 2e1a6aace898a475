/* except.cpp - exceptions: raising an error that the caller cannot handle.
 *
 * No catch frame exists yet, so a raised exception always takes the
 * uncaught path: cleanup procedure, report on standard error, exit status 3.
 */
#include "twlib/err/except.h"

#include <cstdarg>
#include <cstdio>

#include "twlib/core/exit.h"
#include "twlib/err/report.h"

uint32_t twExTagV = 0;

void twExThrowBuild(uint32_t tag, const char *location, twMsgFileHandle *file, int number, ...)
{
    va_list ap;
    va_start(ap, number);
    const char *msg = twMsgStaticVa(file, number, ap);
    va_end(ap);
    twExTagV = tag;

    char text[1024];
    if (location && *location)
        std::snprintf(text, sizeof text, "%s: %s", location, msg);
    else
        std::snprintf(text, sizeof text, "%s", msg);
    const char *app = twMsgGetFilename(file);

    twCleanup();
    twErrReport2(app ? app : "twlib", TW_SEV_ERROR, text);
    twAbort(0);
}
