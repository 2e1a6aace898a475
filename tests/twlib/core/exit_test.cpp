/* exit_test.cpp - tests of exit handlers, cleanup and the process ends.
 *
 * Every scene ends its process, so the child case ExitChildEnv.Run plays
 * each in a child process and ExitTest checks its status and what it wrote.
 * Handlers write to standard error, which the test framework leaves alone.
 */
#include "twlib/core/exit.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/child.h"
#include "support/oom_sweep.h"
#include "twlib/core/mem.h"

namespace {

int note(const char *line)
{
    return fprintf(stderr, "%s\n", line) > 0;
}

// Orders are set per function, so each order in use has its own handler.
void say(void *text)
{
    note(static_cast<const char *>(text));
}
void at85(void *text)
{
    say(text);
}
void at90(void *text)
{
    say(text);
}
void noArgs(void)
{
    note("noArgs");
}
const twExitFn noArgsFn = reinterpret_cast<twExitFn>(noArgs);

char text85[] = "at 85", text90[] = "at 90", twice[] = "twice", gone[] = "removed";

TEST(ExitChildEnv, Run)
{
    CHILD_ONLY();
    const std::string scene = getenv("TW_TEST_CHILD");
    twCleanupProcV = [] { return note("cleanup"); };
    twOnExitAdd(at85, text85);
    twOnExitSetOrder(at85, 85);
    twOnExitAdd(at90, text90);
    twOnExitSetOrder(at90, 90);
    if (scene == "ordered") {
        static void *block = twMemMalloc(32, "exit block");  // static: kept when nothing frees it
        twOnExitAdd(reinterpret_cast<twExitFn>(reinterpret_cast<void (*)(void)>(twMemFree)), block);
        twOnExitAdd(
            [](void *) {  // order 0: runs while the block is live
                int live = 0;
                twMem_DbgCallFuncForStr(
                    "exit block", [](void *n, void *) { ++*static_cast<int *>(n); }, &live);
                fprintf(stderr, "live blocks %d\n", live);
            },
            nullptr);
        twOnExitAdd(say, twice);
        twOnExitAdd(say, twice);
        twOnExitSetOrder(say, 1);
        twOnExitAdd(noArgsFn, nullptr);
        twOnExitAdd2(noArgsFn);
        twOnExitSetOrder(noArgsFn, 2);
        twOnExitAdd(say, gone);
        twOnExitRemove(say, gone);
        twOnExitRemove(say, nullptr);  // never registered
        twExit(2);
    }
    if (scene == "callThenGoodbye") {
        twOnExitCall();
        note("goes on");
        twOnExitAdd(say, const_cast<char *>("at end"));
        twGoodbye();
    }
    // Removing a handler from inside the run used to leave the run holding a
    // freed key; ending the process from a handler used to start the run again.
    if (scene == "interfering") {
        twExitFn removesLater = [](void *) {
            note("removesLater");
            twOnExitRemove(at85, text85);
            twOnExitAdd(say, gone);  // added during the run: never called
        };
        twExitFn exitsAgain = [](void *) {
            note("exitsAgain");
            twExit(4);
        };
        twOnExitAdd(removesLater, nullptr);
        twOnExitAdd(exitsAgain, nullptr);
        twOnExitSetOrder(exitsAgain, 95);
        twExit(1);
    }
    twAbortAddHandler([] { return note("fatal1"); });
    twAbortAddHandler([] { return note("fatal2"); });
    if (scene == "abortFromFatal") {
        twAbortAddHandler([]() -> int {
            note("again");  // the newest handler runs first; its abort ends at once
            twAbort(0);
        });
    }
    twCleanup();
    twCleanup();
    twAbort(0);
}

TEST(ExitTest, HandlersRunOnceInOrderOnlyUnderAMemoryCheckAndAbortCleansUpOnce)
{
    // Memory reports come only in debug mode, and never after an abort.
    const char *none = nullptr, *report = "Maximum memory usage=", *allBack = "current memory usage=0";
    const struct {
        const char *scene, *env;
        int status;
        const char *err, *out;
    } cases[] = {
        // twMemFree(block) has order 90: it runs after every order-0 handler.
        {"ordered", "TW_MEMDBG=1", 2, "live blocks 1\ntwice\nnoArgs\nat 85\nat 90\n", allBack},
        {"ordered", "TW_PURIFY=1", 2, "live blocks 0\ntwice\nnoArgs\nat 85\nat 90\n", none},
        {"ordered", "TW_MEMWATCH=x", 2, "", none},  // nothing recorded without a memory check
        {"callThenGoodbye", "TW_MEMDBG=1", 0, "at 85\nat 90\ngoes on\nat end\n", allBack},
        {"interfering", "TW_MEMDBG=1", 4, "removesLater\nat 90\nexitsAgain\n", report},
        {"abort", "TW_MEMDBG=1", 3, "cleanup\nfatal2\nfatal1\n", none},
        {"abortFromFatal", "TW_PURIFY=1", 3, "cleanup\nagain\n", none},
    };
    for (const auto &c : cases) {
        // TW_MEMFLDISABLE is no memory check: it must not turn recording on.
        auto r = twtest::runChild("ExitChildEnv.Run", c.scene, {c.env, "TW_MEMFLDISABLE=1"});
        EXPECT_EQ(c.status, r.status) << c.scene;
        EXPECT_EQ(c.err, r.err) << c.scene;
        EXPECT_EQ(c.out != none, r.out.find(c.out ? c.out : report) != std::string::npos) << c.scene << r.out;
    }
}

// Handlers are recorded only under a memory check, so this suite runs with
// TW_MEMDBG set.
TEST(ExitSweepEnv, RefusedAllocationsWhileRecordingHandlersEndCleanly)
{
    long made = twtest::sweepAllocationFailures(
        [] {
            static char words[30];
            for (char &w : words) twOnExitAdd(say, &w);
            twOnExitSetOrder(say, 3);
            twOnExitAdd(at85, text85);
            twOnExitSetOrder(at85, 85);
            twOnExitRemove(say, &words[5]);
            twOnExitCall();
        },
        [](const twtest::ForkResult &r) {
            // 29 texts of the words (all empty), then "at 85".
            EXPECT_EQ(std::string(29, '\n') + "at 85\n", r.err);
        });
    EXPECT_GT(made, 60);
}

TEST(ExitSweepEnv, HandlersOfEqualOrderRunInTableOrderAcrossGrowth)
{
    // Every handler runs exactly once, also after the table grew twice.
    static int calls[2000];
    static const twExitFn count = [](void *p) { ++*static_cast<int *>(p); };
    for (int i = 0; i < 2000; ++i) twOnExitAdd(count, &calls[i]);
    twOnExitAdd(count, &calls[7]);  // the same pair again: still once
    twOnExitCall();
    for (int i = 0; i < 2000; ++i) ASSERT_EQ(1, calls[i]) << i;
    twOnExitCall();  // the tables are gone: nothing runs twice
    for (int i = 0; i < 2000; ++i) ASSERT_EQ(1, calls[i]) << i;
}

// Suites that run in processes of their own.
TW_CHILD_SUITE(ExitChildEnv);
TW_ENV_SUITE(ExitSweepEnv, MemDebug, "TW_MEMDBG=1");

}  // namespace
