#include "app/menu_lexer.h"

#include "reader_fixture.h"

namespace {

class MenuLexerTest : public ReaderFixture {};

TEST_F(MenuLexerTest, WordsKeywordsAndComments)
{
    open("Main{ Sub | a note { \" '\nNext\n");
    char word[80];
    EXPECT_EQ(0, readWord(word, sizeof word));
    EXPECT_STREQ("Main", word);
    EXPECT_EQ(TOK_OPEN, readWord(word, sizeof word));
    EXPECT_EQ(0, readWord(word, sizeof word));
    EXPECT_STREQ("Sub", word);
    EXPECT_EQ(0, readWord(word, sizeof word)) << "the comment runs to the end of the line";
    EXPECT_STREQ("Next", word);
    EXPECT_EQ(TOK_END, readWord(word, sizeof word));
}

TEST_F(MenuLexerTest, CommentAtEndOfInputWithoutNewline)
{
    open("A |note");
    char word[80];
    EXPECT_EQ(0, readWord(word, sizeof word));
    EXPECT_EQ(TOK_END, readWord(word, sizeof word));
}

TEST_F(MenuLexerTest, CommentDirectlyFollowedByNewlineAndCommentAfterWord)
{
    open("|\nA|x\nB");
    char word[80];
    EXPECT_EQ(0, readWord(word, sizeof word));
    EXPECT_STREQ("A", word);
    EXPECT_EQ(0, readWord(word, sizeof word));
    EXPECT_STREQ("B", word);
}

TEST_F(MenuLexerTest, IntegersAreWordsBeginningWithADigit)
{
    open("007 7x x7 -1 99999999999");
    int n = -5;
    EXPECT_EQ(0, readInt(&n));
    EXPECT_EQ(7, n);
    EXPECT_EQ(0, readInt(&n));
    EXPECT_EQ(7, n);
    EXPECT_EQ('x', readInt(&n));
    EXPECT_EQ('-', readInt(&n));
    EXPECT_EQ(0, readInt(&n));
    EXPECT_EQ(2147483647, n) << "an out-of-range value saturates";
}

// A word whose first character has the value of a token code must not
// pass for that token (a control character 1 to 5 read as a brace or a
// quote, NUL read as a stored integer, 0xFF read as end of input).
TEST_F(MenuLexerTest, ControlCharacterWordsAreNotTokenCodes)
{
    open(std::string("\x01" "a \x02 \x04 \x05 \xff") + "x " + std::string(1, '\0') + "z 5");
    int n = -5;
    for (int i = 0; i < 6; ++i) EXPECT_EQ(TOK_NOT_INT, readInt(&n)) << "word " << i;
    EXPECT_EQ(-5, n);
    EXPECT_EQ(0, readInt(&n));
    EXPECT_EQ(5, n);
}

TEST_F(MenuLexerTest, QuotedStringsKeepBlanksBracesAndNewlines)
{
    open("\"a {b}\nc|d\" 'say \"hi\"' \"'\" \"\" '' word");
    char s[80];
    EXPECT_EQ(0, readString(s, sizeof s));
    EXPECT_STREQ("a {b}\nc|d", s);
    EXPECT_EQ(0, readString(s, sizeof s));
    EXPECT_STREQ("say \"hi\"", s);
    EXPECT_EQ(0, readString(s, sizeof s));
    EXPECT_STREQ("'", s) << "a quoted keyword character is text";
    EXPECT_EQ(0, readString(s, sizeof s));
    EXPECT_STREQ("", s);
    EXPECT_EQ(0, readString(s, sizeof s));
    EXPECT_STREQ("", s);
    EXPECT_EQ(0, readString(s, sizeof s));
    EXPECT_STREQ("word", s);
    EXPECT_EQ(TOK_END, readString(s, sizeof s));
}

TEST_F(MenuLexerTest, LongQuotedStringKeepsItsFirst79Characters)
{
    open("\"" + std::string(120, 'q') + "\" next");
    char s[80];
    EXPECT_EQ(0, readString(s, sizeof s));
    EXPECT_EQ(std::string(79, 'q'), s);
    EXPECT_EQ(0, readString(s, sizeof s));
    EXPECT_STREQ("next", s);
}

TEST_F(MenuLexerTest, UnterminatedQuotesEndAtEndOfInput)
{
    open("\"open text");
    char s[80];
    EXPECT_EQ(0, readString(s, sizeof s));
    EXPECT_STREQ("open text", s);
    EXPECT_EQ(TOK_END, readString(s, sizeof s));
}

TEST_F(MenuLexerTest, OpeningQuoteAtEndOfInputIsTheEmptyString)
{
    open("'");
    char s[80] = "stale";
    EXPECT_EQ(0, readString(s, sizeof s));
    EXPECT_STREQ("", s);
    EXPECT_EQ(TOK_END, readString(s, sizeof s));
}

TEST_F(MenuLexerTest, ReadIntOrStringTellsTheFormsApart)
{
    open("12abc label 'quoted' \"dq\" { }");
    char s[80];
    int n = 0;
    EXPECT_EQ(0, readIntOrString(s, sizeof s, &n));
    EXPECT_EQ(12, n);
    EXPECT_EQ(TOK_STRING, readIntOrString(s, sizeof s, &n));
    EXPECT_STREQ("label", s);
    EXPECT_EQ(TOK_SQUOTE, readIntOrString(s, sizeof s, &n));
    EXPECT_STREQ("quoted", s);
    EXPECT_EQ(TOK_DQUOTE, readIntOrString(s, sizeof s, &n));
    EXPECT_STREQ("dq", s);
    EXPECT_EQ(TOK_OPEN, readIntOrString(s, sizeof s, &n));
    EXPECT_EQ(TOK_CLOSE, readIntOrString(s, sizeof s, &n));
    EXPECT_EQ(TOK_END, readIntOrString(s, sizeof s, &n));
}

TEST_F(MenuLexerTest, SkipPastDoesNotNestBraces)
{
    open("a { b } c} d");
    char w[80];
    EXPECT_EQ(1, skipPast(TOK_CLOSE));
    EXPECT_EQ(0, readWord(w, sizeof w));
    EXPECT_STREQ("c", w);
    EXPECT_EQ(1, skipPast(TOK_CLOSE)) << "the brace comes at once";
    EXPECT_EQ(0, readWord(w, sizeof w));
    EXPECT_STREQ("d", w);
    EXPECT_EQ(0, skipPast(TOK_CLOSE));
}

} // namespace
