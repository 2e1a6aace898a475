// Exceptions raised from inside the library's callbacks pass through the
// library's loops and regions without leaving memory, pool buffers or
// counters behind. Each case raises with twExThrow2 from a callback, catches
// it around the library call and compares the memory in use before and
// after, in a child process with the memory debug tables on.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "support/child.h"
#include "tslib/loop.h"
#include "tslib/fileops.h"
#include "twlib/containers/dlist.h"
#include "twlib/containers/list.h"
#include "twlib/containers/sym.h"
#include "twlib/core/exit.h"
#include "twlib/core/mem.h"
#include "twlib/core/mem_testhook.h"
#include "twlib/err/error.h"
#include "twlib/err/except.h"
#include "twlib/regexp/regexp.h"
#include "twlib/regexp/regexp_testhook.h"
#include "twlib/text/sprintf.h"
#include "twlib/text/str.h"

namespace {

// Callbacks count down and raise when the count reaches zero.
int raiseAfter;

void countDown()
{
    if (--raiseAfter == 0) twExThrow2(TW_EX_USER1, "raise_through", TW_SEV_ERROR, "raised by the test");
}

// Bytes in tracked blocks, with every pool handed back first so that only
// blocks somebody holds are counted.
long memoryInUse()
{
    static long current;
    current = 0;
    twMemPurge();
    twMemPrintUsage([](const char *line) {
        if (const char *p = strstr(line, "current memory usage=")) current = atol(p + 21);
    });
    return current;
}

int blocksTagged(const char *tag)
{
    static int count;
    count = 0;
    twMem_DbgCallFuncForStr(tag, [](void *, void *) { count++; }, nullptr);
    return count;
}

// Runs 'region' in a catch frame; true when it ended by a raise of the
// test's own tag. The region must keep plain data only.
template <typename Region> bool raisesThrough(Region region)
{
    volatile bool caught = false;
    TW_TRY(TW_EX_USER1) {
        region();
    } TW_CATCH {
        caught = true;
        TW_EX_SWALLOW();
    } TW_END_TRY;
    return caught;
}

// Runs the scene twice (first uses may set up lasting tables) and checks
// that the second run leaves as much memory in use as before it.
template <typename Scene> void expectNoLeak(const char *what, Scene scene)
{
    scene();
    long before = memoryInUse();
    scene();
    EXPECT_EQ(before, memoryInUse()) << what;
}

// ---- containers ---------------------------------------------------------

twDlistList *numbers(int n)
{
    twDlistList *l = twDlistCreate();
    for (intptr_t i = 1; i <= n; i++) twDlistAddTail(l, reinterpret_cast<void *>(i));
    return l;
}

std::string values(twDlistList *l)
{
    std::string s;
    for (void *v = twDlistHead(l); v; v = twDlistNxtElement(l))
        s += std::to_string(reinterpret_cast<intptr_t>(v)) + " ";
    return s;
}

TEST(RaiseThroughEnv, DlistCopyReleasesThePartialCopy)
{
    expectNoLeak("twDlistCopy", [] {
        twDlistList *source = numbers(40);
        raiseAfter = 25;
        EXPECT_TRUE(raisesThrough([source] {
            twDlistCopy(source, [](void *v) {
                countDown();
                return v;
            });
        }));
        EXPECT_EQ(reinterpret_cast<void *>(25), twDlistCurElement(source))
            << "the cursor stays on the value being copied";
        EXPECT_EQ(40, twDlistSize(source));
        twDlistFreeList(source);
    });
}

TEST(RaiseThroughEnv, DlistSortKeepsTheOrderFromBefore)
{
    expectNoLeak("twDlistSort", [] {
        twDlistList *l = twDlistCreate();
        for (intptr_t v : {5, 3, 9, 1, 7, 3, 8, 2, 6, 4, 10, 0xb}) twDlistAddTail(l, reinterpret_cast<void *>(v));
        std::string before = values(l);
        twDlistCell *current = twDlistCurCell(l);
        // Every point of the sort: the first comparison, a middle one, the last.
        for (int at : {1, 7, 20, 29}) {
            raiseAfter = at;
            raisesThrough([l] {
                twDlistSort(l, [](void *a, void *b) {
                    countDown();
                    return static_cast<int>(reinterpret_cast<intptr_t>(a) - reinterpret_cast<intptr_t>(b));
                });
            });
            twDlistSetCurrent(l, current);
            EXPECT_EQ(before, values(l)) << "raised at comparison " << at;
            EXPECT_EQ(12, twDlistSize(l));
            // The previous links agree with the next ones.
            std::string backward;
            for (void *v = twDlistTail(l); v; v = twDlistPreElement(l))
                backward = std::to_string(reinterpret_cast<intptr_t>(v)) + " " + backward;
            EXPECT_EQ(before, backward) << "raised at comparison " << at;
        }
        twDlistFreeList(l);
    });
}

struct Record {
    Record *next;
    Record *prev;
    int key;
};

Record *records(int n)
{
    Record *head = nullptr;
    for (int i = 0; i < n; i++) {
        auto *r = static_cast<Record *>(twMemMalloc(sizeof(Record), "raise_through record"));
        r->key = (i * 37) % 101;
        r->next = head;
        head = r;
    }
    return head;
}

int compareKeys(void *a, void *b)
{
    countDown();
    return static_cast<Record *>(a)->key - static_cast<Record *>(b)->key;
}

TEST(RaiseThroughEnv, ListSortKeepsEveryRecordBehindTheFirst)
{
    expectNoLeak("twListSsort/twListDsort", [] {
        for (bool doubly : {false, true}) {
            for (int at : {1, 5, 40, 150}) {
                Record *head = records(60);
                raiseAfter = at;
                bool raised = raisesThrough([head, doubly] {
                    if (doubly)
                        twListDsort(head, compareKeys);
                    else
                        twListSsort(head, compareKeys);
                });
                EXPECT_TRUE(raised) << at;
                EXPECT_EQ(60u, twListSize(head)) << "raised at comparison " << at;
                if (doubly) {
                    EXPECT_EQ(nullptr, head->prev);
                    for (Record *r = head; r->next; r = r->next) EXPECT_EQ(r, r->next->prev);
                }
                twListFree(head);
            }
        }
    });
}

TEST(RaiseThroughEnv, SymSortedArrayIsReleasedAndTheNextSortWorks)
{
    expectNoLeak("twSymTableToArray", [] {
        twSymTable *t = twSymCreate(7, nullptr, nullptr, nullptr, nullptr);
        for (intptr_t k = 1; k <= 300; k++) twSymStore(t, reinterpret_cast<void *>(k), reinterpret_cast<void *>(k));
        auto order = [](const void *a, const void *b) {
            countDown();
            return static_cast<int>(reinterpret_cast<intptr_t>(a) - reinterpret_cast<intptr_t>(b));
        };
        raiseAfter = 100;
        EXPECT_TRUE(raisesThrough([t, order] { twSymTableToArray(t, nullptr, order); }));
        raiseAfter = 0;
        void **sorted = twSymTableToArray(t, nullptr, order);
        for (intptr_t k = 1; k <= 300; k++) ASSERT_EQ(reinterpret_cast<void *>(k), sorted[k - 1]);
        EXPECT_EQ(nullptr, sorted[300]);
        twMemFree(sorted);
        twSymDestroy(t, nullptr);
    });
}

bool hashRaises;

uint32_t raisingHash(const void *key)
{
    if (hashRaises) countDown();
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(key)) * 2654435761u;
}

TEST(RaiseThroughEnv, SymGrowthThatRaisesKeepsEveryEntry)
{
    expectNoLeak("twSymResize", [] {
        twSymTable *t = twSymCreate(7, raisingHash, nullptr, nullptr, nullptr);
        for (intptr_t k = 1; k <= 50; k++) twSymStore(t, reinterpret_cast<void *>(k), reinterpret_cast<void *>(k));
        hashRaises = true;
        raiseAfter = 20;
        EXPECT_TRUE(raisesThrough([t] { twSymResize(t, 101); }));
        hashRaises = false;
        EXPECT_EQ(50u, twSymSize(t));
        for (intptr_t k = 1; k <= 50; k++)
            EXPECT_EQ(reinterpret_cast<void *>(k), twSymFetch(t, reinterpret_cast<void *>(k))) << k;
        twSymDestroy(t, nullptr);
    });
}

// Walks that hold nothing across their callbacks: the raise simply ends
// them, and what the caller owns is still the caller's to release.
TEST(RaiseThroughEnv, WalksLeaveNothingBehind)
{
    expectNoLeak("walks", [] {
        twDlistList *l = numbers(10);
        raiseAfter = 4;
        EXPECT_TRUE(raisesThrough([l] {
            twDlistLoop(l, [](void *, void *) { countDown(); return 1; }, nullptr);
        }));
        raiseAfter = 4;
        EXPECT_TRUE(raisesThrough([l] {
            twDlistDestroyList(l, [](void *, void *) { countDown(); }, nullptr);
        }));
        EXPECT_EQ(6, twDlistSize(l)) << "the cells not visited stay in the caller's list";
        twDlistFreeList(l);

        twSymTable *t = twSymCreate(5, twSymStHash, twSymStEqu, twSymStCpy, twSymStFree);
        for (const char *k : {"one", "two", "three", "four"}) twSymStore(t, k, nullptr);
        raiseAfter = 2;
        EXPECT_TRUE(raisesThrough([t] {
            twSymLoop(t, [](void *, void *, void *, void *) { countDown(); return 1; }, nullptr, nullptr);
        }));
        twSymDestroy(t, nullptr);

        twErr *chain = twErrAppend(twErrCreate2("one", TW_SEV_ERROR, "first"),
                                   twErrCreate2("two", TW_SEV_NOTE, "second"));
        raiseAfter = 2;
        EXPECT_TRUE(raisesThrough([chain] {
            twErrLoop(chain, [](twErr *, void *) { countDown(); return 1; }, nullptr);
        }));
        twErrDestroy(chain);
    });
}

// ---- formatting and matching ------------------------------------------

TEST(RaiseThroughEnv, FormatParseReleasesItsScratchBlock)
{
    // Long enough that the parse's scratch area is a block of its own.
    static char format[1200];
    std::string f;
    while (f.size() < sizeof format - 20) f += "text %-5.2f and %s; ";
    strcpy(format, f.c_str());
    expectNoLeak("twSpFmtParse", [] {
        for (int at : {1, 2, 30}) {
            raiseAfter = at;
            EXPECT_TRUE(raisesThrough([] {
                twSpFmtParse(format, [](const twSpFmtDesc *, void *) { countDown(); return 1; }, nullptr);
            })) << at;
        }
    });
}

// A fault while formatting (a count stored through a bad pointer) is raised
// as a segmentation violation; the 64-bit arguments fetched for the
// positional format go with it.
TEST(RaiseThroughEnv, FormatterFaultReleasesTheFetchedArguments)
{
    twExInit(nullptr, nullptr);
    static volatile bool caught;
    caught = false;
    TW_TRY(TW_EX_SEGV) {
        char buf[64];
        twSprintf(buf, sizeof buf, "%1$Ld %3$Ld%2$ln", int64_t{5}, reinterpret_cast<long *>(8), int64_t{7});
    } TW_CATCH {
        caught = true;
        TW_EX_SWALLOW();
    } TW_END_TRY;
    EXPECT_TRUE(caught);
    EXPECT_EQ(0, blocksTagged("twprint-64t"));
}

int raisingOutOfMemory(int)
{
    twExThrow2(TW_EX_USER1, "raise_through", TW_SEV_ERROR, "refused by the test");
}

// The matcher's failure memory is made on the way; an out-of-memory
// handler that raises takes the match with it mid-way.
TEST(RaiseThroughEnv, MatcherReleasesWhatItGrewWhenItsAllocationRaises)
{
    twRegexp_TestMemoAfter(0);
    twRegexpT *re = twRegexpCompile("(a|b)+(c|d)+x");
    const char *subject = "ababababcdcdcdabababcdcdyx";
    twRegexpExec(re, nullptr, subject); // the tags' first blocks
    twMem_TestFailAllocation(0, 0);
    ASSERT_EQ(0, twRegexpExec(re, nullptr, subject));
    long attempts = twMem_TestAllocationCount();
    ASSERT_GT(attempts, 4) << "the match should remember failures";
    expectNoLeak("twRegexpExec", [re, subject, attempts] {
        twMemOutFn saved = twMemOutV;
        twMemOutV = raisingOutOfMemory;
        // Each tracked block takes the block, then its record: refuse the
        // last block itself, with the earlier ones held.
        twMem_TestFailAllocation(attempts - 1, 0);
        bool raised = raisesThrough([re, subject] { twRegexpExec(re, nullptr, subject); });
        twMem_TestFailAllocation(0, 0);
        twMemOutV = saved;
        EXPECT_TRUE(raised);
    });
    twRegexpDestroy(re);
    twRegexp_TestMemoAfter(-1);
}

// ---- the memory manager's own counter ----------------------------------

bool purgeRaises;

int raisingPurge()
{
    if (purgeRaises) twExThrow2(TW_EX_USER1, "raise_through", TW_SEV_ERROR, "purge refused");
    return 1;
}

TEST(RaiseThroughEnv, PurgeThatRaisesLeavesTheHandlerPurgingNextTime)
{
    twAddPurgeRoutine(raisingPurge);
    purgeRaises = true;
    EXPECT_TRUE(raisesThrough([] { twMemExit(0); }));
    purgeRaises = false;
    // Still inside a purge, the handler would end the process here.
    EXPECT_EQ(1, twMemExit(0));
}

// ---- exit handlers ---------------------------------------------------------

void raisingHandler(void *)
{
    twExThrow2(TW_EX_USER1, "raise_through", TW_SEV_ERROR, "handler refused");
}

// In a process of its own: the run tears the library's modules down.
TEST(RaiseThroughExitEnv, HandlerThatRaisesLeavesTheOthersForTheNextRun)
{
    void *block = twMemMalloc(16, "raise_through exit");
    twOnExitAdd(reinterpret_cast<twExitFn>(reinterpret_cast<void (*)(void)>(twMemFree)), block);
    twOnExitAdd(raisingHandler, nullptr);
    twOnExitSetOrder(raisingHandler, -1);
    EXPECT_TRUE(raisesThrough([] { twOnExitCall(); }));
    EXPECT_EQ(0, blocksTagged("ExitHandlerList")) << "the run's list went with the raise";
    EXPECT_EQ(1, blocksTagged("raise_through exit")) << "no handler after the raising one ran";
    // The run can start again, and calls what the first one did not reach
    // (the raising handler was called and is gone).
    twOnExitCall();
    EXPECT_EQ(0, blocksTagged("raise_through exit"));
}

// ---- directory loops -----------------------------------------------------

TEST(RaiseThroughEnv, DirectoryLoopsLeaveNothingBehind)
{
    char dir[] = "/tmp/raise_throughXXXXXX";
    ASSERT_NE(nullptr, mkdtemp(dir));
    for (const char *name : {"a.txt", "b.txt", "c.txt", "d.dat"}) {
        std::string path = std::string(dir) + "/" + name;
        FILE *f = fopen(path.c_str(), "w");
        ASSERT_NE(nullptr, f);
        fclose(f);
    }
    static char pattern[300];
    snprintf(pattern, sizeof pattern, "%s/*.txt", dir);
    static char dirPath[300];
    snprintf(dirPath, sizeof dirPath, "%s/", dir);
    twRegexpT *re = twRegexpCompile("^[a-c]");
    expectNoLeak("directory loops", [re] {
        raiseAfter = 2;
        EXPECT_TRUE(raisesThrough([] {
            tsLoop2(pattern, TS_KIND_FILE, [](const char *, void *) { countDown(); return 1; }, nullptr);
        }));
        raiseAfter = 2;
        EXPECT_TRUE(raisesThrough([re] {
            tsLoopRegexp(dirPath, TS_KIND_FILE, re,
                         [](const char *, void *, const twRegexpMatch *) { countDown(); return 1; }, nullptr);
        }));
        raiseAfter = 3;
        EXPECT_TRUE(raisesThrough([] {
            tsDirForEachFile(dirPath, nullptr, TS_KIND_ANY,
                             [](void *, const char *, const char *, long, long, int) { countDown(); return 1; },
                             nullptr);
        }));
        raiseAfter = 1;
        EXPECT_TRUE(raisesThrough([] {
            tsWdirLoopSrchdirs2([](void *, const char *) { countDown(); return 1; }, nullptr);
        }));
    });
    // The loops still work after the raises.
    int seen = 0;
    EXPECT_EQ(TS_OK, tsLoop2(pattern, TS_KIND_FILE, [](const char *, void *n) { ++*static_cast<int *>(n); return 1; },
                             &seen));
    EXPECT_EQ(3, seen);
    twRegexpDestroy(re);
    std::filesystem::remove_all(dir);
}

TW_ENV_SUITE(RaiseThroughEnv, MemDebug, "TW_MEMDBG=1");
TW_ENV_SUITE(RaiseThroughExitEnv, MemDebug, "TW_MEMDBG=1");

} // namespace
