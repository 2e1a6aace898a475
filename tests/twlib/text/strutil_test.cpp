#include "twlib/text/str.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(StrUtilTest, ComparisonsAcceptNullPointers)
{
    EXPECT_EQ(0, twStrIcmp(nullptr, nullptr));
    EXPECT_EQ(-1, twStrIcmp(nullptr, "a"));
    EXPECT_EQ(1, twStrIcmp("a", nullptr));
    EXPECT_EQ('B' - 'C', twStrIcmp("ab", "aC"));
    EXPECT_EQ(-'C', twStrIcmp("ab", "abc"));

    EXPECT_EQ(0, twStrNicmp("abcX", "ABCy", 3));
    EXPECT_EQ(1, twStrNicmp("abcd", "abc", 10));
    EXPECT_EQ(-1, twStrNicmp("ab", "abc", 10));

    EXPECT_EQ(1, twStrEqu(nullptr, nullptr));
    EXPECT_EQ(0, twStrEqu("menu", "Menu"));
    EXPECT_EQ(1, twStrIequ("menu", "MENU"));
    EXPECT_EQ(0, twStrIequ("menu", "menus"));
}

TEST(StrUtilTest, CaseConversionAndBoundedCopy)
{
    char s[] = "Mixed 1 z@[`{";
    EXPECT_STREQ("MIXED 1 Z@[`{", twStrUpc(s));
    EXPECT_STREQ("mixed 1 z@[`{", twStrLoc(s));

    char buf[6];
    EXPECT_STREQ("abcde", twStrncpyNullTerm(buf, "abcdefgh", sizeof buf));
    EXPECT_STREQ("", twStrncpyNullTerm(buf, nullptr, sizeof buf));
    buf[0] = 'k';
    twStrncpyNullTerm(buf, "zz", 0); // no room: nothing is written
    EXPECT_EQ('k', buf[0]);
}

TEST(StrUtilTest, Searching)
{
    const char *t = "key=value;rest";
    const char *w = " \t\r\v\fword";
    EXPECT_EQ(w + 5, twStrBlk(w));
    EXPECT_EQ(t + 3, twStrBrk(t, ";="));
    EXPECT_EQ(t + strlen(t), twStrChr(t, '\0'));
    EXPECT_EQ(t + 11, twStrRch(t, 'e'));
    const char hi[] = "a\xe9z";
    EXPECT_EQ(hi + 1, twStrChr(hi, 0xe9));

    EXPECT_EQ(t, twStrSearch(t, ""));
    EXPECT_EQ(nullptr, twStrSearch("ab", "abc"));
    EXPECT_EQ(t + 4, twStrISearch(t, "VaLuE"));
    EXPECT_EQ(nullptr, twStrISearch("ab", "ABC"));
    // Partial matches overlapping the real one must not be skipped.
    const char *ab = "abaABAabac";
    EXPECT_EQ(ab + 6, twStrISearch(ab, "ABAC"));
}

TEST(StrUtilTest, TrimOverwritesTrailingAndSkipsLeading)
{
    char a[] = "  ab  ";
    EXPECT_EQ(a + 2, twStrTrim(a));
    EXPECT_STREQ("  ab", a);
    char blank[] = " \t \n";
    EXPECT_STREQ("", twStrTrim(blank));
    EXPECT_EQ(' ', blank[0]) << "the first character is never overwritten";
    EXPECT_EQ(nullptr, twStrTrim(nullptr));
}

TEST(StrUtilTest, NumberTest)
{
    for (const char *yes : {"12", "-1.5e+3", ".", "+.5", "1.E-7", "3."})
        EXPECT_EQ(1, twStrIsnum(yes)) << yes;
    for (const char *no : {"e5", "1e", "1.2.3", "1e5.0", "-", "", "1-2", "1e+", "1e5e3", " 1"})
        EXPECT_EQ(0, twStrIsnum(no)) << no;
    EXPECT_EQ(0, twStrIsnum(nullptr));
}

TEST(StrUtilTest, WildcardMatch)
{
    struct { const char *p, *s; int r; } cases[] = {
        {"a*c", "abbc", 1}, {"a?c", "ac", 0},     {"*", "", 1},        {"", "a", 0},
        {"ab", "abc", 0},   {"**a**", "bab", 1},  {"*.c", "x.c.h", 0}, {"*?", "", 0},
        {"*ab", "aab", 1},  {"a*b*c", "aXcYb", 0}, {"A*", "abc", 0}};
    for (auto c : cases)
        EXPECT_EQ(c.r, twStrMat(c.p, c.s)) << c.p << " on " << c.s;
    EXPECT_EQ(1, twStrMat(nullptr, nullptr));
    EXPECT_EQ(0, twStrMat("*", nullptr));
    EXPECT_EQ(1, twStrIMat("*.TXT", "notes.txt"));
    EXPECT_EQ(0, twStrIMat(nullptr, "a"));

    // Plain backtracking over every star takes exponential time here.
    std::string s(20000, 'a');
    EXPECT_EQ(0, twStrMat("*a*a*a*a*a*a*a*a*a*a*a*a*b", s.c_str()));
    s.back() = 'b';
    EXPECT_EQ(1, twStrIMat("*A*A*A*A*A*A*A*A*A*A*A*A*B", s.c_str()));
}

TEST(StrUtilTest, KeywordLookup)
{
    const char *const two[] = {"print", "probe"};
    EXPECT_EQ(-2, twStrIndex("pr", two, 2));
    EXPECT_EQ(0, twStrIndex("pri", two, 2));
    EXPECT_EQ(1, twStrIndex("PROB", two, 2)) << "the word is lower-cased";
    EXPECT_EQ(-1, twStrIndex("prints", two, 2));
    EXPECT_EQ(-1, twStrIndex(nullptr, two, 2));
    const char *const later[] = {"prober", "probe"};
    EXPECT_EQ(1, twStrIndex("probe", later, 2)) << "an exact entry wins";
    const char *const stop[] = {"alpha", nullptr, "alps"};
    EXPECT_EQ(0, twStrIndex("al", stop, 3)) << "a null entry ends the table";
    const char *const upper[] = {"Print", "PROBE"};
    EXPECT_EQ(-1, twStrIndex("print", upper, 2));
    EXPECT_EQ(0, twStrIindex("print", upper, 2));
    EXPECT_EQ(-2, twStrIindex("P", upper, 2));
}

TEST(StrUtilTest, LexerWalksTokensAndDelimiters)
{
    char buf[4];
    EXPECT_STREQ("ab", twStrLex("  ab,cdefg ;", buf, sizeof buf, ",; ", " "));
    for (const char *want : {",", "cde", "fg", ";"})
        EXPECT_STREQ(want, twStrLex(nullptr, buf, sizeof buf, ",; ", " "));
    EXPECT_EQ(nullptr, twStrLex(nullptr, buf, sizeof buf, ",; ", " "));
    EXPECT_EQ(nullptr, twStrLex("abc", buf, 1, ",", " ")) << "no room for a token";

    // A long token read in small pieces costs its length once, not once
    // per piece.
    std::string token(300000, 't');
    token += ",x";
    size_t pieces = 0;
    for (char *p = twStrLex(token.c_str(), buf, sizeof buf, ",", nullptr); *p != ',';
         p = twStrLex(nullptr, buf, sizeof buf, ",", nullptr))
        pieces++;
    EXPECT_EQ(100000u, pieces);
    EXPECT_STREQ("x", twStrLex(nullptr, buf, sizeof buf, ",", nullptr));
}

TEST(StrUtilTest, UnlexStepsBackOntoADelimiter)
{
    char buf[16];
    const char *line = "x = y";
    twStrLex(line, buf, sizeof buf, "= ", " ");
    twStrLex(nullptr, buf, sizeof buf, "= ", " ");
    EXPECT_EQ(0, twStrUnlexdelim(line, ';', " "));
    EXPECT_EQ(1, twStrUnlexdelim(line, '=', " "));
    EXPECT_STREQ("=", twStrLex(nullptr, buf, sizeof buf, "= ", " ")) << "once more";

    // Set characters just before the cursor are stepped over...
    const char *trailing = "k ;  ";
    twStrLex(trailing, buf, sizeof buf, "; ", " ");
    twStrLex(nullptr, buf, sizeof buf, "; ", " ");
    EXPECT_EQ(nullptr, twStrLex(nullptr, buf, sizeof buf, "; ", " "));
    EXPECT_EQ(1, twStrUnlexdelim(trailing, ';', " "));
    EXPECT_STREQ(";", twStrLex(nullptr, buf, sizeof buf, "; ", " "));

    // ... but never those before start.
    const char *blanks = "x   ";
    EXPECT_EQ(nullptr, twStrLex(blanks + 1, buf, sizeof buf, "; ", " "));
    EXPECT_EQ(0, twStrUnlexdelim(blanks + 1, 'x', " "));
    EXPECT_EQ(0, twStrUnlexdelim(blanks + 4, ' ', " "));
    EXPECT_EQ(1, twStrUnlexdelim(blanks, 'x', " "));
    EXPECT_EQ(0, twStrUnlexdelim(blanks, 'x', " "));
    EXPECT_EQ(0, twStrUnlexdelim(nullptr, 'x', " "));
}

} // namespace
