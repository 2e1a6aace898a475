/* except.cpp - exceptions: the frame stack, the pending error and the
 * throw.
 *
 * A throw walks the frames from the top, taking each off the stack, and
 * jumps (siglongjmp, restoring the signal mask saved at the push) to the
 * first that accepts the tag. No C++ object with a non-trivial destructor
 * lives in any function of this file, so the jump skips nothing here; the
 * callers' side of that rule is stated in except.h.
 *
 * Misuse of the protocol is caught rather than followed into a jump to a
 * dead stack frame: each pushed frame holds the stack depth of its push and
 * a check word (its own address mixed with a constant) that is cleared when
 * it leaves the stack and that a later call would overwrite. A frame found
 * deeper than the code looking at it, or with a wrong check word, belongs
 * to a region left without its end.
 */
#include "twlib/err/except.h"

#include <cstdarg>
#include <cstdio>

#include "twlib/core/exit.h"
#include "twlib/core/fault.h"
#include "twlib/err/error.h"
#include "twlib/err/report.h"
#include "twlib/err/signal.h"
#include "twlib/text/sprintf.h"

twExFrame *twEx_StackV = nullptr;
twErr *twExErrV = nullptr;
uint32_t twExTagV = 0;

namespace {

constexpr uintptr_t kFrameCheck = 0x5a3c96e1u;

const twExMessageSource *messageSource;

// Set while an uncaught exception is being reported: a raise on that path
// must not start the report again.
bool endingUncaught;

struct TagName {
    uint32_t tag;
    const char *name;
};

const TagName kTagNames[] = {
    {TW_EX_PRECOND, "subroutine pre-condition not met"},
    {TW_EX_POSTCOND, "subroutine failed to fulfill contract"},
    {TW_EX_BUSERR, "bus error"},
    {TW_EX_SEGV, "segmentation violation"},
    {TW_EX_FPE, "floating point exception"},
    {TW_EX_USER1, "user-defined exception 1"},
    {TW_EX_USER2, "user-defined exception 2"},
    {TW_EX_USER3, "user-defined exception 3"},
    {TW_EX_USER4, "user-defined exception 4"},
    {TW_EX_USER5, "user-defined exception 5"},
    {TW_EX_USER6, "user-defined exception 6"},
    {TW_EX_USER7, "user-defined exception 7"},
    {TW_EX_USER8, "user-defined exception 8"},
};

// The stack depth of a call: the frame address of the called function,
// which is the caller's stack pointer at the call, less the return address
// and the saved frame pointer, whatever the callee's own frame holds. A
// frame pushed by code that is still running was pushed at this depth or
// further up (a higher address; the stack grows down).
#define TW_EX_CALL_DEPTH() reinterpret_cast<uintptr_t>(__builtin_frame_address(0))

bool frameIntact(const twExFrame *frame)
{
    return frame->check == (reinterpret_cast<uintptr_t>(frame) ^ kFrameCheck);
}

// A region was left by return or goto (or its frame was overwritten): the
// stack is emptied first, so that a raise from the cleanup procedure on the
// way out does not meet the frame again.
[[noreturn]] void staleFrame()
{
    twEx_StackV = nullptr;
    tw_AssertFail("except.cpp", __LINE__,
                  "catch frame of a region left without its end (return or goto out of TW_TRY)");
}

bool chainHolds(const twErr *chain, const twErr *record)
{
    for (; chain; chain = chain->next)
        if (chain == record) return true;
    return false;
}

// Step 2 of the throw: 'error' becomes the pending error, the chain pending
// before it going behind. The throw takes over the caller's reference;
// re-throwing the pending error itself hands over the variable's own. A
// chain that shares records with the pending one (either holds the other)
// is not appended, which would make a loop: the variable's reference is
// given back instead, as the report does.
void takePending(twErr *error)
{
    twErr *pending = twExErrV;
    twExErrV = error;
    if (!pending || pending == error) return;
    if (chainHolds(error, pending) || chainHolds(pending, error))
        twErrDestroy(pending);
    else
        twErrAppend(error, pending);
}

// Nothing accepts the exception: the orderly report, then the end.
[[noreturn]] void endUncaught()
{
    twEx_StackV = nullptr;
    if (endingUncaught) {
        // Raised while reporting an uncaught exception (by the cleanup
        // procedure, the log or the report itself): print what is known
        // without the reporting machinery and stop.
        for (const twErr *e = twExErrV; e; e = e->next)
            fprintf(stderr, "%s%s: %s: %s\n", e == twExErrV ? "" : "+", e->app ? e->app : "",
                    twErrSeverityToString(e->severity), e->text ? e->text : "");
        fflush(stderr);
        twAbort(0);
    }
    endingUncaught = true;
    twCleanup();
    twErrReport(nullptr, twExErrV);
    twAbort(0);
}

[[noreturn, gnu::noinline]] void throwError(uint32_t tag, twErr *error)
{
    if (!error)
        error = twErrCreate2("twlib", TW_SEV_ERROR, "an exception was thrown without an error");
    twExTagV = tag;
    takePending(error);

    uintptr_t here = TW_EX_CALL_DEPTH();
    for (twExFrame *frame = twEx_StackV; frame; frame = frame->previous) {
        if (!frameIntact(frame) || frame->depth < here) staleFrame();
        twEx_StackV = frame;
        if (frame->mask & tag) {
            twEx_StackV = frame->previous;
            frame->check = 0;
            // What the layers below the frames held across the raise.
            tw_UnwindTo(frame->unwind);
            twEx_LeavingSignal();
            siglongjmp(frame->context, 1);
        }
        frame->check = 0;
    }
    endUncaught();
}

// A variadic front for building a message without arguments.
twErr *buildPlain(twMsgFileHandle *file, int number, ...)
{
    va_list ap;
    va_start(ap, number);
    twErr *error = twErrBuildVa(nullptr, file, number, ap);
    va_end(ap);
    return error;
}

} // namespace

/* ------------------------------------------------------------------ */
/* Throwing                                                            */
/* ------------------------------------------------------------------ */

void twExThrow(uint32_t tag, twErr *error)
{
    throwError(tag, error);
}

void twExThrow2(uint32_t tag, const char *app, int severity, const char *text)
{
    throwError(tag, twErrCreate2(app, severity, text));
}

void twExThrowBuildVa(uint32_t tag, const char *location, twMsgFileHandle *file, int number,
                      va_list ap)
{
    throwError(tag, twErrBuildVa(location, file, number, ap));
}

void twExThrowBuild(uint32_t tag, const char *location, twMsgFileHandle *file, int number, ...)
{
    va_list ap;
    va_start(ap, number);
    twExThrowBuildVa(tag, location, file, number, ap);
}

void twEx_PreCond(const char *routine, twMsgFileHandle *file, int number, ...)
{
    va_list ap;
    va_start(ap, number);
    twExThrowBuildVa(TW_EX_PRECOND, twErrLocationRoutine(routine), file, number, ap);
}

void twEx_PostCond(const char *location, twMsgFileHandle *file, int number, ...)
{
    va_list ap;
    va_start(ap, number);
    twExThrowBuildVa(TW_EX_POSTCOND, location, file, number, ap);
}

void twExPrecond(int failed, twMsgFileHandle *file, int number, ...)
{
    if (!failed) return;
    if (!file) throwError(TW_EX_PRECOND, buildPlain(twEx_LibraryMessageFile("twlib"), 1155));
    va_list ap;
    va_start(ap, number);
    twExThrowBuildVa(TW_EX_PRECOND, nullptr, file, number, ap);
}

/* ------------------------------------------------------------------ */
/* Names and sources                                                   */
/* ------------------------------------------------------------------ */

const char *twExTagString(uint32_t tag)
{
    for (const TagName &t : kTagNames)
        if (t.tag == tag) return t.name;
    return twSprintfStatic("unknown exception type %ld", static_cast<long>(tag));
}

void twEx_SetMessageSource(const twExMessageSource *source)
{
    messageSource = source;
}

twMsgFileHandle *twEx_LibraryMessageFile(const char *catalogue)
{
    return messageSource && messageSource->library ? messageSource->library(catalogue) : nullptr;
}

/* ------------------------------------------------------------------ */
/* The catch protocol                                                  */
/* ------------------------------------------------------------------ */

[[gnu::noinline]] void twEx_Push(twExFrame *frame, uint32_t mask)
{
    uintptr_t here = TW_EX_CALL_DEPTH();
    // The top must be a frame of code that is still running: one pushed at
    // this depth or further up the stack.
    if (twEx_StackV && (!frameIntact(twEx_StackV) || twEx_StackV->depth < here)) staleFrame();
    frame->mask = mask;
    frame->previous = twEx_StackV;
    frame->pending = twExErrV;
    frame->depth = here;
    frame->check = reinterpret_cast<uintptr_t>(frame) ^ kFrameCheck;
    frame->unwind = tw_UnwindTop();
    twEx_StackV = frame;
}

void twEx_Pop(twExFrame *frame)
{
    // A region inside this one that was left without its end is still on
    // top.
    if (twEx_StackV != frame || !frameIntact(frame)) staleFrame();
    frame->check = 0;
    twEx_StackV = frame->previous;
}

void twEx_End(twExFrame *frame)
{
    if (twEx_StackV != frame->previous) staleFrame();
}

void twEx_LeftRegion(const char *source, int line)
{
    twEx_StackV = nullptr;
    tw_AssertFail(source, line, "TW_TRY region left by break or continue");
}

void twEx_Swallow(twExFrame *frame)
{
    if (twExErrV) twErrDestroyTop(&twExErrV, frame->pending);
    twExTagV = 0;
}
