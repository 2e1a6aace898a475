#include "twlib/text/literal.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/oom_sweep.h"

namespace {

std::string bufText(twStrBuf *b)
{
    std::string s(twStrBufString(b), static_cast<size_t>(twStrBufLength(b)));
    twStrBufDestroy(b);
    return s;
}

// Every byte value but NUL, with digits right after some octal escapes.
std::string everyByte()
{
    std::string s;
    for (int c = 1; c < 256; ++c) s += c % 7 ? std::string(1, char(c)) : std::string(1, char(c)) + "7";
    return s;
}

// Decodes with a buffer of 'size' bytes; 'used' is -1 for a null result.
void expectDecode(const char *src, int size, int open, int close, const std::string &text, long used)
{
    char dst[64];
    memset(dst, '#', sizeof dst);
    const char *r = twStrCvtFromLiteral(src, dst, size, open, close);
    EXPECT_EQ(used, r ? r - src : -1) << src;
    EXPECT_EQ(text, std::string(dst, text.size())) << src;
    EXPECT_EQ('\0', dst[text.size()]) << src;
}

TEST(LiteralTest, DecodingFollowsTheDelimitersAndTheRoom)
{
    expectDecode("\"a\\tb\"tail", 64, 0, 0, "a\tb", 6);
    expectDecode("x = 'it''s'", 64, '\'', 0, "it", 8);
    expectDecode("'q\\'s' \"", 64, 0, 0, "q's", 6);
    expectDecode("ab;cd", 64, 0, ';', "ab", 3);
    expectDecode("plain\\n", 64, 0, 0, "plain\n", 7);
    expectDecode("\"one\\\ntwo\"", 64, 0, 0, "onetwo", 10);
    expectDecode("\\n\\t\\b\\r\\f\\v\\\\\\\"\\'\\q", 64, 0, 0, "\n\t\b\r\f\v\\\"'q", 20);
    expectDecode("\\101\\7|\\400|\\0777|\\3777|\\1234|\\08", 64, 0, 0,
                 std::string("A\a| 0|?7|\xff"
                             "7|S4|\0"
                             "8",
                             17),
                 33);
    // Failures: unterminated, no opening quote, a final backslash (a NUL byte).
    expectDecode("\"never closed", 64, 0, 0, "never closed", -1);
    expectDecode("no quote", 64, '"', 0, "", -1);
    expectDecode("'ab\\", 64, 0, 0, std::string("ab\0", 3), -1);
    expectDecode("ab\\", 64, 0, 0, std::string("ab\0", 3), 3);
    // The room counts source steps, a line continuation too; the end or the
    // delimiter right after the last step is still met.
    expectDecode("\"abcdef\"", 4, 0, 0, "abc", 4);
    expectDecode("\"\\n\\\nbc\"", 3, 0, 0, "\n", 5);
    expectDecode("\"abc\"!", 4, 0, 0, "abc", 5);
    expectDecode("\"abc", 4, 0, 0, "abc", -1);
    expectDecode("'xyz'", 1, 0, 0, "", 1);
    expectDecode("''", 1, 0, 0, "", 2);

    char dst[4] = "##";
    EXPECT_EQ(nullptr, twStrCvtFromLiteral(nullptr, dst, 4, 0, 0));
    EXPECT_EQ(nullptr, twStrCvtFromLiteral("'a'", nullptr, 4, 0, 0));
    EXPECT_EQ(nullptr, twStrCvtFromLiteral("'a'", dst, 0, 0, 0));
    EXPECT_STREQ("##", dst) << "bad arguments write nothing";
}

TEST(LiteralTest, EncodingEscapesAndStopsAtThePieceThatDoesNotFit)
{
    EXPECT_EQ("\\t\\\"\\310", bufText(twStrCvtToAsciiAlloc("\t\"\xc8")));
    EXPECT_EQ("\\b\\t\\n\\v\\f\\r\\\\'\\001\\037\\177 ~\\200\\377",
              bufText(twStrCvtToAsciiAlloc("\b\t\n\v\f\r\\'\x01\x1f\x7f ~\x80\xff")));
    EXPECT_EQ(nullptr, twStrCvtToAsciiAlloc(nullptr));

    char dst[8];
    const struct {
        const char *src;
        int size;
        const char *want;
    } cases[] = {{"\nx", 3, "\\n"},
                 {"\nx", 2, ""},
                 {"ab\x01z", 6, "ab"},
                 {"ab\x01z", 7, "ab\\001"},
                 {"abcdefghij", 8, "abcdefg"},
                 {"abc", 1, ""}};
    for (const auto &c : cases) {
        EXPECT_EQ(dst, twStrCvtToAscii(c.src, dst, c.size));
        EXPECT_STREQ(c.want, dst) << "size " << c.size;
    }
    EXPECT_EQ(nullptr, twStrCvtToAscii("abc", dst, 0));
    EXPECT_EQ(nullptr, twStrCvtToAscii(nullptr, dst, 8));
}

TEST(LiteralTest, EncodedTextDecodesToTheOriginal)
{
    const std::string text = everyByte();
    std::string enc = bufText(twStrCvtToAsciiAlloc(text.c_str()));
    for (char c : enc) ASSERT_TRUE(c >= 32 && c < 127) << "printable ASCII only";
    std::string fixed(enc.size() + 1, '\0');
    twStrCvtToAscii(text.c_str(), fixed.data(), static_cast<int>(fixed.size()));
    EXPECT_EQ(enc, fixed.c_str());

    EXPECT_EQ(text, bufText(twStrCvtFromLiteralAlloc(enc.c_str())));
    std::string quoted = "\"" + enc + "\"";
    std::string out(text.size() + 1, '#');
    EXPECT_EQ(quoted.c_str() + quoted.size(),
              twStrCvtFromLiteral(quoted.c_str(), out.data(), static_cast<int>(out.size()), 0, 0));
    EXPECT_EQ(text, out.c_str());
}

TEST(LiteralTest, DecodingIntoAStringBufferTakesQuotesAsText)
{
    EXPECT_EQ("\"a\tb\"", bufText(twStrCvtFromLiteralAlloc("\"a\\tb\"")));
    EXPECT_EQ("onetwo", bufText(twStrCvtFromLiteralAlloc("one\\\ntwo")));
    EXPECT_EQ("ab", bufText(twStrCvtFromLiteralAlloc("ab\\"))) << "a final backslash adds nothing";
    EXPECT_EQ(std::string("a\0b", 3), bufText(twStrCvtFromLiteralAlloc("a\\0b")));
    EXPECT_EQ(nullptr, twStrCvtFromLiteralAlloc(nullptr));
}

TEST(LiteralTest, CharacterSetSelectorTakesOnlyOneOrTwo)
{
    EXPECT_EQ(1, twStrCvtChrsetIs);
    EXPECT_EQ(1, twStrCvtChrset(2));
    EXPECT_EQ(0, twStrCvtChrset(3));
    EXPECT_EQ(2, twStrCvtChrsetIs);
}

TEST(LiteralTest, AllocatingCallsSurviveRefusedAllocations)
{
    const std::string text = everyByte() + everyByte();
    long n = twtest::sweepAllocationFailures(
        [&] {
            twStrBuf *enc = twStrCvtToAsciiAlloc(text.c_str());
            twStrBuf *dec = twStrCvtFromLiteralAlloc(twStrBufString(enc));
            fputs(twStrBufString(dec) == text ? "same" : "differs", stdout);
            twStrBufDestroy(enc);
            twStrBufDestroy(dec);
        },
        [](const twtest::ForkResult &r) { EXPECT_EQ("same", r.out); });
    EXPECT_GT(n, 0);
}

}  // namespace
