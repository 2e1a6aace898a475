#include "twlib/text/tklex.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// A stream over a copy of the text, closed with the fixture.
class TklexTest : public ::testing::Test {
protected:
    FILE *stream = nullptr;
    std::string text;
    char buf[80] = "unchanged";

    void open(const std::string &t)
    {
        text = t;
        // fmemopen refuses an empty buffer; /dev/null serves an empty input.
        stream = text.empty() ? fopen("/dev/null", "r") : fmemopen(text.data(), text.size(), "r");
        ASSERT_NE(nullptr, stream);
    }
    void TearDown() override
    {
        if (stream) fclose(stream);
    }
    int next(const char *delims, const char *skips, const twTklexKey *keys = nullptr, int len = 80)
    {
        return twTklex(stream, buf, len, delims, skips, keys);
    }
};

TEST_F(TklexTest, TokenEndsAtDelimiterWhichIsPushedBack)
{
    open("  abc{");
    EXPECT_EQ(0, next(" \t\n{}", " \t\n"));
    EXPECT_STREQ("abc", buf);
    EXPECT_EQ(0, next(" \t\n{}", " \t\n"));
    EXPECT_STREQ("{", buf);
    EXPECT_EQ(-1, next(" \t\n{}", " \t\n"));
    EXPECT_STREQ("{", buf) << "end of input leaves the buffer unchanged";
}

TEST_F(TklexTest, LeadingDelimiterIsATokenOfItsOwnAndConsumed)
{
    open("{abc");
    EXPECT_EQ(0, next("{", ""));
    EXPECT_STREQ("{", buf);
    EXPECT_EQ(0, next("{", ""));
    EXPECT_STREQ("abc", buf);
    EXPECT_EQ(-1, next("{", ""));
}

TEST_F(TklexTest, SkippingComesBeforeDelimiting)
{
    open("  x");
    EXPECT_EQ(0, next(" ", " "));
    EXPECT_STREQ("x", buf);
}

TEST_F(TklexTest, EmptyQuotedStringYieldsTheQuoteKeyword)
{
    char quote[] = "\"";
    twTklexKey key{nullptr, quote, 1, 4};
    open("\"");
    EXPECT_EQ(4, next("\"", "", &key));
    EXPECT_STREQ("\"", buf);
}

TEST_F(TklexTest, LongTokenIsTruncatedNotSplit)
{
    open(std::string(100, 'a') + " b");
    EXPECT_EQ(0, next(" ", " "));
    EXPECT_EQ(std::string(79, 'a'), buf);
    EXPECT_EQ(0, next(" ", ""));
    EXPECT_STREQ(" ", buf) << "the delimiter after the dropped characters is pushed back";
    EXPECT_EQ(0, next(" ", " "));
    EXPECT_STREQ("b", buf);
}

TEST_F(TklexTest, SmallestBufferHoldsOneCharacter)
{
    open("xyz");
    EXPECT_EQ(0, next(" ", " ", nullptr, 2));
    EXPECT_STREQ("x", buf);
    EXPECT_EQ(-1, next(" ", " ", nullptr, 2));
}

TEST_F(TklexTest, OnlySkipCharactersOrNothingIsEndOfInput)
{
    open(" \t\n ");
    EXPECT_EQ(-1, next(" ", " \t\n"));
    EXPECT_STREQ("unchanged", buf);
    fclose(stream);
    stream = nullptr;
    open("");
    EXPECT_EQ(-1, next(" ", " "));
}

TEST_F(TklexTest, KeywordsMatchWholeTokensOnly)
{
    char begin[] = "begin", b[] = "b", other[] = "begin";
    twTklexKey second{nullptr, other, 5, 9};
    twTklexKey first{&second, begin, 5, 7};
    twTklexKey shortKey{nullptr, b, 1, 3};
    open("begin beginning beg b");
    EXPECT_EQ(7, next(" ", " ", &first)) << "the first matching record from the head wins";
    EXPECT_EQ(0, next(" ", " ", &first)) << "a token that merely begins with a keyword";
    EXPECT_EQ(0, next(" ", " ", &first)) << "a token that is a prefix of a keyword";
    EXPECT_EQ(3, next(" ", " ", &shortKey));
    EXPECT_EQ(0, twTklexMatch("b", nullptr));
    EXPECT_EQ(3, twTklexMatch("b", &shortKey));
}

// A record whose code is 0 still ends the search when it matches.
TEST_F(TklexTest, MatchingRecordWithCodeZeroStopsTheSearch)
{
    char x1[] = "x", x2[] = "x";
    twTklexKey later{nullptr, x2, 1, 5};
    twTklexKey zero{&later, x1, 1, 0};
    open("x");
    EXPECT_EQ(0, next(" ", " ", &zero));
}

} // namespace
