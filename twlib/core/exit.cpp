/* exit.cpp - exit handlers, cleanup procedure and disorderly end.
 *
 * Exit handlers live in a chained table keyed by (function, argument), so a
 * pair is registered at most once and the later registration's flags win.
 * The table behaves as the library's self-growing hash tables do (401
 * chains, hash = function + argument, new entries at the chain's head,
 * growth to a prime when the entries outnumber twice the chains), because
 * the walk over it decides the run order of handlers of equal order. It is
 * kept here rather than borrowed from the containers, which sit above the
 * floor. A list of (function, order) pairs gives each handler's run order.
 * The run sorts the handlers by order (smaller first; equal orders keep the
 * walk order) and calls them, then drops both.
 *
 * Handlers are recorded only when a memory check is under way (TW_MEMDBG or
 * TW_PURIFY set at the first registration or removal); otherwise they are
 * ignored, since their only purpose is to give memory back before the leak
 * reports run.
 *
 * The orderly end also tears down the string pool and the cursor-list pools,
 * and twAbort may leave a core image: those belong to higher layers, which
 * install them here (twExit_SetTeardown, twExit_SetCoreDump).
 */
#include "twlib/core/exit.h"

#include <climits>
#include <cstdio>
#include <cstdlib>

#include "twlib/core/fault.h"
#include "twlib/core/freelist.h"
#include "twlib/core/mem.h"

namespace {

constexpr uint32_t kHandlerChains = 401;
constexpr uintptr_t kHasArgument = 1;

// Key of the handler table. Only function and argument take part in hashing
// and equality; flags ride along.
struct ExitHandler {
    twExitFn fn;
    void *arg;
    uintptr_t flags;
};

struct HandlerEntry {
    HandlerEntry *next;
    ExitHandler *key;  // tagged copy, "twExitHandler"
};

// The handler table: chains of entries, newest first within a chain.
struct HandlerTable {
    HandlerEntry **chains;
    uint32_t chainCount;
    uint32_t entryCount;
};

struct OrderNode {
    OrderNode *next;
    twExitFn fn;
    int32_t order;
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

}  // namespace

twProc twCleanupProcV = twDummyProc;

static HandlerTable *handlerTable;
static OrderNode *orderList;  // created by twOnExitSetOrder and the run
static bool recording;
static bool recordingRead;
static bool cleanupDone;
static bool aborting;
static FatalNode *fatalHandlers;  // newest first
static RunNode *runningList;      // handlers not yet called by the run under way
static twTeardownFn teardowns[TW_TEARDOWN_COUNT];
static twTeardownFn coreDumpFn;

void twExit_SetTeardown(int step, twTeardownFn fn)
{
    if (step >= 0 && step < TW_TEARDOWN_COUNT) teardowns[step] = fn;
}

void twExit_SetCoreDump(twTeardownFn fn)
{
    coreDumpFn = fn;
}

/* ------------------------------------------------------------------ */
/* The handler table                                                   */
/* ------------------------------------------------------------------ */

static inline uint32_t handlerHash(twExitFn fn, void *arg)
{
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(fn)) +
           static_cast<uint32_t>(reinterpret_cast<uintptr_t>(arg));
}

static HandlerEntry **newChains(uint32_t count)
{
    return static_cast<HandlerEntry **>(twMemCalloc(count, sizeof(HandlerEntry *), "Exit Handler Chains"));
}

static bool isPrime(uint32_t n)
{
    if (n < 2) return false;
    for (uint32_t d = 2; d <= n / d; ++d)
        if (n % d == 0) return false;
    return true;
}

// Rehashes into more chains once the entries outnumber twice the chains:
// the old chains are emptied in order, each entry pushed on its new chain.
static void growIfCrowded(HandlerTable *t)
{
    if (!(2.0 * t->chainCount < static_cast<double>(t->entryCount))) return;
    uint32_t want = 2 * t->entryCount;
    if (want % 2 == 0) ++want;
    while (!isPrime(want)) want += 2;
    HandlerEntry **fresh = newChains(want);
    for (uint32_t i = 0; i < t->chainCount; ++i) {
        while (HandlerEntry *e = t->chains[i]) {
            t->chains[i] = e->next;
            uint32_t j = handlerHash(e->key->fn, e->key->arg) % want;
            e->next = fresh[j];
            fresh[j] = e;
        }
    }
    twMemFree(t->chains);
    t->chains = fresh;
    t->chainCount = want;
}

static HandlerEntry **findHandler(HandlerTable *t, twExitFn fn, void *arg)
{
    HandlerEntry **link = &t->chains[handlerHash(fn, arg) % t->chainCount];
    while (*link && !((*link)->key->fn == fn && (*link)->key->arg == arg)) link = &(*link)->next;
    return link;
}

static void storeHandler(HandlerTable *t, const ExitHandler &h)
{
    HandlerEntry **link = findHandler(t, h.fn, h.arg);
    if (*link) {
        (*link)->key->flags = h.flags;  // the later registration's flags win
    } else {
        auto *key = static_cast<ExitHandler *>(twMemMalloc(sizeof(ExitHandler), "twExitHandler"));
        *key = h;
        auto *e = static_cast<HandlerEntry *>(twMemFlAlloc(sizeof(HandlerEntry), "Exit Handler Entry"));
        e->key = key;
        HandlerEntry **head = &t->chains[handlerHash(h.fn, h.arg) % t->chainCount];
        e->next = *head;
        *head = e;
        ++t->entryCount;
    }
    growIfCrowded(t);
}

static void removeFromTable(HandlerTable *t, twExitFn fn, void *arg)
{
    HandlerEntry **link = findHandler(t, fn, arg);
    if (!*link) return;
    HandlerEntry *e = *link;
    *link = e->next;
    --t->entryCount;
    twMemFree(e->key);
    twMemFlFree(e, sizeof(HandlerEntry));
}

static void destroyTable(HandlerTable *t)
{
    for (uint32_t i = 0; i < t->chainCount; ++i) {
        while (HandlerEntry *e = t->chains[i]) {
            t->chains[i] = e->next;
            twMemFree(e->key);
            twMemFlFree(e, sizeof(HandlerEntry));
        }
    }
    twMemFree(t->chains);
    twMemFlFree(t, sizeof(HandlerTable));
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
        auto *t = static_cast<HandlerTable *>(twMemFlAlloc(sizeof(HandlerTable), "Exit Handler Table"));
        t->chainCount = kHandlerChains;
        t->entryCount = 0;
        t->chains = newChains(kHandlerChains);
        // Making the table may start modules that register handlers of
        // their own, which then made a table first: keep that one.
        if (handlerTable)
            destroyTable(t);
        else
            handlerTable = t;
    }
    return recording;
}

static void addHandler(twExitFn fn, void *arg, uintptr_t flags)
{
    if (!prepareHandlers()) return;
    storeHandler(handlerTable, ExitHandler{fn, arg, flags});
}

static void removeHandler(twExitFn fn, void *arg)
{
    if (!prepareHandlers()) return;
    removeFromTable(handlerTable, fn, arg);
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
    for (OrderNode *n = orderList; n; n = n->next) {
        if (n->fn == fn) {
            n->order = order;
            return;
        }
    }
    auto *n = static_cast<OrderNode *>(twMemMalloc(sizeof(OrderNode), "twOnExitSetOrder"));
    n->fn = fn;
    n->order = order;
    n->next = orderList;
    orderList = n;
}

/* ------------------------------------------------------------------ */
/* The run                                                             */
/* ------------------------------------------------------------------ */

static int32_t orderOf(twExitFn fn)
{
    for (OrderNode *n = orderList; n; n = n->next)
        if (n->fn == fn) return n->order;
    return 0;
}

// Stable merge sort by ascending order: handlers of equal order keep the
// order of the walk that collected them.
static RunNode *sortByOrder(RunNode *list)
{
    if (!list || !list->next) return list;
    RunNode *slow = list, *fast = list->next;
    while (fast && fast->next) {
        slow = slow->next;
        fast = fast->next->next;
    }
    RunNode *second = slow->next;
    slow->next = nullptr;
    RunNode *a = sortByOrder(list), *b = sortByOrder(second);
    RunNode *head = nullptr, **tail = &head;
    while (a && b) {
        RunNode **pick = (b->order < a->order) ? &b : &a;
        *tail = *pick;
        tail = &(*pick)->next;
        *pick = (*pick)->next;
    }
    *tail = a ? a : b;
    return head;
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

// A handler left the run by a raise: the handlers it did not reach stay
// registered (with their orders) for a later run, the rest of the table goes
// as at the end of a run, and runs may start again.
static void interruptRun(void *)
{
    RunNode *rest = runningList;
    runningList = nullptr;
    if (HandlerTable *t = handlerTable) {
        handlerTable = nullptr;
        destroyTable(t);
    }
    while (rest) {
        RunNode *next = rest->next;
        if (!rest->cancelled) addHandler(rest->handler.fn, rest->handler.arg, rest->handler.flags);
        twMemFree(rest);
        rest = next;
    }
    runInProgress = false;
}

static void runHandlers()
{
    // A handler that ends the process itself must not start the run again.
    if (runInProgress) return;
    runInProgress = true;
    twUnwind unwind;
    tw_UnwindPush(&unwind, interruptRun, nullptr);

    twOnExitSetOrder(reinterpret_cast<twExitFn>(reinterpret_cast<void (*)(void)>(twMemFree)), 90);

    if (handlerTable) {
        // Collect in walk order (chain by chain, each chain head first).
        RunNode *list = nullptr, **tail = &list;
        for (uint32_t i = 0; i < handlerTable->chainCount; ++i) {
            for (HandlerEntry *e = handlerTable->chains[i]; e; e = e->next) {
                auto *node = static_cast<RunNode *>(twMemMalloc(sizeof(RunNode), "ExitHandlerList"));
                node->handler = *e->key;
                node->order = orderOf(node->handler.fn);
                node->cancelled = 0;
                node->next = nullptr;
                *tail = node;
                tail = &node->next;
            }
        }
        runningList = sortByOrder(list);
        while (runningList) {
            // The node goes before its handler runs, so a raise out of the
            // handler leaves only the nodes still to come.
            RunNode *node = runningList;
            runningList = node->next;
            ExitHandler h = node->handler;
            bool cancelled = node->cancelled != 0;
            twMemFree(node);
            if (!cancelled) callHandler(h);
        }
        HandlerTable *t = handlerTable;
        handlerTable = nullptr;
        destroyTable(t);
    }
    tw_UnwindPop(&unwind);
    while (OrderNode *n = orderList) {
        orderList = n->next;
        twMemFree(n);
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
    for (twTeardownFn fn : teardowns)
        if (fn) fn();
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
    if (coreDump) {
        fflush(nullptr);
        if (coreDumpFn) coreDumpFn();
        abort();
    }
    fflush(nullptr);
    exit(3);
}
