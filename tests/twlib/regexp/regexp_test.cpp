// Compiling and matching the plain subset of regular expressions: literal
// runs, quoted characters and the subject anchors.
#include <gtest/gtest.h>

#include <string>

#include "twlib/regexp/regexp.h"

namespace {

// The whole match as text, or "<none>".
std::string firstMatch(const char *pattern, const char *subject, long *offset = nullptr)
{
    twRegexpT *re = twRegexpCompile(pattern);
    twRegexpMatch m;
    std::string result = "<none>";
    if (twRegexpExec(re, &m, subject)) {
        result.assign(m.start[0], m.end[0]);
        if (offset) *offset = m.start[0] - subject;
        for (int i = 1; i < 10; i++) EXPECT_EQ(nullptr, m.start[i]);
    }
    twRegexpDestroy(re);
    return result;
}

TEST(RegexpTest, MatchesLiteralsLeftmost)
{
    long at = -1;
    EXPECT_EQ("def", firstMatch("def", "undefined defaults", &at));
    EXPECT_EQ(2, at);
    EXPECT_EQ("aab", firstMatch("aab", "aaab", &at)) << "retries after a partial match";
    EXPECT_EQ(1, at);
    EXPECT_EQ("<none>", firstMatch("abc", "ab"));
    EXPECT_EQ("", firstMatch("", "", &at));
    EXPECT_EQ(0, at);
    EXPECT_EQ("a.b", firstMatch("a\\.b", "axb a.b"));
    EXPECT_EQ("*", firstMatch("\\*", "x*"));
    EXPECT_EQ("<none>", firstMatch("x", "")) << "the terminating zero is no character";
}

TEST(RegexpTest, AnchorsHoldWhereverTheyStand)
{
    long at = -1;
    EXPECT_EQ("ab", firstMatch("^ab", "abab", &at));
    EXPECT_EQ(0, at);
    EXPECT_EQ("<none>", firstMatch("^b", "ab"));
    EXPECT_EQ("ab", firstMatch("ab$", "abab", &at));
    EXPECT_EQ(2, at);
    EXPECT_EQ("", firstMatch("$", "abc", &at));
    EXPECT_EQ(3, at);
    EXPECT_EQ("", firstMatch("^$", ""));
    EXPECT_EQ("<none>", firstMatch("^$", "a"));
    EXPECT_EQ("<none>", firstMatch("a^b", "a^b"));
    EXPECT_EQ("a^b", firstMatch("a\\^b", "a^b"));
    twRegexpT *re = twRegexpCompile("x");
    EXPECT_EQ(1, twRegexpExec(re, nullptr, "x")) << "the match record is optional";
    twRegexpDestroy(re);
}

TEST(RegexpTest, RefusesWhatItCannotCompile)
{
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_EXIT(twRegexpCompile(nullptr), testing::ExitedWithCode(3), "NULL argument");
    EXPECT_EXIT(twRegexpCompile("ab\\"), testing::ExitedWithCode(3), "trailing \\\\");
    for (const char *p : {"a*", "(a)", "[ab]", "a|b", "a.c", "a?", "a+"})
        EXPECT_EXIT(twRegexpCompile(p), testing::ExitedWithCode(3), "twRegexp") << p;
    EXPECT_EXIT(twRegexpCompile(std::string(40000, 'a').c_str()), testing::ExitedWithCode(3),
                "regexp too big");
    twRegexpT *re = twRegexpCompile("a");
    EXPECT_EXIT(twRegexpExec(re, nullptr, nullptr), testing::ExitedWithCode(3), "NULL parameter");
    twRegexpDestroy(re);
}

} // namespace
