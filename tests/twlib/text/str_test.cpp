#include "twlib/text/str.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "twlib/core/exit.h"
#include "twlib/core/mem.h"
#include "twlib/core/mem_testhook.h"
#include "support/oom_sweep.h"
#include "support/child.h"

namespace {

int header(const char *s)
{
    return static_cast<unsigned char>(s[-1]);
}

// Live bytes under 'tag' according to the debug-mode usage report.
std::string usage;
void collectLine(const char *line)
{
    usage += std::string(" ") + line;
}
long tagBytes(const char *tag)
{
    usage.clear();
    twMemPrintUsage(collectLine);
    size_t at = usage.find(" " + std::string(tag) + ":");
    return at == std::string::npos ? 0 : strtol(&usage[at + strlen(tag) + 2], nullptr, 10);
}

TEST(StrTest, ReleasedChunkIsReusedNewestFirstBySameSizeOnly)
{
    char *a = twStrCpy("0123456789"), *b = twStrCpy("abcdefghij");
    twStrFree(a);
    twStrFree(b);
    char *nine = twStrCpy("ninechars");  // one byte shorter chunk
    char *c = twStrCpy("klmnopqrst"), *d = twStrCpy("uvwxyzABCD");
    EXPECT_NE(b, nine);
    EXPECT_EQ(b, c) << "newest first";
    EXPECT_EQ(a, d);
    EXPECT_EQ(12, header(c)) << "the free-list link overwrote the header";
    for (char *s : {c, d, nine}) twStrFree(s);
}

// Released chunks wait in stacks that grow a segment at a time: reuse stays
// newest first across segment boundaries, also when releases and reuses
// alternate right at one (they alternate at every depth, so at every
// boundary whatever the segment size).
// Chunks too small for a link wait in stacks of segments, larger ones are
// linked through themselves: both are reused newest first.
TEST(StrTest, ReuseIsNewestFirstAcrossManyReleases)
{
    constexpr int kCount = 1500;
    for (const char *text : {"abcdef", "twenty-one characters"}) {
        std::vector<char *> made(kCount);
        for (char *&s : made) s = twStrCpy(text);
        for (char *s : made) twStrFree(s);
        for (int i = kCount - 1; i >= 0; --i) {
            char *again = twStrCpy(text);
            ASSERT_EQ(made[i], again) << text << " " << i;
            EXPECT_STREQ(text, again);
            twStrFree(again);  // release and reuse at this depth
            ASSERT_EQ(again, twStrCpy(text)) << text << " " << i;
        }
        for (char *s : made) twStrFree(s);
    }
}

// Strings an application keeps back and gives up when memory runs short.
// They share a chunk size with the strings of the work, one small enough to
// wait in a stack, so releasing them inside an allocation pushes onto (and
// grows) the very stack the work is growing.
constexpr int kReserve = 40;
char *reserveStrings[kReserve];
int reserveLeft;
int dropReserve()
{
    while (reserveLeft > 0) twStrFree(reserveStrings[--reserveLeft]);
    return 1;
}

// Copies, concatenations and releases of every kind of pool string, with a
// purge routine that releases pool strings. Prints what it built, so a run
// that survived a refusal can be compared with a clean one.
void poolWork()
{
    const char *text6 = "six ch";
    const char *text40 = "forty characters of one chunk size here.";
    for (reserveLeft = 0; reserveLeft < kReserve; reserveLeft++)
        reserveStrings[reserveLeft] = twStrCpy(text6);
    twAddPurgeRoutine(dropReserve);
    char *small[600], *medium[50], *large[8];  // enough to fill more than one stack segment
    for (char *&s : small) s = twStrCpy(text6);
    for (char *&s : medium) s = twStrCpy(text40);
    for (char *&s : large) s = twStrCatAlloc(text40, text40);
    char *trimmed = twStrTrimAlloc("  trimmed  ");
    char *old = twStrOldCopy("plain");
    const char *joined = twStrCat(twStrCat(trimmed, "+"), large[0]);
    printf("%s|%s|%s|%s|%s\n", small[599], medium[49], joined, old, twStrAlloc(1));
    twMemFree(old);
    twStrFree(trimmed);
    for (char *s : small) twStrFree(s);
    for (char *s : medium) twStrFree(s);
    for (char *s : large) twStrFree(s);
    dropReserve();
    char *again = twStrCpy(text6);
    char *again40 = twStrCpy(text40);
    printf("%s|%s\n", again, again40);
    twStrFree(again);
    twStrFree(again40);
}

// A purge routine releasing pool strings while a free stack was being
// reallocated used to make the interrupted reallocation work on the array
// the purge had already moved.
TEST(StrTest, RefusedAllocationsEndAsOutOfMemoryOrAreSurvived)
{
    std::string clean;
    long made = twtest::sweepAllocationFailures(poolWork, [&](const twtest::ForkResult &r) {
        if (clean.empty()) clean = r.out;
        EXPECT_EQ(clean, r.out);
    });
    EXPECT_GT(made, 0);
}

// The cases below run in processes of their own (str_test.cmake).

// In a pool nobody has used yet, 64 chunks of 63 bytes fill 4032 bytes of
// the first block; the 65th starts a new block and the 48-byte tail waits
// for a string of that chunk size.
TEST(StrFreshPoolEnv, BlockTailIsReusedThenTerminateLeavesPlainBlocks)
{
    std::string text(61, 'm');
    char *first = twStrCpy(text.c_str());
    for (int i = 1; i < 64; i++) ASSERT_EQ(first + 63 * i, twStrCpy(text.c_str()));
    char *next = twStrCpy(text.c_str()), *tail = twStrAlloc(47);
    EXPECT_NE(first + 63 * 64, next) << "ran past the data area";
    EXPECT_EQ(first + 4032, tail);
    EXPECT_EQ(48, header(tail));
    EXPECT_EQ(next + 63, twStrAlloc(47)) << "the tail serves once, then carving goes on";

    twStrCat("kept in", " the pool");
    twStrTerminate();
    twStrTerminate();
    char *e1 = twStrCpy(""), *e2 = twStrCpy("");
    EXPECT_NE(e1, e2) << "every string is a block of its own now";
    twStrFree(e1);  // the sanitizers object unless these are plain blocks
    twStrFree(e2);
    // Grows the twStrCat buffers: those made before termination must be gone.
    std::string big(300, 'L');
    EXPECT_EQ(big + big, twStrCat(big.c_str(), big.c_str()));
}

TEST(StrPurifyEnv, StringsArePlainBlocks)
{
    char *e1 = twStrCpy(""), *e2 = twStrCpy(""), *a = twStrAlloc(100);
    EXPECT_NE(e1, e2) << "no shared empty string when the pool is off";
    memset(a, 'r', 99);
    for (char *s : {e1, e2, a}) twStrFree(s);  // the sanitizers object unless these are plain blocks
}

// With TW_STRDISABLE a string is a "twString" block of length + 1 bytes.
TEST(StrDisableMemDbgEnv, StringsAreCountedAndReported)
{
    long before = tagBytes("twString");
    char *s = twStrCpy("leaked text"), *e = twStrCpy("");
    EXPECT_EQ(before + 13, tagBytes("twString")) << "no shared empty string";
    twStrFree(e);
    testing::internal::CaptureStdout();
    twMem_DbgPrintStrings();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(std::string::npos, out.find("Unfreed strings:\nleaked text ")) << out;
    twStrFree(s);
    EXPECT_EQ(before, tagBytes("twString"));
}

// The pool stays on under TW_MEMDBG: small strings cost the memory manager
// nothing, large ones are "twStringLarge" blocks of length + 2 bytes.
TEST(StrMemDbgEnv, HeaderTellsSharedEmptyChunkOrLargeString)
{
    char *e = twStrCpy("");
    EXPECT_EQ(1, header(e));
    EXPECT_EQ(e, twStrCpy(""));
    for (int n : {1, -7}) EXPECT_EQ(e, twStrAlloc(n)) << n;
    twStrFree(e);
    twStrFree(e);  // the shared empty string is never released
    EXPECT_STREQ("", e);

    // A chunk holds length + 2 bytes, at least 4.
    struct {
        size_t len;
        int header;
    } cases[] = {{1, 4}, {3, 5}, {61, 63}, {62, 0}};
    for (auto c : cases) {
        std::string text = "<" + std::string(c.len - 1, 'x');
        long large = tagBytes("twStringLarge");
        char *s = twStrCpy(text.c_str());
        EXPECT_EQ(c.header, header(s)) << "length " << c.len;
        EXPECT_EQ(large + (c.header ? 0 : 64), tagBytes("twStringLarge")) << c.len;
        EXPECT_EQ(text, s);
        twStrFree(s);
    }
}

// Running the exit handlers releases the twStrCat buffers; a later twStrCat
// used to write into the released ones.
TEST(StrMemDbgEnv, CatAcceptsItsOwnResultsAlsoAfterExitHandlersRan)
{
    const char *r = twStrCat("ab", "cd");
    EXPECT_STREQ("abcdabcd", twStrCat(r, r));
    EXPECT_STREQ("only", twStrCat(nullptr, "only"));
    twOnExitCall();
    EXPECT_STREQ("abc", twStrCat(twStrCat("a", "b"), "c"));
    twOnExitCall();
}

// The pool's first block is refused: the purge routine that runs meanwhile
// asks the half-made pool for a string of its own.
char *purgeCopy;
int copyInPurge()
{
    if (!purgeCopy) purgeCopy = twStrCpy("made by a purge");
    return 1;
}

TEST(StrFirstUseEnv, PurgeRoutineMayTakeStringsWhileTheFirstBlockIsMade)
{
    twAddPurgeRoutine(copyInPurge);
    twMem_TestFailAllocation(2, 0);  // the free lists, then the first block
    char *s = twStrCpy("first");
    twMem_TestFailAllocation(0, 0);
    ASSERT_NE(nullptr, purgeCopy) << "the purge did not run";
    EXPECT_STREQ("first", s);
    EXPECT_STREQ("made by a purge", purgeCopy);
    twStrFree(s);
    twStrFree(purgeCopy);
}

// Suites that run in processes of their own.
TW_ENV_SUITE(StrFreshPoolEnv, FreshPool);
TW_ENV_SUITE(StrFirstUseEnv, FirstUse);
TW_ENV_SUITE(StrPurifyEnv, Purify, "TW_PURIFY=1");
TW_ENV_SUITE(StrDisableMemDbgEnv, DisabledUnderMemDebug, "TW_STRDISABLE=1", "TW_MEMDBG=1");
TW_ENV_SUITE(StrMemDbgEnv, MemDebug, "TW_MEMDBG=1");

}  // namespace
