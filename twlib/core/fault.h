/* fault.h - how code below the error layer raises, reports, asserts and
 * formats.
 *
 * The floor of the library cannot know the error records, the exceptions or
 * the printf engine that sit above it, so it owns this narrow interface and
 * the layers above fill it in: the error layer installs its raise and report
 * calls, the text layer its formatter. Until they are installed (a program
 * that links none of them) the floor's own stand-ins are used: a raise or a
 * fatal report runs the cleanup procedure, prints the text on standard error
 * and ends the process through twAbort; formatting uses the platform's
 * vsnprintf.
 *
 * Modules at or above the error layer call that layer directly; these calls
 * are for the modules below it (core, text, containers, regexp, the 64-bit
 * integers).
 */
#ifndef TWLIB_CORE_FAULT_H
#define TWLIB_CORE_FAULT_H

#include <stdarg.h>

#include "twlib/core/base.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Raises an exception with 'tag' whose error is the plain text (no
 * location or number), as the error layer's twExThrow2 does. Never
 * returns: control goes to a catch frame or the process ends. */
TW_NORETURN void tw_RaiseText(uint32_t tag, const char *app, int severity, const char *text);

/* Raises an exception with 'tag' whose error is message 'number' of the
 * library catalogue named 'catalogue' ("twlib" or "tslib") formatted with
 * the arguments; 'routine' (may be null) gives the location
 * "in call to routine <routine>()". Never returns. */
TW_NORETURN void tw_RaiseBuild(uint32_t tag, const char *routine, const char *catalogue, int number, ...);
TW_NORETURN void tw_RaiseBuildVa(uint32_t tag, const char *routine, const char *catalogue, int number,
                                 va_list ap);

/* Reports an error without location and number, as twErrReport2 does:
 * severity 4 (Fatal) and 5 (Internal Error) end the process. */
void tw_Report(const char *app, int severity, const char *text);

/* Formats into buf (size bytes, always terminated when size > 0) and
 * returns the length the whole text needs, as vsnprintf does. */
int tw_FormatVa(char *buf, size_t size, const char *format, va_list ap);
int tw_Format(char *buf, size_t size, const char *format, ...) TW_PRINTF_LIKE(3, 4);

/* Assertion failure: runs the cleanup procedure, prints
 * "ASSERTION FAILED: <source>, line <line>: <text>\n" on standard error and
 * ends the process through twAbort(1). The F form prints the message made
 * from its own format and arguments instead of a fixed text. */
TW_NORETURN void tw_AssertFail(const char *source, int line, const char *text);
TW_NORETURN void tw_AssertFailF(const char *source, int line, const char *format, ...) TW_PRINTF_LIKE(3, 4);

/* Releases for regions below the error layer. Such a module cannot set a
 * catch frame, so where it holds something across a call that may raise (a
 * callback, a raising operation) it pushes an unwind record, living in its
 * own stack frame, and pops it when the region ends. An exception caught by
 * a frame pushed before the record calls release(arg) on its way there,
 * newest record first. A release must not raise and must not jump.
 *
 *     twUnwind u;
 *     tw_UnwindPush(&u, releaseScratch, scratch);
 *     callback(...);                 // may raise
 *     tw_UnwindPop(&u);
 *     releaseScratch(scratch);
 */
typedef struct twUnwind {
    struct twUnwind *previous;
    void (*release)(void *arg);
    void *arg;
} twUnwind;
void tw_UnwindPush(twUnwind *record, void (*release)(void *arg), void *arg);
/* Takes the record, and any record pushed after it and never popped, off
 * the stack without calling them. */
void tw_UnwindPop(twUnwind *record);
/* The newest record; null when there is none. */
twUnwind *tw_UnwindTop(void);
/* For the exception layer: calls and takes off every record newer than
 * 'mark' (a value of tw_UnwindTop), newest first. */
void tw_UnwindTo(twUnwind *mark);

/* The calls the layers above install. Each may be null (the stand-in is
 * then used again). The raise calls must not return. */
typedef void (*twRaiseTextFn)(uint32_t tag, const char *app, int severity, const char *text);
typedef void (*twRaiseBuildFn)(uint32_t tag, const char *routine, const char *catalogue, int number,
                               va_list ap);
typedef void (*twReportFn)(const char *app, int severity, const char *text);
typedef int (*twFormatFn)(char *buf, size_t size, const char *format, va_list ap);

void tw_SetRaiseHooks(twRaiseTextFn raiseText, twRaiseBuildFn raiseBuild);
void tw_SetReportHook(twReportFn report);
void tw_SetFormatHook(twFormatFn format);

#ifdef __cplusplus
}
#endif

#endif
