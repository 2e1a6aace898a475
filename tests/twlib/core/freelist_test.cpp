/* freelist_test.cpp - tests of the size-class and named free lists.
 *
 * FreelistTest runs in the ordinary environment (lists enabled, block size
 * 32000). Settings read at the first allocation (TW_BLOCKSIZE,
 * TW_MEMFLDISABLE, TW_MEMDBG) are tried by running a FreelistChildEnv case
 * in a child process; the child reports on standard error.
 */
#include "twlib/core/freelist.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "tests/twlib/core/child.h"
#include "twlib/core/mem.h"
#include "twlib/text/str.h"

namespace {

twtest::ProcessResult runChild(const std::string &test, std::vector<std::string> env = {})
{
    return twtest::runChild("FreelistChildEnv." + test, std::move(env));
}

bool listsEnabled()
{
    return !getenv("TW_MEMDBG") && !getenv("TW_PURIFY") && !getenv("TW_MEMFLDISABLE");
}

uintptr_t addr(const void *p) { return reinterpret_cast<uintptr_t>(p); }

TEST(FreelistTest, ClassesAreSharedAndRecycledLastInFirstOut)
{
    if (!listsEnabled()) GTEST_SKIP() << "free lists are off in this environment";
    void *p = twMemFlAlloc(12, "rec");
    twMemFlFree(p, 12);
    EXPECT_EQ(p, twMemFlAlloc(16, "rec")) << "12 and 16 bytes are one class";

    void *zero = twMemFlAlloc(0, "rec");
    twMemFlFree(zero, 0);
    EXPECT_EQ(zero, twMemFlAlloc(8, "rec")) << "0 bytes count as 8";

    void *a = twMemFlAlloc(40, "rec");
    void *b = twMemFlAlloc(33, "rec");
    twMemFlFree(a, 40);
    twMemFlFree(b, 34);
    EXPECT_EQ(b, twMemFlAlloc(40, "rec"));
    EXPECT_EQ(a, twMemFlAlloc(37, "rec"));

    // Requests above 160 bytes are ordinary blocks, released as such.
    auto *big = static_cast<char *>(twMemFlAlloc(161, "big"));
    memset(big, 1, 168);
    twMemFlFree(big, 161);

    twMemFlFree(p, 16);
    twMemFlFree(zero, 8);
    twMemFlFree(a, 40);
    twMemFlFree(b, 40);
    twMemFlFree(nullptr, 24);  // ignored
    EXPECT_EQ(1, twMemFlPurge());
}

TEST(FreelistTest, PiecesAreAlignedAndDisjoint)
{
    // Every class in turn, many times over, so several carve blocks are cut.
    std::vector<std::pair<unsigned char *, uint32_t>> pieces;
    for (int round = 0; round < 60; ++round) {
        for (uint32_t size = 1; size <= 160; size += 7) {
            auto *p = static_cast<unsigned char *>(twMemFlAlloc(size, "piece"));
            ASSERT_EQ(0u, addr(p) % 8) << "size " << size;
            memset(p, static_cast<int>(pieces.size() & 0xFF), size);
            pieces.emplace_back(p, size);
        }
    }
    for (size_t i = 0; i < pieces.size(); ++i) {
        auto [p, size] = pieces[i];
        for (uint32_t j = 0; j < size; ++j)
            ASSERT_EQ(static_cast<unsigned char>(i & 0xFF), p[j]) << "piece " << i << " overwritten";
    }
    std::set<unsigned char *> distinct;
    for (auto [p, size] : pieces) {
        distinct.insert(p);
        twMemFlFree(p, size);
    }
    EXPECT_EQ(pieces.size(), distinct.size());
}

TEST(FreelistTest, NamedListsOfAnySize)
{
    twMemFl *list = twMemFlCreate(24, "record");
    void *a = twMemFlAlloc2(list);
    void *b = twMemFlAlloc2(list);
    EXPECT_NE(a, b);
    twMemFlFree2(list, a);
    void *again = twMemFlAlloc2(list);
    if (listsEnabled()) {
        EXPECT_EQ(a, again);
    }
    a = again;
    twMemFlFree2(list, a);
    twMemFlFree2(list, b);
    twMemFlDestroy(list);

    // Odd sizes keep later pieces aligned; sizes beyond a carve block still
    // get whole pieces.
    for (uint32_t size : {13u, 100000u}) {
        twMemFl *odd = twMemFlCreate(size, "odd");
        std::vector<unsigned char *> got;
        for (int i = 0; i < 5; ++i) {
            auto *p = static_cast<unsigned char *>(twMemFlAlloc2(odd));
            memset(p, i, size);
            got.push_back(p);
            auto *q = static_cast<unsigned char *>(twMemFlAlloc(8, "after"));
            EXPECT_EQ(0u, addr(q) % 8) << "size " << size;
            twMemFlFree(q, 8);
        }
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(i, got[i][0]);
            EXPECT_EQ(i, got[i][size - 1]);
            twMemFlFree2(odd, got[i]);
        }
        twMemFlDestroy(odd);
    }
    twMemFlDestroy(nullptr);
}

/* ------------------------------------------------------------------ */
/* Settings read at the first allocation                               */
/* ------------------------------------------------------------------ */

// Counts how many 8-byte pieces the first carve block holds: consecutive
// pieces follow each other until a new block starts.
TEST(FreelistChildEnv, MeasureCarveBlock)
{
    CHILD_ONLY();
    auto *prev = static_cast<unsigned char *>(twMemFlAlloc(8, "probe"));
    long count = 1;
    for (;;) {
        auto *p = static_cast<unsigned char *>(twMemFlAlloc(8, "probe"));
        if (p != prev + 8) break;
        prev = p;
        ++count;
    }
    fprintf(stderr, "%ld\n", count * 8);
}

TEST(FreelistTest, BlockSizeFromTheEnvironment)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "32000"},        {"64000", "64000"},       {"abc", "32000"},
        {" 4096x", "4096"},   {"1001", "1000"},         {"100", "160"},
        {"0", "32000"},       {"-64", "32000"},         {"99999999999", "32000"}};
    for (const auto &[value, expected] : cases) {
        std::vector<std::string> env;
        if (!value.empty()) env.push_back("TW_BLOCKSIZE=" + value);
        auto r = runChild("MeasureCarveBlock", env);
        EXPECT_EQ(0, r.status) << value;
        EXPECT_EQ(expected + "\n", r.err) << "TW_BLOCKSIZE=" << value;
    }
}

TEST(FreelistChildEnv, Leftovers)
{
    CHILD_ONLY();
    auto *a = static_cast<unsigned char *>(twMemFlAlloc(160, "x"));
    void *b = twMemFlAlloc(48, "x");   // 40 bytes left: too few
    void *c = twMemFlAlloc(40, "x");   // the leftover
    void *d = twMemFlAlloc(48, "x");   // from the new block
    fprintf(stderr, "%d %d %d\n", b != a + 160, c == a + 160,
            d == static_cast<unsigned char *>(b) + 48);
    // 104 bytes left, 152 wanted: a piece never runs past its block.
    void *e = twMemFlAlloc(152, "x");
    void *f = twMemFlAlloc(160, "x");
    fprintf(stderr, "%d\n", f != static_cast<unsigned char *>(e) + 152);
}

TEST(FreelistTest, LeftoverOfABlockServesItsOwnClass)
{
    auto r = runChild("Leftovers", {"TW_BLOCKSIZE=200"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("1 1 1\n1\n", r.err);
}

TEST(FreelistChildEnv, TrackedWhenDisabled)
{
    CHILD_ONLY();
    void *small = twMemFlAlloc(12, "small rec");
    void *big = twMemFlAlloc(161, "big rec");
    twMemFl *list = twMemFlCreate(20, "widget");
    void *w = twMemFlAlloc2(list);
    twMemFlDestroy(list);
    // The released name's chunk is reused at once: the pieces' tag must not
    // change with it.
    char *s = twStrCpy("gadget");
    twMemPrintUsageStdout();
    fflush(stdout);
    twMemFlFree(small, 12);
    twMemFlFree(big, 161);
    twMemFree(w);
    twStrFree(s);
}

TEST(FreelistTest, DisabledListsHandOutTrackedBlocks)
{
    for (const char *setting : {"TW_MEMFLDISABLE=1", "TW_PURIFY=1"}) {
        auto r = runChild("TrackedWhenDisabled", {setting});
        EXPECT_EQ(0, r.status) << setting << r.err;
    }
    auto r = runChild("TrackedWhenDisabled", {"TW_MEMDBG=1"});
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_NE(std::string::npos, r.out.find("           small rec:     16 ")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("             big rec:    168 ")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("              widget:     20 ")) << r.out;
    EXPECT_EQ(std::string::npos, r.out.find("gadget")) << r.out;
}

} // namespace
