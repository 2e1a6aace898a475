#include "twlib/text/strtok.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Tokens = std::vector<std::string>;

// Every token of s read by the quoting tokenizer into a buffer of 'size'
// (or, with size 0, into a string buffer).
Tokens quoteTokens(const char *s, const char *seps, int size = 256)
{
    Tokens out;
    std::vector<char> buf(size > 0 ? size : 1);
    twStrBuf *sb = twStrBufCreate(0);
    for (const char *p = s; out.size() < 100;) {
        p = size ? twStrTokQuote(p, buf.data(), size, seps) : twStrBufTokQuote(p, sb, seps);
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

TEST(StrTokTest, PlainTokens)
{
    const char *s = "  a:b";
    char buf[16];
    const char *p = twStrTok(s, buf, sizeof buf, " :");
    EXPECT_STREQ("a", buf);
    EXPECT_EQ(s + 3, p) << "the position of the separator that ended the token";
    p = twStrTok(p, buf, sizeof buf, " :");
    EXPECT_STREQ("b", buf);
    EXPECT_EQ(nullptr, twStrTok(p, buf, sizeof buf, " :"));
    EXPECT_STREQ("", buf) << "no token leaves the buffer empty";
    EXPECT_EQ(nullptr, twStrTok(nullptr, buf, sizeof buf, " "));

    char small[3];
    p = twStrTok("abcd ef", small, sizeof small, " ");
    EXPECT_STREQ("ab", small);
    twStrTok(p, small, sizeof small, " ");
    EXPECT_STREQ("ef", small) << "the rest of a cut token is passed over";
    char guard = 'x';
    EXPECT_STREQ(" d", twStrTok("abc d", &guard, 0, " "));
    EXPECT_EQ('x', guard) << "a buffer without room is not written";

    std::string longTok(1000, 'q');
    twStrBuf *sb = twStrBufCreate(0);
    twStrBufTok((longTok + ":z").c_str(), sb, ":");
    EXPECT_EQ(longTok, twStrBufString(sb));
    twStrBufDestroy(sb);
}

TEST(StrTokQuoteTest, QuotesAndEscapes)
{
    for (int size : {256, 0}) {
        EXPECT_EQ((Tokens{"x y", "z"}), quoteTokens("\"x y\" z", " ", size));
        EXPECT_EQ((Tokens{"a b"}), quoteTokens("\"a b", " ", size)) << "unterminated quote";
        EXPECT_EQ((Tokens{"a\"b", "c"}), quoteTokens("a\"b c", " ", size));
        EXPECT_EQ((Tokens{"", "x"}), quoteTokens("\"\" x", " ", size));
        EXPECT_TRUE(quoteTokens("   ", " ", size).empty());
        EXPECT_EQ((Tokens{"\\n", "\"", "a\\b"}), quoteTokens("\\n \\\" a\\\\b", " ", size));
        EXPECT_EQ((Tokens{"a\\", "b\\"}), quoteTokens("a\\ b\\", " ", size))
            << "a backslash before the ending separator or at the end stands alone";
        EXPECT_EQ((Tokens{"say \"hi\"", "\\t \\"}), quoteTokens("\"say \\\"hi\\\"\" \"\\t \\", " ", size));
    }
    // The position returned lies past the separators after the token.
    const char *s = "a   b";
    char buf[8];
    EXPECT_EQ(s + 4, twStrTokQuote(s, buf, sizeof buf, " "));
    // A full buffer passes over the rest by the same rules: the escaped quote
    // and the blank inside quotes do not end the cut token.
    EXPECT_EQ((Tokens{"ab", "e"}), quoteTokens("\"ab\\\" cd\" e", " ", 3));
}

TEST(StrBufUntokQuoteTest, WritesTheQuotedForm)
{
    const char *ws = " \t\n";
    EXPECT_EQ("\"\"", untok("", TW_UNTOK_QUOTE, ws));
    EXPECT_EQ("\"a b\"", untok("a b", TW_UNTOK_QUOTE, ws));
    EXPECT_EQ("a\\\"b\\\\c", untok("a\"b\\c", TW_UNTOK_QUOTE, ws)) << "escaped without quotes";
    EXPECT_EQ("$$x", untok("$x", TW_UNTOK_DOLLAR, ws));
    EXPECT_EQ("\"$$ \\\\\"", untok("$ \\", TW_UNTOK_DOLLAR | TW_UNTOK_QUOTE, ws));
    twStrBuf *buf = twStrBufCreate(0);
    twStrBufAppend(buf, "x=");
    twStrBufUntokQuote("1 2", buf, TW_UNTOK_QUOTE, ws);
    EXPECT_STREQ("x=\"1 2\"", twStrBufString(buf)) << "the text is appended";
    twStrBufDestroy(buf);
}

// Text written quoted reads back unchanged, alone or many in a row, also
// when the backslash itself is a separator.
TEST(StrBufUntokQuoteTest, QuotedTextReadsBack)
{
    const Tokens texts = {"", "plain", "two words", "tab\there", "\"", "\\", "a\\", "\\\"",
                          "end\\ ", "\"quoted\"", " lead", "x:y", "::", "\\\\\"\\"};
    for (const char *seps : {" \t\n", ":", "\\", " \\:"}) {
        twStrBuf *line = twStrBufCreate(0);
        for (const std::string &t : texts) {
            if (twStrBufLength(line)) twStrBufAppendChar(line, seps[0]);
            twStrBufUntokQuote(t.c_str(), line, TW_UNTOK_QUOTE, seps);
            EXPECT_EQ(Tokens{t}, quoteTokens(untok(t.c_str(), TW_UNTOK_QUOTE, seps).c_str(), seps))
                << "[" << t << "] seps [" << seps << "]";
        }
        EXPECT_EQ(texts, quoteTokens(twStrBufString(line), seps, 0)) << twStrBufString(line);
        twStrBufDestroy(line);
    }
}

} // namespace
