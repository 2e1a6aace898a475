#include "twlib/text/str.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "twlib/core/exit.h"
#include "twlib/core/mem.h"

namespace {

int header(const char *s)
{
    return static_cast<unsigned char>(s[-1]);
}

// Runs body() in a freshly started copy of this program, which sees a pool
// nobody has used yet; body returns 0 or the number of the failed check.
#define EXPECT_IN_FRESH_PROCESS(body)                                          \
    do {                                                                       \
        testing::FLAGS_gtest_death_test_style = "threadsafe";                  \
        EXPECT_EXIT(exit(body()), testing::ExitedWithCode(0), "");             \
    } while (0)

// Live bytes under 'tag' according to the debug-mode usage report.
std::vector<std::string> usageLines;
void collectLine(const char *line) { usageLines.push_back(line); }
long tagBytes(const char *tag)
{
    usageLines.clear();
    twMemPrintUsage(collectLine);
    std::string key = std::string(tag) + ":";
    for (const std::string &l : usageLines)
        if (l.find_first_not_of(' ') == l.find(key))
            return strtol(l.c_str() + l.find(key) + key.size(), nullptr, 10);
    return 0;
}

TEST(StrTest, HeaderTellsTheKind)
{
    char *e = twStrCpy("");
    EXPECT_EQ(1, header(e));
    EXPECT_EQ(e, twStrCpy(""));
    EXPECT_EQ(e, twStrAlloc(1));
    EXPECT_EQ(e, twStrAlloc(-7));
    twStrFree(e);
    twStrFree(e); // the shared empty string is never released
    twStrFree(nullptr);
    EXPECT_STREQ("", e);
    EXPECT_EQ(nullptr, twStrCpy(nullptr));

    struct { size_t len; int header; } cases[] = {
        {1, 4}, {2, 4}, {3, 5}, {10, 12}, {61, 63}, {62, 0}, {500, 0}};
    for (auto c : cases) {
        std::string text = "<" + std::string(c.len - 1, 'x');
        char *s = twStrCpy(text.c_str());
        EXPECT_EQ(c.header, header(s)) << "length " << c.len;
        EXPECT_EQ(text, s);
        twStrFree(s);
    }
    char *a = twStrAlloc(2), *top = twStrAlloc(62), *big = twStrAlloc(63);
    EXPECT_EQ(4, header(a));
    EXPECT_EQ(63, header(top));
    EXPECT_EQ(0, header(big));
    twStrFree(a);
    twStrFree(top);
    twStrFree(big);
}

TEST(StrTest, ReleasedChunkIsReusedNewestFirstBySameSizeOnly)
{
    char *a = twStrCpy("0123456789");
    char *b = twStrCpy("abcdefghij");
    twStrFree(a);
    twStrFree(b);
    char *nine = twStrCpy("ninechars"); // one byte shorter chunk
    char *c = twStrCpy("klmnopqrst");
    char *d = twStrCpy("uvwxyzABCD");
    EXPECT_NE(b, nine);
    EXPECT_EQ(b, c);
    EXPECT_EQ(a, d);
    EXPECT_STREQ("klmnopqrst", c);
    EXPECT_EQ(12, header(c));
    for (char *s : {c, d, nine})
        twStrFree(s);
}

// 64 chunks of 63 bytes fill 4032 bytes of a block; the 65th starts a new
// block and the 48-byte tail waits for a string of that chunk size.
int carveAndReuseTail()
{
    std::string text(61, 'm');
    char *first = twStrCpy(text.c_str());
    for (int i = 1; i < 64; i++)
        if (twStrCpy(text.c_str()) != first + 63 * i)
            return 1;
    char *next = twStrCpy(text.c_str());
    if (next == first + 63 * 64)
        return 2; // ran past the data area
    char *tail = twStrAlloc(47);
    if (tail != first + 4032 || header(tail) != 48)
        return 3;
    if (twStrAlloc(47) != next + 63)
        return 4; // the tail serves once, then carving goes on
    return 0;
}

TEST(StrTest, BlockTailIsReusedByAStringOfItsSize)
{
    EXPECT_IN_FRESH_PROCESS(carveAndReuseTail);
}

int terminateThenUsePlainBlocks()
{
    std::string longText(300, 'L');
    char *empty = twStrCpy("");
    twStrFree(twStrCpy(longText.c_str()));
    twStrCat("kept in", " the pool");
    twStrTerminate();
    twStrTerminate();
    twStrFree(empty);
    char *e1 = twStrCpy(""), *e2 = twStrCpy("");
    if (e1 == e2 || *e1 || *e2)
        return 1; // every string is a block of its own now
    char *l = twStrCpy(longText.c_str());
    for (char *s : {e1, e2, l})
        twStrFree(s); // the sanitizers object unless these are plain blocks
    if (strcmp(twStrCat(twStrCat("c", "d"), "e"), "cde") != 0)
        return 2;
    // Grows the buffers: those made before termination must be gone.
    if (longText + longText != twStrCat(longText.c_str(), longText.c_str()))
        return 3;
    return 0;
}

TEST(StrTest, TerminateSwitchesToPlainBlocks)
{
    EXPECT_IN_FRESH_PROCESS(terminateThenUsePlainBlocks);
}

TEST(StrTest, AllocatingHelpers)
{
    std::string a(40, 'a'), b(40, 'b');
    char *c = twStrCatAlloc(a.c_str(), b.c_str());
    EXPECT_EQ(a + b, c);
    char *t = twStrTrimAlloc(" \t\v value  x\r\n\f");
    EXPECT_STREQ("value  x", t);
    twStrFree(c);
    twStrFree(t);
}

TEST(StrTest, CatAcceptsItsOwnResults)
{
    EXPECT_STREQ("abc", twStrCat(twStrCat("a", "b"), "c"));
    EXPECT_STREQ("xabc", twStrCat("x", twStrCat(twStrCat("a", "b"), "c")));
    const char *r = twStrCat("ab", "cd");
    EXPECT_STREQ("abcdabcd", twStrCat(r, r));
    EXPECT_STREQ("only", twStrCat(nullptr, "only"));
    std::string big(1000, 'q');
    EXPECT_EQ(big + big, twStrCat(big.c_str(), big.c_str()));
}

// The cases below run in processes of their own (str_test.cmake).

void expectPlainStrings()
{
    char *e1 = twStrCpy(""), *e2 = twStrCpy(""), *a = twStrAlloc(100);
    EXPECT_NE(e1, e2) << "no shared empty string when the pool is off";
    strcpy(a, "room");
    for (char *s : {e1, e2, a})
        twStrFree(s);
    EXPECT_STREQ("abc", twStrCat(twStrCat("a", "b"), "c"));
}

TEST(StrDisableEnv, StringsArePlainBlocks) { expectPlainStrings(); }
TEST(StrPurifyEnv, StringsArePlainBlocks) { expectPlainStrings(); }

TEST(StrDisableMemDbgEnv, StringsAreCountedAndReported)
{
    long before = tagBytes("twString");
    char *s = twStrCpy("leaked text");
    EXPECT_EQ(before + 12, tagBytes("twString"));
    testing::internal::CaptureStdout();
    twMem_DbgPrintStrings();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(std::string::npos, out.find("Unfreed strings:\nleaked text ")) << out;
    twStrFree(s);
    EXPECT_EQ(before, tagBytes("twString"));
}

// The pool stays on under TW_MEMDBG: small strings cost the memory manager
// nothing, large ones are "twStringLarge" blocks of length + 2 bytes.
TEST(StrMemDbgEnv, OnlyLargeStringsAreTaggedBlocks)
{
    char *warm = twStrCpy("w");
    long large = tagBytes("twStringLarge"), blocks = tagBytes("StrBlock");
    std::string t61(61, 's'), t62(62, 'l');
    char *s = twStrCpy(t61.c_str());
    EXPECT_EQ(large, tagBytes("twStringLarge"));
    EXPECT_EQ(blocks, tagBytes("StrBlock"));
    char *l = twStrCpy(t62.c_str());
    EXPECT_EQ(large + 64, tagBytes("twStringLarge"));
    for (char *x : {l, s, warm})
        twStrFree(x);
    EXPECT_EQ(large, tagBytes("twStringLarge"));
}

// Running the exit handlers releases the twStrCat buffers; a later twStrCat
// used to write into the released ones.
TEST(StrMemDbgEnv, CatWorksAfterExitHandlersRan)
{
    EXPECT_STREQ("ab", twStrCat("a", "b"));
    twOnExitCall();
    EXPECT_STREQ("cde", twStrCat(twStrCat("c", "d"), "e"));
    twOnExitCall();
}

} // namespace
