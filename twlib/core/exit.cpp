/* exit.cpp - exit handlers, cleanup procedure and disorderly end.
 *
 * Exit handlers live in a hash table keyed by (function, argument), so a
 * pair is registered at most once and the later registration's flags win.
 * A second table maps a handler function to its run order. The run sorts
 * the handlers by order (smaller first; equal orders keep the table's walk
 * order) and calls them, then drops both tables.
 *
 * Handlers are recorded only when a memory check is under way (TW_MEMDBG or
 * TW_PURIFY set at the first registration or removal); otherwise they are
 * ignored, since their only purpose is to give memory back before the leak
 * reports run.
 */
#include "twlib/core/exit.h"

#include <climits>
#include <cstdio>
#include <cstdlib>

#include "tslib/fileops.h"
#include "twlib/containers/dlist.h"
#include "twlib/containers/list.h"
#include "twlib/containers/sym.h"
#include "twlib/text/str.h"

namespace {

constexpr uint32_t kHandlerChains = 401;
constexpr uint32_t kOrderChains = 29;
constexpr uintptr_t kHasArgument = 1;

// Key of the handler table. Only function and argument take part in hashing
// and equality; flags ride along.
struct ExitHandler {
    twExitFn fn;
    void *arg;
    uintptr_t flags;
};

// One handler of a run. It carries its own copy of the handler, so that the
// run never depends on the table's keys while handlers are being called.
struct RunNode {
    RunNode *next;
    ExitHandler handler;
    int32_t order;
    int cancelled;  // removed by an earlier handler of the same run
};

struct FatalNode {
    FatalNode *next;
    twProc proc;
};

} // namespace

twProc twCleanupProcV = twDummyProc;

static twSymTable *handlerTable;
static twSymTable *orderTable;
static bool recording;
static bool recordingRead;
static bool cleanupDone;
static bool aborting;
static FatalNode *fatalHandlers;  // newest first
static RunNode *runningList;      // handlers not yet called by the run under way

/* ------------------------------------------------------------------ */
/* Table callbacks                                                     */
/* ------------------------------------------------------------------ */

static inline uint32_t low32(uintptr_t v)
{
    return static_cast<uint32_t>(v);
}

static uint32_t handlerHash(const void *key)
{
    auto *h = static_cast<const ExitHandler *>(key);
    return low32(reinterpret_cast<uintptr_t>(h->fn)) + low32(reinterpret_cast<uintptr_t>(h->arg));
}

static int handlerEqual(const void *stored, const void *probe)
{
    auto *a = static_cast<const ExitHandler *>(stored);
    auto *b = static_cast<const ExitHandler *>(probe);
    return a->fn == b->fn && a->arg == b->arg;
}

static void *handlerCopy(const void *key)
{
    auto *copy = static_cast<ExitHandler *>(twMemMalloc(sizeof(ExitHandler), "twExitHandler"));
    *copy = *static_cast<const ExitHandler *>(key);
    return copy;
}

static void freeBlock(void *block)
{
    twMemFree(block);
}

// Order keys are blocks holding one handler function.
static uint32_t orderHash(const void *key)
{
    return twSymPtrHash(reinterpret_cast<const void *>(*static_cast<const twExitFn *>(key)));
}

static int orderEqual(const void *stored, const void *probe)
{
    return *static_cast<const twExitFn *>(stored) == *static_cast<const twExitFn *>(probe);
}

/* ------------------------------------------------------------------ */
/* Registration                                                        */
/* ------------------------------------------------------------------ */

// Reads the recording flag on first use and makes the handler table when
// recording is on. Returns whether handlers are recorded.
static bool prepareHandlers()
{
    if (!recordingRead) {
        recordingRead = true;
        recording = getenv("TW_MEMDBG") != nullptr || getenv("TW_PURIFY") != nullptr;
    }
    if (recording && !handlerTable) {
        twSymTable *t = twSymCreate(kHandlerChains, handlerHash, handlerEqual, handlerCopy, freeBlock);
        twSymDynamic(t, 2.0, 2.0);
        // Making the table may start modules that register handlers of
        // their own, which then made a table first: keep that one.
        if (handlerTable)
            twSymDestroy(t, twSymDummy);
        else
            handlerTable = t;
    }
    return recording;
}

static void addHandler(twExitFn fn, void *arg, uintptr_t flags)
{
    if (!prepareHandlers()) return;
    ExitHandler key = {fn, arg, flags};
    twSymStore(handlerTable, &key, nullptr);
}

static void removeHandler(twExitFn fn, void *arg)
{
    if (!prepareHandlers()) return;
    ExitHandler key = {fn, arg, 0};
    twSymRemove(handlerTable, &key);
    // A handler removed by another handler of the run under way is not
    // called either.
    for (RunNode *n = runningList; n; n = n->next)
        if (n->handler.fn == fn && n->handler.arg == arg) n->cancelled = 1;
}

void twOnExitAdd(twExitFn fn, void *arg)
{
    addHandler(fn, arg, kHasArgument);
}

void twOnExitAdd2(twExitFn fn)
{
    addHandler(fn, nullptr, 0);
}

void twOnExitRemove(twExitFn fn, void *arg)
{
    removeHandler(fn, arg);
}

void twOnExitRemove2(twExitFn fn)
{
    removeHandler(fn, nullptr);
}

void twOnExitSetOrder(twExitFn fn, int order)
{
    auto *key = static_cast<twExitFn *>(twMemMalloc(sizeof(twExitFn), "twOnExitSetOrder"));
    *key = fn;
    if (!orderTable) orderTable = twSymCreate(kOrderChains, orderHash, orderEqual, twSymReturn, freeBlock);
    // An equal key already stored is released by the table and replaced.
    twSymStore(orderTable, key, reinterpret_cast<void *>(static_cast<intptr_t>(order)));
}

/* ------------------------------------------------------------------ */
/* The run                                                             */
/* ------------------------------------------------------------------ */

static int32_t orderOf(twExitFn fn)
{
    if (!orderTable) return 0;
    return static_cast<int32_t>(reinterpret_cast<intptr_t>(twSymFetch(orderTable, &fn)));
}

static int collectHandler(void *, void *key, void *a, void *)
{
    auto **list = static_cast<RunNode **>(a);
    auto *node = static_cast<RunNode *>(twMemMalloc(sizeof(RunNode), "ExitHandlerList"));
    node->handler = *static_cast<const ExitHandler *>(key);
    node->order = orderOf(node->handler.fn);
    node->cancelled = 0;
    node->next = *list;
    *list = node;
    return 1;
}

static int compareOrder(void *a, void *b)
{
    int32_t x = static_cast<RunNode *>(a)->order;
    int32_t y = static_cast<RunNode *>(b)->order;
    // The sign of x - y, without its overflow for orders far apart.
    return (x > y) - (x < y);
}

// Handlers are registered through twExitFn whatever their own signature
// (twMemFree returns a pointer, some take no argument): the ABI passes one
// word and ignores a result, so this is the one place that calls them.
TW_NO_SANITIZE_FUNCTION static void callHandler(const ExitHandler &h)
{
    // A handler registered without an argument gets a null word, which a
    // function without parameters never looks at.
    h.fn((h.flags & kHasArgument) ? h.arg : nullptr);
}

static bool runInProgress;

static void runHandlers()
{
    // A handler that ends the process itself must not start the run again.
    if (runInProgress) return;
    runInProgress = true;

    twOnExitSetOrder(reinterpret_cast<twExitFn>(reinterpret_cast<void (*)(void)>(twMemFree)), 90);

    if (handlerTable) {
        RunNode *list = nullptr;
        twSymLoop(handlerTable, collectHandler, &list, nullptr);
        list = static_cast<RunNode *>(twListSsort(list, compareOrder));
        runningList = list;
        while (runningList) {
            RunNode *node = runningList;
            runningList = node->next;
            if (!node->cancelled) callHandler(node->handler);
            twMemFree(node);
        }
        twSymTable *t = handlerTable;
        handlerTable = nullptr;
        twSymDestroy(t, twSymDummy);
    }
    if (orderTable) {
        twSymTable *t = orderTable;
        orderTable = nullptr;
        twSymDestroy(t, twSymDummy);
    }
    runInProgress = false;
}

void twOnExitCall(void)
{
    runHandlers();
}

TW_NORETURN void twExit(int status)
{
    runHandlers();
    twStrTerminate();
    twDlistPurge();
    twMemPrintUsage(reinterpret_cast<twMemLineFn>(reinterpret_cast<void (*)(void)>(twDummyProc)));
    twMem_DbgPrintStrings();
    twMem_DbgTestMemory();
    fflush(nullptr);
    exit(status);
}

TW_NORETURN void twGoodbye(void)
{
    twExit(0);
}

/* ------------------------------------------------------------------ */
/* Cleanup and disorderly end                                          */
/* ------------------------------------------------------------------ */

void twCleanup(void)
{
    if (cleanupDone) return;
    // Set first: a cleanup procedure that fails into a path calling
    // twCleanup again is not re-entered.
    cleanupDone = true;
    twCleanupProcV();
}

void twAbortAddHandler(twProc handler)
{
    auto *node = static_cast<FatalNode *>(twMemMalloc(sizeof(FatalNode), "Fatal Handler"));
    node->proc = handler;
    node->next = fatalHandlers;
    fatalHandlers = node;
}

TW_NORETURN void twAbort(int coreDump)
{
    // A fatal handler that aborts again goes straight to the end instead of
    // running the handlers from the start.
    if (!aborting) {
        aborting = true;
        twCleanup();
        for (FatalNode *n = fatalHandlers; n; n = n->next) n->proc();
    }
    if (coreDump) tsCoreDump();
    fflush(nullptr);
    exit(3);
}
