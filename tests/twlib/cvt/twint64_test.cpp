#include "twlib/cvt/twint64.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "support/child.h"
#include "support/oom_sweep.h"
#include "twlib/core/exit.h"
#include "twlib/core/mem.h"

namespace {

std::string cvt(twInt64 v, int base, int width, int precision, long flags)
{
    return twInt64CvtToStrEx(v, base, width, precision, flags);
}

// The accumulation used to be signed, so the minimum and any value past the
// range were undefined behaviour; they wrap modulo 2^64.
TEST(Int64Test, ReaderPrefixesSignBasesAndWrapping)
{
    struct {
        const char *text;
        int base;
        twInt64 value;
        long used;
    } cases[] = {
        {"0x1f", 0, 31, 4},
        {"017", 0, 15, 3},
        {"0", 0, 0, 1},
        {"0X1F", 0, 0, 1},
        {"-42", 0, -42, 3},
        {"+42", 0, 0, 0},
        {" \t\n-9z", 0, -9, 5},
        {"ff", 16, 255, 2},
        {"ff", 10, 0, 0},
        {"0x", 16, 0, 2},
        {"012", 16, 18, 3},
        {"0x12", 8, 0, 1},
        {"12z", 36, 1403, 3},
        {"1012", 2, 5, 3},
        {"9a", 10, 9, 1},
        {"-", 10, 0, 1},
        {"", 0, 0, 0},
        {"--1", 10, 0, 1},
        {"-9223372036854775808", 10, INT64_MIN, 20},
        {"9223372036854775808", 10, INT64_MIN, 19},
        {"18446744073709551617", 10, 1, 20},
        {"-0xffffffffffffffff", 16, 1, 19},
    };
    for (const auto &c : cases) {
        char *end = nullptr;
        EXPECT_EQ(c.value, twInt64CvtFromStr(c.text, &end, c.base)) << c.text << " base " << c.base;
        EXPECT_EQ(c.used, end - c.text) << c.text << " base " << c.base;
    }
    EXPECT_EQ(77, twInt64CvtFromStr("77", nullptr, 10));
    char *end = reinterpret_cast<char *>(1);
    EXPECT_EQ(0, twInt64CvtFromStr(nullptr, &end, 10));
    EXPECT_EQ(nullptr, end);
}

TEST(Int64Test, WriterAndReaderAgreeInEveryBase)
{
    const twInt64 values[] = {0, 1, -1, 15, -255, 1234567890123456789, INT64_MIN, INT64_MAX};
    for (int base = 2; base <= 16; ++base)
        for (twInt64 v : values)
            for (long flags : {0L, long{TW_INT64_UPPER}, long{TW_INT64_UNSIGNED}}) {
                std::string s = cvt(v, base, 0, 1, flags);
                char *end;
                EXPECT_EQ(v, twInt64CvtFromStr(s.c_str(), &end, base)) << s << " base " << base;
                EXPECT_EQ('\0', *end) << s << " base " << base;
            }
    EXPECT_EQ(std::string(64, '1'), cvt(-1, 2, 0, 1, TW_INT64_UNSIGNED));
    EXPECT_EQ("-1" + std::string(63, '0'), twInt64CvtToStr(INT64_MIN, 2));
}

TEST(Int64Test, WriterFlagsWidthAndPrecision)
{
    EXPECT_STREQ("0", twInt64CvtToStr(0, 10));
    EXPECT_STREQ("-1", twInt64CvtToStr(-1, 16));
    EXPECT_EQ("+0000042", cvt(42, 10, 8, 1, TW_INT64_ZEROFILL | TW_INT64_PLUS));
    EXPECT_EQ("0XFF", cvt(255, 16, 0, 1, TW_INT64_ALT | TW_INT64_UPPER));
    EXPECT_EQ("-005", cvt(-5, 10, 4, 1, TW_INT64_ZEROFILL));
    EXPECT_EQ("    ", cvt(0, 10, 4, 0, 0));
    EXPECT_EQ("07    ", cvt(7, 8, 6, 1, TW_INT64_LEFT | TW_INT64_ALT));
    // Unlike printf: the prefix always comes, and zero fill works with a precision.
    EXPECT_EQ("00", cvt(0, 8, 0, 1, TW_INT64_ALT));
    EXPECT_EQ("0x0", cvt(0, 16, 0, 1, TW_INT64_ALT));
    EXPECT_EQ("0x00ab", cvt(171, 16, 6, 3, TW_INT64_ALT | TW_INT64_ZEROFILL));
    EXPECT_EQ("b", cvt(11, 12, 0, 1, TW_INT64_ALT)) << "no prefix in other bases";
    EXPECT_EQ("42", cvt(42, 10, 0, 1, TW_INT64_UNSIGNED | TW_INT64_PLUS));
    // Field values that name no sign or justification give none; negative
    // width and precision count as none.
    EXPECT_EQ("42", cvt(42, 10, 5, 1, TW_INT64_PLUS | TW_INT64_BLANK | 0x30));
    EXPECT_EQ("42", cvt(42, 10, -9, -3, TW_INT64_ZEROFILL));
    EXPECT_EQ("", cvt(0, 10, -9, -3, 0));
}

// A precision beyond the 75-byte buffer used to write past its end.
TEST(Int64Test, WriterBufferHoldsAnyWidthAndPrecision)
{
    EXPECT_EQ("-" + std::string(199, '0') + "1", cvt(-1, 10, 0, 200, 0));
    EXPECT_EQ("0X" + std::string(300, '0') + "F", cvt(15, 16, 50, 301, TW_INT64_ALT | TW_INT64_UPPER));
    EXPECT_EQ(std::string(999, ' ') + "7", cvt(7, 10, 1000, 1, 0));
    EXPECT_EQ("+" + std::string(998, '0') + "7", cvt(7, 10, 1000, 1, TW_INT64_ZEROFILL | TW_INT64_PLUS));
    EXPECT_EQ(twInt64CvtToStr(1, 10), twInt64CvtToStr(2, 10)) << "one result buffer";
}

// Where printf and the writer share a meaning (no alternate form of zero or
// with a precision, no zero fill with a precision) they give the same text.
TEST(Int64Test, WriterAgreesWithPrintf)
{
    const twInt64 values[] = {0, 1, -1, 8, 42, -42, 255, INT64_MIN, INT64_MAX, -1234567890123LL};
    const struct {
        char c;
        int base;
        long flags;
    } convs[] = {{'d', 10, 0},
                 {'u', 10, TW_INT64_UNSIGNED},
                 {'o', 8, TW_INT64_UNSIGNED},
                 {'x', 16, TW_INT64_UNSIGNED},
                 {'X', 16, TW_INT64_UNSIGNED | TW_INT64_UPPER}};
    const struct {
        const char *text;
        long flags;
    } options[] = {{"", 0},
                   {"-", TW_INT64_LEFT},
                   {"0", TW_INT64_ZEROFILL},
                   {"+", TW_INT64_PLUS},
                   {" ", TW_INT64_BLANK},
                   {"-+", TW_INT64_LEFT | TW_INT64_PLUS},
                   {"0 ", TW_INT64_ZEROFILL | TW_INT64_BLANK},
                   {"#", TW_INT64_ALT},
                   {"#0", TW_INT64_ALT | TW_INT64_ZEROFILL},
                   {"#-", TW_INT64_ALT | TW_INT64_LEFT}};
    for (twInt64 v : values)
        for (const auto &c : convs)
            for (const auto &o : options)
                for (int width : {0, 5, 30})
                    for (int precision : {-1, 0, 3, 22}) {
                        bool alt = o.flags & TW_INT64_ALT, zero = o.flags & TW_INT64_ZEROFILL;
                        if ((zero && precision >= 0) || (alt && (v == 0 || precision >= 0 || c.base == 10)))
                            continue;
                        std::string fmt = std::string("%") + o.text + std::to_string(width);
                        if (precision >= 0) fmt += "." + std::to_string(precision);
                        fmt += std::string("ll") + c.c;
                        char want[64];
                        snprintf(want, sizeof want, fmt.c_str(), static_cast<long long>(v));
                        EXPECT_EQ(want,
                                  cvt(v, c.base, width, precision < 0 ? 1 : precision, c.flags | o.flags))
                            << fmt << " of " << v;
                    }
}

TEST(Int64Test, PowerWraps)
{
    EXPECT_EQ(INT64_MIN, twInt64Pow(2, 63));
    EXPECT_EQ(0, twInt64Pow(2, 64));
    EXPECT_EQ(1, twInt64Pow(0, 0));
    EXPECT_EQ(-1, twInt64Pow(-1, INT64_MAX));
    EXPECT_EQ(-2187, twInt64Pow(-3, 7));
    uint64_t want = 1;
    for (int i = 0; i < 1001; ++i) want *= 3;
    EXPECT_EQ(static_cast<twInt64>(want), twInt64Pow(3, 1001));
    EXPECT_EQ(INT64_MIN, twInt64FullRange.minimum);
    EXPECT_EQ(INT64_MAX, twInt64FullRange.maximum);
}

// Assertions end through abort(); the child leaves no core image behind.
void noCore()
{
    struct rlimit none = {0, 0};
    setrlimit(RLIMIT_CORE, &none);
}

TEST(Int64DeathTest, AssertionFailuresEndTheProcess)
{
    EXPECT_DEATH((noCore(), twInt64Pow(2, -1)),
                 "^ASSERTION FAILED: twint64, line 228: Negative number poassed to twInt64Pow\n");
    EXPECT_DEATH((noCore(), twInt64CvtToStr(5, 1)),
                 "^ASSERTION FAILED: twint64, line 412: Base 1 not in range 2..16\n");
    EXPECT_DEATH((noCore(), twInt64CvtToStrEx(5, 17, 0, 1, 0)), "Base 17 not in range 2..16\n");
}

TEST(Int64Test, WriterSurvivesRefusedAllocations)
{
    long n = twtest::sweepAllocationFailures(
        [] {
            // Wider than anything before, since the child inherits the buffer.
            std::string s = cvt(3, 10, 50000, 1, 0) + cvt(4, 10, 0, 90000, 0);
            printf("%zu %s", s.size(), twInt64CvtToStr(-77, 8));
        },
        [](const twtest::ForkResult &r) { EXPECT_EQ("140000 -115", r.out); });
    EXPECT_GT(n, 0);
}

TW_ENV_SUITE(Int64DebugEnv, MemDebug, "TW_MEMDBG=1");

bool bufferInUse()
{
    static std::vector<std::string> lines;
    lines.clear();
    twMemPrintUsage([](const char *line) { lines.push_back(line); });
    return std::any_of(lines.begin(), lines.end(),
                       [](const std::string &l) { return l.find("twStaticBuffer") != std::string::npos; });
}

// The exit handler used to free the buffer and leave the writer holding it,
// so a conversion after twOnExitCall wrote into freed memory.
TEST(Int64DebugEnv, ResultBufferIsReleasedAtExitAndStartedAfresh)
{
    if (!getenv("TW_MEMDBG")) GTEST_SKIP() << "needs TW_MEMDBG";
    cvt(12, 10, 100, 1, 0);
    cvt(13, 10, 200, 1, 0);  // grows
    twOnExitCall();
    EXPECT_FALSE(bufferInUse()) << "the handler of the grown buffer frees it";
    EXPECT_STREQ("-9", twInt64CvtToStr(-9, 10));
    EXPECT_TRUE(bufferInUse());
    twOnExitCall();
    EXPECT_FALSE(bufferInUse());
}

}  // namespace
