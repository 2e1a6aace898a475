/* error.h - error records: who raised a failure, how bad it is and what it
 * says.
 *
 * An error is a chain of records through 'next': the head is the error
 * itself, the records behind it are context that travelled with it (an
 * exception pending when it was raised, a message-file problem met while
 * building it, the lines that followed it in an error file). Records are
 * reference counted one by one: twErrCopy and twErrDestroy raise and lower
 * the count of every record of a chain, and a record goes when its count
 * reaches zero. Every string field is a private pool copy.
 *
 * Severities: 0 Error, 1 Status, 2 Note, 3 Warning, 4 Fatal, 5 Internal
 * Error, 6 Disabled. The order of the codes is not the order of badness.
 * An unknown code prints as "Error" and letter E; an unknown name or letter
 * reads as 0.
 */
#ifndef TWLIB_ERR_ERROR_H
#define TWLIB_ERR_ERROR_H

#include <stdarg.h>
#include <stdio.h>

#include "twlib/core/base.h"

#ifdef __cplusplus
extern "C" {
#endif

enum {
    TW_SEV_ERROR = 0,
    TW_SEV_STATUS = 1,
    TW_SEV_NOTE = 2,
    TW_SEV_WARNING = 3,
    TW_SEV_FATAL = 4,
    TW_SEV_INTERNAL = 5,
    TW_SEV_DISABLED = 6
};
enum { TW_SEV_COUNT = 7 };

/* Output contexts, the index of twErrStyleV (report.h). */
enum {
    TW_ERR_CNTX_STDERR = 0,
    TW_ERR_CNTX_STATUSLINE = 1,
    TW_ERR_CNTX_ALERTBOX = 2,
    TW_ERR_CNTX_LOGFILE = 3
};
/* Text styles. */
enum { TW_ERR_TERSE = 0, TW_ERR_VERBOSE = 1 };

/* One record of an error chain (a free-list piece tagged "errorObject").
 * Read it through the accessors; change it only through the operations
 * below. */
typedef struct twErr {
    char *app;          /* pool string or null: application or library name */
    char *location;     /* pool string or null: where it happened */
    char *text;         /* pool string or null: the message text */
    struct twErr *next; /* next record of the chain, or null */
    int32_t number;     /* message number; 0 when none */
    int32_t severity;   /* TW_SEV_* */
    int32_t refCount;   /* holders of this record; 1 at creation */
} twErr;

/* A message file, opened and read by the message-file module above this
 * layer; here it is only passed along. */
typedef struct twMsgFileHandle twMsgFileHandle;

/* ---- creation and access ---- */

/* A new record holding pool copies of the three strings (a null leaves the
 * field null), 'next' null, count 1; owned by the caller (twErrDestroy).
 * Never returns null. */
twErr *twErrCreate(const char *location, const char *app, int number, int severity, const char *text);
/* twErrCreate without location and with number 0. */
twErr *twErrCreate2(const char *app, int severity, const char *text);

/* The head record's fields; the strings stay owned by the record. A null
 * error has null strings, number 0 and severity Error. */
const char *twErrApp(const twErr *error);
const char *twErrLocation(const twErr *error);
const char *twErrText(const twErr *error);
int twErrNum(const twErr *error);
int twErrSeverity(const twErr *error);

/* Links the chain 'more' behind the last record of 'error' and returns
 * 'error'; the chain takes over the caller's reference to 'more'. A null
 * 'more' changes nothing; a null 'error' raises TW_EX_PRECOND. A 'more'
 * that shares records with 'error' (the chain itself, a part of it, a chain
 * that holds it) is refused and nothing changes, the caller keeping its
 * reference: linking it would make a loop. */
twErr *twErrAppend(twErr *error, twErr *more);
/* Replaces the head record's text by the old text, a newline and 'text'
 * (just 'text' when it had none); a null 'text' changes nothing. A null
 * 'error' raises TW_EX_PRECOND. */
void twErrAppendText(twErr *error, const char *text);

/* Calls fn(record, data) for each record of the chain, head first; returns
 * 0 at the first call that returns 0, else 1 (also for a null chain). The
 * function must not destroy records of the chain. */
typedef int (*twErrLoopFn)(twErr *record, void *data);
typedef int (*twErrLoop2Fn)(twErr *record, void *data1, void *data2);
int twErrLoop(twErr *error, twErrLoopFn fn, void *data);
int twErrLoop2(twErr *error, twErrLoop2Fn fn, void *data1, void *data2);

/* Raises the count of every record of the chain by one and returns the
 * chain (null for null): the caller then holds a reference of its own. */
twErr *twErrCopy(twErr *error);
/* Lowers the count of every record of the chain by one and frees each
 * record whose count reaches zero. Null is ignored. */
void twErrDestroy(twErr *error);
/* Cuts *errorp before the first record after the head that is 'stop',
 * stores that record (null when 'stop' is not in the chain) in *errorp and
 * destroys the cut-off front part (the head always goes). A null *errorp
 * is left alone. */
void twErrDestroyTop(twErr **errorp, twErr *stop);

/* ---- building from message files ---- */

/* A new error from message 'number' of 'file' formatted with the
 * arguments: app is the file's name, location a copy of 'location' (may be
 * null), severity from the message's leading "[X]". A malformed message
 * gives an error about the message (1101, 1104, 1107 of the library's own
 * file) with the error as first built behind it. A message file or message
 * that cannot be found ends in the exception the message-file module raises
 * for it. Owned by the caller. */
twErr *twErrBuildVa(const char *location, twMsgFileHandle *file, int number, va_list ap);
twErr *twErrBuild(const char *location, twMsgFileHandle *file, int number, ...);

/* Where the records get message texts: the message-file module sits above
 * this layer, so the library's wiring installs these calls when it is
 * loaded. 'text' returns message 'number' of 'file' formatted with the
 * arguments, in a buffer valid until its next call (it may raise for a
 * file or message that cannot be found); 'name' returns the file's name
 * (null for a handle that is not open); 'library' returns the handle of the
 * library's own message file "twlib". Without them (null, the default) a
 * message reads "message <number>", its file has no name and the library
 * file is null. The table must outlive its use. Returns the previous
 * table. */
typedef struct twErrMessageSource {
    const char *(*text)(twMsgFileHandle *file, int number, va_list ap);
    const char *(*name)(twMsgFileHandle *file);
    twMsgFileHandle *(*library)(void);
} twErrMessageSource;
const twErrMessageSource *twErr_SetMessageSource(const twErrMessageSource *source);

/* ---- text forms ---- */

/* The whole chain as text in 'style' (TW_ERR_VERBOSE or TW_ERR_TERSE; any
 * other value reads as verbose): one line per record, the lines after the
 * first beginning with "+". The text lives in twStrCat's static buffers and
 * stays valid until the next concatenation. A null chain gives "". */
const char *twErr_String(const twErr *error, int style);
/* twErr_String in the style twErrStyleV holds for 'context' (0-3; other
 * contexts use verbose). */
const char *twErrString(const twErr *error, int context);
/* A pool copy of twErrString's text, owned by the caller (twStrFree). */
char *twErrStringAlloc(const twErr *error, int context);

/* ---- severities ---- */

/* "Error", "Status", "Note", "Warning", "Fatal", "Internal Error",
 * "Disabled"; "Error" for an unknown code. Static text. */
const char *twErrSeverityToString(int severity);
/* The code of a name of twErrSeverityToString or twErrSevTS ("Internal"),
 * compared without regard to case; 0 for an unknown or null name. */
int twErrStringToSeverity(const char *name);
/* E, S, I, W, F, Z, D; E for an unknown code. */
char twErrSeverityToChar(int severity);
/* The code of a letter, compared in upper case; 0 for an unknown one. */
int twErrCharToSeverity(int letter);

/* ---- reading text back ---- */

/* A new error parsed from one line in verbose form ("app: Severity N:
 * location: text", a leading "+" on app dropped), owned by the caller; null
 * for a null or blank line, fewer than three fields or an empty severity
 * field. */
twErr *twErrCreateFromString(const char *line);

/* Reads 'stream' (a text file of errors in verbose form, such as an error
 * log; either line end) to its end and hands each error chain it assembles
 * to fn(chain, data); the chain then belongs to fn. Lines that begin with
 * blanks and a colon continue the text of the last record; lines that begin
 * with "+" add a record to the current chain; other lines end the current
 * chain and are skipped. The function may raise: what the read holds is
 * released on the way. It may read another error file. Returns 1, or 0 as
 * soon as fn returns 0 (reading stops there). A null stream or function
 * raises TW_EX_PRECOND. */
typedef int (*twErrChainFn)(twErr *chain, void *data);
int twErrReadErrorFile(FILE *stream, twErrChainFn fn, void *data);

#ifdef __cplusplus
}
#endif

#endif
