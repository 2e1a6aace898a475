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

static const twExMessageSource *messageSource;

void twEx_SetMessageSource(const twExMessageSource *source)
{
    messageSource = source;
}

twMsgFileHandle *twEx_LibraryMessageFile(const char *catalogue)
{
    return messageSource ? messageSource->library(catalogue) : nullptr;
}

// The uncaught end of every exception.
TW_NORETURN static void endUncaught(const char *app, int severity, const char *text)
{
    twCleanup();
    twErrReport2(app, severity, text);
    twAbort(0);
}

void twExThrow2(uint32_t tag, const char *app, int severity, const char *text)
{
    twExTagV = tag;
    endUncaught(app, severity, text);
}

void twExThrowBuildVa(uint32_t tag, const char *location, twMsgFileHandle *file, int number,
                      va_list ap)
{
    char fallback[32];
    const char *msg;
    const char *app = nullptr;
    if (messageSource) {
        msg = messageSource->text(file, number, ap);
        app = messageSource->name(file);
    } else {
        snprintf(fallback, sizeof fallback, "message %d", number);
        msg = fallback;
    }
    twExTagV = tag;

    char text[1024];
    if (location && *location)
        std::snprintf(text, sizeof text, "%s: %s", location, msg);
    else
        std::snprintf(text, sizeof text, "%s", msg);
    endUncaught(app ? app : "twlib", TW_SEV_ERROR, text);
}

void twExThrowBuild(uint32_t tag, const char *location, twMsgFileHandle *file, int number, ...)
{
    va_list ap;
    va_start(ap, number);
    twExThrowBuildVa(tag, location, file, number, ap);
}
