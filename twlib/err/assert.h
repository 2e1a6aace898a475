/* assert.h - the library's assertions.
 *
 * A false condition runs the cleanup procedure, prints
 * "ASSERTION FAILED: <source>, line <line>: <message>\n" on standard error
 * and ends the process through twAbort(1), which leaves a core image.
 * Assertions bypass the error records, the log and the catch frames: they
 * are for faults of the program itself, never for bad input.
 *
 * The failure path is the floor's (tw_AssertFail, tw_AssertFailF in
 * twlib/core/fault.h), so that code below this layer (the 64-bit integers,
 * say) asserts through the same calls with the same output; these macros
 * add the condition test and the place. The source is the file's name
 * without its directory where the compiler offers it.
 *
 *     TW_ASSERT(base >= 2 && base <= 16, "base out of range");
 *     TW_ASSERTF(n >= 0, "negative count %d", n);
 */
#ifndef TWLIB_ERR_ASSERT_H
#define TWLIB_ERR_ASSERT_H

#include "twlib/core/fault.h"

#if defined(__FILE_NAME__)
#define TW_ASSERT_SOURCE __FILE_NAME__
#else
#define TW_ASSERT_SOURCE __FILE__
#endif

/* Ends the process with the fixed 'message' when 'cond' is false. */
#define TW_ASSERT(cond, message)                                                                             \
    do {                                                                                                     \
        if (!(cond)) tw_AssertFail(TW_ASSERT_SOURCE, __LINE__, (message));                                   \
    } while (0)

/* Ends the process with a message formatted from 'format' and the
 * arguments (the library's printf engine) when 'cond' is false. */
#define TW_ASSERTF(cond, ...)                                                                                \
    do {                                                                                                     \
        if (!(cond)) tw_AssertFailF(TW_ASSERT_SOURCE, __LINE__, __VA_ARGS__);                                \
    } while (0)

#endif
