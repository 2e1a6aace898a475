/* except.h - exceptions: raising an error that the caller cannot handle.
 *
 * A raised exception carries a tag (a single bit: 0x1 a broken
 * precondition, 0x2 a failed operation, ...) and an error, either plain text
 * or built from a numbered message of a message file. With no catch frame to
 * accept it, the exception runs the cleanup procedure, is reported on
 * standard error and ends the process with exit status 3.
 *
 * This is the first stage of the module: there are no catch frames yet, so
 * every exception takes the uncaught path.
 */
#ifndef TWLIB_ERR_EXCEPT_H
#define TWLIB_ERR_EXCEPT_H

#include <stdarg.h>

#include "twlib/core/base.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A message file, opened and read by the message-file module above this
 * layer; here it is only passed along. */
typedef struct twMsgFileHandle twMsgFileHandle;

enum { TW_EX_PRECOND = 0x1, TW_EX_POSTCOND = 0x2 };

/* The tag of the last exception; 0 before any. */
extern uint32_t twExTagV;

/* Throws an error without location and number made of 'text', reported
 * under 'app' with 'severity'. Does not return. */
TW_NORETURN void twExThrow2(uint32_t tag, const char *app, int severity, const char *text);

/* Builds the error from message 'number' of 'file' formatted with the
 * arguments (location may be null) and throws it with 'tag'. Does not
 * return. */
TW_NORETURN void twExThrowBuild(uint32_t tag, const char *location, twMsgFileHandle *file,
                                int number, ...);
TW_NORETURN void twExThrowBuildVa(uint32_t tag, const char *location, twMsgFileHandle *file,
                                  int number, va_list ap);

/* Where this layer gets message texts: the message-file module installs its
 * own calls when the library is loaded. 'text' returns message 'number' of
 * 'file' formatted with the arguments, in a buffer valid until its next
 * call; 'name' returns the file's name (null for a handle that is not
 * open); 'library' returns the handle of the library catalogue with that
 * name ("twlib" or "tslib"). Without them a message reads
 * "message <number>" and its file has no name. */
typedef struct twExMessageSource {
    const char *(*text)(twMsgFileHandle *file, int number, va_list ap);
    const char *(*name)(twMsgFileHandle *file);
    twMsgFileHandle *(*library)(const char *catalogue);
} twExMessageSource;
void twEx_SetMessageSource(const twExMessageSource *source);
/* The installed source's library call: the handle of catalogue "twlib" or
 * "tslib"; null when no source is installed. */
twMsgFileHandle *twEx_LibraryMessageFile(const char *catalogue);

#ifdef __cplusplus
}
#endif

#endif
