#include "twlib/cvt/radix.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include "support/oom_sweep.h"

namespace {

// Runs a conversion into a buffer first filled with '#', so that an
// untouched output shows, and checks its result and output.
void expectConv(int result, const std::string &out, const std::function<int(char *)> &f,
                const std::string &in)
{
    static char buf[4096];
    memset(buf, '#', sizeof buf - 1);
    buf[sizeof buf - 1] = '\0';
    EXPECT_EQ(result, f(buf)) << in;
    EXPECT_EQ(out, buf) << in;
}

#define EXPECT_CONV(result, out, call, in)                                                                   \
    expectConv(                                                                                              \
        result, out, [&](char *o) { return call; }, in)

TEST(RadixTest, SuffixChoosesTheConversion)
{
    const struct {
        const char *in;
        int result;
        const char *out;
    } cases[] = {{"1010\\b", 1, "1010"},    {"1xZ0\\B", 1, "1xZ0"},
                 {"17\\o", 8, "001111"},    {"1f\\h", 16, "00011111"},
                 {"zA\\H", 16, "zzzz1010"}, {"12\\d", 10, "0001100"},
                 {"xxx\\D", 10, "xxx"},     {"", 1, ""},
                 {"01xXzZ", 1, "01xXzZ"}};
    for (const auto &c : cases) EXPECT_CONV(c.result, c.out, twCvtStrBin(c.in, o), c.in);
    for (const char *bad : {"12\\q", "12\\b", "8\\o", "1.5\\d", "\\b", "12"})
        EXPECT_EQ(0, [&] {
            char o[64];
            return twCvtStrBin(bad, o);
        }()) << bad;
    EXPECT_EQ(0, twCvtStrBin(nullptr, nullptr));
}

TEST(RadixTest, DigitsToBits)
{
    EXPECT_CONV(0, "XXXX0001", twCvtHexBin("g1", o), "g1");
    EXPECT_CONV(1, "zzzzXXXX", twCvtHexBin("zX", o), "zX");
    EXPECT_CONV(1, "000110101011110011011110111110101011", twCvtHexBin("1ABCDEFab", o), "");
    EXPECT_CONV(1, "000001010011100101110111xxxZZZ", twCvtOctBin("01234567xZ", o), "");
    EXPECT_CONV(0, "XXXXXX111", twCvtOctBin("897", o), "8 and 9");
}

TEST(RadixTest, DecimalToBitsWidthFollowsTheLength)
{
    const struct {
        const char *in;
        const char *out;
    } cases[] = {{"9", "1001"},
                 {"15", "0001111"},
                 {"0", "0000"},
                 {"255", "0011111111"},
                 {"+9", "0001001"},
                 {"000000000", "000000000000000000000000000000"},
                 {"-9", "11111111111111111111111111110111"},
                 {"-2147483648", "10000000000000000000000000000000"},
                 {"4294967295", "11111111111111111111111111111111"},
                 {"0000000000001", "00000000000000000000000000000001"},
                 {"zzz", "zzz"},
                 {"X", "X"}};
    for (const auto &c : cases) EXPECT_CONV(1, c.out, twCvtDecBin(c.in, o), c.in);
    // "1e3" passes the number test and used to give the bits of 1.
    for (const char *bad :
         {"4294967296", "-2147483649", "1.5", "xz", "", "1e3", "+e5", "99999999999999999999"})
        EXPECT_CONV(0, std::string(4095, '#'), twCvtDecBin(bad, o), bad);
}

TEST(RadixTest, BitsToOctalAndHexadecimalGroupFromTheRight)
{
    EXPECT_CONV(1, "2B", twCvtBinHex("101011", o, 0), "");
    EXPECT_CONV(1, "Z3", twCvtBinHex("zzzz0011", o, 0), "");
    EXPECT_CONV(1, "X", twCvtBinHex("1x11", o, 0), "");
    EXPECT_CONV(1, "ZZ", twCvtBinHex("ZZzzZ", o, 0), "");
    EXPECT_CONV(1, "2X", twCvtBinHex("1010z1", o, 0), "");
    EXPECT_CONV(1, "ABCDEF\\H", twCvtBinHex("101010111100110111101111", o, 1), "");
    EXPECT_CONV(1, "1", twCvtBinHex("1", o, 2), "only 1 marks");
    EXPECT_CONV(0, "X5", twCvtBinHex("21010101", o, 0), "");
    EXPECT_CONV(1, "17\\O", twCvtBinOct("1111", o, 1), "");
    EXPECT_CONV(1, "7654321", twCvtBinOct("111110101100011010001", o, 0), "");
    EXPECT_CONV(1, "1XZ", twCvtBinOct("1xxxZZZ", o, 0), "");
}

TEST(RadixTest, BitsToDecimalKeepsTheDigitCount)
{
    EXPECT_CONV(1, "X", twCvtBinDec("xz", o, 0), "");
    EXPECT_CONV(1, "Z", twCvtBinDec("zz", o, 0), "");
    EXPECT_CONV(1, "XXXX\\D", twCvtBinDec("10x0101001", o, 1), "");
    EXPECT_CONV(0, "XX", twCvtBinDec("0120", o, 0), "");
    EXPECT_CONV(1, "00", twCvtBinDec("0000", o, 0), "");
    EXPECT_CONV(1, "0", twCvtBinDec("", o, 0), "");
    EXPECT_CONV(1, "1099511627775", twCvtBinDec(std::string(40, '1').c_str(), o, 0), "");
    EXPECT_CONV(1, "0000000000000\\D", twCvtBinDec(std::string(40, '0').c_str(), o, 1), "");
    EXPECT_CONV(1, "073786976294838206464", twCvtBinDec(("1" + std::string(66, '0')).c_str(), o, 0), "");
    EXPECT_CONV(1, "115792089237316195423570985008687907853269984665640564039457584007913129639935",
                twCvtBinDec(std::string(256, '1').c_str(), o, 0), "");
    // Every length up to 64 bits against the platform's decimal writer.
    uint64_t v = 0x9E3779B97F4A7C15ULL;
    for (int n = 1; n <= 64; ++n) {
        std::string b;
        for (int i = n - 1; i >= 0; --i) b += ((v >> i) & 1) ? '1' : '0';
        uint64_t value = n == 64 ? v : v & ((uint64_t{1} << n) - 1);
        size_t digits = std::to_string(n == 64 ? UINT64_MAX : (uint64_t{1} << n) - 1).size();
        std::string want = std::to_string(value);
        EXPECT_CONV(1, std::string(digits - want.size(), '0') + want, twCvtBinDec(b.c_str(), o, 0), b);
    }
}

TEST(RadixTest, SuffixCopyAndDecimalDigitsSurviveRefusedAllocations)
{
    long n = twtest::sweepAllocationFailures(
        [] {
            // Too long for the pool's shared chunks: a block of its own.
            std::string text = std::string(100, 'f') + "\\h";
            char out[512];
            int r = twCvtStrBin(text.c_str(), out);
            printf("%d %zu ", r, strlen(out));
            char dec[512];
            twCvtBinDec(out, dec, 0);  // 400 ones: 121 digits
            printf("%.5s", dec);
        },
        [](const twtest::ForkResult &r) { EXPECT_EQ("16 400 25822", r.out); });
    EXPECT_GT(n, 0);
}

}  // namespace
