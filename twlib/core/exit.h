/* exit.h - exit handlers, cleanup procedure and disorderly end.
 *
 * Exit handlers give memory back before the leak reports run, so they are
 * recorded only while a memory check is under way (TW_MEMDBG or TW_PURIFY
 * set at the first registration); otherwise registration does nothing.
 */
#ifndef TWLIB_CORE_EXIT_H
#define TWLIB_CORE_EXIT_H

#include "twlib/core/mem.h"

#ifdef __cplusplus
extern "C" {
#endif

/* An exit handler takes one word. Functions of another signature that take
 * one pointer-sized argument (twMemFree, twStrBufDestroy) are registered
 * through a cast; handlers added with twOnExitAdd2 are called without one. */
typedef void (*twExitFn)(void *arg);

/* The cleanup procedure, called at most once per process; initially twDummyProc. */
extern twProc twCleanupProcV;

/* Registers fn(arg) to run at the orderly end (twExit, twGoodbye) or at
 * twOnExitCall; a pair registered twice runs once, with the later
 * registration's form. Does nothing unless a memory check is under way. */
void twOnExitAdd(twExitFn fn, void *arg);
/* Registers fn() (no argument; the pair (fn, null)). */
void twOnExitAdd2(twExitFn fn);
/* Removes the pair, if registered; a handler removed by another handler of
 * the run under way is not called. */
void twOnExitRemove(twExitFn fn, void *arg);
void twOnExitRemove2(twExitFn fn);
/* Run order of every handler with that function, whether recorded or not;
 * default 0, smaller first; handlers of equal order run in the order of
 * the handler table's walk. */
void twOnExitSetOrder(twExitFn fn, int order);
/* Runs all handlers now and discards the handlers and the orders; the
 * process goes on and later registrations start afresh. A handler may end
 * the process (the run is not started again); handlers added during the
 * run are dropped without being called. A handler that raises ends the
 * run: the handlers not yet called stay registered, with their orders, for
 * a later run; the others are discarded. */
void twOnExitCall(void);

/* Orderly ends: handlers, string pool and list pools, memory reports, exit. */
TW_NORETURN void twExit(int status);
TW_NORETURN void twGoodbye(void);

/* Calls the cleanup procedure unless it was called before (by this, by
 * twAbort or by the out-of-memory report). */
void twCleanup(void);
/* Adds a fatal handler; twAbort calls them newest first. */
void twAbortAddHandler(twProc handler);
/* Disorderly end: cleanup, fatal handlers, then a core image (flag set) or
 * exit status 3. */
TW_NORETURN void twAbort(int coreDump);

/* Steps of the orderly end that belong to higher layers, run in this order
 * after the exit handlers and before the memory reports: the string pool
 * releases its blocks, then the cursor-list pools release theirs. The
 * modules install them when the library is loaded; a step left null is
 * skipped. */
typedef void (*twTeardownFn)(void);
enum { TW_TEARDOWN_STRINGS = 0, TW_TEARDOWN_LISTS = 1, TW_TEARDOWN_COUNT = 2 };
void twExit_SetTeardown(int step, twTeardownFn fn);
/* What twAbort(1) calls to leave a core image (the file-system library's
 * tsCoreDump); without it, or should it return, the platform's abort. */
void twExit_SetCoreDump(twTeardownFn fn);

#ifdef __cplusplus
}
#endif

#endif
