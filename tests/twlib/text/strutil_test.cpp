#include "twlib/text/strutil.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/oom_sweep.h"
#include "twlib/text/str.h"

namespace {

TEST(StrUtilTest, ComparisonsAcceptNullAndStopAtTheShorterString)
{
    EXPECT_EQ(-1, twStrIcmp(nullptr, "a"));
    EXPECT_EQ(-'C', twStrIcmp("ab", "abc"));
    EXPECT_EQ(0, twStrNicmp("abcX", "ABCy", 3));
    EXPECT_EQ(1, twStrNicmp("abcd", "abc", 10));
    EXPECT_EQ(-1, twStrNicmp("ab", "abc", 10));
    EXPECT_EQ(0, twStrIequ("menu", "MENUS"));
    char s[] = "z@[`{";
    EXPECT_STREQ("Z@[`{", twStrUpc(s)) << "only ASCII letters change";
}

TEST(StrUtilTest, SearchTrimAndBoundedCopy)
{
    const char hi[] = "a\xe9z";
    EXPECT_EQ(hi + 1, twStrChr(hi, 0xe9));
    EXPECT_EQ(nullptr, twStrSearch("ab", "abc"));
    // Partial matches overlapping the real one must not be skipped.
    const char *ab = "abaABAabac";
    EXPECT_EQ(ab + 6, twStrISearch(ab, "ABAC"));

    char a[] = "  ab  ", blank[] = " \t\v\f\r\n";
    EXPECT_EQ(a + 2, twStrTrim(a));
    EXPECT_STREQ("  ab", a);
    EXPECT_STREQ("", twStrTrim(blank));
    EXPECT_EQ(' ', blank[0]) << "the first character is never overwritten";

    char buf[6];
    EXPECT_STREQ("abcde", twStrncpyNullTerm(buf, "abcdefgh", sizeof buf));
    twStrncpyNullTerm(buf, "zz", 0);  // no room: nothing is written
    EXPECT_EQ('a', buf[0]);
}

TEST(StrUtilTest, NumberTest)
{
    for (const char *yes : {"12", "-1.5e+3", ".", "+.5", "1.E-7", "3."}) EXPECT_EQ(1, twStrIsnum(yes)) << yes;
    for (const char *no : {"e5", "1e", "1.2.3", "1e5.0", "-", "", "1-2", "1e+", "1e5e3", " 1"})
        EXPECT_EQ(0, twStrIsnum(no)) << no;
    EXPECT_EQ(0, twStrIsnum(nullptr));
}

TEST(StrUtilTest, WildcardMatch)
{
    struct {
        const char *p, *s;
        int r;
    } cases[] = {{"a*c", "abbc", 1},  {"a?c", "ac", 0},    {"*", "", 1},      {"*?", "", 0},
                 {"**a**", "bab", 1}, {"*.c", "x.c.h", 0}, {"*ab", "aab", 1}, {"a*b*c", "aXcYb", 0},
                 {"A*", "abc", 0},    {"ab", "abc", 0}};
    for (auto c : cases) EXPECT_EQ(c.r, twStrMat(c.p, c.s)) << c.p << " on " << c.s;
    EXPECT_EQ(1, twStrIMat("*.TXT", "notes.txt"));

    // Plain backtracking over every star takes exponential time here.
    std::string s(20000, 'a');
    EXPECT_EQ(0, twStrMat("*a*a*a*a*a*a*a*a*a*a*a*a*b", s.c_str()));
    s.back() = 'b';
    EXPECT_EQ(1, twStrIMat("*A*A*A*A*A*A*A*A*A*A*A*A*B", s.c_str()));
}

TEST(StrUtilTest, KeywordLookupAcceptsUniquePrefixes)
{
    const char *const two[] = {"print", "probe"};
    EXPECT_EQ(-2, twStrIndex("pr", two, 2));
    EXPECT_EQ(1, twStrIndex("PROB", two, 2)) << "the word is lower-cased";
    const char *const later[] = {"prober", "probe"};
    EXPECT_EQ(1, twStrIndex("probe", later, 2)) << "an exact entry wins";
    const char *const stop[] = {"alpha", nullptr, "alps"};
    EXPECT_EQ(0, twStrIndex("al", stop, 3)) << "a null entry ends the table";
    const char *const upper[] = {"Print", "PROBE"};
    EXPECT_EQ(0, twStrIindex("print", upper, 2));
}

TEST(StrUtilTest, LexerWalksTokensAndStepsBackOntoADelimiter)
{
    char buf[4];
    const char *line = "  ab,cdefg ;  ";
    EXPECT_STREQ("ab", twStrLex(line, buf, sizeof buf, ",; ", " "));
    for (const char *want : {",", "cde", "fg", ";"})
        EXPECT_STREQ(want, twStrLex(nullptr, buf, sizeof buf, ",; ", " "));
    EXPECT_EQ(nullptr, twStrLex(nullptr, buf, sizeof buf, ",; ", " "));

    // Stepping back passes the set characters before the cursor, never start.
    EXPECT_EQ(0, twStrUnlexdelim(line, ',', " "));
    EXPECT_EQ(0, twStrUnlexdelim(line + 13, ';', " "));
    EXPECT_EQ(1, twStrUnlexdelim(line, ';', " "));
    EXPECT_STREQ(";", twStrLex(nullptr, buf, sizeof buf, ",; ", " ")) << "once more";
    EXPECT_EQ(1, twStrUnlexdelim(line, ';', nullptr));
    EXPECT_EQ(nullptr, twStrLex("abc", buf, 1, ",", " ")) << "no room for a token";
}

// Patterns longer than the table kept in the frame take a tagged scratch
// block; a match of the last possible place and a miss by one character
// both need the whole table.
TEST(StrUtilTest, CaseFoldedSearchForLongPatterns)
{
    std::string pattern(200, 'a'), text = std::string(299, 'A') + "b";
    pattern.back() = 'B';
    EXPECT_EQ(text.c_str() + 100, twStrISearch(text.c_str(), pattern.c_str()));
    text.back() = 'c';
    EXPECT_EQ(nullptr, twStrISearch(text.c_str(), pattern.c_str()));
    EXPECT_EQ(nullptr, twStrISearch("short", pattern.c_str())) << "a pattern longer than the text";
    EXPECT_EQ(nullptr, twStrISearch(nullptr, "a"));
    const char *s = "xyz";
    EXPECT_EQ(s, twStrISearch(s, ""));
}

// The utilities that take memory end as out of memory or not at all.
TEST(StrUtilTest, RefusedAllocationsEndAsOutOfMemoryOrAreSurvived)
{
    auto work = [] {
        std::string text(500, 'x');
        char pattern[100];
        for (int i = 0; i < 5; i++) {
            memset(pattern, 'X', sizeof pattern - 1);
            pattern[sizeof pattern - 1] = '\0';
            pattern[i] = 'y';
            text[100 * i + i] = 'Y';
            const char *at = twStrISearch(text.c_str(), pattern);
            printf("%ld ", at ? long(at - text.c_str()) : -1L);
        }
        char *pooled = twStrCpy("  Key  ");
        const char *const table[] = {"key", "keys"};
        printf("%d %d\n", twStrIindex(twStrTrim(pooled), table, 2), twStrIMat("*E?", pooled));
        twStrFree(pooled);
    };
    std::string clean;
    long made = twtest::sweepAllocationFailures(work, [&](const twtest::ForkResult &r) {
        if (clean.empty()) clean = r.out;
        EXPECT_EQ(clean, r.out);
    });
    EXPECT_GT(made, 0);
}

}  // namespace
