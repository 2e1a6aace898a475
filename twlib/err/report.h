/* report.h - the single road by which an error leaves the program.
 *
 * Severities: 0 Error, 1 Status, 2 Note, 3 Warning, 4 Fatal, 5 Internal
 * Error, 6 Disabled. Fatal and Internal Error reports end the process.
 */
#ifndef TWLIB_ERR_REPORT_H
#define TWLIB_ERR_REPORT_H

#ifdef __cplusplus
extern "C" {
#endif

enum {
    TW_SEV_ERROR = 0, TW_SEV_STATUS = 1, TW_SEV_NOTE = 2, TW_SEV_WARNING = 3,
    TW_SEV_FATAL = 4, TW_SEV_INTERNAL = 5, TW_SEV_DISABLED = 6
};

/* Reports an error without location and number: printed on standard error
 * in verbose form; Fatal and Internal Error end the process through twAbort
 * (with a core image for Internal Error). */
void twErrReport2(const char *app, int severity, const char *text);

#ifdef __cplusplus
}
#endif

#endif
