/* except.h - exceptions: raising an error that the caller cannot handle,
 * catching it in an enclosing region, and hardware faults raised as
 * exceptions.
 *
 * A raised exception carries a tag (a single bit, TW_EX_* below) and an
 * error chain (twlib/err/error.h). The error becomes the pending error
 * twExErrV, with the chain that was pending before behind it, and control
 * goes to the innermost catch frame whose mask shares a bit with the tag;
 * frames passed over leave the stack. With no frame to accept it, the
 * exception empties the stack, runs the cleanup procedure, reports the
 * pending error (twErrReport) and ends the process with exit status 3.
 *
 * Catching (C and C++):
 *
 *     TW_TRY(TW_EX_POSTCOND) {
 *         file = openTheFile(name);       // may raise
 *         readAll(file);                  // may raise
 *     } TW_CATCH {
 *         // twExTagV and twExErrV describe the exception; the frame is
 *         // already off the stack. One of three endings:
 *         TW_EX_RETHROW();                // pass it on, or
 *         twExThrowBuild(TW_EX_POSTCOND, where, msgs, 1501);  // translate
 *                                         // (the caught error goes behind), or
 *         TW_EX_SWALLOW();                // handle: drop what this region
 *                                         // raised, keep older pending errors
 *     } TW_END_TRY;
 *
 * Rules of the region (between TW_TRY and TW_CATCH):
 *  - Leave it only by its end or by a raise. A break or continue that would
 *    leave it ends the process with an assertion failure on the spot. A
 *    return or goto out of it leaves its frame on the stack; the next
 *    TW_TRY, raise or TW_END_TRY that meets that frame finds it (the frame
 *    remembers the stack depth it was set up at and holds a check word that
 *    later calls overwrite) and ends the process the same way, instead of
 *    jumping into a stack frame that is gone. An enclosing region finds it
 *    at its end at the latest; at the outermost level a frame left by a
 *    function that was inlined into its caller and whose stack was not
 *    reused can go unnoticed.
 *  - No C++ object with a non-trivial destructor may live in the region or
 *    in any function between it and a raise: the jump back skips
 *    destructors. Keep such objects outside the region (declared before
 *    TW_TRY) or catch before them.
 *  - A local variable changed inside the region and read in the TW_CATCH
 *    part must be volatile (a sigsetjmp rule).
 * The TW_CATCH part is ordinary code: it may return, break, continue or
 * raise; the frame is off the stack by then. TW_TRY ... TW_END_TRY is one
 * statement. <setjmp.h> must declare sigsetjmp (POSIX; a strict C program
 * defines _POSIX_C_SOURCE).
 */
#ifndef TWLIB_ERR_EXCEPT_H
#define TWLIB_ERR_EXCEPT_H

#include <setjmp.h>
#include <stdarg.h>

/* Catch frames are POSIX signal jumps (sigjmp_buf, sigsetjmp), which strict
 * ISO C modes leave out of <setjmp.h>. */
#if !defined(__cplusplus) && !defined(_POSIX_C_SOURCE)
#error "twlib/err/except.h needs POSIX: compile C with -std=gnu11 (the default) or define _POSIX_C_SOURCE"
#endif

#include "twlib/core/base.h"

#ifdef __cplusplus
extern "C" {
#endif

/* An error chain (twlib/err/error.h) and a message file (twlib/err/msgfile.h),
 * passed along here. */
typedef struct twErr twErr;
typedef struct twMsgFileHandle twMsgFileHandle;

/* Tags. The library throws TW_EX_PRECOND when a caller broke a
 * precondition and TW_EX_POSTCOND when an operation failed. */
enum {
    TW_EX_PRECOND = 0x1,
    TW_EX_POSTCOND = 0x2,
    TW_EX_BUSERR = 0x40,
    TW_EX_SEGV = 0x80,
    TW_EX_FPE = 0x100,
    TW_EX_USER1 = 0x10000, TW_EX_USER2 = 0x20000, TW_EX_USER3 = 0x40000,
    TW_EX_USER4 = 0x80000, TW_EX_USER5 = 0x100000, TW_EX_USER6 = 0x200000,
    TW_EX_USER7 = 0x400000, TW_EX_USER8 = 0x800000
};
/* The mask of a frame that accepts every exception. */
#define TW_EX_ALL 0xffffffffu

/* A catch frame; lives in the stack frame of the code that protects a
 * region. Set up and taken down by the TW_TRY macros only. */
typedef struct twExFrame {
    uint32_t mask;              /* tags accepted */
    sigjmp_buf context;         /* where an accepted throw resumes */
    struct twExFrame *previous; /* the top when this frame was pushed */
    twErr *pending;             /* the pending error when it was pushed */
    uintptr_t depth;            /* stack depth at the push (misuse check) */
    uintptr_t check;            /* address ^ a constant while pushed */
    struct twUnwind *unwind;    /* the floor's newest unwind record at the push */
} twExFrame;

/* Top of the frame stack; null outside every region. */
extern twExFrame *twEx_StackV;
/* The pending error chain: the error of the last exception, until a
 * report, a swallowing handler or a new exception takes it. The variable
 * holds one reference to every record of the chain. */
extern twErr *twExErrV;
/* The tag of the last exception; 0 before any and after a swallow. */
extern uint32_t twExTagV;

/* ---- throwing (none of these returns) ---- */

/* Throws 'error' with 'tag'; the throw takes over the caller's reference
 * (re-throwing twExErrV itself hands over the variable's reference). A
 * chain pending at the time goes behind it, unless the two share records
 * (either holds the other; the error itself when re-thrown): then it is
 * not appended, which would make a loop, and the variable's reference is
 * given back. A null error throws an error saying that none was given. */
TW_NORETURN void twExThrow(uint32_t tag, twErr *error);
/* Throws a new error without location and number (twErrCreate). */
TW_NORETURN void twExThrow2(uint32_t tag, const char *app, int severity, const char *text);
/* Builds the error from message 'number' of 'file' formatted with the
 * arguments, at 'location' (may be null), and throws it. */
TW_NORETURN void twExThrowBuild(uint32_t tag, const char *location, twMsgFileHandle *file,
                                int number, ...);
TW_NORETURN void twExThrowBuildVa(uint32_t tag, const char *location, twMsgFileHandle *file,
                                  int number, va_list ap);
/* A broken precondition of 'routine': builds the error at the location
 * "in call to routine <routine>()" and throws it with TW_EX_PRECOND. */
TW_NORETURN void twEx_PreCond(const char *routine, twMsgFileHandle *file, int number, ...);
/* A failed operation: builds the error at 'location' (may be null) and
 * throws it with TW_EX_POSTCOND. */
TW_NORETURN void twEx_PostCond(const char *location, twMsgFileHandle *file, int number, ...);
/* Returns at once, looking at nothing else, when 'failed' is 0; otherwise
 * builds the error without location and throws it with TW_EX_PRECOND; a
 * null 'file' throws message 1155 of the library's own message file
 * instead. */
void twExPrecond(int failed, twMsgFileHandle *file, int number, ...);

/* ---- other operations ---- */

/* The tag's name ("bus error", "user-defined exception 1", ...). An
 * unknown tag gives "unknown exception type <tag>" in twSprintfStatic's
 * buffer, valid until that formatter's next call; the others are static
 * text. */
const char *twExTagString(uint32_t tag);

/* Signal set-up, once per process (later calls return at once): takes the
 * program name (file name of argv[0] without directory and extension,
 * empty when there is none) for the signal messages, reads the preference
 * "catch_signals" (default Yes) and, when Yes, turns floating-point
 * exceptions, bus errors and segmentation violations into exceptions of
 * the tags TW_EX_FPE, TW_EX_BUSERR and TW_EX_SEGV. A failed installation
 * prints "trSignal failed\n" and the others are still installed. Either
 * argument may be null. */
void twExInit(int *argc, char **argv);

/* The program name taken by twExInit ("" before). */
const char *twEx_ProgramName(void);

/* How twExInit reads "catch_signals" from the arguments: the preference
 * module installs this call when the library is loaded. It returns 1 for
 * Yes and 0 for No. Without it (null, the default) the preference keeps
 * its default, Yes. */
typedef int (*twExCatchSignalsFn)(int *argc, char **argv);
void twEx_SetCatchSignalsReader(twExCatchSignalsFn reader);

/* Where this layer finds the library's own message files: 'library'
 * returns the handle of the catalogue "twlib" or "tslib". The message-file
 * module installs it when the library is loaded; without it the handle is
 * null. The other two calls are kept for the wiring and are not used
 * here (the error records get message texts through their own source). */
typedef struct twExMessageSource {
    const char *(*text)(twMsgFileHandle *file, int number, va_list ap);
    const char *(*name)(twMsgFileHandle *file);
    twMsgFileHandle *(*library)(const char *catalogue);
} twExMessageSource;
void twEx_SetMessageSource(const twExMessageSource *source);
/* The handle of catalogue "twlib" or "tslib"; null without a source. */
twMsgFileHandle *twEx_LibraryMessageFile(const char *catalogue);

/* ---- the catch protocol (use the macros below) ---- */

/* Pushes 'frame' accepting 'mask', remembering the top and the pending
 * error. Ends the process with an assertion failure when the top is a
 * frame whose region was left without its end. */
void twEx_Push(twExFrame *frame, uint32_t mask);
/* The region ended normally: takes the frame off the stack. */
void twEx_Pop(twExFrame *frame);
/* After the region or its handler: the top goes back to what it was at
 * the push. */
void twEx_End(twExFrame *frame);
/* The region was left by break or continue: ends the process with an
 * assertion failure naming the place. */
TW_NORETURN void twEx_LeftRegion(const char *source, int line);
/* In a handler: drops the errors thrown since 'frame' was pushed
 * (twErrDestroyTop down to the error pending then, which stays pending)
 * and sets twExTagV to 0. */
void twEx_Swallow(twExFrame *frame);

#define TW_TRY(mask)                                                            \
    {                                                                           \
        twExFrame tw_exFrame_;                                                  \
        twEx_Push(&tw_exFrame_, (mask));                                        \
        if (sigsetjmp(tw_exFrame_.context, 1) == 0) {                           \
            int tw_exRun_ = 1;                                                  \
            for (; tw_exRun_ == 1; tw_exRun_ = (tw_exRun_ == 2) ? 0 : 3) {

#define TW_CATCH                                                                \
                tw_exRun_ = 2;                                                  \
            }                                                                   \
            if (tw_exRun_ != 0) twEx_LeftRegion(__FILE__, __LINE__);            \
            twEx_Pop(&tw_exFrame_);                                             \
        } else {

#define TW_END_TRY                                                              \
        }                                                                       \
        twEx_End(&tw_exFrame_);                                                 \
    }

/* In the TW_CATCH part: pass the exception on to the next outer frame. */
#define TW_EX_RETHROW() twExThrow(twExTagV, twExErrV)
/* In the TW_CATCH part: the exception is handled (see twEx_Swallow). */
#define TW_EX_SWALLOW() twEx_Swallow(&tw_exFrame_)

#ifdef __cplusplus
}
#endif

#endif
