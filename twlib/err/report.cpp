/* report.cpp - the single road by which an error leaves the program.
 *
 * An error is printed in its verbose text form on standard error; Fatal and
 * Internal Error reports end the process.
 */
#include "twlib/err/report.h"

#include <cstdio>

#include "twlib/core/exit.h"

static const char *severityName(int severity)
{
    static const char *const names[] = {"Error", "Status", "Note", "Warning",
                                        "Fatal", "Internal Error", "Disabled"};
    return (severity >= 0 && severity <= 6) ? names[severity] : names[0];
}

void twErrReport2(const char *app, int severity, const char *text)
{
    if (severity == TW_SEV_DISABLED) return;
    const char *form = (severity == TW_SEV_FATAL || severity == TW_SEV_INTERNAL)
                           ? "\n*** Fatal error encountered ***\n%s: %s: %s\n"
                           : "%s: %s: %s\n";
    fprintf(stderr, form, app ? app : "", severityName(severity), text ? text : "");
    fflush(stderr);
    if (severity == TW_SEV_FATAL || severity == TW_SEV_INTERNAL)
        twAbort(severity == TW_SEV_INTERNAL);
}
