/* mem.cpp - tagged memory manager, purge routines and byte utilities.
 *
 * Three layers. The raw layer wraps the platform allocator and never returns
 * null: a failed request calls the out-of-memory handler in twMemOutV and
 * tries again. The tagged layer reads the environment once, at its first
 * call, and then either forwards to the raw layer (normal mode) or takes the
 * debug path, which keeps a record of every live block in a hash table of
 * block records, frames each block with guard bytes and counts live bytes
 * per tag. The debug services report on those records at exit.
 *
 * Debug bookkeeping (block records, tag records, both chain tables) comes
 * from the raw layer, so it never shows in the statistics it produces.
 */
#include "twlib/core/mem.h"
#include "twlib/core/mem_testhook.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "twlib/core/exit.h"
#include "twlib/core/fault.h"
#include "twlib/core/strhash.h"

namespace {

constexpr uint32_t kBlockChains = 10001;
constexpr uint32_t kTagChains = 101;
constexpr size_t kGuardLen = 8;

// Statistics of one tag string. Records are never freed; the name is the
// caller's constant string and is matched by text, not by address.
struct TagRecord {
    const char *name;
    long bytes;  // requested bytes live under this tag
    TagRecord *next;
};

// One live debug-mode block. The user pointer is raw + kGuardLen.
struct BlockRecord {
    unsigned char *raw;
    size_t size;  // bytes the caller asked for
    TagRecord *tag;
    int32_t sequence;  // watch number; 0 when the tag is not watched
    BlockRecord *next;
};

struct PurgeNode {
    PurgeNode *next;
    twProc routine;
};

enum class Mode { Unset, Normal, Debug };

}  // namespace

twMemOutFn twMemOutV = twMemExit;

// Mode of the tagged layer; fixed by the environment at its first call.
static Mode memMode = Mode::Unset;
static const char *watchTag;  // TW_MEMWATCH, the environment's own string
static int32_t watchCounter;
static long currentUsage;  // requested bytes of all live tracked blocks
static long maximumUsage;
static BlockRecord **blockTable;
static TagRecord **tagTable;

static PurgeNode *purgeList;  // newest first
static int32_t purgeDepth;    // non-zero while twMemExit runs the purge routines

// Guard words, stored in the machine's own byte order and compared as one
// 8-byte image.
static const uint32_t guardWords[2] = {0xF0A55A0Fu, 0x83523B6Cu};

static inline const void *guardImage()
{
    return guardWords;
}

/* ------------------------------------------------------------------ */
/* Raw layer                                                           */
/* ------------------------------------------------------------------ */

// Test hook state: attempts counted since arming, and which one to refuse.
static long testAttempts;
static long testFailAt;  // 0: hook disarmed
static bool testSticky;

void twMem_TestFailAllocation(long n, int sticky)
{
    testAttempts = 0;
    testFailAt = n > 0 ? n : 0;
    testSticky = sticky != 0;
}

long twMem_TestAllocationCount(void)
{
    return testAttempts;
}

// True when the hook refuses this platform allocation.
static inline bool testRefuses()
{
    ++testAttempts;
    if (testFailAt == 0) return false;
    return testSticky ? testAttempts >= testFailAt : testAttempts == testFailAt;
}

// Calls the out-of-memory handler for one failed attempt and returns the
// number of the next attempt. The count saturates so that a handler that
// keeps asking for retries cannot overflow it.
static int failedAttempt(int attempt)
{
    twMemOutV(attempt);
    return attempt == INT_MAX ? attempt : attempt + 1;
}

void *twMem_FastMalloc(size_t size)
{
    if (size == 0) size = 1;
    for (int attempt = 0;;) {
        void *p = testRefuses() ? nullptr : malloc(size);
        if (p) return p;
        attempt = failedAttempt(attempt);
    }
}

void *twMem_FastCalloc(size_t count, size_t size)
{
    if (count == 0 || size == 0) {
        if (count == 0) count = 1;
        if (size == 0) size = 1;
    }
    for (int attempt = 0;;) {
        // calloc refuses a product that does not fit; that ends in the
        // out-of-memory protocol like any other refusal.
        void *p = testRefuses() ? nullptr : calloc(count, size);
        if (p) return p;
        attempt = failedAttempt(attempt);
    }
}

void *twMem_FastRealloc(void *ptr, size_t size)
{
    if (size == 0) size = 1;
    for (int attempt = 0;;) {
        // A refused realloc leaves the old block intact, so retrying with
        // the same pointer is safe.
        void *p = testRefuses() ? nullptr : realloc(ptr, size);
        if (p) return p;
        attempt = failedAttempt(attempt);
    }
}

void twMem_FastFree(void *ptr)
{
    if (ptr) free(ptr);
}

/* ------------------------------------------------------------------ */
/* Purge routines and the out-of-memory handler                        */
/* ------------------------------------------------------------------ */

static void callPurgeRoutines()
{
    for (PurgeNode *n = purgeList; n; n = n->next) n->routine();
}

// Exit handler: runs every purge routine once more and gives the nodes back.
static void purgeTeardown(void *)
{
    PurgeNode *n = purgeList;
    purgeList = nullptr;
    while (n) {
        PurgeNode *next = n->next;
        n->routine();
        twMemFree(n);
        n = next;
    }
}

void twAddPurgeRoutine(twProc routine)
{
    auto *node = static_cast<PurgeNode *>(twMemMalloc(sizeof(PurgeNode), "Purge Routine"));
    bool wasEmpty = purgeList == nullptr;
    node->routine = routine;
    node->next = purgeList;
    purgeList = node;
    // Registered after the push: registration may itself initialise modules
    // that add purge routines, and those must not register a second teardown.
    if (wasEmpty) twOnExitAdd(purgeTeardown, nullptr);
}

void twMemPurge(void)
{
    callPurgeRoutines();
}

static void lowerPurgeDepth(void *)
{
    --purgeDepth;
}

int twMemExit(int attempt)
{
    if (attempt >= 2 || purgeDepth != 0) {
        twMemPrintUsageStdout();
        twCleanup();
        fputs("Out of memory.\n", stderr);
        fflush(stderr);
        twAbort(0);
    }
    // A purge routine that raises must not leave the depth raised: every
    // later shortage would end the process without purging.
    twUnwind unwind;
    tw_UnwindPush(&unwind, lowerPurgeDepth, nullptr);
    ++purgeDepth;
    callPurgeRoutines();
    tw_UnwindPop(&unwind);
    --purgeDepth;
    return 1;
}

/* ------------------------------------------------------------------ */
/* Debug bookkeeping                                                   */
/* ------------------------------------------------------------------ */

static void makeDebugTables()
{
    if (!tagTable) tagTable = static_cast<TagRecord **>(twMem_FastCalloc(kTagChains, sizeof(TagRecord *)));
    if (!blockTable)
        blockTable = static_cast<BlockRecord **>(twMem_FastCalloc(kBlockChains, sizeof(BlockRecord *)));
}

static void initialize()
{
    bool debug = getenv("TW_MEMDBG") != nullptr && getenv("TW_PURIFY") == nullptr;
    if (debug) {
        watchTag = getenv("TW_MEMWATCH");
        makeDebugTables();
        memMode = Mode::Debug;
    } else {
        memMode = Mode::Normal;
    }
}

static inline size_t roundUp8(size_t n)
{
    return (n + 7) & ~static_cast<size_t>(7);
}

static inline uint32_t blockChain(const void *raw)
{
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(raw)) % kBlockChains;
}

// Tag names compare by text; null equals only null.
static inline bool sameText(const char *a, const char *b)
{
    return a == b || (a && b && strcmp(a, b) == 0);
}

static inline bool isWatched(const char *name)
{
    return watchTag != nullptr && name != nullptr && sameText(watchTag, name);
}

static int32_t nextSequence(const char *tag)
{
    if (!isWatched(tag)) return 0;
    ++watchCounter;
    if (watchCounter == 0x7FFFFFFF) watchCounter = 1;
    return watchCounter;
}

static TagRecord *findTag(const char *name)
{
    uint32_t chain = tw_HashText(name) % kTagChains;
    for (TagRecord *t = tagTable[chain]; t; t = t->next)
        if (sameText(t->name, name)) return t;
    auto *t = static_cast<TagRecord *>(twMem_FastMalloc(sizeof(TagRecord)));
    t->name = name;
    t->bytes = 0;
    t->next = tagTable[chain];
    tagTable[chain] = t;
    return t;
}

static inline const char *tagName(const char *tag)
{
    return tag ? tag : "(unknown)";
}

static void fillGuard(unsigned char *raw, size_t limit)
{
    // 8-byte copies at offsets 0, 8, ... while offset < limit.
    for (size_t off = 0; off < limit; off += kGuardLen) memcpy(raw + off, guardImage(), kGuardLen);
}

static void *recordBlock(unsigned char *raw, size_t size, const char *tag, int32_t sequence)
{
    TagRecord *t = findTag(tagName(tag));
    t->bytes += static_cast<long>(size);
    auto *b = static_cast<BlockRecord *>(twMem_FastMalloc(sizeof(BlockRecord)));
    b->raw = raw;
    b->size = size;
    b->tag = t;
    b->sequence = sequence;
    uint32_t chain = blockChain(raw);
    b->next = blockTable[chain];
    blockTable[chain] = b;
    currentUsage += static_cast<long>(size);
    if (currentUsage > maximumUsage) maximumUsage = currentUsage;
    memcpy(raw, guardImage(), kGuardLen);
    memcpy(raw + kGuardLen + size, guardImage(), kGuardLen);
    return raw + kGuardLen;
}

static void traceLine(const char *what, size_t size, int32_t sequence)
{
    printf("twMemWATCH: %s, %ld [%ld] bytes\n", what, static_cast<long>(size), static_cast<long>(sequence));
}

static void traceRealloc(size_t oldSize, int32_t oldSeq, size_t newSize, int32_t newSeq)
{
    printf("twMemWATCH: %s, %ld [%ld] to %ld [%ld] bytes\n", "realloc", static_cast<long>(oldSize),
           static_cast<long>(oldSeq), static_cast<long>(newSize), static_cast<long>(newSeq));
}

static inline bool isPrintable(unsigned char c)
{
    return isalnum(c) || ispunct(c) || isblank(c);
}

TW_NORETURN static void violationReport(const BlockRecord *b)
{
    twCleanup();
    uint32_t head[2], tail[2];
    twMemMove(head, b->raw, kGuardLen);
    twMemMove(tail, b->raw + kGuardLen + b->size, kGuardLen);
    fprintf(stderr, "\nError:  memory violation for type %s, size=%ld:\n", b->tag->name,
            static_cast<long>(b->size));
    fprintf(stderr, "    First 2 longs: %lx %lx should be %lx %lx\n", (unsigned long)head[0],
            (unsigned long)head[1], (unsigned long)guardWords[0], (unsigned long)guardWords[1]);
    fprintf(stderr, "     Last 2 longs: %lx %lx should be %lx %lx\n", (unsigned long)tail[0],
            (unsigned long)tail[1], (unsigned long)guardWords[0], (unsigned long)guardWords[1]);
    fputs("    Ascii dump of first 75 bytes:\n    ", stderr);
    size_t n = b->size < 75 ? b->size : 75;
    const unsigned char *user = b->raw + kGuardLen;
    for (size_t i = 0; i < n; ++i) fputc(isPrintable(user[i]) ? user[i] : '.', stderr);
    fflush(stderr);
    twAbort(1);
}

static inline bool guardsIntact(const BlockRecord *b)
{
    return memcmp(b->raw, guardImage(), kGuardLen) == 0 &&
           memcmp(b->raw + kGuardLen + b->size, guardImage(), kGuardLen) == 0;
}

// Unlinks and returns the record of the live block whose user pointer is
// ptr, after checking its guards. Anything else ends the process.
static BlockRecord *takeBlock(void *ptr)
{
    // Address arithmetic on integers: ptr may be null or no block at all.
    uintptr_t raw = reinterpret_cast<uintptr_t>(ptr) - kGuardLen;
    BlockRecord **link = &blockTable[static_cast<uint32_t>(raw) % kBlockChains];
    while (*link && reinterpret_cast<uintptr_t>((*link)->raw) != raw) link = &(*link)->next;
    if (!*link) {
        char text[64];
        tw_Format(text, sizeof text, "Attempt to free unallocated space - %lX",
                  static_cast<unsigned long>(reinterpret_cast<uintptr_t>(ptr)));
        tw_Report("twMem", 5 /* Internal Error */, text);
        // An Internal Error report ends the process; should a replaced
        // reporter return, going on would corrupt the heap.
        twAbort(1);
    }
    BlockRecord *b = *link;
    if (!guardsIntact(b)) violationReport(b);
    *link = b->next;
    return b;
}

/* ------------------------------------------------------------------ */
/* Debug path                                                          */
/* ------------------------------------------------------------------ */

void *twMem_DbgMalloc(uint32_t size, const char *tag)
{
    makeDebugTables();
    size_t rounded = roundUp8(size);
    auto *raw = static_cast<unsigned char *>(twMem_FastMalloc(rounded + 2 * kGuardLen));
    fillGuard(raw, rounded + kGuardLen + 1);
    int32_t seq = nextSequence(tagName(tag));
    if (isWatched(tagName(tag))) traceLine("malloc", size, seq);
    return recordBlock(raw, size, tag, seq);
}

void *twMem_DbgCalloc(uint32_t count, uint32_t size, const char *tag)
{
    makeDebugTables();
    // The full product: a block shorter than count x size would be overrun
    // by a caller that fills what it asked for.
    size_t n = static_cast<size_t>(count) * size;
    auto *raw = static_cast<unsigned char *>(twMem_FastCalloc(1, roundUp8(n) + 2 * kGuardLen));
    int32_t seq = nextSequence(tagName(tag));
    if (isWatched(tagName(tag))) traceLine("calloc", n, seq);
    return recordBlock(raw, n, tag, seq);
}

void *twMem_DbgFree(void *ptr)
{
    makeDebugTables();
    BlockRecord *b = takeBlock(ptr);
    b->tag->bytes -= static_cast<long>(b->size);
    currentUsage -= static_cast<long>(b->size);
    unsigned char *raw = b->raw;
    size_t size = b->size;
    const char *name = b->tag->name;
    int32_t seq = b->sequence;
    twMem_FastFree(b);
    if (isWatched(name)) traceLine("free", size, seq);
    fillGuard(raw, size + kGuardLen + 1);
    twMem_FastFree(raw);
    return ptr;
}

void *twMem_DbgRealloc(void *ptr, uint32_t size, const char *tag)
{
    makeDebugTables();
    BlockRecord *b = takeBlock(ptr);
    b->tag->bytes -= static_cast<long>(b->size);
    currentUsage -= static_cast<long>(b->size);
    size_t oldSize = b->size;
    const char *oldName = b->tag->name;
    int32_t oldSeq = b->sequence;
    unsigned char *raw = b->raw;
    twMem_FastFree(b);
    raw = static_cast<unsigned char *>(twMem_FastRealloc(raw, roundUp8(size) + 2 * kGuardLen));
    const char *newName = tagName(tag);
    int32_t seq = nextSequence(newName);
    if (isWatched(newName) || (!sameText(newName, oldName) && isWatched(oldName)))
        traceRealloc(oldSize, oldSeq, size, seq);
    return recordBlock(raw, size, tag, seq);
}

/* ------------------------------------------------------------------ */
/* Tagged layer                                                        */
/* ------------------------------------------------------------------ */

void *twMemMalloc(uint32_t size, const char *tag)
{
    if (memMode == Mode::Normal) return twMem_FastMalloc(size);
    if (memMode == Mode::Unset) initialize();
    return memMode == Mode::Debug ? twMem_DbgMalloc(size, tag) : twMem_FastMalloc(size);
}

void *twMemCalloc(uint32_t count, uint32_t size, const char *tag)
{
    if (memMode == Mode::Normal) return twMem_FastCalloc(count, size);
    if (memMode == Mode::Unset) initialize();
    return memMode == Mode::Debug ? twMem_DbgCalloc(count, size, tag) : twMem_FastCalloc(count, size);
}

void *twMemRealloc(void *ptr, uint32_t size, const char *tag)
{
    if (memMode == Mode::Normal) return twMem_FastRealloc(ptr, size);
    if (memMode == Mode::Unset) initialize();
    if (memMode != Mode::Debug) return twMem_FastRealloc(ptr, size);
    return ptr ? twMem_DbgRealloc(ptr, size, tag) : twMem_DbgMalloc(size, tag);
}

void *twMemFree(void *ptr)
{
    if (memMode == Mode::Normal) {
        twMem_FastFree(ptr);
        return ptr;
    }
    if (memMode == Mode::Unset) initialize();
    if (memMode == Mode::Debug) return twMem_DbgFree(ptr);
    twMem_FastFree(ptr);
    return ptr;
}

/* ------------------------------------------------------------------ */
/* Debug services                                                      */
/* ------------------------------------------------------------------ */

static inline bool debugOn()
{
    return memMode == Mode::Debug && blockTable != nullptr;
}

void twMem_DbgTestMemory(void)
{
    if (!debugOn()) return;
    for (uint32_t i = 0; i < kBlockChains; ++i)
        for (BlockRecord *b = blockTable[i]; b; b = b->next)
            if (!guardsIntact(b)) violationReport(b);
}

void twMem_DbgCallFuncForStr(const char *tag, void (*f)(void *arg, void *block), void *arg)
{
    if (!debugOn()) return;
    const char *name = tagName(tag);
    for (uint32_t i = 0; i < kBlockChains; ++i) {
        // The next record is taken first, so f may release the block it gets.
        BlockRecord *next;
        for (BlockRecord *b = blockTable[i]; b; b = next) {
            next = b->next;
            if (sameText(b->tag->name, name)) f(arg, b->raw + kGuardLen);
        }
    }
}

void twMem_DbgPrintStrings(void)
{
    if (!debugOn()) return;
    bool first = true;
    size_t column = 0;
    for (uint32_t i = 0; i < kBlockChains; ++i) {
        for (BlockRecord *b = blockTable[i]; b; b = b->next) {
            if (!sameText(b->tag->name, "twString")) continue;
            if (first) {
                fputs("\n\nUnfreed strings:\n", stdout);
                first = false;
            }
            // Never read past the block, even if the text lost its NUL.
            const char *text = reinterpret_cast<const char *>(b->raw + kGuardLen);
            size_t len = strnlen(text, b->size);
            if (column + len + 1 >= 80 && column >= 1) {
                fputc('\n', stdout);
                column = 0;
            }
            fwrite(text, 1, len, stdout);
            fputc(' ', stdout);
            column += len + 1;
        }
    }
    fputc('\n', stdout);
    fflush(stdout);
}

static void printLine(const char *line)
{
    printf("%s\n", line);
}

void twMemPrintUsage(twMemLineFn out)
{
    if (!debugOn()) return;
    // Callers pass (twMemLineFn)twDummyProc to ask for standard output; it
    // is only compared here, never called.
    if (reinterpret_cast<void (*)(void)>(out) == reinterpret_cast<void (*)(void)>(twDummyProc))
        out = printLine;
    if (maximumUsage > 0 || currentUsage > 0) {
        char line[256];
        snprintf(line, sizeof line, "Maximum memory usage=%ld, current memory usage=%ld", maximumUsage,
                 currentUsage);
        out(line);
        for (uint32_t i = 0; i < kTagChains; ++i) {
            for (TagRecord *t = tagTable[i]; t; t = t->next) {
                if (t->bytes < 1) continue;
                unsigned percent =
                    currentUsage > 0 ? static_cast<unsigned>(t->bytes * 100.0 / currentUsage) : 0;
                // A tag name too long for the line is cut, never overrun.
                int len = snprintf(line, sizeof line, "%20s:%7ld (%2d%%) ", t->name, t->bytes,
                                   static_cast<int>(percent));
                size_t pos = len < 0 ? 0 : static_cast<size_t>(len);
                if (pos > sizeof line - 1) pos = sizeof line - 1;
                long stars = currentUsage > 100 ? static_cast<long>(percent) : t->bytes;
                while (stars-- > 0 && pos < sizeof line - 1) line[pos++] = '*';
                line[pos] = '\0';
                out(line);
            }
        }
    }
    if (watchTag) {
        bool first = true;
        for (uint32_t i = 0; i < kBlockChains; ++i) {
            for (BlockRecord *b = blockTable[i]; b; b = b->next) {
                if (!sameText(b->tag->name, watchTag)) continue;
                if (first) {
                    out("twMemWATCH: unfreed");
                    first = false;
                }
                // Room for every sequence number up to 0x7FFFFFFE.
                char num[16];
                tw_Format(num, sizeof num, "[%ld]", static_cast<long>(b->sequence));
                out(num);
            }
        }
    }
    fflush(stdout);
}

void twMemPrintUsageStdout(void)
{
    twMemPrintUsage(printLine);
}

int twDummyProc(void)
{
    return 1;
}

/* ------------------------------------------------------------------ */
/* Byte utilities                                                      */
/* ------------------------------------------------------------------ */

void twMemMove(void *dst, const void *src, uint32_t count)
{
    if (count == 0 || dst == src) return;
    memmove(dst, src, count);
}

void *twMemRchr(const void *buf, int c, uint32_t count)
{
    // Bytes are read as signed chars, so a character above 127 matches only
    // when passed as the (negative) value of a plain char.
    const signed char *p = static_cast<const signed char *>(buf);
    for (uint32_t i = count; i > 0; --i)
        if (static_cast<int>(p[i - 1]) == c) return const_cast<signed char *>(p + i - 1);
    return nullptr;
}
