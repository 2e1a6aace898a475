/* errlog.h - error log files: every reported error, Status messages aside,
 * appended to a file named after the program.
 *
 * The log lives in the directory named by TW_LOGDIR (the current directory
 * when it is not set; read at every open of the log). With older logs kept
 * (keep above 0, the initial setting is 1) a program conv running as process
 * 4711 logs to conv-4711.err and keeps only the newest 'keep' logs of its
 * earlier runs; with keep 0 every run of it appends to conv.err. The file
 * is made on the first error actually written: a run that logs nothing
 * leaves nothing behind.
 *
 * Problems of the log itself are Warnings of app "twErrLog", number 1120,
 * put out through twErrOut; errors numbered 1120 are never logged, so a
 * failing log cannot feed itself. No call here raises: a log that cannot be
 * made, opened or written costs the log line, never the report.
 */
#ifndef TWLIB_ERR_ERRLOG_H
#define TWLIB_ERR_ERRLOG_H

#include "twlib/err/error.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The number of the log's own warnings. */
enum { TW_ERRLOG_WARNING = 1120 };

/* Takes a copy of the program's path for the log's name (twErrInit passes
 * its first argument). Null leaves the name as it is ("unknown" at first).
 * A log already opened keeps its name until it is closed. */
void twErrLogSetArgv0(const char *argv0);

/* Sets how many logs of earlier runs to keep; 0 or less means one log per
 * program, appended to by every run. Takes effect at the next open. */
void twErrLogKeepFiles(int count);

/* Turns logging on (non-zero) or off. Nothing happens when the setting does
 * not change, except at the first call. Turning it on opens the log
 * (twErrLogOpenFile); turning it off closes the file, and the name is made
 * again at the next open. */
void twErrLogEnable(int flag);
/* 1 when logging is on (the initial setting), else 0. */
int twErrLogIsEnabled(void);

/* Makes the log's name and tries the file: acts only when logging is on and
 * the log was not opened yet, or when it was opened and could not be used.
 * With older logs kept it prunes them first (twErrSaveOnlyNewestFiles). A
 * name that cannot be made falls back to <program>.err, then unknown.err in
 * the log directory, then unknown.err in the current one, with a warning.
 * A file that cannot be opened gives the warning "Can't open error log file
 * `<name>', logging disabled." and turns the log off until a later open
 * succeeds. The first successful open of a process removes the file again
 * when it is empty; a log that already holds lines (of earlier runs) is
 * kept as it is. */
void twErrLogOpenFile(void);
/* Closes the file if it is open; the name is made again at the next open. */
void twErrLogCloseFile(void);

/* Appends the error chain's text form in the log-file context (verbose by
 * default) and a newline to the log and flushes it; opens the log first
 * when it was not opened. Skips null errors, Status errors and errors
 * numbered 1120, and does nothing while logging is off or unusable. The
 * file stays open. A file that cannot be opened again gives the warning
 * "Can't re-open error log file `<name>'." and one that cannot be written
 * "Can't write error log file `<name>'.", and the error is not logged. The
 * error stays the caller's. */
void twErrLog(twErr *error);

/* Deletes every plain file that matches 'pattern' (a path whose file part
 * may hold the wildcards "*" and "?"; relative to the default directory)
 * except the 'count' newest by modification time (all of them when count is
 * 0 or less). Files of the same time go by name, the greater name counting
 * as newer. Returns the number of matching files found, deleted or not (0
 * for a null pattern or a directory that cannot be read). */
int twErrSaveOnlyNewestFiles(const char *pattern, int count);

/* Where the log finds how many older logs to keep when twErrLogKeepFiles
 * was never called (the preference "keep_logfiles" once preferences can
 * answer). Read at every open. Null, the default, keeps 1. Returns the
 * previous reader. */
typedef int (*twErrLogKeepFn)(void);
twErrLogKeepFn twErrLog_SetKeepReader(twErrLogKeepFn reader);

#ifdef __cplusplus
}
#endif

#endif
