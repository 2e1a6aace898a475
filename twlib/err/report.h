/* report.h - the single road by which an error leaves the program.
 *
 * twErrOut hands an error to the replaceable output function
 * (twErrOutFuncV, twErrReport by default). twErrReport logs the error,
 * counts it in the caller's error stream, prints its verbose text form on
 * the error file and, for Fatal and Internal Error, ends the process. The
 * settings below are static data: reporting works before any
 * initialisation call.
 */
#ifndef TWLIB_ERR_REPORT_H
#define TWLIB_ERR_REPORT_H

#include <stdarg.h>
#include <stdio.h>

#include "twlib/err/error.h"

#ifdef __cplusplus
extern "C" {
#endif

/* An error stream (error streams module, above this layer); only passed
 * along here. */
typedef struct twErrStream twErrStream;
/* A preference database (preferences module, above this layer). */
typedef struct twPrefDB twPrefDB;

/* Output actions, the values of twErrActionV. */
enum { TW_ERR_ACTION_STATUSLINE = 0, TW_ERR_ACTION_ALERTBOX = 1, TW_ERR_ACTION_DISABLED = 2 };

/* ---- output settings ---- */

/* The output function of twErrOut: (stream or null, error). It takes over
 * the caller's reference to the error. Initially twErrReport; null counts
 * as twErrReport. */
typedef void (*twErrOutFn)(twErrStream *stream, twErr *error);
extern twErrOutFn twErrOutFuncV;
/* The file reports are printed on: standard error at first; null counts
 * as standard error. */
extern FILE *twErrFileV;
/* The text style (TW_ERR_TERSE, TW_ERR_VERBOSE) of each output context:
 * standard error, status line, alert box, log file. Initially verbose,
 * terse, terse, verbose. */
extern int twErrStyleV[4];
/* The action (TW_ERR_ACTION_*) of each severity, for output functions that
 * show errors in several places; twErrReport does not consult it.
 * Initially alert box for all seven. */
extern int twErrActionV[TW_SEV_COUNT];
/* The preference database "err" made by twErrInit; null before. */
extern twPrefDB *twErrPrefV;

/* ---- output through the replaceable function ---- */

/* Calls twErrOutFuncV(stream, error); the error is consumed. The output
 * function may raise; the exception goes on to the caller's frames. */
void twErrOut(twErrStream *stream, twErr *error);
/* Builds the error with twErrBuildVa (may raise as that does) and outputs
 * it. */
void twErrOutBuild(twErrStream *stream, const char *location, twMsgFileHandle *file, int number, ...);
void twErrOutBuildVa(twErrStream *stream, const char *location, twMsgFileHandle *file, int number,
                     va_list ap);
/* Creates an error without location and number and outputs it with no
 * stream. */
void twErrOut2(const char *app, int severity, const char *text);
/* The same with a location (may be null). */
void twErrOut3(const char *location, const char *app, int severity, const char *text);

/* ---- the default output function ---- */

/* Reports and consumes the error (null is ignored): a pending exception
 * error is put behind it and is no longer pending; the error is logged;
 * Fatal and Internal Error print
 * "\n*** Fatal error encountered ***\n<text>\n" on the error file and end
 * the process through twAbort (a core image for Internal Error, else exit
 * status 3); Disabled prints nothing and leaves the stream alone; any
 * other is counted in the stream (when given) and printed in context 0
 * followed by a newline. Printing errors are ignored. A raise from the
 * hooks releases the error and goes on. Reports made from within reports
 * past a fixed depth (an output function or a log that feeds itself) end
 * the process the same way as a Fatal report. */
void twErrReport(twErrStream *stream, twErr *error);
/* Builds with twErrBuildVa (may raise as that does), then as twErrReport. */
void twErrReportBuild(twErrStream *stream, const char *location, twMsgFileHandle *file, int number, ...);
void twErrReportBuildVa(twErrStream *stream, const char *location, twMsgFileHandle *file, int number,
                        va_list ap);
/* Creates an error with no location and number 0 and reports it with no
 * stream. */
void twErrReport2(const char *app, int severity, const char *text);
/* Prints the fatal form of the error and ends the process as a Fatal report
 * does (a core image when it is an Internal Error), whatever its severity;
 * does not log, count or destroy. Does not return. */
TW_NORETURN void twErrFatal(const twErr *error);
/* Prints the formatted text (the library's printf engine) on the error file
 * as it stands, no newline added, and flushes it. */
void twErrYell(const char *format, ...);

/* ---- what the report hands to the layers above ---- */

/* 'log' appends the error to the error log (it is called for every report;
 * it decides itself what it skips). 'count' adds the error to the stream,
 * taking a reference of its own, and clears the stream's alert. Either may
 * be null (the default): nothing is logged or counted. Either may report
 * (the log warns about itself) and may raise; the report then releases the
 * error and lets the exception go on. */
typedef void (*twErrLogHookFn)(twErr *error);
typedef void (*twErrCountHookFn)(twErrStream *stream, twErr *error);
twErrLogHookFn twErr_SetLogHook(twErrLogHookFn log);          /* returns the previous one */
twErrCountHookFn twErr_SetStreamHook(twErrCountHookFn count); /* returns the previous one */

/* ---- locations ----
 * Each returns one static 512-byte buffer, overwritten by the next call of
 * any of the four, or null where stated. */

/* "<file>, line <line>" when line > 0, else "<file>"; null for a null or
 * empty name. */
const char *twErrLocationLine(const char *file, int line);
/* "<file>"; null for a null or empty name. */
const char *twErrLocationFile(const char *file);
/* "<file>, line <line>, message <n>" / "<file>, message <n>" with a name,
 * "line <line>, message <n>" / "message <n>" without one; the line is shown
 * when it is 1 or more. Never null. */
const char *twErrLocationMessage(const char *file, int line, int number);
/* "in call to routine <routine>()"; null for a null or empty name. */
const char *twErrLocationRoutine(const char *routine);

/* ---- settings from preferences ---- */

/* Once per process (later calls return at once): takes the program name
 * for the error log (the first element of 'argv', when given), makes the
 * preference database "err" (twErrPrefV) with the preferences
 * action_status, action_note, action_warning, action_error, style_stderr,
 * style_statusLine, style_alertBox, stdout, logging and keep_logfiles, sets
 * them from the arguments (taking what it used out of the vector) and reads
 * them into the settings. A refused value raises the type's refusal.
 * 'argc' and 'argv' may be null. */
void twErrInit(int *argc, char **argv);
/* Reads the preferences into the settings: the actions of Status, Note,
 * Warning and Error, the styles of contexts 0 to 2, the error file
 * (standard output when "stdout" is On), then the log's count of old files
 * and last whether it logs. Nothing before twErrInit. */
void twErrGetPrefs(void);
/* Where twErrInit and twErrGetPrefs find the preferences (preference
 * module, above this layer): 'init' makes and fills the database, 'read'
 * reads it into the settings. Null: nothing is done. */
typedef void (*twErrPrefsInitFn)(int *argc, char **argv);
typedef void (*twErrPrefsReadFn)(void);
void twErr_SetPrefsHooks(twErrPrefsInitFn init, twErrPrefsReadFn read);
/* Where twErrInit passes the program name (the error log's
 * twErrLogSetArgv0, above this layer). Null: dropped. */
typedef void (*twErrArgv0HookFn)(const char *argv0);
twErrArgv0HookFn twErr_SetArgv0Hook(twErrArgv0HookFn fn); /* returns the previous one */

#ifdef __cplusplus
}
#endif

#endif
