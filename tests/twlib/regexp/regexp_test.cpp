// Compiling and matching the plain subset of regular expressions: literal
// runs, quoted characters and the subject anchors.
#include <gtest/gtest.h>

#include <string>

#include "twlib/regexp/regexp.h"

namespace {

// The leftmost match as "offset:text", or "<none>".
std::string firstMatch(const char *pattern, const char *subject)
{
    twRegexpT *re = twRegexpCompile(pattern);
    twRegexpMatch m;
    std::string result = "<none>";
    if (twRegexpExec(re, &m, subject)) {
        result = std::to_string(m.start[0] - subject) + ":" + std::string(m.start[0], m.end[0]);
        for (int i = 1; i < 10; i++) EXPECT_EQ(nullptr, m.start[i]);
    }
    twRegexpDestroy(re);
    return result;
}

TEST(RegexpTest, MatchesLiteralsLeftmostAndAnchorsWhereverTheyStand)
{
    // Pattern, subject, match. A partial match is retried one character on;
    // the terminating zero is no character; an unquoted ^ or $ anchors even
    // inside the pattern.
    const char *cases[][3] = {
        {"def", "undefined defaults", "2:def"}, {"aab", "aaab", "1:aab"}, {"abc", "ab", "<none>"},
        {"", "", "0:"}, {"a\\.b", "axb a.b", "4:a.b"}, {"\\*", "x*", "1:*"}, {"x", "", "<none>"},
        {"^ab", "abab", "0:ab"}, {"^b", "ab", "<none>"}, {"ab$", "abab", "2:ab"}, {"$", "abc", "3:"},
        {"^$", "", "0:"}, {"^$", "a", "<none>"}, {"a^b", "a^b", "<none>"}, {"a\\^b", "a^b", "0:a^b"},
    };
    for (const auto &[pattern, subject, match] : cases)
        EXPECT_EQ(match, firstMatch(pattern, subject)) << pattern << " on " << subject;
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
