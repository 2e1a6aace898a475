/* twint64_test.cpp - tests of the 64-bit integers.
 *
 * Int64DebugEnv runs in a child process under TW_MEMDBG.
 */
#include "twlib/cvt/twint64.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/child.h"
#include "support/oom_sweep.h"
#include "twlib/core/exit.h"
#include "twlib/core/mem.h"

namespace {

struct Read {
    twInt64 value;
    long used; // characters before the end pointer
};

Read readIn(const char *text, int base)
{
    char *end = nullptr;
    twInt64 v = twInt64CvtFromStr(text, &end, base);
    return {v, end - text};
}

std::string cvt(twInt64 v, int base, int width, int precision, long flags)
{
    return twInt64CvtToStrEx(v, base, width, precision, flags);
}

TEST(Int64Test, ReaderPrefixesSignAndBases)
{
    struct Case {
        const char *text;
        int base;
        twInt64 value;
        long used;
    } cases[] = {
        {"0x1f", 0, 31, 4},     {"017", 0, 15, 3},       {"0", 0, 0, 1},
        {"0X1F", 0, 0, 1},      {"-42", 0, -42, 3},      {"+42", 0, 0, 0},
        {" \t\n-9z", 0, -9, 5}, {"ff", 16, 255, 2},      {"ff", 10, 0, 0},
        {"0xFFg", 16, 255, 4},  {"0x", 16, 0, 2},        {"012", 16, 18, 3},
        {"0x12", 10, 0, 1},     {"0x12", 8, 0, 1},       {"12z", 36, 1403, 3},
        {"1012", 2, 5, 3},      {"789", 8, 7, 1},        {"9a", 10, 9, 1},
        {"aBc", 13, 10 * 169 + 11 * 13 + 12, 3},         {"-", 10, 0, 1},
        {"", 0, 0, 0},          {"  ", 10, 0, 2},        {"--1", 10, 0, 1},
    };
    for (const Case &c : cases) {
        Read r = readIn(c.text, c.base);
        EXPECT_EQ(c.value, r.value) << '"' << c.text << "\" base " << c.base;
        EXPECT_EQ(c.used, r.used) << '"' << c.text << "\" base " << c.base;
    }
    EXPECT_EQ(77, twInt64CvtFromStr("77", nullptr, 10)) << "the end pointer is optional";
    char *end = reinterpret_cast<char *>(1);
    EXPECT_EQ(0, twInt64CvtFromStr(nullptr, &end, 10));
    EXPECT_EQ(nullptr, end);
}

// The accumulation used to be signed, so the minimum and any value past the
// range were undefined behaviour; they wrap modulo 2^64.
TEST(Int64Test, ReaderWrapsAtTheEndsOfTheRange)
{
    EXPECT_EQ(INT64_MIN, twInt64CvtFromStr("-9223372036854775808", nullptr, 10));
    EXPECT_EQ(INT64_MAX, twInt64CvtFromStr("9223372036854775807", nullptr, 0));
    EXPECT_EQ(INT64_MIN, twInt64CvtFromStr("9223372036854775808", nullptr, 10));
    EXPECT_EQ(-1, twInt64CvtFromStr("0xffffffffffffffff", nullptr, 0));
    EXPECT_EQ(0, twInt64CvtFromStr("18446744073709551616", nullptr, 10));
    EXPECT_EQ(1, twInt64CvtFromStr("-0xffffffffffffffff", nullptr, 16));
    EXPECT_EQ(INT64_MIN, twInt64CvtFromStr("1000000000000000000000", nullptr, 8));
    EXPECT_EQ(5, twInt64CvtFromStr(("1" + std::string(64, '0') + "101").c_str(), nullptr, 2));
}

// Everything the writer writes in any base, the reader reads back.
TEST(Int64Test, WriterAndReaderAgreeInEveryBase)
{
    const twInt64 values[] = {0, 1, -1, 15, 16, -255, 1234567890123456789, INT64_MIN, INT64_MAX,
                              INT64_MIN + 1};
    for (int base = 2; base <= 16; ++base) {
        for (twInt64 v : values) {
            for (long upper : {0L, long{TW_INT64_UPPER}}) {
                std::string s = cvt(v, base, 0, 1, upper);
                char *end;
                EXPECT_EQ(v, twInt64CvtFromStr(s.c_str(), &end, base)) << s << " base " << base;
                EXPECT_EQ('\0', *end) << s << " base " << base;
                s = cvt(v, base, 0, 1, upper | TW_INT64_UNSIGNED);
                EXPECT_EQ(v, twInt64CvtFromStr(s.c_str(), nullptr, base)) << s << " base " << base;
            }
        }
    }
    EXPECT_EQ(std::string(64, '1'), twInt64CvtToStrEx(-1, 2, 0, 1, TW_INT64_UNSIGNED));
    EXPECT_EQ("-1" + std::string(63, '0'), twInt64CvtToStr(INT64_MIN, 2));
    EXPECT_STREQ("-8000000000000000", twInt64CvtToStr(INT64_MIN, 16));
    EXPECT_STREQ("-9223372036854775808", twInt64CvtToStr(INT64_MIN, 10));
}

TEST(Int64Test, WriterFlagsWidthAndPrecision)
{
    EXPECT_STREQ("0", twInt64CvtToStr(0, 10));
    EXPECT_STREQ("-1", twInt64CvtToStr(-1, 16));
    EXPECT_EQ("ffffffffffffffff", cvt(-1, 16, 0, 1, TW_INT64_UNSIGNED));
    EXPECT_EQ("+0000042", cvt(42, 10, 8, 1, TW_INT64_ZEROFILL | TW_INT64_PLUS));
    EXPECT_EQ("0XFF", cvt(255, 16, 0, 1, TW_INT64_ALT | TW_INT64_UPPER));
    EXPECT_EQ("-005", cvt(-5, 10, 4, 1, TW_INT64_ZEROFILL));
    EXPECT_EQ("", cvt(0, 10, 0, 0, 0));
    EXPECT_EQ("    ", cvt(0, 10, 4, 0, 0));
    EXPECT_EQ("07    ", cvt(7, 8, 6, 1, TW_INT64_LEFT | TW_INT64_ALT));
    // The alternate form always adds its prefix, also to zero and to
    // leading zeros; zero fill also counts with a precision.
    EXPECT_EQ("00", cvt(0, 8, 0, 1, TW_INT64_ALT));
    EXPECT_EQ("0x0", cvt(0, 16, 0, 1, TW_INT64_ALT));
    EXPECT_EQ("0007", cvt(7, 8, 0, 3, TW_INT64_ALT));
    EXPECT_EQ("0x00ab", cvt(171, 16, 6, 3, TW_INT64_ALT | TW_INT64_ZEROFILL));
    EXPECT_EQ("0b", cvt(11, 12, 0, 2, TW_INT64_ALT)) << "no prefix in other bases";
    // Unsigned values take no sign; a negative one always shows '-'.
    EXPECT_EQ("42", cvt(42, 10, 0, 1, TW_INT64_UNSIGNED | TW_INT64_PLUS));
    EXPECT_EQ("-42", cvt(-42, 10, 0, 1, TW_INT64_BLANK));
    EXPECT_EQ(" 42", cvt(42, 10, 0, 1, TW_INT64_BLANK));
    // Field values that name no sign or justification give none.
    EXPECT_EQ("42", cvt(42, 10, 5, 1, TW_INT64_PLUS | TW_INT64_BLANK | 0x30));
    EXPECT_EQ("-42", cvt(-42, 10, 5, 1, 0x400 | 0x40));
    // Negative width and precision count as none.
    EXPECT_EQ("42", cvt(42, 10, -9, -3, TW_INT64_ZEROFILL));
    EXPECT_EQ("", cvt(0, 10, -9, -3, 0));
}

// A precision beyond the 75-byte buffer used to write past its end; the
// buffer grows for the precision as it does for the width.
TEST(Int64Test, WriterBufferHoldsAnyWidthAndPrecision)
{
    EXPECT_EQ("-" + std::string(199, '0') + "1", cvt(-1, 10, 0, 200, 0));
    EXPECT_EQ("0X" + std::string(300, '0') + "F", cvt(15, 16, 50, 301, TW_INT64_ALT | TW_INT64_UPPER));
    EXPECT_EQ(std::string(999, ' ') + "7", cvt(7, 10, 1000, 1, 0));
    EXPECT_EQ("7" + std::string(999, ' '), cvt(7, 10, 1000, 1, TW_INT64_LEFT));
    EXPECT_EQ("+" + std::string(998, '0') + "7", cvt(7, 10, 1000, 1, TW_INT64_ZEROFILL | TW_INT64_PLUS));
    char *a = twInt64CvtToStr(1, 10), *b = twInt64CvtToStr(2, 10);
    EXPECT_EQ(a, b) << "one result buffer";
    EXPECT_STREQ("2", a);
}

// Where C's printf and the writer share a meaning (no alternate form for
// zero, no zero fill together with a precision) they give the same text.
TEST(Int64Test, WriterAgreesWithPrintf)
{
    const twInt64 values[] = {0, 1, -1, 7, 8, 42, -42, 255, 1000000, INT64_MIN, INT64_MAX,
                              -1234567890123LL};
    struct Conv {
        char c;
        int base;
        long flags;
    } convs[] = {{'d', 10, 0},
                 {'u', 10, TW_INT64_UNSIGNED},
                 {'o', 8, TW_INT64_UNSIGNED},
                 {'x', 16, TW_INT64_UNSIGNED},
                 {'X', 16, TW_INT64_UNSIGNED | TW_INT64_UPPER}};
    int compared = 0;
    for (twInt64 v : values)
        for (const Conv &c : convs)
            for (int width : {0, 1, 5, 24, 30})
                for (int precision : {-1, 0, 1, 3, 22})
                    for (char justify : {'\0', '-', '0'})
                        for (char sign : {'\0', '+', ' '})
                            for (bool alt : {false, true}) {
                                if (justify == '0' && precision >= 0) continue;
                                if (alt && (v == 0 || precision >= 0 || (c.c != 'o' && c.c != 'x' &&
                                                                          c.c != 'X')))
                                    continue;
                                std::string fmt = "%";
                                if (justify) fmt += justify;
                                if (sign) fmt += sign;
                                if (alt) fmt += '#';
                                fmt += std::to_string(width);
                                if (precision >= 0) fmt += "." + std::to_string(precision);
                                fmt += "ll";
                                fmt += c.c;
                                char want[128];
                                snprintf(want, sizeof want, fmt.c_str(), static_cast<long long>(v));
                                long flags = c.flags;
                                if (justify == '-') flags |= TW_INT64_LEFT;
                                if (justify == '0') flags |= TW_INT64_ZEROFILL;
                                if (sign == '+') flags |= TW_INT64_PLUS;
                                if (sign == ' ') flags |= TW_INT64_BLANK;
                                if (alt) flags |= TW_INT64_ALT;
                                EXPECT_EQ(want, cvt(v, c.base, width, precision < 0 ? 1 : precision,
                                                    flags))
                                    << fmt << " of " << v;
                                ++compared;
                            }
    EXPECT_GT(compared, 3000);
}

TEST(Int64Test, PowerSquaresAndMultipliesWrapping)
{
    EXPECT_EQ(INT64_MIN, twInt64Pow(2, 63));
    EXPECT_EQ(0, twInt64Pow(2, 64));
    EXPECT_EQ(1, twInt64Pow(12345, 0));
    EXPECT_EQ(1, twInt64Pow(0, 0));
    EXPECT_EQ(0, twInt64Pow(0, 5));
    EXPECT_EQ(-1, twInt64Pow(-1, INT64_MAX));
    EXPECT_EQ(1, twInt64Pow(-1, INT64_MAX - 1));
    EXPECT_EQ(-2187, twInt64Pow(-3, 7));
    EXPECT_EQ(1000000000000000000, twInt64Pow(10, 18));
    EXPECT_EQ(static_cast<twInt64>(0x8AC7230489E80000ULL), twInt64Pow(10, 19));
    uint64_t want = 1;
    for (int i = 0; i < 1000; ++i) want *= 3;
    EXPECT_EQ(static_cast<twInt64>(want), twInt64Pow(3, 1000));
    EXPECT_EQ(INT64_MIN, twInt64FullRange.minimum);
    EXPECT_EQ(INT64_MAX, twInt64FullRange.maximum);
}

TEST(Int64DeathTest, AssertionFailuresEndTheProcess)
{
    EXPECT_DEATH(twInt64Pow(2, -1),
                 "^ASSERTION FAILED: twint64, line 228: Negative number poassed to twInt64Pow\n");
    EXPECT_DEATH(twInt64CvtToStr(5, 1), "^ASSERTION FAILED: twint64, line 412: Base 1 not in range 2..16\n");
    EXPECT_DEATH(twInt64CvtToStrEx(5, 17, 0, 1, 0), "line 412: Base 17 not in range 2..16\n");
    EXPECT_DEATH(twInt64CvtToStr(5, -8), "Base -8 not in range");
}

TEST(Int64Test, WriterSurvivesRefusedAllocations)
{
    long n = twtest::sweepAllocationFailures(
        [] {
            // Wider than anything before, since the child inherits the buffer.
            std::string s = cvt(3, 10, 50000, 1, 0);
            s = cvt(4, 10, 0, 90000, 0);
            if (s != std::string(89999, '0') + "4") abort();
            fputs(twInt64CvtToStr(-77, 8), stdout);
        },
        [](const twtest::ForkResult &r) { EXPECT_EQ("-115", r.out); });
    EXPECT_GT(n, 0);
}

/* ------------------------------------------------------------------ */
/* Under TW_MEMDBG                                                    */
/* ------------------------------------------------------------------ */

TW_ENV_SUITE(Int64DebugEnv, MemDebug, "TW_MEMDBG=1");

bool debugMode() { return getenv("TW_MEMDBG") && !getenv("TW_PURIFY"); }

std::vector<std::string> usageLines()
{
    static std::vector<std::string> lines;
    lines.clear();
    twMemPrintUsage([](const char *line) { lines.push_back(line); });
    return lines;
}

bool bufferInUse()
{
    auto lines = usageLines();
    return std::any_of(lines.begin(), lines.end(), [](const std::string &l) {
        return l.find("twStaticBuffer") != std::string::npos;
    });
}

// The exit handler used to free the buffer and leave the writer holding it,
// so a conversion after twOnExitCall wrote into freed memory.
TEST(Int64DebugEnv, ResultBufferIsReleasedAtExitAndStartedAfresh)
{
    if (!debugMode()) GTEST_SKIP() << "needs TW_MEMDBG";
    EXPECT_EQ("12", cvt(12, 10, 100, 1, TW_INT64_LEFT).substr(0, 2));
    EXPECT_EQ("+13", cvt(13, 10, 200, 1, TW_INT64_PLUS).substr(197));  // grows
    EXPECT_TRUE(bufferInUse());
    twOnExitCall();
    EXPECT_FALSE(bufferInUse()) << "the handler of the grown buffer frees it";
    EXPECT_STREQ("-9", twInt64CvtToStr(-9, 10));
    EXPECT_TRUE(bufferInUse());
    twOnExitCall();
    EXPECT_FALSE(bufferInUse());
}

} // namespace
