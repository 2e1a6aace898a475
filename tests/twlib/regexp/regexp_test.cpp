// Compiling to the node program, matching, substituting and copying out
// sub-matches; every refusal; damaged programs; long subjects.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "support/oom_sweep.h"
#include "twlib/regexp/regexp.h"
#include "twlib/text/str.h"

namespace {

// The first 'size' program bytes (a shorter program is an overrun that the
// sanitizer reports).
std::vector<int> programOf(const char *pattern, size_t size)
{
    twRegexpT *re = twRegexpCompile(pattern);
    std::vector<int> bytes(re->program, re->program + size);
    twRegexpDestroy(re);
    return bytes;
}

// The leftmost match as "offset:text", then " n:text" for each set group;
// "<none>" without a match.
std::string describe(const char *pattern, const char *subject)
{
    twRegexpT *re = twRegexpCompile(pattern);
    twRegexpMatch m;
    std::string result = "<none>";
    if (twRegexpExec(re, &m, subject)) {
        result = std::to_string(m.start[0] - subject) + ":" + std::string(m.start[0], m.end[0]);
        for (int i = 1; i < 10; i++) {
            EXPECT_EQ(m.start[i] == nullptr, m.end[i] == nullptr) << pattern << " group " << i;
            if (m.start[i]) result += " " + std::to_string(i) + ":" + std::string(m.start[i], m.end[i]);
        }
    } else {
        for (int i = 0; i < 10; i++) EXPECT_EQ(nullptr, m.start[i]) << "a failed match clears the record";
    }
    twRegexpDestroy(re);
    return result;
}

TEST(RegexpTest, CompilesTheNodeProgramByteForByte)
{
    // A one-character run before "*" becomes its own literal under
    // ZERO_OR_MORE, which has no link of its own operand.
    std::vector<int> abStarC = {156, 6, 0,   21, 8, 0, 5, 'a', 0, 10, 0, 8, 8,
                                0,   0, 'b', 0,  8, 0, 5, 'c', 0, 0,  0, 0};
    EXPECT_EQ(abStarC, programOf("ab*c", abStarC.size()));

    // A repeated group is a loop: ALTERNATIVE, the group, LOOP_BACK to the
    // ALTERNATIVE, then an ALTERNATIVE taking EMPTY.
    std::vector<int> groupStar = {156, 6, 0,  30, 6, 0, 21, 21, 0, 3, 6, 0, 9, 8, 0, 6, 'a',
                                  'b', 0, 31, 0,  3, 7, 0,  18, 6, 0, 3, 9, 0, 3, 0, 0, 0};
    EXPECT_EQ(groupStar, programOf("(ab)*", groupStar.size()));

    // Two top-level branches, a class range, an anchor and "?" as a choice
    // between the literal and EMPTY.
    std::vector<int> classOrOptional = {156, 6, 0, 10, 4, 0, 27,  'a', 'b', 'c', 0, 6, 0, 20, 1, 0, 3,
                                        6,   0, 8, 8,  0, 8, 'x', 0,   6,   0,   3, 9, 0, 3,  0, 0, 0};
    EXPECT_EQ(classOrOptional, programOf("[a-c]|^x?", classOrOptional.size()));

    // An empty branch still gets a node to enter.
    std::vector<int> emptyBranch = {156, 6, 0, 8, 8, 0, 11, 'a', 0, 6, 0, 6, 9, 0, 3, 0, 0, 0};
    EXPECT_EQ(emptyBranch, programOf("a|", emptyBranch.size()));
}

TEST(RegexpTest, SetsTheScanHints)
{
    struct Case {
        const char *pattern;
        char firstChar;
        char anchored;
        const char *mustContain;
    } cases[] = {
        {"ab*c", 'a', 0, nullptr},  {"^ab", 0, 1, nullptr},  {"a|b", 0, 0, nullptr},
        {"x*abc", 0, 0, "abc"},     {"(a*)bc", 0, 0, "bc"},  {"x*ab(cdefg)ef", 0, 0, "ef"},
        {"x*(abc)", 0, 0, nullptr}, {"a?bc", 0, 0, nullptr}, {"(ab|cd)", 0, 0, nullptr},
        {"x*a+bcd", 0, 0, "bcd"},
    };
    for (const Case &c : cases) {
        twRegexpT *re = twRegexpCompile(c.pattern);
        EXPECT_EQ(c.firstChar, re->firstChar) << c.pattern;
        EXPECT_EQ(c.anchored, re->anchored) << c.pattern;
        if (!c.mustContain) {
            EXPECT_EQ(nullptr, re->mustContain) << c.pattern;
        } else {
            ASSERT_NE(nullptr, re->mustContain) << c.pattern;
            EXPECT_STREQ(c.mustContain, re->mustContain) << c.pattern;
            EXPECT_EQ(static_cast<int>(strlen(c.mustContain)), re->mustLength) << c.pattern;
            // It points into the program, not at a copy.
            EXPECT_GT(re->mustContain, reinterpret_cast<const char *>(re->program));
        }
        twRegexpDestroy(re);
    }
}

TEST(RegexpTest, MatchesLeftmostWithGreedyRepetitionAndFirstAlternative)
{
    const char *cases[][3] = {
        // Empty matches, the end of the subject being a position too.
        {"a*", "", "0:"},
        {"a*", "bbb", "0:"},
        {"", "xy", "0:"},
        {"x*$", "ab", "2:"},
        // Repetition of one character, of classes and of groups.
        {"ab*c", "xabbbcy", "1:abbbc"},
        {"ab+c", "xacy", "<none>"},
        {"ab+c", "abbc", "0:abbc"},
        {"(a|b)+c", "ababc", "0:ababc 1:b"},
        {"(ab)*c", "xababc", "1:ababc 1:ab"},
        // A group keeps the last iteration that passed it, and an optional
        // group that matched empty is set.
        {"((a)|b)+", "ab", "0:ab 1:b 2:a"},
        {"(a*)?ab", "ab", "0:ab 1:"},
        {"a.*b", "a1b2b3", "0:a1b2b"},
        {"a[0-9]*b", "a12b", "0:a12b"},
        {"[^ab]+", "abxyb", "2:xy"},
        {"x(ab)?c", "xc xabc", "0:xc"},
        {"x(ab)?c", "xabc", "0:xabc 1:ab"},
        {"a*ab", "aaab", "0:aaab"},
        {"(a*)(a)", "aaa", "0:aaa 1:aa 2:a"},
        // A run before a multiplier leaves its last character to it.
        {"abc*", "abab", "0:ab"},
        {"abc+", "abab", "<none>"},
        {"abc?d", "abd", "0:abd"},
        // Alternatives: the first that lets the rest succeed wins.
        {"(a|ab)(c|bcd)", "abcd", "0:abcd 1:a 2:bcd"},
        {"(ab|a)(c|bcd)", "abcd", "0:abc 1:ab 2:c"},
        {"a|b|", "x", "0:"},
        {"(|a)b", "ab", "0:ab 1:a"},
        // Groups that did not take part are unset; nine groups are allowed.
        {"(a)|(b)", "b", "0:b 2:b"},
        {"(a)(b)(c)(d)(e)(f)(g)(h)(i)", "abcdefghi", "0:abcdefghi 1:a 2:b 3:c 4:d 5:e 6:f 7:g 8:h 9:i"},
        // Anchors anywhere; classes with literal ] and -, and ranges that
        // start after an earlier one.
        {"a^b", "a^b", "<none>"},
        {"a\\^b", "a^b", "0:a^b"},
        {"b$|c", "bc", "1:c"},
        {"[]a]+", "x]a]", "1:]a]"},
        {"[a-]+", "x-a", "1:-a"},
        {"[^]x]", "]xy", "2:y"},
        {"[a-c-e]+", "xdcb-", "1:dcb"},
        {"[\\n]", "n", "0:n"},
        // Bytes above 127 compare as unsigned in ranges.
        {"[\x80-\xff]+", "a\xc3\xa9z", "1:\xc3\xa9"},
        // The NOT_IN_SET and ANY_CHAR nodes never take the terminator.
        {"a[^b]", "a", "<none>"},
        {"a.", "a", "<none>"},
        {"a[b]*$", "abb", "0:abb"},
    };
    for (const auto &[pattern, subject, expected] : cases)
        EXPECT_EQ(expected, describe(pattern, subject)) << pattern << " on " << subject;

    twRegexpT *re = twRegexpCompile("x");
    EXPECT_EQ(1, twRegexpExec(re, nullptr, "x")) << "the match record is optional";
    EXPECT_EQ(0, twRegexpExec(re, nullptr, "y"));
    twRegexpDestroy(re);
}

TEST(RegexpTest, RaisesEveryFailureWithItsText)
{
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    auto compileFails = [](const char *pattern, const char *text) {
        EXPECT_EXIT(twRegexpCompile(pattern), testing::ExitedWithCode(3),
                    std::string("twRegexp: Error: ") + text)
            << (pattern ? pattern : "(null)");
    };
    compileFails(nullptr, "NULL argument");
    compileFails(std::string(40000, 'a').c_str(), "regexp too big");
    compileFails("(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)", "too many \\(\\)");
    compileFails("(a", "unmatched \\(\\)");
    compileFails("a)", "unmatched \\(\\)");
    compileFails("(a*)*", "\\*\\+ operand could be empty");
    compileFails("(a|)+", "\\*\\+ operand could be empty");
    compileFails("^*", "\\*\\+ operand could be empty");
    compileFails("a**", "nested \\*\\?\\+");
    compileFails("a?+", "nested \\*\\?\\+");
    compileFails("[z-a]", "invalid \\[\\] range");
    compileFails("[ab", "unmatched \\[\\]");
    compileFails("[", "unmatched \\[\\]");
    compileFails("*a", "\\?\\+\\* follows nothing");
    compileFails("a|+", "\\?\\+\\* follows nothing");
    compileFails("(?)", "\\?\\+\\* follows nothing");
    compileFails("ab\\", "trailing \\\\");

    twRegexpT *re = twRegexpCompile("a");
    twRegexpMatch m{};
    char dest[16];
    EXPECT_EXIT(twRegexpExec(re, nullptr, nullptr), testing::ExitedWithCode(3), "NULL parameter");
    EXPECT_EXIT(twRegexpExec(nullptr, nullptr, "a"), testing::ExitedWithCode(3), "NULL parameter");
    const char *replaceNull = "NULL parm to twRegexpReplace";
    EXPECT_EXIT(twRegexpReplace(nullptr, &m, "x", dest), testing::ExitedWithCode(3), replaceNull);
    EXPECT_EXIT(twRegexpReplace(re, &m, nullptr, dest), testing::ExitedWithCode(3), replaceNull);
    EXPECT_EXIT(twRegexpReplace(re, &m, "x", nullptr), testing::ExitedWithCode(3), replaceNull);
    EXPECT_EXIT(twRegexpReplace(re, nullptr, "x", dest), testing::ExitedWithCode(3), replaceNull);
    EXPECT_EXIT(twRegexpReplaceN(re, &m, "x", nullptr, 4), testing::ExitedWithCode(3), replaceNull);
    re->program[0] = 0;
    EXPECT_EXIT(twRegexpExec(re, &m, "a"), testing::ExitedWithCode(3), "corrupted program");
    EXPECT_EXIT(twRegexpReplace(re, &m, "x", dest), testing::ExitedWithCode(3),
                "damaged regexp fed to twRegexpReplace");
    twRegexpDestroy(re);
}

// Damage inside a compiled program is found when the matcher reaches it.
TEST(RegexpTest, RaisesOnDamagedPrograms)
{
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    // "ab*c": LITERAL a at 4, ZERO_OR_MORE at 9 over LITERAL b at 12,
    // LITERAL c at 17, FINISH at 22.
    twRegexpT *re = twRegexpCompile("ab*c");
    re->program[17] = 99;
    EXPECT_EXIT(twRegexpExec(re, nullptr, "abc"), testing::ExitedWithCode(3), "memory corruption");
    EXPECT_EQ(0, twRegexpExec(re, nullptr, "x")) << "only what the matcher reaches is checked";
    re->program[17] = TW_RE_LITERAL;
    re->program[19] = 0;  // c no longer links to FINISH
    EXPECT_EXIT(twRegexpExec(re, nullptr, "abc"), testing::ExitedWithCode(3), "corrupted pointers");
    re->program[19] = 5;
    re->program[12] = TW_RE_EMPTY;  // the repeated node is no longer simple
    EXPECT_EXIT(twRegexpExec(re, nullptr, "abc"), testing::ExitedWithCode(3), "internal foulup");
    twRegexpDestroy(re);

    // A LOOP_BACK reaching before the program is a broken link, not a wild read.
    re = twRegexpCompile("(ab)*");
    re->program[23] = 0x7f;
    EXPECT_EXIT(twRegexpExec(re, nullptr, "ababx"), testing::ExitedWithCode(3), "corrupted pointers");
    twRegexpDestroy(re);
}

TEST(RegexpTest, ReplacesMatchesIntoTheTemplate)
{
    twRegexpT *re = twRegexpCompile("b+");
    twRegexpMatch m;
    ASSERT_EQ(1, twRegexpExec(re, &m, "abbc"));
    char dest[64];
    twRegexpReplace(re, &m, "<&>", dest);
    EXPECT_STREQ("<bb>", dest);
    twRegexpReplace(re, &m, "\\0\\&\\\\\\x\\1&", dest);
    EXPECT_STREQ("bb&\\\\xbb", dest) << "\\x stays, an unset group inserts nothing";
    twRegexpDestroy(re);

    re = twRegexpCompile("(a+)-(b+)");
    ASSERT_EQ(1, twRegexpExec(re, &m, "xaa-bbby"));
    twRegexpReplace(re, &m, "\\2=\\1 trailing\\", dest);
    EXPECT_STREQ("bbb=aa trailing\\", dest);

    // The bounded form cuts and terminates, and tells the whole length.
    memset(dest, '#', sizeof dest);
    EXPECT_EQ(6u, twRegexpReplaceN(re, &m, "\\2=\\1", dest, 5));
    EXPECT_STREQ("bbb=", dest);
    EXPECT_EQ(6u, twRegexpReplaceN(re, &m, "\\2=\\1", dest, 7));
    EXPECT_STREQ("bbb=aa", dest);
    EXPECT_EQ(6u, twRegexpReplaceN(re, &m, "\\2=\\1", dest, 3)) << "cut inside a sub-match";
    EXPECT_STREQ("bb", dest);
    EXPECT_EQ(6u, twRegexpReplaceN(re, &m, "\\2=\\1", nullptr, 0));
    EXPECT_EQ(0u, twRegexpReplaceN(re, &m, "", dest, 1));
    EXPECT_STREQ("", dest);

    // A match record whose sub-match holds a zero byte or runs backwards.
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    const char damaged[] = "ab\0cd";
    twRegexpMatch bad{};
    bad.start[1] = damaged;
    bad.end[1] = damaged + 4;
    EXPECT_EXIT(twRegexpReplace(re, &bad, "\\1", dest), testing::ExitedWithCode(3), "damaged match string");
    bad.start[1] = damaged + 2;
    bad.end[1] = damaged;
    EXPECT_EXIT(twRegexpReplaceN(re, &bad, "x\\1", dest, sizeof dest), testing::ExitedWithCode(3),
                "damaged match string");
    twRegexpDestroy(re);
}

TEST(RegexpTest, CopiesSubMatchesOutAndCutsThem)
{
    twRegexpT *re = twRegexpCompile("(abcde)(x*)(y)?");
    twRegexpMatch m;
    ASSERT_EQ(1, twRegexpExec(re, &m, "-abcde-"));
    char buf[8];
    EXPECT_EQ(-1, twRegexpGetMatch(&m, 1, buf, 3));
    EXPECT_STREQ("ab", buf);
    EXPECT_EQ(-1, twRegexpGetMatch(&m, 1, buf, 5));
    EXPECT_STREQ("abcd", buf);
    EXPECT_EQ(1, twRegexpGetMatch(&m, 1, buf, 6));
    EXPECT_STREQ("abcde", buf);
    EXPECT_EQ(1, twRegexpGetMatch(&m, 0, buf, sizeof buf));
    strcpy(buf, "junk");
    EXPECT_EQ(0, twRegexpGetMatch(&m, 2, buf, sizeof buf)) << "empty";
    EXPECT_STREQ("", buf);
    strcpy(buf, "junk");
    EXPECT_EQ(0, twRegexpGetMatch(&m, 3, buf, sizeof buf)) << "unset";
    EXPECT_STREQ("", buf);
    for (int n : {-1, 10, 1000}) EXPECT_EQ(0, twRegexpGetMatch(&m, n, buf, sizeof buf)) << n;
    EXPECT_EQ(-1, twRegexpGetMatch(&m, 1, buf, 0)) << "no room at all";
    EXPECT_EQ(-1, twRegexpGetMatch(&m, 1, nullptr, 8));
    EXPECT_EQ(0, twRegexpGetMatch(nullptr, 1, buf, sizeof buf));

    char *s = twRegexpGetMatchAlloc(&m, 1);
    ASSERT_NE(nullptr, s);
    EXPECT_STREQ("abcde", s);
    twStrFree(s);
    EXPECT_EQ(nullptr, twRegexpGetMatchAlloc(&m, 2)) << "empty";
    EXPECT_EQ(nullptr, twRegexpGetMatchAlloc(&m, 3)) << "unset";
    EXPECT_EQ(nullptr, twRegexpGetMatchAlloc(&m, 10));
    EXPECT_EQ(nullptr, twRegexpGetMatchAlloc(nullptr, 0));
    twRegexpDestroy(re);
}

// The recursive matcher this replaces went one machine frame deeper per
// repetition and died on long subjects; nested loops took exponential time.
TEST(RegexpTest, LongSubjectsAndNestedLoopsStayWithinBounds)
{
    std::string subject(1 << 20, 'a');
    for (size_t i = 1; i < subject.size(); i += 2) subject[i] = 'b';
    twRegexpT *re = twRegexpCompile("(a|b)*");
    twRegexpMatch m;
    ASSERT_EQ(1, twRegexpExec(re, &m, subject.c_str()));
    EXPECT_EQ(subject.size(), static_cast<size_t>(m.end[0] - m.start[0]));
    EXPECT_EQ(subject.c_str() + subject.size() - 1, m.start[1]) << "the last iteration";
    twRegexpDestroy(re);

    // Failing at the end backtracks through every iteration.
    re = twRegexpCompile("^(a|b)*c");
    EXPECT_EQ(0, twRegexpExec(re, &m, subject.c_str() + subject.size() - 200000));
    twRegexpDestroy(re);

    // Every attempt of a failing unanchored search used to scan the rest of
    // the subject again, and a repetition inside a loop every shorter run.
    std::string tail = "b" + std::string(1 << 20, 'a');
    for (const char *pattern : {"a.*b", "a[^x]*bc", "a[a-c]+(c|d)", "b(a+)+c", "b(a|aa)+c"}) {
        re = twRegexpCompile(pattern);
        EXPECT_EQ(0, twRegexpExec(re, &m, tail.c_str())) << pattern;
        twRegexpDestroy(re);
    }

    const std::string as(40, 'a'), asb = as + "b";
    for (const char *pattern : {"(a|a)*b", "(a+)+b", "((a|aa)+)+b", "(a*a)+b"}) {
        re = twRegexpCompile(pattern);
        EXPECT_EQ(0, twRegexpExec(re, &m, as.c_str())) << pattern;
        ASSERT_EQ(1, twRegexpExec(re, &m, asb.c_str())) << pattern;
        EXPECT_EQ(asb.c_str(), m.start[0]) << pattern;
        twRegexpDestroy(re);
    }
}

TEST(RegexpTest, RefusedAllocationsEndCleanly)
{
    long made = twtest::sweepAllocationFailures(
        [] {
            twRegexpT *re = twRegexpCompile("x*(a|b)+(c)");
            std::string subject(3000, 'a');
            subject += "c";
            twRegexpMatch m;
            int found = twRegexpExec(re, &m, subject.c_str());
            char dest[16];
            twRegexpReplaceN(re, &m, "<\\1\\2>", dest, sizeof dest);
            char *two = twRegexpGetMatchAlloc(&m, 2);
            twRegexpDestroy(re);
            // Enough backtracking to bring in the failure memory.
            re = twRegexpCompile("(a|a)*b");
            int blowUp = twRegexpExec(re, &m, std::string(30, 'a').c_str());
            printf("%d %s %s %d\n", found, dest, two, blowUp);
            twStrFree(two);
            twRegexpDestroy(re);
        },
        [](const twtest::ForkResult &r) { EXPECT_EQ("1 <ac> c 0\n", r.out); });
    EXPECT_GT(made, 0);
}

}  // namespace
