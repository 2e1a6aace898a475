// The engine against the platform's snprintf over generated conversions:
// every flag set, width and precision the grammar takes, for every
// conversion, wherever the two are meant to agree (the engine refuses "#"
// and precisions that C ignores or leaves undefined, ignores "0" for c and
// s, and prints %p as %#lx).
#include "twlib/text/sprintf.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Both outputs, compared whole and at the sizes around a cut.
template <typename... Args> void expectSameAs(const char *ours, const char *theirs, Args... args)
{
    char want[512], got[512];
    int n = snprintf(want, sizeof want, theirs, args...);
    ASSERT_GE(n, 0) << theirs;
    ASSERT_LT(n, static_cast<int>(sizeof want)) << theirs;
    int needed = 0;
    ASSERT_EQ(0, twSprintf2(got, sizeof got, &needed, ours, args...)) << ours;
    ASSERT_EQ(n + 1, needed) << ours;
    ASSERT_EQ(std::string(want, static_cast<size_t>(n)), std::string(got, static_cast<size_t>(n)))
        << ours << " against " << theirs;
    for (int size : {1, n / 2 + 1, n}) {
        if (size < 1) continue;
        char cutWant[512], cutGot[512];
        snprintf(cutWant, static_cast<size_t>(size), theirs, args...);
        int r = twSprintf2(cutGot, size, &needed, ours, args...);
        EXPECT_EQ(n < size ? 0 : -1, r) << ours << " size " << size;
        EXPECT_EQ(0, memcmp(cutWant, cutGot, static_cast<size_t>(size))) << ours << " size " << size;
    }
}

template <typename... Args> void expectSame(const std::string &fmt, Args... args)
{
    expectSameAs(fmt.c_str(), fmt.c_str(), args...);
}

// Every subset of the flags, in a fixed order.
std::vector<std::string> flagSets(const char *flags)
{
    std::vector<std::string> sets;
    size_t n = strlen(flags);
    for (unsigned mask = 0; mask < (1u << n); ++mask) {
        std::string s;
        for (size_t i = 0; i < n; ++i)
            if (mask & (1u << i)) s += flags[i];
        sets.push_back(s);
    }
    return sets;
}

const char *const kWidths[] = {"", "1", "5", "12", "*"};
const char *const kPrecisions[] = {"", ".", ".0", ".1", ".3", ".17", ".*"};

// Calls check(format) for every flag set, width and precision that the
// engine takes for the conversion.
template <typename Check> void forEachSpec(const char *conv, const char *flags, bool precision, Check check)
{
    for (const std::string &f : flagSets(flags))
        for (const char *w : kWidths)
            for (const char *p : kPrecisions) {
                if (!precision && *p) continue;
                check("%" + f + w + p + conv, *w == '*', p[0] && p[1] == '*');
            }
}

// Stars take their amounts from arguments in front of the value.
template <typename T>
void expectSameStars(const std::string &fmt, bool starWidth, bool starPrecision, T value)
{
    if (starWidth && starPrecision)
        expectSame(fmt, 7, 2, value);
    else if (starWidth)
        expectSame(fmt, 9, value);
    else if (starPrecision)
        expectSame(fmt, 4, value);
    else
        expectSame(fmt, value);
}

TEST(SprintfDiffTest, IntegerConversions)
{
    const int ints[] = {0, 1, -1, 42, -42, 123456, INT_MAX, INT_MIN};
    const long longs[] = {0, -7, 1L << 40, LONG_MAX, LONG_MIN};
    for (const char *conv : {"d", "i", "o", "u", "x", "X"}) {
        bool alt = strpbrk(conv, "oxX") != nullptr;
        const char *flags = alt ? "-+ #0" : "-+ 0";
        forEachSpec(conv, flags, true, [&](const std::string &fmt, bool sw, bool sp) {
            for (int v : ints) expectSameStars(fmt, sw, sp, v);
        });
        std::string l = std::string("l") + conv, h = std::string("h") + conv;
        forEachSpec(l.c_str(), flags, true, [&](const std::string &fmt, bool sw, bool sp) {
            for (long v : longs) expectSameStars(fmt, sw, sp, v);
        });
        forEachSpec(h.c_str(), flags, true, [&](const std::string &fmt, bool sw, bool sp) {
            for (int v : {0, -3, 32767, 70000}) expectSameStars(fmt, sw, sp, v);
        });
    }
}

// The engine takes one int64_t where the platform takes a long long, so
// each side gets its own argument list.
template <typename... Stars>
void expectSame64(const std::string &ours, const std::string &theirs, int64_t v, Stars... stars)
{
    char want[128], got[128];
    int n = snprintf(want, sizeof want, theirs.c_str(), stars..., static_cast<long long>(v));
    ASSERT_GE(n, 0) << theirs;
    int needed = 0;
    ASSERT_EQ(0, twSprintf2(got, sizeof got, &needed, ours.c_str(), stars..., v)) << ours;
    ASSERT_EQ(n + 1, needed) << ours;
    ASSERT_STREQ(want, got) << ours << " of " << v;
}

TEST(SprintfDiffTest, SixtyFourBitAgainstLongLong)
{
    const int64_t values[] = {0, 1, -1, 8, 255, -255, int64_t{1} << 40, INT64_MAX, INT64_MIN};
    for (const char *conv : {"d", "i", "o", "u", "x", "X"}) {
        bool alt = strpbrk(conv, "oxX") != nullptr;
        std::string ours = std::string("L") + conv;
        forEachSpec(ours.c_str(), alt ? "-+ #0" : "-+ 0", true,
                    [&](const std::string &fmt, bool sw, bool sp) {
                        std::string theirs = fmt.substr(0, fmt.size() - 2) + "ll" + conv;
                        for (int64_t v : values) {
                            if (sw && sp)
                                expectSame64(fmt, theirs, v, 23, 19);
                            else if (sw)
                                expectSame64(fmt, theirs, v, 23);
                            else if (sp)
                                expectSame64(fmt, theirs, v, 19);
                            else
                                expectSame64(fmt, theirs, v);
                        }
                    });
    }
    // A 64-bit value by position.
    char want[64], got[64];
    snprintf(want, sizeof want, "%2$s=%1$lld", -1234567890123LL, "v");
    twSprintf(got, sizeof got, "%2$s=%1$Ld", int64_t{-1234567890123}, "v");
    EXPECT_STREQ(want, got);
}

TEST(SprintfDiffTest, FloatingConversions)
{
    const double values[] = {0.0,   -0.0,    1.0,      -1.5,      0.000123456, 123456.789,
                             1e300, -1e-300, HUGE_VAL, -HUGE_VAL, NAN};
    for (const char *conv : {"e", "E", "f", "g", "G", "le", "lf", "lG"})
        forEachSpec(conv, "-+ #0", true, [&](const std::string &fmt, bool sw, bool sp) {
            for (double v : values) expectSameStars(fmt, sw, sp, v);
        });
}

TEST(SprintfDiffTest, CharacterStringAndPointerConversions)
{
    forEachSpec("c", "-+ ", false, [&](const std::string &fmt, bool sw, bool sp) {
        for (int v : {int{'a'}, int{' '}, 0, 255}) expectSameStars(fmt, sw, sp, v);
    });
    forEachSpec("s", "-+ ", true, [&](const std::string &fmt, bool sw, bool sp) {
        for (const char *v : {"", "a", "hello", "a longer string of text"}) expectSameStars(fmt, sw, sp, v);
    });
    void *ptrs[] = {reinterpret_cast<void *>(uintptr_t{1}), reinterpret_cast<void *>(uintptr_t{0xdeadbeef}),
                    &ptrs};
    for (const std::string &f : flagSets("-"))
        for (const char *w : kWidths) {
            if (*w == '*') continue;
            std::string fmt = "%" + f + w + "p";
            for (void *v : ptrs) expectSame(fmt, v);
        }
}

TEST(SprintfDiffTest, PositionalForms)
{
    expectSame("%2$s %1$s", "a", "b");
    expectSame("%3$*1$.*2$f|%4$s|%1$d", 12, 3, 3.14159, "x");
    expectSame("%2$-*1$ld|%3$c%3$c", 8, -99L, 'q');
    expectSame("%1$#x %1$#o %1$d %2$+.2e", 255, 1234.5);
    expectSame("a%1$sb%2$05hdc%3$lu", "mid", 70000, 18446744073709551615UL);
    expectSame("%10$s%9$s%8$s%7$s%6$s%5$s%4$s%3$s%2$s%1$s", "0", "1", "2", "3", "4", "5", "6", "7", "8", "9");
}

}  // namespace
