#include "twlib/text/strtok.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "support/oom_sweep.h"

namespace {

using Tokens = std::vector<std::string>;
using StrBuf = std::unique_ptr<twStrBuf, decltype(&twStrBufDestroy)>;

// Every token of s read by the quoting tokenizer (or the plain one) into a
// buffer of 'size' (or, with size 0, into a string buffer).
Tokens tokens(const char *s, const char *seps, int size = 256, bool quote = true)
{
    Tokens out;
    std::vector<char> buf(size > 0 ? size : 1);
    StrBuf sb(twStrBufCreate(0), twStrBufDestroy);
    auto next = [&](const char *p) {
        return size ? (quote ? twStrTokQuote : twStrTok)(p, buf.data(), size, seps)
                    : (quote ? twStrBufTokQuote : twStrBufTok)(p, sb.get(), seps);
    };
    for (const char *p = next(s); p && out.size() < 100; p = next(p))
        out.emplace_back(size ? buf.data() : twStrBufString(sb.get()));
    return out;
}

std::string untok(const char *s, int flags, const char *seps = " \t\n")
{
    StrBuf buf(twStrBufCreate(4), twStrBufDestroy);
    twStrBufUntokQuote(s, buf.get(), flags, seps);
    return twStrBufString(buf.get());
}

TEST(StrTokTest, PlainTokensEndAtSeparatorsAndFitTheBuffer)
{
    EXPECT_EQ((Tokens{"a", "b"}), tokens("  a:b", " :", 16, false));
    EXPECT_EQ((Tokens{"ab", "ef"}), tokens("abcd ef", " ", 3, false))
        << "the rest of a cut token is passed over";
    EXPECT_EQ((Tokens{std::string(1000, 'q'), "z"}),
              tokens((std::string(1000, 'q') + ":z").c_str(), ":", 0, false));
    char buf[8], guard = 'x';
    EXPECT_STREQ(":b", twStrTok("a:b", buf, sizeof buf, ":"))
        << "the position of the separator that ended the token";
    EXPECT_EQ(nullptr, twStrTok(" ", buf, sizeof buf, " "));
    EXPECT_STREQ("", buf) << "no token leaves the buffer empty";
    EXPECT_STREQ(" d", twStrTok("abc d", &guard, 0, " "));
    EXPECT_EQ('x', guard) << "a buffer without room is not written";
}

TEST(StrTokQuoteTest, QuotesAndEscapes)
{
    // An unterminated quote runs to the end; a backslash before the ending
    // separator or at the end stands alone.
    const std::pair<const char *, Tokens> cases[] = {
        {"\"x y\" z", {"x y", "z"}},
        {"\"a b", {"a b"}},
        {"a\"b c", {"a\"b", "c"}},
        {"\"\" x", {"", "x"}},
        {"   ", {}},
        {"\\n \\\" a\\\\b", {"\\n", "\"", "a\\b"}},
        {"a\\ b\\", {"a\\", "b\\"}},
        {"\"say \\\"hi\\\"\" \"\\t \\", {"say \"hi\"", "\\t \\"}},
    };
    for (int size : {256, 0})
        for (const auto &[in, expected] : cases)
            EXPECT_EQ(expected, tokens(in, " ", size)) << in << " " << size;
    // The position returned lies past the separators after the token.
    char buf[8];
    EXPECT_STREQ("b", twStrTokQuote("a   b", buf, sizeof buf, " "));
    // A full buffer passes over the rest by the same rules: the escaped quote
    // and the blank inside quotes do not end the cut token.
    EXPECT_EQ((Tokens{"ab", "e"}), tokens("\"ab\\\" cd\" e", " ", 3));
}

// Text written quoted reads back unchanged, many in a row appended to one
// buffer, also when the backslash itself is a separator.
TEST(StrBufUntokQuoteTest, WritesTheQuotedFormThatReadsBack)
{
    EXPECT_EQ("\"\"", untok("", TW_UNTOK_QUOTE));
    EXPECT_EQ("\"a b\"", untok("a b", TW_UNTOK_QUOTE));
    EXPECT_EQ("a\\\"b\\\\c", untok("a\"b\\c", TW_UNTOK_QUOTE)) << "escaped without quotes";
    EXPECT_EQ("$$x", untok("$x", TW_UNTOK_DOLLAR));
    EXPECT_EQ("\"$$ \\\\\"", untok("$ \\", TW_UNTOK_DOLLAR | TW_UNTOK_QUOTE));

    const Tokens texts = {"",     "plain",  "two words",  "tab\there", "\"",  "\\", "a\\",
                          "\\\"", "end\\ ", "\"quoted\"", " lead",     "x:y", "::", "\\\\\"\\"};
    for (const char *seps : {" \t\n", ":", "\\", " \\:"}) {
        StrBuf line(twStrBufCreate(0), twStrBufDestroy);
        for (const std::string &t : texts) {
            if (twStrBufLength(line.get())) twStrBufAppendChar(line.get(), seps[0]);
            twStrBufUntokQuote(t.c_str(), line.get(), TW_UNTOK_QUOTE, seps);
        }
        for (int size : {256, 0})
            EXPECT_EQ(texts, tokens(twStrBufString(line.get()), seps, size)) << twStrBufString(line.get());
    }
}

// The string-buffer forms grow their buffers as they go.
TEST(StrBufTokTest, RefusedAllocationsEndAsOutOfMemoryOrAreSurvived)
{
    auto work = [] {
        twStrBuf *line = twStrBufCreate(0), *token = twStrBufCreate(0);
        const char *texts[] = {"plain", "two words", "a \"quoted\" one", "back\\slash", ""};
        for (int round = 0; round < 20; round++)
            for (const char *t : texts) {
                twStrBufUntokQuote(t, line, TW_UNTOK_QUOTE | TW_UNTOK_DOLLAR, " ");
                twStrBufAppendChar(line, ' ');
            }
        int quoted = 0, plain = 0;
        for (const char *p = twStrBufString(line); (p = twStrBufTokQuote(p, token, " "));)
            quoted += twStrBufLength(token);
        for (const char *p = twStrBufString(line); (p = twStrBufTok(p, token, " "));)
            plain += twStrBufLength(token);
        printf("%d %d %d\n", twStrBufLength(line), quoted, plain);
        twStrBufDestroy(token);
        twStrBufDestroy(line);
    };
    long made = twtest::sweepAllocationFailures(
        work, [](const twtest::ForkResult &r) { EXPECT_EQ("1040 760 880\n", r.out); });
    EXPECT_GT(made, 0);
}

}  // namespace
