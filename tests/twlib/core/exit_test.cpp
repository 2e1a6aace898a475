/* exit_test.cpp - tests of exit handlers, cleanup and the process ends.
 *
 * Every case ends (or may end) its process, so each ExitChildEnv case runs
 * in a child process with a chosen environment and its parent ExitTest case
 * checks the status and what the child wrote. Handlers write to standard
 * error, which the test framework leaves alone.
 */
#include "twlib/core/exit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/twlib/core/child.h"
#include "twlib/core/mem.h"

namespace {

twtest::ProcessResult runChild(const std::string &test, std::vector<std::string> env = {})
{
    return twtest::runChild("ExitChildEnv." + test, std::move(env));
}

void say(const char *what, void *arg)
{
    fprintf(stderr, "%s(%ld)\n", what, static_cast<long>(reinterpret_cast<intptr_t>(arg)));
}

void plain0(void *arg) { say("plain0", arg); }
void early(void *arg) { say("early", arg); }
void msg85(void *arg) { say("msg85", arg); }
void str90(void *arg) { say("str90", arg); }
void twice(void *arg) { say("twice", arg); }
void once(void *arg) { say("once", arg); }
void removed(void *arg) { say("removed", arg); }

void countBlocks(void *)
{
    int live = 0;
    twMem_DbgCallFuncForStr("exit block", [](void *n, void *) { ++*static_cast<int *>(n); }, &live);
    fprintf(stderr, "live blocks %d\n", live);
}

// A handler without parameters, registered through the generic type.
void noArgs(void) { fputs("noArgs\n", stderr); }

void *arg(long v) { return reinterpret_cast<void *>(static_cast<intptr_t>(v)); }

/* ------------------------------------------------------------------ */

TEST(ExitChildEnv, OrderedRun)
{
    CHILD_ONLY();
    void *block = twMemMalloc(32, "exit block");
    twOnExitAdd(reinterpret_cast<twExitFn>(reinterpret_cast<void (*)(void)>(twMemFree)), block);
    twOnExitAdd(str90, arg(9));
    twOnExitSetOrder(str90, 90);
    twOnExitAdd(msg85, arg(8));
    twOnExitSetOrder(msg85, 85);
    twOnExitAdd(countBlocks, nullptr);
    twOnExitAdd(twice, arg(2));
    twOnExitAdd(twice, arg(2));
    twOnExitAdd(once, arg(0));
    twOnExitAdd2(once);
    twOnExitAdd(removed, arg(5));
    twOnExitRemove(removed, arg(5));
    twOnExitAdd2(removed);
    twOnExitRemove2(removed);
    twOnExitRemove(removed, arg(6));  // never registered
    twOnExitAdd2(reinterpret_cast<twExitFn>(noArgs));
    twExit(2);
}

TEST(ExitTest, HandlersRunOnceInAscendingOrder)
{
    for (const char *setting : {"TW_MEMDBG=1", "TW_PURIFY=1"}) {
        auto r = runChild("OrderedRun", {setting});
        EXPECT_EQ(2, r.status) << setting;
        // Order-0 handlers come first (in the table's walk order), then 85,
        // then the 90s.
        const std::string &e = r.err;
        size_t p85 = e.find("msg85(8)\n"), p90 = e.find("str90(9)\n");
        ASSERT_NE(std::string::npos, p85) << e;
        ASSERT_NE(std::string::npos, p90) << e;
        EXPECT_LT(p85, p90);
        for (const char *zero : {"twice(2)\n", "once(0)\n", "noArgs\n"}) {
            size_t p = e.find(zero);
            ASSERT_NE(std::string::npos, p) << zero << " in " << e;
            EXPECT_LT(p, p85) << zero;
            EXPECT_EQ(std::string::npos, e.find(zero, p + 1)) << zero << " ran twice";
        }
        size_t live = e.find("live blocks ");
        ASSERT_NE(std::string::npos, live);
        EXPECT_LT(live, p85);
        if (std::string(setting) == "TW_MEMDBG=1") {
            EXPECT_EQ(0, e.compare(live, 14, "live blocks 1\n"))
                << "the block is freed only after the order-0 handlers";
            // Every handler gave its memory back: nothing is left to report.
            EXPECT_EQ(std::string::npos, r.out.find("exit block")) << r.out;
            EXPECT_NE(std::string::npos, r.out.find("current memory usage=0")) << r.out;
        }
        EXPECT_EQ(std::string::npos, e.find("removed")) << e;
        EXPECT_EQ(6, std::count(e.begin(), e.end(), '\n')) << e;
    }
}

TEST(ExitChildEnv, UnrecordedRun)
{
    CHILD_ONLY();
    twOnExitAdd(plain0, arg(1));
    twOnExitSetOrder(plain0, 3);
    twOnExitAdd2(early);
    twOnExitCall();
    fputs("after call\n", stderr);
    twExit(7);
}

TEST(ExitTest, NothingIsRecordedWithoutAMemoryCheck)
{
    auto r = runChild("UnrecordedRun", {"TW_MEMWATCH=x", "TW_MEMFLDISABLE=1"});
    EXPECT_EQ(7, r.status);
    EXPECT_EQ("after call\n", r.err);
}

TEST(ExitChildEnv, CallNowAndGoOn)
{
    CHILD_ONLY();
    twOnExitAdd(plain0, arg(1));
    twOnExitAdd(early, arg(2));
    twOnExitSetOrder(early, -5);
    twOnExitCall();
    fputs("--\n", stderr);
    twOnExitCall();  // both tables are gone: nothing runs
    fputs("--\n", stderr);
    twOnExitAdd(plain0, arg(3));
    twGoodbye();
}

TEST(ExitTest, CallRunsHandlersAndTheProcessGoesOn)
{
    auto r = runChild("CallNowAndGoOn", {"TW_MEMDBG=1"});
    EXPECT_EQ(0, r.status) << "twGoodbye ends with status 0";
    // The order of 'early' was dropped with the order table by the first run.
    EXPECT_EQ("early(2)\nplain0(1)\n--\n--\nplain0(3)\n", r.err);
}

/* ------------------------------------------------------------------ */
/* Handlers that interfere with the run                                */
/* ------------------------------------------------------------------ */

void removesLater(void *)
{
    fputs("removesLater\n", stderr);
    twOnExitRemove(removed, arg(1));
    twOnExitAdd(plain0, arg(99));  // added during the run: never called
}

void exitsAgain(void *)
{
    fputs("exitsAgain\n", stderr);
    twExit(4);
}

TEST(ExitChildEnv, InterferingHandlers)
{
    CHILD_ONLY();
    twOnExitAdd(removesLater, nullptr);
    twOnExitAdd(removed, arg(1));
    twOnExitSetOrder(removed, 10);
    twOnExitAdd(exitsAgain, nullptr);
    twOnExitSetOrder(exitsAgain, 20);
    twOnExitAdd(str90, arg(1));
    twOnExitSetOrder(str90, 30);
    twExit(1);
}

// Removing a handler from inside the run used to leave the run holding a
// freed key; ending the process from a handler used to start the run again.
TEST(ExitTest, HandlersMayRemoveOthersOrEndTheProcess)
{
    auto r = runChild("InterferingHandlers", {"TW_MEMDBG=1"});
    EXPECT_EQ(4, r.status);
    EXPECT_EQ("removesLater\nexitsAgain\n", r.err);
}

/* ------------------------------------------------------------------ */
/* Cleanup and disorderly end                                          */
/* ------------------------------------------------------------------ */

int cleanupProc()
{
    fputs("cleanup\n", stderr);
    return 1;
}
int fatal1()
{
    fputs("fatal1\n", stderr);
    return 1;
}
int fatal2()
{
    fputs("fatal2\n", stderr);
    return 1;
}
int abortsAgain()
{
    fputs("abortsAgain\n", stderr);
    twAbort(0);
}

TEST(ExitChildEnv, AbortAfterCleanup)
{
    CHILD_ONLY();
    twCleanupProcV = cleanupProc;
    twOnExitAdd(plain0, arg(1));
    twAbortAddHandler(fatal1);
    twAbortAddHandler(fatal2);
    twCleanup();
    twCleanup();
    twAbort(0);
}

TEST(ExitChildEnv, AbortWithCore)
{
    CHILD_ONLY();
    twCleanupProcV = cleanupProc;
    twAbortAddHandler(fatal1);
    twAbort(1);
}

TEST(ExitChildEnv, AbortFromFatalHandler)
{
    CHILD_ONLY();
    twCleanupProcV = cleanupProc;
    twAbortAddHandler(fatal1);
    twAbortAddHandler(abortsAgain);
    twAbort(0);
}

TEST(ExitTest, AbortRunsCleanupOnceAndFatalHandlersNewestFirst)
{
    auto r = runChild("AbortAfterCleanup", {"TW_MEMDBG=1"});
    EXPECT_EQ(3, r.status);
    EXPECT_EQ("cleanup\nfatal2\nfatal1\n", r.err) << "no exit handler and no second cleanup";
    EXPECT_EQ(std::string::npos, r.out.find("memory usage")) << "no memory reports either";

    r = runChild("AbortWithCore");
    EXPECT_EQ(128 + SIGABRT, r.status);
    EXPECT_EQ("cleanup\nfatal1\n", r.err);

    r = runChild("AbortFromFatalHandler");
    EXPECT_EQ(3, r.status);
    EXPECT_EQ("cleanup\nabortsAgain\n", r.err) << "a nested abort goes straight to the end";
}

} // namespace
