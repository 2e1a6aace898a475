/* except.h - exceptions: raising an error that the caller cannot handle.
 *
 * A raised exception carries a tag (a single bit: 0x1 a broken
 * precondition, 0x2 a failed operation, ...) and an error built from a
 * numbered message. With no catch frame to accept it, the exception runs
 * the cleanup procedure, is reported on standard error and ends the process
 * with exit status 3.
 *
 * This is the first stage of the module: there are no catch frames yet, so
 * every exception takes the uncaught path.
 */
#ifndef TWLIB_ERR_EXCEPT_H
#define TWLIB_ERR_EXCEPT_H

#include <stdint.h>

#include "twlib/core/mem.h"
#include "twlib/err/msgfile.h"

#ifdef __cplusplus
extern "C" {
#endif

enum { TW_EX_PRECOND = 0x1, TW_EX_POSTCOND = 0x2 };

/* The tag of the last exception; 0 before any. */
extern uint32_t twExTagV;

/* Builds the error from message 'number' of 'file' formatted with the
 * arguments (location may be null) and throws it with 'tag'. */
TW_NORETURN void twExThrowBuild(uint32_t tag, const char *location, twMsgFileHandle *file,
                                int number, ...);

#ifdef __cplusplus
}
#endif

#endif
