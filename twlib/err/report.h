/* report.h - the single road by which an error leaves the program.
 *
 * Severities: 0 Error, 1 Status, 2 Note, 3 Warning, 4 Fatal, 5 Internal
 * Error, 6 Disabled. Fatal and Internal Error reports end the process.
 */
#ifndef TWLIB_ERR_REPORT_H
#define TWLIB_ERR_REPORT_H

#include "twlib/err/error.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Reports an error without location and number: printed on standard error
 * in verbose form; Fatal and Internal Error end the process through twAbort
 * (with a core image for Internal Error). */
void twErrReport2(const char *app, int severity, const char *text);

#ifdef __cplusplus
}
#endif

#endif
