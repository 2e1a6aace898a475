#include "twlib/cvt/radix.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "support/oom_sweep.h"

namespace {

struct Conv {
    int result;
    std::string out;
};

// Runs a conversion into a buffer large enough for any of the tests' inputs,
// first filled with '#' so an untouched output shows.
template <typename F>
Conv run(F f)
{
    static char buf[4096];
    memset(buf, '#', sizeof buf - 1);
    buf[sizeof buf - 1] = '\0';
    int r = f(buf);
    return {r, buf};
}

Conv strBin(const char *text) { return run([&](char *o) { return twCvtStrBin(text, o); }); }
Conv hexBin(const char *text) { return run([&](char *o) { return twCvtHexBin(text, o); }); }
Conv octBin(const char *text) { return run([&](char *o) { return twCvtOctBin(text, o); }); }
Conv decBin(const char *text) { return run([&](char *o) { return twCvtDecBin(text, o); }); }
Conv binOct(const std::string &b, int mark = 0)
{
    return run([&](char *o) { return twCvtBinOct(b.c_str(), o, mark); });
}
Conv binHex(const std::string &b, int mark = 0)
{
    return run([&](char *o) { return twCvtBinHex(b.c_str(), o, mark); });
}
Conv binDec(const std::string &b, int mark = 0)
{
    return run([&](char *o) { return twCvtBinDec(b.c_str(), o, mark); });
}

void expectConv(int result, const std::string &out, const Conv &c, const std::string &what)
{
    EXPECT_EQ(result, c.result) << what;
    EXPECT_EQ(out, c.out) << what;
}

TEST(RadixTest, SuffixChoosesTheConversion)
{
    expectConv(1, "1010", strBin("1010\\b"), "binary suffix");
    expectConv(1, "1xZ0", strBin("1xZ0\\B"), "binary suffix keeps the case");
    expectConv(8, "001111", strBin("17\\o"), "octal");
    expectConv(16, "00011111", strBin("1f\\h"), "hexadecimal");
    expectConv(16, "zzzz1010", strBin("zA\\H"), "hexadecimal states");
    expectConv(10, "0001100", strBin("12\\d"), "decimal");
    expectConv(10, "xxx", strBin("xxx\\D"), "decimal states");
    EXPECT_EQ(0, strBin("12\\q").result);
    EXPECT_EQ(0, strBin("12\\b").result) << "2 is no state";
    EXPECT_EQ(0, strBin("8\\o").result);
    EXPECT_EQ(0, strBin("g\\h").result);
    EXPECT_EQ(0, strBin("1.5\\d").result);
    EXPECT_EQ(0, strBin("\\b").result) << "too short for a suffix, and a backslash is no state";
    expectConv(1, "", strBin(""), "the empty value");
    expectConv(1, "01xXzZ", strBin("01xXzZ"), "no suffix");
    EXPECT_EQ(0, strBin("12").result);
    EXPECT_EQ(0, strBin(nullptr).result);
    EXPECT_EQ(0, twCvtStrBin("1", nullptr));
}

TEST(RadixTest, DigitsToBitsKeepTheirGroups)
{
    expectConv(0, "XXXX0001", hexBin("g1"), "bad digit");
    expectConv(1, "zzzzXXXX", hexBin("zX"), "states");
    expectConv(1, "0000000110101011110011011110111110101011110011011110", hexBin("01ABCDEFabcde"), "");
    expectConv(1, "", hexBin(""), "empty");
    expectConv(1, "000001010011100101110111xxxZZZ", octBin("01234567xZ"), "");
    expectConv(0, "XXXXXX111", octBin("897"), "8 and 9 are no octal digits");
    expectConv(0, "XXX", octBin("-"), "");
    EXPECT_EQ(0, twCvtHexBin(nullptr, nullptr));
}

TEST(RadixTest, DecimalToBitsWidthFollowsTheLength)
{
    expectConv(1, "1001", decBin("9"), "");
    expectConv(1, "0001111", decBin("15"), "");
    expectConv(1, "0000", decBin("0"), "");
    expectConv(1, "0011111111", decBin("255"), "ten bits for three characters");
    expectConv(1, "0001001", decBin("+9"), "the sign counts in the length");
    expectConv(1, "11111111111111111111111111110111", decBin("-9"), "");
    expectConv(1, "10000000000000000000000000000000", decBin("-2147483648"), "");
    expectConv(1, "11111111111111111111111111111111", decBin("4294967295"), "");
    expectConv(1, "10000000000000000000000000000000", decBin("2147483648"), "");
    expectConv(1, "00000000000000000000000000000001", decBin("0000000000001"), "");
    expectConv(1, "000000000000000000000000000000", decBin("000000000"), "nine characters: 30 bits");
    expectConv(1, "zzz", decBin("zzz"), "");
    expectConv(1, "X", decBin("X"), "");
    for (const char *bad : {"4294967296", "-2147483649", "1.5", "12.", "xz", "Xx", "", "abc", "1e3",
                            "+e5", "99999999999999999999999"})
        EXPECT_EQ(0, decBin(bad).result) << '"' << bad << '"';
    EXPECT_EQ(std::string(4095, '#'), decBin("1e3").out) << "a refusal leaves the output alone";
}

TEST(RadixTest, BitsToOctalAndHexadecimalGroupFromTheRight)
{
    expectConv(1, "2B", binHex("101011"), "");
    expectConv(1, "Z3", binHex("zzzz0011"), "");
    expectConv(1, "X", binHex("1x11"), "");
    expectConv(1, "ZZ", binHex("ZZzzZ"), "all Z");
    expectConv(1, "2X", binHex("1010z1"), "a Z among bits");
    expectConv(1, "FFFFFFFFFFFFFFFF0", binHex(std::string(64, '1') + "0000"), "");
    expectConv(1, "ABCDEF\\H", binHex("101010111100110111101111", 1), "");
    expectConv(1, "1", binHex("1", 2), "only 1 marks");
    expectConv(0, "X5", binHex("21010101"), "bad characters still give output");
    expectConv(1, "", binHex(""), "");
    expectConv(1, "17", binOct("1111"), "");
    expectConv(1, "17\\O", binOct("1111", 1), "");
    expectConv(1, "7654321", binOct("111110101100011010001"), "");
    expectConv(1, "1XZ", binOct("1xxxZZZ"), "");
    expectConv(0, "X", binOct("a"), "");
    EXPECT_EQ(0, twCvtBinOct(nullptr, nullptr, 0));
}

TEST(RadixTest, BitsToDecimalKeepsTheDigitCount)
{
    expectConv(1, "X", binDec("xz"), "one digit");
    expectConv(1, "Z", binDec("zz"), "");
    expectConv(1, "XXXX\\D", binDec("10x0101001", 1), "ten bits: four digits");
    expectConv(0, "XX", binDec("0120"), "");
    expectConv(1, "00", binDec("0000"), "");
    expectConv(1, "1", binDec("1"), "");
    expectConv(1, "0", binDec(""), "");
    expectConv(1, "4294967295", binDec(std::string(32, '1')), "");
    expectConv(1, "1099511627775", binDec(std::string(40, '1')), "");
    expectConv(1, "0000000000001\\D", binDec(std::string(39, '0') + "1", 1), "leading zeros kept");
    expectConv(1, "18446744073709551615", binDec(std::string(64, '1')), "");
    expectConv(1, "4294967296", binDec("1" + std::string(32, '0')), "");
    expectConv(1, "00000000008", binDec(std::string(30, '0') + "1000"), "");
    expectConv(1, "0000000000000", binDec(std::string(40, '0')), "zero past 32 bits");
    expectConv(1, "073786976294838206464", binDec("1" + std::string(64, '0') + "00"),
               "a carry across limbs");
    expectConv(1,
               "115792089237316195423570985008687907853269984665640564039457584007913129639935",
               binDec(std::string(256, '1')), "");
}

// Hexadecimal digits turned into bits come back the same; the decimal
// writer agrees with the platform's for values of every length up to 64 bits.
TEST(RadixTest, ConversionsAgreeWithEachOther)
{
    const char *hex = "0123456789ABCDEF0FEDCBA987654321";
    char bits[200], back[200];
    ASSERT_EQ(16, twCvtStrBin((std::string(hex) + "\\h").c_str(), bits));
    ASSERT_EQ(1, twCvtBinHex(bits, back, 0));
    EXPECT_STREQ(hex, back);
    ASSERT_EQ(1, twCvtBinOct(bits, back, 0));
    char again[200];
    ASSERT_EQ(8, twCvtStrBin((std::string(back) + "\\O").c_str(), again));
    EXPECT_EQ(std::string("0") + bits, again) << "128 bits make 43 octal digits";

    uint64_t v = 0x9E3779B97F4A7C15ULL;
    for (int n = 1; n <= 64; ++n) {
        std::string b;
        for (int i = n - 1; i >= 0; --i) b += ((v >> i) & 1) ? '1' : '0';
        uint64_t value = n == 64 ? v : v & ((uint64_t{1} << n) - 1);
        Conv c = binDec(b);
        std::string want = std::to_string(value);
        ASSERT_LE(want.size(), c.out.size()) << n << " bits";
        EXPECT_EQ(std::string(c.out.size() - want.size(), '0') + want, c.out) << n << " bits";
        std::string maxDigits = std::to_string(n == 64 ? UINT64_MAX : (uint64_t{1} << n) - 1);
        EXPECT_EQ(maxDigits.size(), c.out.size()) << n << " bits";
    }
}

TEST(RadixTest, SuffixCopySurvivesRefusedAllocations)
{
    long n = twtest::sweepAllocationFailures(
        [] {
            // A body too long for the pool's shared chunks gets a block of
            // its own, which the child allocates afresh.
            std::string text = std::string(100, 'f') + "\\h";
            char out[512];
            int r = twCvtStrBin(text.c_str(), out);
            printf("%d %s", r, out);
        },
        [](const twtest::ForkResult &r) { EXPECT_EQ("16 " + std::string(400, '1'), r.out); });
    EXPECT_GT(n, 0);
}

} // namespace
