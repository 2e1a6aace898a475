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

#include "tests/twlib/core/child.h"
#include "twlib/core/mem.h"
#include "twlib/text/str.h"

namespace {

TEST(FreelistTest, ClassesAreSharedAndPiecesRecycled)
{
    if (getenv("TW_MEMDBG") || getenv("TW_PURIFY") || getenv("TW_MEMFLDISABLE")) GTEST_SKIP();
    void *p = twMemFlAlloc(12, "rec");
    twMemFlFree(p, 12);
    EXPECT_EQ(p, twMemFlAlloc(16, "rec")) << "12 and 16 bytes are one class";
    void *zero = twMemFlAlloc(0, "rec");
    twMemFlFree(zero, 0);
    EXPECT_EQ(zero, twMemFlAlloc(8, "rec")) << "0 bytes count as 8";
    twMemFlFree(nullptr, 24);
    EXPECT_NE(nullptr, twMemFlAlloc(24, "rec")) << "a null piece must not join a list";
    twMemFl *list = twMemFlCreate(24, "record");
    void *n = twMemFlAlloc2(list);
    twMemFlFree2(list, n);
    EXPECT_EQ(n, twMemFlAlloc2(list)) << "named lists recycle too";
    twMemFlDestroy(list);

    // Requests above 160 bytes are ordinary blocks of the class size.
    auto *big = static_cast<char *>(twMemFlAlloc(161, "big"));
    memset(big, 1, 168);
    twMemFlFree(big, 161);
}

// Every class in turn, many times over, so that several carve blocks are cut,
// mixed with pieces of a named list of odd size.
TEST(FreelistTest, PiecesAreAlignedAndDisjoint)
{
    twMemFl *odd = twMemFlCreate(13, "record");
    std::vector<std::pair<unsigned char *, uint32_t>> pieces;
    for (int i = 0; i < 60 * 23; ++i) {
        uint32_t size = i % 50 ? 1 + 7 * (i % 23) : 13;  // 13 is no class size here
        void *p = size == 13 ? twMemFlAlloc2(odd) : twMemFlAlloc(size, "piece");
        ASSERT_EQ(0u, reinterpret_cast<uintptr_t>(p) % 8) << "size " << size;
        memset(p, static_cast<int>(i % 251), size);
        pieces.emplace_back(static_cast<unsigned char *>(p), size);
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
        auto *prev = static_cast<unsigned char *>(twMemFlAlloc(8, "probe"));
        long bytes = 8;
        for (; twMemFlAlloc(8, "probe") == prev + 8; prev += 8) bytes += 8;
        fprintf(stderr, "%ld\n", bytes);
    } else if (scene == "leftovers") {
        auto *a = static_cast<unsigned char *>(twMemFlAlloc(160, "x"));
        auto *b = static_cast<unsigned char *>(twMemFlAlloc(48, "x"));  // 40 bytes left: too few
        void *c = twMemFlAlloc(40, "x");                                 // the leftover
        void *d = twMemFlAlloc(48, "x");                                 // from the new block
        fprintf(stderr, "%d %d %d\n", b != a + 160, c == a + 160, d == b + 48);
        // 104 bytes left, 152 wanted: a piece never runs past its block.
        auto *e = static_cast<unsigned char *>(twMemFlAlloc(152, "x"));
        fprintf(stderr, "%d\n", twMemFlAlloc(160, "x") != e + 152);
    } else if (scene == "tracked") {
        void *small = twMemFlAlloc(12, "small rec");
        void *big = twMemFlAlloc(161, "big rec");
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

TEST(FreelistTest, CarveBlockSizeComesFromTheEnvironmentAndLeftoversServeTheirClass)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "32000"},       {"64000", "64000"}, {"abc", "32000"}, {" 4096x", "4096"}, {"1001", "1000"},
        {"100", "160"},      {"0", "32000"},     {"-64", "32000"}, {"99999999999", "32000"}};
    for (const auto &[value, expected] : cases) {
        auto r = twtest::runChild("FreelistChildEnv.Run", "measure", {"TW_BLOCKSIZE=" + value});
        EXPECT_EQ(0, r.status) << value;
        EXPECT_EQ(expected + "\n", r.err) << "TW_BLOCKSIZE=" << value;
    }
    auto r = twtest::runChild("FreelistChildEnv.Run", "leftovers", {"TW_BLOCKSIZE=200"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("1 1 1\n1\n", r.err);
}

TEST(FreelistTest, DisabledListsHandOutTrackedBlocks)
{
    twtest::ProcessResult r;
    for (const char *setting : {"TW_MEMFLDISABLE=1", "TW_PURIFY=1", "TW_MEMDBG=1"}) {
        r = twtest::runChild("FreelistChildEnv.Run", "tracked", {setting});
        EXPECT_EQ(0, r.status) << setting << r.err;
    }
    // The last run was in debug mode: every piece is listed under its tag.
    for (const char *line : {"           small rec:     16 ", "             big rec:    168 ",
                             "              widget:     20 "})
        EXPECT_NE(std::string::npos, r.out.find(line)) << r.out;
    EXPECT_EQ(std::string::npos, r.out.find("gadget")) << r.out;
}

} // namespace
