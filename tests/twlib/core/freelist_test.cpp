/* freelist_test.cpp - tests of the size-class and named free lists.
 *
 * FreelistTest runs in the ordinary environment (lists enabled, block size
 * 32000). Settings read at the first allocation (TW_BLOCKSIZE,
 * TW_MEMFLDISABLE, TW_MEMDBG) are tried by running scenes of the child case
 * FreelistChildEnv.Run, which reports on standard error.
 */
#include "twlib/core/freelist.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/child.h"
#include "support/oom_sweep.h"
#include "twlib/core/mem.h"
#include "twlib/text/str.h"

namespace {

TEST(FreelistTest, PiecesAreSharedPerClassRecycledAlignedAndDisjoint)
{
    if (getenv("TW_MEMDBG") || getenv("TW_PURIFY") || getenv("TW_MEMFLDISABLE")) GTEST_SKIP();
    for (auto [size, sameClass] : {std::pair{12u, 16u}, {0u, 8u}}) {
        void *p = twMemFlAlloc(size, "rec");
        twMemFlFree(p, size);
        EXPECT_EQ(p, twMemFlAlloc(sameClass, "rec")) << size << " and " << sameClass << ": one class";
    }
    twMemFlFree(nullptr, 24);
    EXPECT_NE(nullptr, twMemFlAlloc(24, "rec")) << "a null piece must not join a list";
    twMemFl *list = twMemFlCreate(24, "record");
    void *n = twMemFlAlloc2(list);
    twMemFlFree2(list, n);
    EXPECT_EQ(n, twMemFlAlloc2(list)) << "named lists recycle too";
    twMemFlDestroy(list);

    // Requests above 160 bytes are ordinary blocks of the class size.
    twMemFlFree(memset(twMemFlAlloc(161, "big"), 1, 168), 161);

    // Every class in turn, many times over, so that several carve blocks are
    // cut, mixed with pieces of a named list of odd size.
    twMemFl *odd = twMemFlCreate(13, "record");
    std::vector<std::pair<unsigned char *, uint32_t>> pieces;
    for (int i = 0; i < 60 * 23; ++i) {
        uint32_t size = i % 50 ? 1 + 7 * (i % 23) : 13;  // 13 is no class size here
        void *p = size == 13 ? twMemFlAlloc2(odd) : twMemFlAlloc(size, "piece");
        ASSERT_EQ(0u, reinterpret_cast<uintptr_t>(p) % 8) << "size " << size;
        pieces.emplace_back(static_cast<unsigned char *>(memset(p, i % 251, size)), size);
    }
    for (size_t i = 0; i < pieces.size(); ++i) {
        auto [p, size] = pieces[i];
        ASSERT_EQ(size, std::count(p, p + size, i % 251)) << "piece " << i << " overwritten";
        size == 13 ? twMemFlFree2(odd, p) : twMemFlFree(p, size);
    }
    twMemFlDestroy(odd);
}

/* ------------------------------------------------------------------ */
/* Settings read at the first allocation                               */
/* ------------------------------------------------------------------ */

TEST(FreelistChildEnv, Run)
{
    CHILD_ONLY();
    const std::string scene = getenv("TW_TEST_CHILD");
    if (scene == "measure") {
        // Consecutive 8-byte pieces follow each other until a new block starts.
        auto *first = static_cast<char *>(twMemFlAlloc(8, "probe")), *last = first;
        while (twMemFlAlloc(8, "probe") == last + 8) last += 8;
        fprintf(stderr, "%ld\n", static_cast<long>(last + 8 - first));
    } else if (scene == "leftovers") {
        auto take = [](uint32_t size) { return static_cast<char *>(twMemFlAlloc(size, "x")); };
        // With 200-byte blocks: the 40 bytes left after a are too few for b,
        // whose new block also serves d, while c gets the leftover; the 48
        // bytes left after e must not be stretched to a piece of 160.
        char *a = take(160), *b = take(48), *c = take(40), *d = take(48), *e = take(152);
        fprintf(stderr, "%d %d %d %d\n", b != a + 160, c == a + 160, d == b + 48, take(160) != e + 152);
    } else if (scene == "tracked") {
        void *small = twMemFlAlloc(12, "small rec"), *big = twMemFlAlloc(161, "big rec");
        twMemFl *list = twMemFlCreate(20, "widget");
        void *w = twMemFlAlloc2(list);
        twMemFlDestroy(list);
        // The released name's chunk is reused at once: the pieces' tag must
        // not change with it.
        char *s = twStrCpy("gadget");
        twMemPrintUsageStdout();
        twMemFlFree(small, 12);
        twMemFlFree(big, 161);
        twMemFree(w);
        twStrFree(s);
    }
}

TEST(FreelistTest, BlockSizeSettingSetsTheCarveSizeAndLeftoversServeTheirClass)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "32000"},  {"64000", "64000"}, {"abc", "32000"}, {" 4096x", "4096"},      {"1001", "1000"},
        {"100", "160"}, {"0", "32000"},     {"-64", "32000"}, {"99999999999", "32000"}};
    for (const auto &[value, expected] : cases) {
        auto r = twtest::runChild("FreelistChildEnv.Run", "measure", {"TW_BLOCKSIZE=" + value});
        EXPECT_EQ(0, r.status) << value;
        EXPECT_EQ(expected + "\n", r.err) << "TW_BLOCKSIZE=" << value;
    }
    auto r = twtest::runChild("FreelistChildEnv.Run", "leftovers", {"TW_BLOCKSIZE=200"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("1 1 1 1\n", r.err);
}

TEST(FreelistTest, DisabledListsHandOutTrackedBlocks)
{
    twtest::ProcessResult r;
    for (const char *setting : {"TW_MEMFLDISABLE=1", "TW_PURIFY=1", "TW_MEMDBG=1"}) {
        r = twtest::runChild("FreelistChildEnv.Run", "tracked", {setting});
        EXPECT_EQ(0, r.status) << setting << r.err;
    }
    // The last run was in debug mode: every piece is listed under its tag.
    for (const char *line :
         {"           small rec:     16 ", "             big rec:    168 ", "              widget:     20 "})
        EXPECT_NE(std::string::npos, r.out.find(line)) << r.out;
    EXPECT_EQ(std::string::npos, r.out.find("gadget")) << r.out;
}

// Carving new blocks and making named lists, with every allocation refused
// in turn: the pieces come or the process ends through the out-of-memory
// protocol.
TEST(FreelistTest, RefusedAllocationsWhileCarvingEndCleanly)
{
    long made = twtest::sweepAllocationFailures(
        [] {
            twMemFl *list = twMemFlCreate(40, "sweep list");
            std::vector<void *> pieces;
            for (int i = 0; i < 3000; ++i) pieces.push_back(twMemFlAlloc(8 + 8 * (i % 20), "sweep"));
            for (int i = 0; i < 800; ++i) pieces.push_back(twMemFlAlloc2(list));
            for (int i = 0; i < 3000; ++i) twMemFlFree(pieces[i], 8 + 8 * (i % 20));
            for (int i = 3000; i < 3800; ++i) twMemFlFree2(list, pieces[i]);
            twMemFlDestroy(list);
            printf("done\n");
        },
        [](const twtest::ForkResult &r) { EXPECT_EQ("done\n", r.out); });
    EXPECT_GT(made, 2);
}

// Suites that run in processes of their own.
TW_CHILD_SUITE(FreelistChildEnv);

}  // namespace
