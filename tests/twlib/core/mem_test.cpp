/* mem_test.cpp - tests of the tagged memory manager.
 *
 * MemTest runs in normal mode; MemDebugEnv and MemWatchEnv run under
 * TW_MEMDBG (and TW_MEMWATCH=menu) through mem_test.cmake; the scenes of
 * MemChildEnv.Run end their process and are run by a MemTest parent.
 */
#include "twlib/core/mem.h"
#include "twlib/core/mem_testhook.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "support/child.h"
#include "support/oom_sweep.h"
#include "twlib/core/exit.h"

namespace {

// The *Env cases need the memory settings that mem_test.cmake gives them.
bool debugMode()
{
    return getenv("TW_MEMDBG") && !getenv("TW_PURIFY");
}

std::vector<std::string> usageLines()
{
    static std::vector<std::string> lines;
    lines.clear();
    twMemPrintUsage([](const char *line) { lines.push_back(line); });
    return lines;
}

int say(const char *what)
{
    return fputs(what, stderr) >= 0;
}

TEST(MemTest, MoveCopiesOverlapsAndRchrReadsSignedBytes)
{
    char buf[] = "abcdefghij";
    twMemMove(buf + 2, buf, 8);  // must copy backwards
    twMemMove(buf, buf + 3, 7);  // must copy forwards
    EXPECT_STREQ("bcdefghfgh", buf);

    const char text[] = "a/b/c\xE9x";
    EXPECT_EQ(text + 3, twMemRchr(text, '/', 7));
    EXPECT_EQ(text + 1, twMemRchr(text, '/', 3));
    EXPECT_EQ(nullptr, twMemRchr(text, '/', 0));
    EXPECT_EQ(text + 5, twMemRchr(text, static_cast<signed char>('\xE9'), 7));
    EXPECT_EQ(nullptr, twMemRchr(text, 0xE9, 7)) << "bytes are read as signed chars";
}

TEST(MemChildEnv, Run)
{
    CHILD_ONLY();
    const std::string scene = getenv("TW_TEST_CHILD");
    twCleanupProcV = [] { return say("cleanup\n"); };
    if (scene == "exhausted") {
        twAddPurgeRoutine([] { return say("older\n"); });
        twAddPurgeRoutine([] { return say("purge\n"); });
        twMem_TestFailAllocation(1, 1);
        twMemMalloc(16, "doomed");
    } else if (scene == "exhaustedInPurge") {
        twAddPurgeRoutine([] {
            say("purge\n");
            twMem_FastMalloc(8);  // runs out again
            return 1;
        });
        twMem_TestFailAllocation(1, 1);
        twMem_FastCalloc(4, 4);
    } else if (scene == "overrun") {
        twMemFree(memcpy(twMemMalloc(5, "menu"), "ab\ncdX", 6));  // the X lands on the tail guard
    } else if (scene == "underrun") {
        memset(static_cast<char *>(twMemMalloc(100, "entry")) - 1, 'q', 101);
        twMem_DbgTestMemory();
    } else if (scene == "doubleFree") {
        twMemFree(twMemFree(twMemMalloc(8, "twice")));
    } else if (scene == "freeNull") {
        twMemFree(nullptr);
    }
}

TEST(MemTest, RunningOutAndDebugChecksEndTheProcessWithAReport)
{
    const int aborted = 128 + SIGABRT;
    const std::string outOfMemory = "purge\nolder\npurge\nolder\ncleanup\nOut of memory.\n";
    const std::string violation = "cleanup\n\nError:  memory violation for type ";
    const std::string badFree = "\n*** Fatal error encountered ***\ntwMem: Internal Error: "
                                "Attempt to free unallocated space - ";
    // With 'prefix', standard error only starts with err.
    const struct {
        const char *scene;
        std::vector<std::string> env;
        int status;
        std::string err;
        bool prefix = false;
    } cases[] = {
        {"exhausted", {}, 3, outOfMemory},
        {"exhausted", {"TW_MEMDBG=1"}, 3, outOfMemory},
        {"exhaustedInPurge", {}, 3, "purge\ncleanup\nOut of memory.\n"},  // no second purge
        {"overrun",
         {"TW_MEMDBG=1"},
         aborted,
         violation + "menu, size=5:\n"
                     "    First 2 longs: f0a55a0f 83523b6c should be f0a55a0f 83523b6c\n"
                     "     Last 2 longs: f0a55a58 83523b6c should be f0a55a0f 83523b6c\n"
                     "    Ascii dump of first 75 bytes:\n    ab.cd"},
        {"underrun",
         {"TW_MEMDBG="},
         aborted,
         violation +
             "entry, size=100:\n"
             "    First 2 longs: f0a55a0f 71523b6c should be f0a55a0f 83523b6c\n"
             "     Last 2 longs: f0a55a0f 83523b6c should be f0a55a0f 83523b6c\n"
             "    Ascii dump of first 75 bytes:\n    " +
             std::string(75, 'q')},
        {"doubleFree", {"TW_MEMDBG=1"}, aborted, badFree, true},
        {"freeNull", {"TW_MEMDBG=1"}, aborted, badFree + "0\ncleanup\n"},
        {"freeNull", {}, 0, ""},                              // no checks outside debug mode,
        {"freeNull", {"TW_MEMDBG=1", "TW_PURIFY=1"}, 0, ""},  // and TW_PURIFY turns it off
    };
    for (const auto &c : cases) {
        auto r = twtest::runChild("MemChildEnv.Run", c.scene, c.env);
        EXPECT_EQ(c.status, r.status) << c.scene;
        EXPECT_EQ(c.err, c.prefix ? r.err.substr(0, c.err.size()) : r.err) << c.scene;
        EXPECT_TRUE(c.status != 3 || c.env.empty() || r.out.find("Purge Routine:") != std::string::npos)
            << "in debug mode the usage report comes first";
    }
}

/* ------------------------------------------------------------------ */
/* Debug mode                                                          */
/* ------------------------------------------------------------------ */

TEST(MemDebugEnv, FreshBlocksAreFilledAndUsageLinesShowBytesPercentAndStars)
{
    if (!debugMode()) GTEST_SKIP() << "needs TW_MEMDBG";
    const unsigned char guard[8] = {0x0F, 0x5A, 0xA5, 0xF0, 0x6C, 0x3B, 0x52, 0x83};
    auto *m = static_cast<unsigned char *>(twMemMalloc(21, "menu"));
    for (int i = 0; i < 21; ++i) ASSERT_EQ(guard[i % 8], m[i]) << "byte " << i;
    auto *c = static_cast<unsigned char *>(twMemCalloc(3, 13, "menu"));
    EXPECT_EQ(39, std::count(c, c + 39, 0));
    static const char menuCopy[] = "menu";  // same text in another array: same tag
    void *more = twMemMalloc(60, menuCopy), *other = twMemMalloc(360, "other");
    auto lines = usageLines();
    auto has = [&](const std::string &line) { return std::count(lines.begin(), lines.end(), line) == 1; };
    EXPECT_EQ("Maximum memory usage=480, current memory usage=480", lines.at(0));
    EXPECT_TRUE(has("                menu:    120 (25%) " + std::string(25, '*'))) << "a star per percent";

    twMemFree(other);
    twMemFree(c);
    m = static_cast<unsigned char *>(twMemRealloc(m, 15, "rest"));  // the bytes move to the new tag
    more = twMemRealloc(more, 45, "rest");
    void *last = twMemMalloc(15, nullptr);
    lines = usageLines();
    EXPECT_EQ("Maximum memory usage=480, current memory usage=75", lines.at(0));
    EXPECT_EQ(3u, lines.size()) << "tags at 0 bytes are left out";
    EXPECT_TRUE(has("                rest:     60 (80%) " + std::string(60, '*'))) << "a star per byte";
    EXPECT_TRUE(has("           (unknown):     15 (20%) " + std::string(15, '*')));
    for (void *p : {static_cast<void *>(m), more, last}) twMemFree(p);
}

// A calloc product beyond 32 bits used to wrap into a far shorter block.
TEST(MemDebugEnv, CallocProductIsNotWrapped)
{
    if (!debugMode()) GTEST_SKIP() << "needs TW_MEMDBG";
    auto *p = static_cast<unsigned char *>(twMemCalloc(0x10000, 0x10001, "wide"));
    p[0x100010000ull - 1] = 1;
    EXPECT_THAT(usageLines().at(1), testing::HasSubstr("4295032832"));
    twMemFree(twMemRealloc(p, 8, "wide"));  // shrunk first: release poisons every byte
}

/* ------------------------------------------------------------------ */
/* Watched tag                                                         */
/* ------------------------------------------------------------------ */

// Numbers of six digits and more used to be cut by a too small buffer.
TEST(MemWatchEnv, WatchedBlocksAreNumberedTracedAndListedWhole)
{
    if (!debugMode()) GTEST_SKIP() << "needs TW_MEMDBG";
    testing::internal::CaptureStdout();
    void *a = twMemMalloc(10, "menu"), *b = twMemRealloc(nullptr, 20, "menu"), *c = twMemCalloc(2, 3, "menu");
    void *quiet = twMemMalloc(7, "other");
    twMemFree(a);
    b = twMemRealloc(b, 40, "other");
    quiet = twMemRealloc(quiet, 8, "menu");
    EXPECT_EQ("twMemWATCH: malloc, 10 [1] bytes\ntwMemWATCH: malloc, 20 [2] bytes\n"
              "twMemWATCH: calloc, 6 [3] bytes\ntwMemWATCH: free, 10 [1] bytes\n"
              "twMemWATCH: realloc, 20 [2] to 40 [0] bytes\ntwMemWATCH: realloc, 7 [0] to 8 [4] bytes\n",
              testing::internal::GetCapturedStdout());
    auto lines = usageLines();
    ASSERT_GE(lines.size(), 3u);
    std::sort(lines.end() - 2, lines.end());  // listed in table order
    EXPECT_EQ((std::vector<std::string>{"twMemWATCH: unfreed", "[3]", "[4]"}),
              std::vector<std::string>(lines.end() - 3, lines.end()));
    for (void *p : {b, c, quiet}) twMemFree(p);

    testing::internal::CaptureStdout();
    for (int i = 0; i < 100000; ++i) twMemFree(twMemMalloc(1, "menu"));
    void *kept = twMemMalloc(1, "menu");
    testing::internal::GetCapturedStdout();
    EXPECT_EQ("[100005]", usageLines().back());
    twMemFree(kept);
}

// A refused allocation is retried after the purge routines ran; only a
// third refusal in a row ends the process. Every allocation of a typical use
// refused in turn, alone and from then on.
TEST(MemTest, RefusedAllocationsAreRetriedOrEndTheProcessCleanly)
{
    long made = twtest::sweepAllocationFailures(
        [] {
            static int purged;
            twAddPurgeRoutine([] { return ++purged; });
            char *a = static_cast<char *>(twMemMalloc(40, "sweep"));
            char *b = static_cast<char *>(twMemCalloc(8, 8, "sweep"));
            a = static_cast<char *>(twMemRealloc(a, 4000, "sweep"));
            memset(a, 'x', 4000);
            for (int i = 0; i < 64; ++i) EXPECT_EQ(0, b[i]);
            twMemFree(b);
            twMemFree(a);
            printf("done\n");
        },
        [](const twtest::ForkResult &r) { EXPECT_EQ("done\n", r.out); });
    EXPECT_GE(made, 4);
}

TEST(MemDebugSweepEnv, RefusalsInDebugModeLeaveTheTablesSound)
{
    long made = twtest::sweepAllocationFailures(
        [] {
            void *blocks[20];
            for (int i = 0; i < 20; ++i) blocks[i] = twMemMalloc(10 + i, i % 2 ? "odd" : "even");
            for (int i = 0; i < 20; i += 2) blocks[i] = twMemRealloc(blocks[i], 100, "grown");
            for (void *p : blocks) twMemFree(p);
            twMem_DbgTestMemory();
            twMemPrintUsageStdout();
        },
        [](const twtest::ForkResult &r) {
            EXPECT_NE(std::string::npos, r.out.find("current memory usage=0")) << r.out;
        });
    EXPECT_GT(made, 20);
}

// Suites that run in processes of their own.
TW_CHILD_SUITE(MemChildEnv);
TW_ENV_SUITE(MemDebugEnv, MemDebug, "TW_MEMDBG=1");
TW_ENV_SUITE(MemDebugEnv, MemDebugEmptyValue, "TW_MEMDBG=");
TW_ENV_SUITE(MemWatchEnv, Watch, "TW_MEMDBG=1", "TW_MEMWATCH=menu");
TW_ENV_SUITE(MemDebugSweepEnv, MemDebug, "TW_MEMDBG=1");

}  // namespace
