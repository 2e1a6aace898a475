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

// Every byte value but NUL, in a text that also holds digits right after
// bytes that are written in octal.
std::string everyByte()
{
    std::string s;
    for (int c = 1; c < 256; ++c) {
        s += static_cast<char>(c);
        if (c % 7 == 0) s += "7";
    }
    return s;
}

struct Decoded {
    const char *rest; // the result: where in src decoding stopped
    std::string text;
};

Decoded decode(const char *src, int size, int open = 0, int close = 0)
{
    char dst[256];
    memset(dst, '#', sizeof dst);
    const char *r = twStrCvtFromLiteral(src, dst, size, open, close);
    return {r, dst};
}

TEST(LiteralTest, DecodesEscapesBetweenTheDelimiters)
{
    const char *src = "\"a\\tb\"tail";
    Decoded d = decode(src, 64);
    EXPECT_EQ("a\tb", d.text);
    EXPECT_EQ(src + 6, d.rest) << "just past the closing quote";

    src = "x = 'it''s'";
    d = decode(src, 64, '\'');
    EXPECT_EQ("it", d.text) << "skips to the opening quote";
    EXPECT_EQ(src + 8, d.rest);
    d = decode("'q\\'s' \"", 64);
    EXPECT_EQ("q's", d.text) << "an escaped delimiter does not close";

    src = "ab;cd";
    d = decode(src, 64, 0, ';');
    EXPECT_EQ("ab", d.text);
    EXPECT_EQ(src + 3, d.rest);
    src = "plain\\n";
    d = decode(src, 64);
    EXPECT_EQ("plain\n", d.text) << "no quote: the text runs to the end";
    EXPECT_EQ(src + 7, d.rest);

    d = decode("\\n\\t\\b\\r\\f\\v\\\\\\\"\\'\\q", 64);
    EXPECT_EQ("\n\t\b\r\f\v\\\"'q", d.text);
    char dst[64];
    twStrCvtFromLiteral("\\101\\7|\\400|\\0777|\\08|\\3777|\\1234", dst, 64, 0, 0);
    EXPECT_EQ(std::string("A\a|\x20" "0|\x3f" "7|", 9), std::string(dst, 9));
    EXPECT_EQ(std::string("\0" "8|\xff" "7|\x53" "4", 8), std::string(dst + 9, 8));
    d = decode("\"one\\\ntwo\"", 64);
    EXPECT_EQ("onetwo", d.text) << "a line continuation adds nothing";
}

TEST(LiteralTest, DecodingFailsOnMissingDelimitersAndBadArguments)
{
    Decoded d = decode("\"never closed", 64);
    EXPECT_EQ(nullptr, d.rest);
    EXPECT_EQ("never closed", d.text) << "terminated all the same";
    d = decode("no quote here", 64, '"');
    EXPECT_EQ(nullptr, d.rest);
    EXPECT_EQ("", d.text);
    d = decode("abc", 64, 0, ';');
    EXPECT_EQ(nullptr, d.rest);

    // A final backslash stores a NUL byte; the literal is then unterminated.
    char dst[8];
    memset(dst, '#', sizeof dst);
    EXPECT_EQ(nullptr, twStrCvtFromLiteral("'ab\\", dst, 8, 0, 0));
    EXPECT_EQ(std::string("ab\0\0", 4), std::string(dst, 4));
    const char *src = "ab\\";
    EXPECT_EQ(src + 3, twStrCvtFromLiteral(src, dst, 8, 0, 0));

    memset(dst, '#', sizeof dst);
    EXPECT_EQ(nullptr, twStrCvtFromLiteral(nullptr, dst, 8, 0, 0));
    EXPECT_EQ(nullptr, twStrCvtFromLiteral("'a'", nullptr, 8, 0, 0));
    EXPECT_EQ(nullptr, twStrCvtFromLiteral("'a'", dst, 0, 0, 0));
    EXPECT_EQ(nullptr, twStrCvtFromLiteral("'a'", dst, -5, 0, 0));
    EXPECT_EQ('#', dst[0]) << "bad arguments write nothing";
}

// The room counts source steps; running out leaves the result inside the
// literal, but an end that follows at once is still met.
TEST(LiteralTest, DecodingStopsWhenTheRoomRunsOut)
{
    const char *src = "\"abcdef\"";
    Decoded d = decode(src, 4);
    EXPECT_EQ("abc", d.text);
    EXPECT_EQ(src + 4, d.rest);
    src = "\"\\n\\\nbc\"";
    d = decode(src, 3);
    EXPECT_EQ("\n", d.text) << "the line continuation used a step";
    EXPECT_EQ(src + 5, d.rest);
    src = "\"abc\"!";
    d = decode(src, 4);
    EXPECT_EQ("abc", d.text);
    EXPECT_EQ(src + 5, d.rest) << "a literal that fits exactly is consumed whole";
    d = decode("\"abc", 4);
    EXPECT_EQ(nullptr, d.rest) << "and an unterminated one is still unterminated";

    src = "'xyz'";
    d = decode(src, 1);
    EXPECT_EQ("", d.text);
    EXPECT_EQ(src + 1, d.rest);
    src = "''";
    EXPECT_EQ(src + 2, decode(src, 1).rest);
}

TEST(LiteralTest, EncodesControlQuoteBackslashAndHighBytes)
{
    EXPECT_EQ("\\t\\\"\\310", bufText(twStrCvtToAsciiAlloc("\t\"\xc8")));
    EXPECT_EQ("\\b\\t\\n\\v\\f\\r\\\\'\\001\\037\\177 ~\\200\\377",
              bufText(twStrCvtToAsciiAlloc("\b\t\n\v\f\r\\'\x01\x1f\x7f ~\x80\xff")));
    EXPECT_EQ("", bufText(twStrCvtToAsciiAlloc("")));
    EXPECT_EQ(nullptr, twStrCvtToAsciiAlloc(nullptr));

    char dst[8];
    EXPECT_EQ(dst, twStrCvtToAscii("\nx", dst, 3));
    EXPECT_STREQ("\\n", dst);
    EXPECT_EQ(dst, twStrCvtToAscii("\nx", dst, 2));
    EXPECT_STREQ("", dst);
    twStrCvtToAscii("ab\x01z", dst, 6);
    EXPECT_STREQ("ab", dst) << "an octal escape needs five bytes";
    twStrCvtToAscii("ab\x01z", dst, 7);
    EXPECT_STREQ("ab\\001", dst);
    twStrCvtToAscii("abcdefghij", dst, 8);
    EXPECT_STREQ("abcdefg", dst);
    EXPECT_EQ(dst, twStrCvtToAscii("abc", dst, 1));
    EXPECT_STREQ("", dst);
    EXPECT_EQ(nullptr, twStrCvtToAscii("abc", dst, 0));
    EXPECT_EQ(nullptr, twStrCvtToAscii(nullptr, dst, 8));
    EXPECT_EQ(nullptr, twStrCvtToAscii("abc", nullptr, 8));
}

// Encoding then decoding gives every byte back, by each pair of calls.
TEST(LiteralTest, EncodedTextDecodesToTheOriginal)
{
    const std::string text = everyByte();
    std::string enc = bufText(twStrCvtToAsciiAlloc(text.c_str()));
    for (char c : enc) ASSERT_TRUE(c >= 32 && c < 127) << "printable ASCII only";

    std::string fixed(enc.size() + 1, '\0');
    twStrCvtToAscii(text.c_str(), fixed.data(), static_cast<int>(fixed.size()));
    EXPECT_EQ(enc, fixed.c_str()) << "both encoders agree when the room suffices";

    EXPECT_EQ(text, bufText(twStrCvtFromLiteralAlloc(enc.c_str())));

    std::string quoted = "\"" + enc + "\"";
    std::string out(text.size() + 1, '#');
    const char *end = twStrCvtFromLiteral(quoted.c_str(), out.data(), static_cast<int>(out.size()), 0, 0);
    EXPECT_EQ(quoted.c_str() + quoted.size(), end);
    EXPECT_EQ(text, out.c_str());
}

TEST(LiteralTest, DecodingIntoABufferTakesEverythingAsText)
{
    EXPECT_EQ("\"a\tb\"", bufText(twStrCvtFromLiteralAlloc("\"a\\tb\"")));
    EXPECT_EQ("onetwo", bufText(twStrCvtFromLiteralAlloc("one\\\ntwo")));
    EXPECT_EQ("ab", bufText(twStrCvtFromLiteralAlloc("ab\\"))) << "a final backslash adds nothing";
    EXPECT_EQ(std::string("a\0b", 3), bufText(twStrCvtFromLiteralAlloc("a\\0b")));
    EXPECT_EQ(" 0", bufText(twStrCvtFromLiteralAlloc("\\400")));
    std::string big(100000, 'x');
    big += "\\n";
    EXPECT_EQ(std::string(100000, 'x') + "\n", bufText(twStrCvtFromLiteralAlloc(big.c_str())));
    EXPECT_EQ(nullptr, twStrCvtFromLiteralAlloc(nullptr));
}

TEST(LiteralTest, CharacterSetSelectorTakesOnlyOneOrTwo)
{
    EXPECT_EQ(1, twStrCvtChrsetIs);
    EXPECT_EQ(1, twStrCvtChrset(2));
    EXPECT_EQ(2, twStrCvtChrsetIs);
    EXPECT_EQ(0, twStrCvtChrset(3));
    EXPECT_EQ(0, twStrCvtChrset(0));
    EXPECT_EQ(2, twStrCvtChrsetIs);
    EXPECT_EQ(1, twStrCvtChrset(1));
    EXPECT_EQ(1, twStrCvtChrsetIs);
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

} // namespace
