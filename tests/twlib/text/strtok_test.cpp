#include "twlib/text/strtok.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using Tokens = std::vector<std::string>;

// Every token of s read by the quoting tokenizer (or the plain one) into a
// buffer of 'size' (or, with size 0, into a string buffer).
Tokens tokens(const char *s, const char *seps, int size = 256, bool quote = true)
{
    Tokens out;
    std::vector<char> buf(size > 0 ? size : 1);
    twStrBuf *sb = twStrBufCreate(0);
    for (const char *p = s; out.size() < 100;) {
        if (quote)
            p = size ? twStrTokQuote(p, buf.data(), size, seps) : twStrBufTokQuote(p, sb, seps);
        else
            p = size ? twStrTok(p, buf.data(), size, seps) : twStrBufTok(p, sb, seps);
        if (!p) break;
        out.emplace_back(size ? buf.data() : twStrBufString(sb));
    }
    twStrBufDestroy(sb);
    return out;
}

std::string untok(const char *s, int flags, const char *seps)
{
    twStrBuf *buf = twStrBufCreate(4);
    twStrBufUntokQuote(s, buf, flags, seps);
    std::string r = twStrBufString(buf);
    twStrBufDestroy(buf);
    return r;
}

TEST(StrTokTest, PlainTokensEndAtSeparatorsAndFitTheBuffer)
{
    EXPECT_EQ((Tokens{"a", "b"}), tokens("  a:b", " :", 16, false));
    EXPECT_EQ((Tokens{"ab", "ef"}), tokens("abcd ef", " ", 3, false)) << "the rest of a cut token is passed over";
    std::string longTok(1000, 'q');
    EXPECT_EQ((Tokens{longTok, "z"}), tokens((longTok + ":z").c_str(), ":", 0, false));
    const char *s = "a:b";
    char buf[8], guard = 'x';
    EXPECT_EQ(s + 1, twStrTok(s, buf, sizeof buf, ":")) << "the position of the separator that ended the token";
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
        {"\"x y\" z", {"x y", "z"}}, {"\"a b", {"a b"}}, {"a\"b c", {"a\"b", "c"}}, {"\"\" x", {"", "x"}},
        {"   ", {}}, {"\\n \\\" a\\\\b", {"\\n", "\"", "a\\b"}}, {"a\\ b\\", {"a\\", "b\\"}},
        {"\"say \\\"hi\\\"\" \"\\t \\", {"say \"hi\"", "\\t \\"}},
    };
    for (int size : {256, 0})
        for (const auto &[in, expected] : cases) EXPECT_EQ(expected, tokens(in, " ", size)) << in << " " << size;
    // The position returned lies past the separators after the token.
    const char *s = "a   b";
    char buf[8];
    EXPECT_EQ(s + 4, twStrTokQuote(s, buf, sizeof buf, " "));
    // A full buffer passes over the rest by the same rules: the escaped quote
    // and the blank inside quotes do not end the cut token.
    EXPECT_EQ((Tokens{"ab", "e"}), tokens("\"ab\\\" cd\" e", " ", 3));
}

TEST(StrBufUntokQuoteTest, WritesTheQuotedForm)
{
    const char *ws = " \t\n";
    EXPECT_EQ("\"\"", untok("", TW_UNTOK_QUOTE, ws));
    EXPECT_EQ("\"a b\"", untok("a b", TW_UNTOK_QUOTE, ws));
    EXPECT_EQ("a\\\"b\\\\c", untok("a\"b\\c", TW_UNTOK_QUOTE, ws)) << "escaped without quotes";
    EXPECT_EQ("$$x", untok("$x", TW_UNTOK_DOLLAR, ws));
    EXPECT_EQ("\"$$ \\\\\"", untok("$ \\", TW_UNTOK_DOLLAR | TW_UNTOK_QUOTE, ws));
}

// Text written quoted reads back unchanged, many in a row appended to one
// buffer, also when the backslash itself is a separator.
TEST(StrBufUntokQuoteTest, QuotedTextReadsBack)
{
    const Tokens texts = {"", "plain", "two words", "tab\there", "\"", "\\", "a\\", "\\\"",
                          "end\\ ", "\"quoted\"", " lead", "x:y", "::", "\\\\\"\\"};
    for (const char *seps : {" \t\n", ":", "\\", " \\:"}) {
        twStrBuf *line = twStrBufCreate(0);
        for (const std::string &t : texts) {
            if (twStrBufLength(line)) twStrBufAppendChar(line, seps[0]);
            twStrBufUntokQuote(t.c_str(), line, TW_UNTOK_QUOTE, seps);
        }
        for (int size : {256, 0}) EXPECT_EQ(texts, tokens(twStrBufString(line), seps, size)) << twStrBufString(line);
        twStrBufDestroy(line);
    }
}

} // namespace
