/* mem_test.cpp - tests of the tagged memory manager.
 *
 * MemTest runs in normal mode; MemDebugEnv and MemWatchEnv run under
 * TW_MEMDBG (and TW_MEMWATCH=menu) through mem_test.cmake; MemChildEnv
 * cases end their process and are run by a MemTest parent.
 */
#include "twlib/core/mem.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>

#include "tests/twlib/core/child.h"
#include "twlib/core/exit.h"

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;
using twtest::runChild;

#define REQUIRE_DEBUG_ENV()                                                                  \
    do {                                                                                     \
        if (!getenv("TW_MEMDBG") || getenv("TW_PURIFY")) GTEST_SKIP() << "needs TW_MEMDBG"; \
    } while (0)

std::vector<std::string> usageLines()
{
    static std::vector<std::string> *sink;
    std::vector<std::string> lines;
    sink = &lines;
    twMemPrintUsage([](const char *line) { sink->push_back(line); });
    return lines;
}

bool hasLine(const std::vector<std::string> &lines, const std::string &line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

int say(const char *what)
{
    fputs(what, stderr);
    return 1;
}
int purgeToStderr() { return say("purge\n"); }
int cleanupToStderr() { return say("cleanup\n"); }

/* ------------------------------------------------------------------ */
/* Normal mode                                                         */
/* ------------------------------------------------------------------ */

TEST(MemTest, NormalModeBlocksAndSilentReports)
{
    void *a = twMemMalloc(0, "zero");
    void *b = twMemMalloc(0, "zero");
    ASSERT_TRUE(a && b);
    EXPECT_NE(a, b) << "empty requests still get distinct blocks";
    auto *z = static_cast<unsigned char *>(twMemCalloc(100, 3, "zeroed"));
    EXPECT_EQ(300, std::count(z, z + 300, 0));
    auto *r = static_cast<char *>(twMemRealloc(nullptr, 6, "grow"));
    memcpy(r, "hello", 6);
    r = static_cast<char *>(twMemRealloc(r, 5000, "grow"));
    EXPECT_STREQ("hello", r);

    CaptureStdout();
    twMemPrintUsageStdout();
    twMem_DbgPrintStrings();
    twMem_DbgTestMemory();
    EXPECT_EQ("", GetCapturedStdout()) << "debug reports are off in normal mode";

    EXPECT_EQ(a, twMemFree(a));
    for (void *p : {b, static_cast<void *>(z), static_cast<void *>(r)}) twMemFree(p);
    EXPECT_EQ(nullptr, twMemFree(nullptr));
    EXPECT_EQ(1, twDummyProc());
}

TEST(MemTest, MoveAndRchr)
{
    char buf[16];
    memcpy(buf, "abcdefghij", 11);
    twMemMove(buf + 2, buf, 8);
    EXPECT_EQ(0, memcmp(buf, "ababcdefgh", 10));
    memcpy(buf, "abcdefghij", 11);
    twMemMove(buf, buf + 3, 7);
    EXPECT_EQ(0, memcmp(buf, "defghijhij", 10));

    const char text[] = "a/b/c\xE9x";
    EXPECT_EQ(text + 3, twMemRchr(text, '/', 7));
    EXPECT_EQ(text + 1, twMemRchr(text, '/', 3));
    EXPECT_EQ(nullptr, twMemRchr(text, '/', 0));
    EXPECT_EQ(text + 5, twMemRchr(text, static_cast<signed char>('\xE9'), 7));
    EXPECT_EQ(nullptr, twMemRchr(text, 0xE9, 7)) << "bytes are read as signed chars";
}

int attempts[4], attemptCount;
int clearFailureOnSecondAttempt(int attempt)
{
    attempts[attemptCount++] = attempt;
    if (attempt == 1) twMem_FailAllocationsV = 0;
    return 1;
}

TEST(MemTest, OutOfMemoryHandlerRetriesAndKeepsOldBlock)
{
    auto *keep = static_cast<char *>(twMemMalloc(4, "keep"));
    memcpy(keep, "abc", 4);
    twMemOutFn saved = twMemOutV;
    twMemOutV = clearFailureOnSecondAttempt;
    twMem_FailAllocationsV = 1;
    keep = static_cast<char *>(twMemRealloc(keep, 4000, "keep"));
    twMemOutV = saved;
    ASSERT_EQ(2, attemptCount);
    EXPECT_EQ(0, attempts[0]);
    EXPECT_EQ(1, attempts[1]);
    EXPECT_STREQ("abc", keep);
    twMemFree(keep);
}

TEST(MemChildEnv, ExhaustedHeap)
{
    CHILD_ONLY();
    twAddPurgeRoutine([] { return say("older\n"); });
    twAddPurgeRoutine(purgeToStderr);
    twCleanupProcV = cleanupToStderr;
    twMem_FailAllocationsV = 1;
    twMemMalloc(16, "doomed");
}

TEST(MemChildEnv, ExhaustedInsidePurge)
{
    CHILD_ONLY();
    twAddPurgeRoutine([] {
        say("purge\n");
        twMem_FastMalloc(8);  // fails again
        return 1;
    });
    twMem_FailAllocationsV = 1;
    twMem_FastCalloc(4, 4);
}

TEST(MemTest, ExhaustedHeapPurgesTwiceThenStops)
{
    const char *expected = "purge\nolder\npurge\nolder\ncleanup\nOut of memory.\n";
    auto r = runChild("MemChildEnv.ExhaustedHeap");
    EXPECT_EQ(3, r.status);
    EXPECT_EQ(expected, r.err);
    r = runChild("MemChildEnv.ExhaustedHeap", {"TW_MEMDBG=1"});
    EXPECT_EQ(3, r.status);
    EXPECT_EQ(expected, r.err);
    EXPECT_NE(std::string::npos, r.out.find("Purge Routine:")) << "usage report first: " << r.out;
    r = runChild("MemChildEnv.ExhaustedInsidePurge");
    EXPECT_EQ(3, r.status);
    EXPECT_EQ("purge\nOut of memory.\n", r.err) << "a purge that runs out must not purge again";
}

/* ------------------------------------------------------------------ */
/* Debug mode                                                          */
/* ------------------------------------------------------------------ */

TEST(MemDebugEnv, FreshBlocksAndUsageLines)
{
    REQUIRE_DEBUG_ENV();
    const unsigned char guard[8] = {0x0F, 0x5A, 0xA5, 0xF0, 0x6C, 0x3B, 0x52, 0x83};
    auto *m = static_cast<unsigned char *>(twMemMalloc(21, "menu"));
    for (int i = 0; i < 21; ++i) ASSERT_EQ(guard[i % 8], m[i]) << "byte " << i;
    auto *c = static_cast<unsigned char *>(twMemCalloc(3, 13, "menu"));
    EXPECT_EQ(39, std::count(c, c + 39, 0));
    void *z = twMemMalloc(0, "menu");
    void *z2 = twMemMalloc(0, "menu");
    EXPECT_NE(z, z2);

    // Two arrays with one text share a tag record.
    static const char menuCopy[] = "menu";
    void *more = twMemMalloc(60, menuCopy);
    void *other = twMemMalloc(360, "other");
    auto lines = usageLines();
    EXPECT_EQ("Maximum memory usage=480, current memory usage=480", lines.at(0));
    EXPECT_EQ(3u, lines.size());
    EXPECT_TRUE(hasLine(lines, "                menu:    120 (25%) " + std::string(25, '*')));

    // Up to 100 live bytes the bar has one star per byte; resizing under
    // another tag moves the bytes; a tag at 0 bytes is not listed.
    twMemFree(other);
    twMemFree(c);
    twMemFree(z);
    twMemFree(z2);
    m = static_cast<unsigned char *>(twMemRealloc(m, 15, "rest"));
    more = twMemRealloc(more, 45, "rest");
    void *last = twMemMalloc(15, nullptr);
    lines = usageLines();
    EXPECT_EQ("Maximum memory usage=480, current memory usage=75", lines.at(0));
    EXPECT_EQ(3u, lines.size());
    EXPECT_TRUE(hasLine(lines, "                rest:     60 (80%) " + std::string(60, '*')));
    EXPECT_TRUE(hasLine(lines, "           (unknown):     15 (20%) " + std::string(15, '*')));
    for (void *p : {static_cast<void *>(m), more, last}) twMemFree(p);
}

TEST(MemDebugEnv, BlockWalksAndUnfreedStrings)
{
    REQUIRE_DEBUG_ENV();
    static const std::string w40(40, 'w'), v40(40, 'v');
    for (const char *text : {"alpha", "beta", "", w40.c_str(), v40.c_str()})
        strcpy(static_cast<char *>(twMemMalloc(static_cast<uint32_t>(strlen(text) + 1), "twString")), text);
    CaptureStdout();
    twMem_DbgPrintStrings();
    std::string out = GetCapturedStdout();
    ASSERT_EQ(0u, out.find("\n\nUnfreed strings:\n")) << out;
    for (const char *word : {"alpha ", "beta ", w40.c_str(), v40.c_str()})
        EXPECT_NE(std::string::npos, out.find(word)) << out;
    size_t column = 0, widest = 0;
    for (char ch : out.substr(19)) widest = std::max(widest, column = ch == '\n' ? 0 : column + 1);
    EXPECT_LT(widest, 80u) << "lines wrap before 80 columns: " << out;

    // The walk lets its function release the block it is handed.
    int count = 0;
    static int *counter;
    counter = &count;
    twMem_DbgCallFuncForStr("twString", [](void *, void *block) {
        ++*counter;
        twMemFree(block);
    }, nullptr);
    EXPECT_EQ(5, count);
    CaptureStdout();
    twMem_DbgPrintStrings();
    EXPECT_EQ("\n", GetCapturedStdout());
}

// A calloc product beyond 32 bits used to wrap into a far shorter block.
TEST(MemDebugEnv, CallocProductIsNotWrapped)
{
    REQUIRE_DEBUG_ENV();
    auto *p = static_cast<unsigned char *>(twMemCalloc(0x10000, 0x10001, "wide"));
    p[0x100010000ull - 1] = 1;
    auto lines = usageLines();
    EXPECT_NE(std::string::npos, lines.at(1).find("4295032832")) << lines[1];
    twMemFree(twMemRealloc(p, 8, "wide"));  // shrunk first: release poisons every byte
}

TEST(MemChildEnv, OverrunIntoSlack)
{
    CHILD_ONLY();
    auto *p = static_cast<char *>(twMemMalloc(5, "menu"));
    memcpy(p, "ab\ncdX", 6);  // the X lands in the rounding slack
    twMemFree(p);
}

TEST(MemChildEnv, UnderrunFoundByTest)
{
    CHILD_ONLY();
    auto *p = static_cast<char *>(twMemMalloc(100, "entry"));
    memset(p - 1, 'q', 101);
    twMem_DbgTestMemory();
}

TEST(MemChildEnv, DoubleFree)
{
    CHILD_ONLY();
    twMemFree(twMemFree(twMemMalloc(8, "twice")));
}

TEST(MemChildEnv, FreeNull)
{
    CHILD_ONLY();
    twCleanupProcV = cleanupToStderr;
    twMemFree(nullptr);
}

TEST(MemChildEnv, ReallocForeign)
{
    CHILD_ONLY();
    static char notABlock[32];
    twMemRealloc(notABlock + 8, 10, "x");
}

TEST(MemTest, DebugModeStopsOnDamageAndBadRelease)
{
    const int aborted = 128 + SIGABRT;
    auto r = runChild("MemChildEnv.OverrunIntoSlack", {"TW_MEMDBG=1"});
    EXPECT_EQ(aborted, r.status);
    EXPECT_EQ("\nError:  memory violation for type menu, size=5:\n"
              "    First 2 longs: f0a55a0f 83523b6c should be f0a55a0f 83523b6c\n"
              "     Last 2 longs: f0a55a58 83523b6c should be f0a55a0f 83523b6c\n"
              "    Ascii dump of first 75 bytes:\n    ab.cd",
              r.err);

    r = runChild("MemChildEnv.UnderrunFoundByTest", {"TW_MEMDBG="});
    EXPECT_EQ(aborted, r.status) << "an empty TW_MEMDBG selects debug mode too";
    EXPECT_NE(std::string::npos, r.err.find("type entry, size=100:\n    First 2 longs: f0a55a0f 71523b6c "))
        << r.err;
    EXPECT_NE(std::string::npos, r.err.find("bytes:\n    " + std::string(75, 'q'))) << r.err;

    r = runChild("MemChildEnv.DoubleFree", {"TW_MEMDBG=1"});
    EXPECT_EQ(aborted, r.status);
    EXPECT_TRUE(testing::internal::RE::PartialMatch(
        r.err, testing::internal::RE("Attempt to free unallocated space - [0-9A-F]+\n")))
        << r.err;
    r = runChild("MemChildEnv.FreeNull", {"TW_MEMDBG=1"});
    EXPECT_EQ(aborted, r.status);
    EXPECT_NE(std::string::npos, r.err.find("Attempt to free unallocated space - 0\n")) << r.err;
    EXPECT_NE(std::string::npos, r.err.find("cleanup\n")) << r.err;
    r = runChild("MemChildEnv.ReallocForeign", {"TW_MEMDBG=1"});
    EXPECT_EQ(aborted, r.status);
    EXPECT_NE(std::string::npos, r.err.find("Attempt to free unallocated space")) << r.err;

    // No checks outside debug mode, and TW_PURIFY turns debug mode off.
    EXPECT_EQ(0, runChild("MemChildEnv.FreeNull").status);
    EXPECT_EQ(0, runChild("MemChildEnv.FreeNull", {"TW_MEMDBG=1", "TW_PURIFY=1"}).status);
}

/* ------------------------------------------------------------------ */
/* Watched tag                                                         */
/* ------------------------------------------------------------------ */

TEST(MemWatchEnv, WatchedBlocksAreTracedAndListed)
{
    REQUIRE_DEBUG_ENV();
    CaptureStdout();
    void *a = twMemMalloc(10, "menu");
    void *b = twMemRealloc(nullptr, 20, "menu");
    void *c = twMemCalloc(2, 3, "menu");
    void *quiet = twMemMalloc(7, "other");
    twMemFree(a);
    b = twMemRealloc(b, 40, "other");
    quiet = twMemRealloc(quiet, 8, "menu");
    EXPECT_EQ("twMemWATCH: malloc, 10 [1] bytes\n"
              "twMemWATCH: malloc, 20 [2] bytes\n"
              "twMemWATCH: calloc, 6 [3] bytes\n"
              "twMemWATCH: free, 10 [1] bytes\n"
              "twMemWATCH: realloc, 20 [2] to 40 [0] bytes\n"
              "twMemWATCH: realloc, 7 [0] to 8 [4] bytes\n",
              GetCapturedStdout());
    auto lines = usageLines();
    auto watch = std::find(lines.begin(), lines.end(), "twMemWATCH: unfreed");
    ASSERT_NE(lines.end(), watch);
    std::vector<std::string> listed(watch + 1, lines.end());
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ((std::vector<std::string>{"[3]", "[4]"}), listed);
    for (void *p : {b, c, quiet}) twMemFree(p);
}

// Numbers of six digits and more used to be cut by a too small buffer.
TEST(MemWatchEnv, LongSequenceNumbersAreListedWhole)
{
    REQUIRE_DEBUG_ENV();
    FILE *saved = stdout;
    stdout = fopen("/dev/null", "w");  // 100000 trace lines
    for (int i = 0; i < 100000; ++i) twMemFree(twMemMalloc(1, "menu"));
    void *kept = twMemMalloc(1, "menu");
    fclose(stdout);
    stdout = saved;
    std::string last = usageLines().back();
    EXPECT_TRUE(testing::internal::RE::FullMatch(last, testing::internal::RE("\\[1000[0-9][0-9]\\]")))
        << last;
    twMemFree(kept);
}

} // namespace
