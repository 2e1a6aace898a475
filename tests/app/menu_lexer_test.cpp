#include "app/menu_lexer.h"

#include "reader_fixture.h"

namespace {

class MenuLexerTest : public ReaderFixture {
protected:
    // Every token through readWord until the end: words as themselves,
    // other tokens as their code in brackets.
    std::string words(const std::string &input)
    {
        open(input);
        std::string out;
        char word[80];
        for (int code; (code = readWord(word, sizeof word)) != TOK_END;)
            out += code == 0 ? std::string(word) + " " : "[" + std::to_string(code) + "] ";
        return out;
    }
    // Every string through readString until the end, each in brackets.
    std::string strings(const std::string &input)
    {
        open(input);
        std::string out;
        char s[80];
        while (readString(s, sizeof s) == 0) out += "[" + std::string(s) + "]";
        return out;
    }
};

TEST_F(MenuLexerTest, CommentsRunToTheEndOfTheLineWhereverATokenMayBegin)
{
    EXPECT_EQ("Main [1] Sub Next ", words("Main{ Sub | a note { \" '\nNext\n"));
    EXPECT_EQ("A ", words("A |note at the end without newline"));
    EXPECT_EQ("A B [2] ", words("|\nA|x\nB}"));
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
    open(std::string("\x01"
                     "a \x02 \x04 \x05 \xff") +
         "x " + std::string(1, '\0') + "z 5");
    int n = -5;
    for (int i = 0; i < 6; ++i) EXPECT_EQ(TOK_NOT_INT, readInt(&n)) << "word " << i;
    EXPECT_EQ(-5, n);
    EXPECT_EQ(0, readInt(&n));
    EXPECT_EQ(5, n);
}

TEST_F(MenuLexerTest, QuotedStrings)
{
    EXPECT_EQ("[a {b}\nc|d][say \"hi\"]['][][][word]",
              strings("\"a {b}\nc|d\" 'say \"hi\"' \"'\" \"\" '' word"));
    EXPECT_EQ("[" + std::string(79, 'q') + "][next]", strings("\"" + std::string(120, 'q') + "\" next"))
        << "a long text keeps its first 79 characters and the rest is consumed";
    EXPECT_EQ("[open text]", strings("\"open text")) << "end of input ends the string";
    EXPECT_EQ("[]", strings("'")) << "an opening quote at the end of the input is the empty string";
    EXPECT_EQ("[{][|][}x]['][\"]", strings("\"{\" \"|\" \"}x\" \"'\" '\"'"))
        << "keyword characters inside quotes are text, alone or not";
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

}  // namespace
