/* fault.cpp - raising, reporting, asserting and formatting for the floor.
 *
 * Each call goes to the function the layer above installed, or to the
 * stand-in here. The stand-ins keep the observable end of each path: a raise
 * that nobody can catch and a fatal report both run the cleanup procedure,
 * print and end the process with status 3.
 */
#include "twlib/core/fault.h"

#include <cstdio>

#include "twlib/core/exit.h"

static twRaiseTextFn raiseTextHook;
static twRaiseBuildFn raiseBuildHook;
static twReportFn reportHook;
static twFormatFn formatHook;

void tw_SetRaiseHooks(twRaiseTextFn raiseText, twRaiseBuildFn raiseBuild)
{
    raiseTextHook = raiseText;
    raiseBuildHook = raiseBuild;
}

void tw_SetReportHook(twReportFn report)
{
    reportHook = report;
}

void tw_SetFormatHook(twFormatFn format)
{
    formatHook = format;
}

int tw_FormatVa(char *buf, size_t size, const char *format, va_list ap)
{
    if (formatHook) return formatHook(buf, size, format, ap);
    return vsnprintf(buf, size, format, ap);
}

int tw_Format(char *buf, size_t size, const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    int n = tw_FormatVa(buf, size, format, ap);
    va_end(ap);
    return n;
}

static const char *severityName(int severity)
{
    static const char *const names[] = {"Error", "Status",         "Note",    "Warning",
                                        "Fatal", "Internal Error", "Disabled"};
    return (severity >= 0 && severity <= 6) ? names[severity] : names[0];
}

// The error layer's print form for a report without location or number.
static void printReport(const char *app, int severity, const char *text)
{
    bool fatal = severity == 4 || severity == 5;
    fprintf(stderr, fatal ? "\n*** Fatal error encountered ***\n%s: %s: %s\n" : "%s: %s: %s\n",
            app ? app : "", severityName(severity), text ? text : "");
    fflush(stderr);
}

void tw_Report(const char *app, int severity, const char *text)
{
    if (reportHook) {
        reportHook(app, severity, text);
        return;
    }
    if (severity == 6) return;
    printReport(app, severity, text);
    if (severity == 4 || severity == 5) twAbort(severity == 5);
}

void tw_RaiseText(uint32_t tag, const char *app, int severity, const char *text)
{
    if (raiseTextHook) raiseTextHook(tag, app, severity, text);
    // Nothing can catch it: the uncaught end.
    twCleanup();
    printReport(app, severity, text);
    twAbort(0);
}

void tw_RaiseBuildVa(uint32_t tag, const char *routine, const char *catalogue, int number, va_list ap)
{
    if (raiseBuildHook) {
        va_list copy;
        va_copy(copy, ap);
        raiseBuildHook(tag, routine, catalogue, number, copy);
        va_end(copy);
    }
    char text[256];
    if (routine)
        snprintf(text, sizeof text, "in call to routine %s(): message %d of %s", routine, number,
                 catalogue ? catalogue : "twlib");
    else
        snprintf(text, sizeof text, "message %d of %s", number, catalogue ? catalogue : "twlib");
    twCleanup();
    printReport(catalogue ? catalogue : "twlib", 0, text);
    twAbort(0);
}

void tw_RaiseBuild(uint32_t tag, const char *routine, const char *catalogue, int number, ...)
{
    va_list ap;
    va_start(ap, number);
    tw_RaiseBuildVa(tag, routine, catalogue, number, ap);
}

void tw_AssertFail(const char *source, int line, const char *text)
{
    twCleanup();
    fprintf(stderr, "ASSERTION FAILED: %s, line %d: %s\n", source, line, text);
    fflush(stderr);
    twAbort(1);
}

void tw_AssertFailF(const char *source, int line, const char *format, ...)
{
    twCleanup();
    fprintf(stderr, "ASSERTION FAILED: %s, line %d: ", source, line);
    char text[1024];
    va_list ap;
    va_start(ap, format);
    tw_FormatVa(text, sizeof text, format, ap);
    va_end(ap);
    fprintf(stderr, "%s\n", text);
    fflush(stderr);
    twAbort(1);
}

/* ------------------------------------------------------------------ */
/* Unwind records                                                      */
/* ------------------------------------------------------------------ */

static twUnwind *unwindTop;

void tw_UnwindPush(twUnwind *record, void (*release)(void *arg), void *arg)
{
    record->previous = unwindTop;
    record->release = release;
    record->arg = arg;
    unwindTop = record;
}

void tw_UnwindPop(twUnwind *record)
{
    for (twUnwind *u = unwindTop; u; u = u->previous) {
        if (u == record) {
            unwindTop = record->previous;
            return;
        }
    }
}

twUnwind *tw_UnwindTop(void)
{
    return unwindTop;
}

void tw_UnwindTo(twUnwind *mark)
{
    // Each record comes off before its release runs, so a release that ends
    // the process or pushes records of its own sees a sound stack.
    while (unwindTop && unwindTop != mark) {
        twUnwind *u = unwindTop;
        unwindTop = u->previous;
        if (u->release) u->release(u->arg);
    }
}
