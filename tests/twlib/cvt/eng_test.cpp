#include "twlib/cvt/eng.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "support/oom_sweep.h"
#include "support/raised.h"

namespace {

struct Read {
    double value;
    long used;
};

Read ustrtod(const char *text)
{
    char *end = nullptr;
    double v = twCvtUstrtod(text, &end);
    return {v, end - text};
}

int raised(void (*f)())
{
    return twtest::raised(f).number;
}

TEST(EngTest, ReadsMagnitudeThenUnit)
{
    const struct {
        const char *text;
        double value;
        long used;
    } cases[] = {
        {"3.3k", 3300, 4},
        {"10uF", 1e-5, 4},
        {"5ns", 5e-9, 3},
        {"2MEG", 2e6, 4},
        {"2M", 0.002, 2},
        {"1F", 1e-15, 2},
        {"1farads", 1e-15, 3},
        {"2mA", 0.002, 3},
        {"1meter", 1e6, 3},
        {"1Hz", 1, 3},
        {"4u7", 4e-6, 2},
        {"10h", 10, 3},
        {"1 volts", 1, 1},
        {"1henr", 1, 5},
        {"7kilohms", 7000, 6},
        {"2gv", 2e9, 3},
        {"3tera", 3e12, 5},
        {"1atto", 1e-18, 5},
        {"9pF", 9e-12, 3},
        {"-1.5e3kilo", -1.5e6, 10},
        {"1milliseconds", 1e-3, 13},
        {"7kohms", 7000, 6},
    };
    for (const auto &c : cases) {
        Read r = ustrtod(c.text);
        EXPECT_DOUBLE_EQ(c.value, r.value) << c.text;
        EXPECT_EQ(c.used, r.used) << c.text;
    }
    Read none = ustrtod("abc");
    EXPECT_EQ(0.0, none.value);
    EXPECT_EQ(0, none.used);
    char *end = reinterpret_cast<char *>(1);
    EXPECT_EQ(0.0, twCvtUstrtod(nullptr, &end));
    EXPECT_EQ(nullptr, end);
    EXPECT_EQ(12.0, twCvtUstrtod("12", nullptr));
}

TEST(EngTest, DefaultMagnitudeAndOwnUnit)
{
    const struct {
        const char *text;
        int mag;
        const char *unit;
        double value;
        long used;
    } cases[] = {
        {"5", 5, "volts", 5e-3, 1},
        {"5Vol", 5, "volts", 5.0, 4},      // wholly a leading part of the unit: no magnitude at all
        {"5kvx", 5, "volts", 5000.0, 3},   // kilo, then as much of the unit as agrees
        {"5kohm", 5, "volts", 5000.0, 2},  // the fixed list is not consulted
        {"5", 99, "volts", 5.0, 1},        // an index outside the table scales by 1
        {"5kohm", 6, nullptr, 5000.0, 5},
        {"x", 7, "volts", 0.0, 0},
    };
    for (const auto &c : cases) {
        char *end;
        EXPECT_DOUBLE_EQ(c.value, twCvtUstrtod2(c.text, &end, c.mag, c.unit)) << c.text << " " << c.mag;
        EXPECT_EQ(c.used, end - c.text) << c.text << " " << c.mag;
    }
}

TEST(EngTest, MagnitudeLetters)
{
    const char *letters[] = {"a", "f", "p", "n", "u", "m", "", "k", "M", "G", "T"};
    for (int i = 0; i < 11; ++i) EXPECT_EQ(i, twCvtUstrtomag(letters[i])) << letters[i];
    EXPECT_EQ(7, twCvtUstrtomag("kilo"));
    EXPECT_EQ(1201, raised([] { twCvtUstrtomag("x"); }));
    EXPECT_EQ(1201, raised([] { twCvtUstrtomag("K"); }));
    EXPECT_EQ(1201, raised([] { twCvtUstrtomag(nullptr); }));
}

TEST(EngTest, WritesEveryMode)
{
    const struct {
        double value;
        int digits;
        const char *modes[4];
    } cases[] = {
        {0.0047, 3, {"0.0047", "4.7e-3", "4.7e-3", "4.7m"}},
        {12345, 3, {"12300", "1.23e4", "12.3e3", "12.3k"}},
        {-1500, 6, {"-1500", "-1.5e3", "-1.5e3", "-1.5k"}},
        {2e15, 6, {"2e15", "2e15", "2e15", "2e15"}},
        {1e-20, 3, {"1e-20", "1e-20", "10e-21", "10e-21"}},
        {999.96, 4, {"1000", "1e3", "1e3", "1k"}},
        {100, 1, {"100", "1e2", "100e0", "100"}},
        {0.5, 6, {"0.5", "5e-1", "500e-3", "500m"}},
    };
    for (const auto &c : cases)
        for (int mode = 0; mode < 4; ++mode)
            EXPECT_STREQ(c.modes[mode], twCvtDtostr(c.value, mode, c.digits, 0.0))
                << c.value << " mode " << mode;
    for (int mode = 0; mode < 4; ++mode) {
        const char *zero = (mode == 1 || mode == 2) ? "0e0" : "0";
        EXPECT_STREQ(zero, twCvtDtostr(-0.004, mode, 6, 0.01));
        EXPECT_STREQ(zero, twCvtDtostr(0.0, mode, 6, 0.0));
        EXPECT_STREQ("inf", twCvtDtostr(INFINITY, mode, 6, 0.0));
        EXPECT_STREQ("-inf", twCvtDtostr(-INFINITY, mode, 6, 0.0));
        EXPECT_STREQ("nan", twCvtDtostr(NAN, mode, 6, 0.0));
    }
    // Digits are clamped to what a double holds, and at least one.
    EXPECT_STREQ("3e-1", twCvtDtostr(1.0 / 3, 1, 0, 0.0));
    EXPECT_STREQ("3.3333333333333331e-1", twCvtDtostr(1.0 / 3, 1, 400, 0.0));
    EXPECT_EQ(1200, raised([] { twCvtDtostr(1.0, 4, 6, 0.0); }));
    EXPECT_EQ(1200, raised([] { twCvtDtostr(1.0, -1, 6, 0.0); }));
}

TEST(EngTest, SmallTexts)
{
    EXPECT_STREQ("1.5", twCvtFloatStr(1.5));
    EXPECT_STREQ("2", twCvtFloatStr(2.0));
    EXPECT_STREQ("0", twCvtFloatStr(0.0));
    EXPECT_STREQ("-0.000001", twCvtFloatStr(-1e-6));
    // The shared buffer holds the longest "%f" text there is.
    char expect[400];
    snprintf(expect, sizeof expect, "%f", -1.7976931348623157e308);
    expect[strlen(expect) - 7] = '\0';
    EXPECT_STREQ(expect, twCvtFloatStr(-1.7976931348623157e308));
    EXPECT_EQ(310u, strlen(twCvtFloatStr(-1.7976931348623157e308)));
    EXPECT_STREQ("-2147483648", twCvtIntStr(INT32_MIN));
    EXPECT_STREQ("-9223372036854775808", twCvtLongStr(INT64_MIN));

    EXPECT_STREQ("01:01:01.01", twCvtTimeStr(366101));
    EXPECT_STREQ("00:00:00.00", twCvtTimeStr(0));
    EXPECT_STREQ("-00:00:01.50", twCvtTimeStr(-150));
    EXPECT_STREQ("25620477880152:09:18.07", twCvtTimeStr(INT64_MAX)) << "hours grow, the buffer holds them";
    EXPECT_STREQ("-25620477880152:09:18.08", twCvtTimeStr(INT64_MIN));

    char *end;
    const char *t = "  xyz1aF0b9C7Dq";
    EXPECT_EQ(0x1aF0b9C7u, twCvtUHexTol(t, &end)) << "at most eight digits";
    EXPECT_EQ(t + 13, end);
    t = "zz-";
    EXPECT_EQ(0u, twCvtUHexTol(t, &end));
    EXPECT_EQ(t, end);
    EXPECT_EQ(0xffffffffu, twCvtUHexTol("ffffffff", nullptr));
}

TEST(EngTest, CalendarBreakdown)
{
    int mo, d, y, h, mi, s;
    // Compared with the platform's own calendar over a wide span, leap
    // days, the ends of years and times before 1970 included.
    std::mt19937_64 rng(7);
    std::uniform_int_distribution<long> span(-4000000000L, 16000000000L);
    const long fixed[] = {0, 86399, 951782400, 951868799, 978220800, 978307199, -1, -86400};
    for (int i = 0; i < 20000; ++i) {
        long t = i < 8 ? fixed[i] : span(rng);
        time_t tt = t;
        struct tm tm;
        ASSERT_NE(nullptr, gmtime_r(&tt, &tm));
        EXPECT_EQ(1, twCvtTime(t, &mo, &d, &y, &h, &mi, &s));
        ASSERT_EQ(tm.tm_year + 1900, y) << t;
        ASSERT_EQ(tm.tm_mon + 1, mo) << t;
        ASSERT_EQ(tm.tm_mday, d) << t;
        ASSERT_EQ(tm.tm_hour, h) << t;
        ASSERT_EQ(tm.tm_min, mi) << t;
        ASSERT_EQ(tm.tm_sec, s) << t;
    }
    EXPECT_EQ(1, twCvtTime(0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(1, twCvtTime(INT64_MAX, &mo, &d, &y, &h, &mi, &s)) << "returns at once, the year clamped";
    EXPECT_EQ(INT32_MAX, y);
}

TEST(EngTest, FormatterWithMagnitudes)
{
    EXPECT_STREQ("4.700m", twCvtDformatStatic(0.0047, 3, 0, -1));
    EXPECT_STREQ("4.7m", twCvtDformatStatic(0.0047, 3, TW_CVT_DF_TRIM, -1));
    EXPECT_STREQ("4700.00u", twCvtDformatStatic(0.0047, 2, 0, 4));
    EXPECT_STREQ("1.0k", twCvtDformatStatic(999.96, 1, TW_CVT_DF_AUTO, 6))
        << "rounding reaches the next group";
    EXPECT_STREQ("12", twCvtDformatStatic(12.0, 2, TW_CVT_DF_TRIM, 6));
    EXPECT_STREQ("1.5e15", twCvtDformatStatic(1.5e15, 1, TW_CVT_DF_AUTO, 6));
    EXPECT_STREQ("0.0047m", twCvtDformatStatic(4.7e-6, 3, TW_CVT_DF_PLAIN, 5));
    // 1e300 written plainly needs more than 300 characters.
    const char *big = twCvtDformatStatic(1e300, 2, 0, 6);
    EXPECT_EQ(304u, strlen(big));
    char expect[400];
    snprintf(expect, sizeof expect, "%.2f", 1e300);
    EXPECT_STREQ(expect, big);
    twStrBuf *buf = twStrBufCreate(0);
    EXPECT_EQ(304, twCvtDformatStrBuf(buf, -1e300, 1, 0, 6));
    EXPECT_EQ(304, twStrBufLength(buf));
    EXPECT_EQ('-', twStrBufString(buf)[0]);
    EXPECT_EQ(0, twCvtDformatStrBuf(nullptr, 1.0, 1, 0, 6));
    twStrBufDestroy(buf);
    EXPECT_STREQ("-inf", twCvtDformatStatic(-INFINITY, 1, 0, 6));
}

/* ---- the differential test ---- */

// The digits and the point position of |v| by the C++ library's own
// conversion, which shares nothing with the printf family.
void referenceDigits(double v, int ndigit, std::string &digits, int &point)
{
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(v), std::chars_format::scientific, ndigit - 1);
    std::string s(buf, r.ptr);
    size_t e = s.find('e');
    digits.clear();
    for (size_t i = 0; i < e; ++i)
        if (s[i] != '.') digits += s[i];
    point = std::stoi(s.substr(e + 1)) + 1;
    if (digits.find_first_not_of('0') != std::string::npos)
        while (digits.back() == '0') digits.pop_back();
}

std::string referenceDtostr(double v, int mode, int ndigit)
{
    ndigit = std::max(1, std::min(17, ndigit));
    std::string d;
    int p;
    referenceDigits(v, ndigit, d, p);
    int n = static_cast<int>(d.size());
    std::string sign = std::signbit(v) ? "-" : "";
    auto scientific = [&] {
        return sign + d.substr(0, 1) + (n > 1 ? "." + d.substr(1) : "") + "e" + std::to_string(p - 1);
    };
    int e = p - 1;
    int r = ((e % 3) + 3) % 3;
    std::string mant =
        n > r + 1 ? d.substr(0, r + 1) + "." + d.substr(r + 1) : d + std::string(r + 1 - n, '0');
    switch (mode) {
    case 0: {
        int s = static_cast<int>(sign.size());
        int plain = p < 1 ? s + n - p + 2 : p >= n ? p + s : s + n + 1;
        int sci = s + n + 1 + static_cast<int>(std::to_string(p).size()) + 2;
        if (plain > sci) return scientific();
        if (p < 1) return sign + "0." + std::string(-p, '0') + d;
        if (n > p) return sign + d.substr(0, p) + "." + d.substr(p);
        return sign + d + std::string(p - n, '0');
    }
    case 1:
        return scientific();
    case 2:
        return sign + mant + "e" + std::to_string(e - r);
    default: {
        static const std::pair<int, const char *> letters[] = {{-18, "a"}, {-15, "f"}, {-12, "p"}, {-9, "n"},
                                                               {-6, "u"},  {-3, "m"},  {0, ""},    {3, "k"},
                                                               {6, "M"},   {9, "G"},   {12, "T"}};
        for (const auto &l : letters)
            if (l.first == e - r) return sign + mant + l.second;
        return sign + mant + "e" + std::to_string(e - r);
    }
    }
}

double randomDouble(std::mt19937_64 &rng)
{
    switch (rng() % 4) {
    case 0: {  // any bit pattern that is finite
        uint64_t bits = rng();
        double v;
        memcpy(&v, &bits, sizeof v);
        return std::isfinite(v) ? v : 1.0;
    }
    case 1:
        return std::ldexp(static_cast<double>(rng() % 2000000) - 1e6, static_cast<int>(rng() % 120) - 60);
    case 2:
        return (static_cast<double>(rng() % 100000) + 0.5) *
               std::pow(10.0, static_cast<int>(rng() % 50) - 25);
    default:
        return static_cast<double>(static_cast<int64_t>(rng() % 20001) - 10000);
    }
}

TEST(EngTest, WritingMatchesAnIndependentModelOverGeneratedNumbers)
{
    std::mt19937_64 rng(20261206);
    for (int i = 0; i < 60000; ++i) {
        double v = randomDouble(rng);
        if (v == 0.0) continue;
        int ndigit = static_cast<int>(rng() % 19);
        int mode = static_cast<int>(rng() % 4);
        std::string got = twCvtDtostr(v, mode, ndigit, 0.0);
        ASSERT_EQ(referenceDtostr(v, mode, ndigit), got) << v << " mode " << mode << " digits " << ndigit;
        // With all the digits a double needs, the exponent forms read back
        // to the very same value.
        if (mode < 3) {
            std::string full = twCvtDtostr(v, mode, 17, 0.0);
            Read back = ustrtod(full.c_str());
            ASSERT_EQ(v, back.value) << full;
            ASSERT_EQ(static_cast<long>(full.size()), back.used) << full;
        }
    }
}

// The reader against a model: the value of the number with the magnitude's
// exponent added, as strtod reads the decimal text, and the consumed length
// from the word tables by plain search.
TEST(EngTest, ReadingMatchesAnIndependentModelOverGeneratedNumbers)
{
    static const struct {
        const char *word;
        int exponent;
    } mags[] = {{"atto", -18}, {"femto", -15}, {"pico", -12}, {"nano", -9}, {"u", -6},
                {"milli", -3}, {"kilo", 3},    {"meg", 6},    {"giga", 9},  {"tera", 12}};
    static const char *units[] = {"amps", "farads", "hz", "henries", "ohms", "seconds", "volts"};
    std::mt19937_64 rng(99);
    auto randomCase = [&](std::string word) {
        // A prefix of the word in random case.
        word = word.substr(0, 1 + rng() % word.size());
        for (char &c : word)
            if (rng() % 2) c = static_cast<char>(toupper(c));
        return word;
    };
    for (int i = 0; i < 40000; ++i) {
        char num[64];
        long mant = static_cast<long>(rng() % 2000000) - 1000000;
        int exp = static_cast<int>(rng() % 40) - 20;
        snprintf(num, sizeof num, "%ld.%lde%d", mant / 1000, std::labs(mant % 1000), exp);
        std::string text = num;
        int magExp = 0;
        bool hasMag = rng() % 3 != 0;
        const auto &m = mags[rng() % 10];
        std::string magText;
        if (hasMag) {
            magText = randomCase(m.word);
            // "m" alone, or "m" and something other than "e", is milli; a
            // prefix of "meg" that is just "m" reads as milli too.
            magExp = m.exponent;
            if (m.exponent == 6 && magText.size() == 1) magExp = -3;
        }
        std::string unitText = rng() % 2 ? randomCase(units[rng() % 7]) : "";
        // A unit letter that could go on agreeing with the magnitude word
        // (kil + ohms) is read as part of it: left out of the model.
        if (hasMag && !unitText.empty() && magText.size() < strlen(m.word) &&
            tolower(unitText[0]) == m.word[magText.size()])
            unitText.clear();
        // A unit that begins with a magnitude letter would be read as the
        // magnitude when there is none in front of it: the model keeps
        // them apart by putting such units after a magnitude only.
        if (!hasMag && !unitText.empty() && strchr("afAF", unitText[0])) unitText.clear();
        std::string tail = rng() % 4 == 0 ? " x" : "";
        std::string all = text + magText + unitText + tail;

        char ref[96];
        snprintf(ref, sizeof ref, "%se%d", std::string(num).substr(0, std::string(num).find('e')).c_str(),
                 exp + magExp);
        double expect = strtod(ref, nullptr);
        size_t expectUsed = text.size() + magText.size();
        // The unit consumed is the longest agreement with a word of its
        // first letter.
        size_t best = 0;
        for (const char *u : units) {
            size_t k = 0;
            while (k < unitText.size() && u[k] && tolower(unitText[k]) == u[k]) ++k;
            if (k > 0 && tolower(unitText[0]) == u[0]) best = std::max(best, k);
        }
        expectUsed += best;

        Read got = ustrtod(all.c_str());
        ASSERT_EQ(static_cast<long>(expectUsed), got.used) << all;
        // Scaling a read value by a power of ten rounds once more than
        // reading the whole decimal text.
        ASSERT_NEAR(expect, got.value, std::fabs(expect) * 4e-16) << all;
    }
}

TEST(EngTest, NothingAllocatedOrLeftUnderAllocationFailures)
{
    long clean = twtest::sweepAllocationFailures(
        [] {
            twStrBuf *buf = twStrBufCreate(0);
            twCvtDformatStrBuf(buf, 1234.5678, 3, TW_CVT_DF_AUTO, -1);
            twCvtDformatStrBuf(buf, 1e300, 2, 0, 6);
            printf("%s|%s|%s", twStrBufString(buf), twCvtDtostr(0.0047, 3, 3, 0.0), twCvtTimeStr(366101));
            twStrBufDestroy(buf);
        },
        [](const twtest::ForkResult &r) { EXPECT_EQ(0u, r.out.find("1.235k1")) << r.out; });
    EXPECT_GT(clean, 0);
}

}  // namespace
