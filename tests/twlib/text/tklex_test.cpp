#include "twlib/text/tklex.h"

#include <gtest/gtest.h>

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
        if (stream) fclose(stream);
        text = t;
        // fmemopen refuses an empty buffer; /dev/null serves an empty input.
        stream = text.empty() ? fopen("/dev/null", "r") : fmemopen(text.data(), text.size(), "r");
        ASSERT_NE(nullptr, stream);
    }
    void TearDown() override
    {
        if (stream) fclose(stream);
    }
    // Reads one token; returns the code and the token (or "-" at the end).
    std::string next(const char *delims, const char *skips, const twTklexKey *keys = nullptr,
                     int len = 80)
    {
        int code = twTklex(stream, buf, len, delims, skips, keys);
        return std::to_string(code) + ":" + (code < 0 ? "-" : buf);
    }
};

TEST_F(TklexTest, DelimitersEndTokensOrAreTokensOfTheirOwn)
{
    open("  abc{{x  y");
    EXPECT_EQ("0:abc", next(" \t\n{}", " \t\n")) << "the brace ending abc is pushed back";
    EXPECT_EQ("0:{", next(" {", " "));
    EXPECT_EQ("0:{", next("{", "")) << "a delimiter met first is consumed";
    EXPECT_EQ("0:x", next(" ", " "));
    EXPECT_EQ("0:y", next(" ", " ")) << "a character in both sets is skipped";
    EXPECT_EQ("-1:-", next(" ", " "));
    EXPECT_STREQ("y", buf) << "end of input leaves the buffer unchanged";
}

TEST_F(TklexTest, LongTokenIsTruncatedNotSplit)
{
    open(std::string(100, 'a') + " b");
    EXPECT_EQ("0:" + std::string(79, 'a'), next(" ", " "));
    EXPECT_EQ("0: ", next(" ", "")) << "the delimiter after the dropped characters is pushed back";
    EXPECT_EQ("0:b", next(" ", " "));
    open("xyz");
    EXPECT_EQ("0:x", next(" ", " ", nullptr, 2)) << "the smallest buffer holds one character";
    EXPECT_EQ("-1:-", next(" ", " ", nullptr, 2));
}

TEST_F(TklexTest, OnlySkipCharactersOrNothingIsEndOfInput)
{
    open(" \t\n ");
    EXPECT_EQ("-1:-", next(" ", " \t\n"));
    EXPECT_STREQ("unchanged", buf);
    open("");
    EXPECT_EQ("-1:-", next(" ", " "));
}

TEST_F(TklexTest, KeywordsMatchWholeTokensOnly)
{
    char begin[] = "begin", other[] = "begin", b[] = "b", quote[] = "\"";
    twTklexKey second{nullptr, other, 5, 9};
    twTklexKey first{&second, begin, 5, 7};
    twTklexKey shortKey{nullptr, b, 1, 3};
    twTklexKey quoteKey{nullptr, quote, 1, 4};
    open("begin beginning beg b\"");
    EXPECT_EQ("7:begin", next(" ", " ", &first)) << "the first matching record wins";
    EXPECT_EQ("0:beginning", next(" ", " ", &first));
    EXPECT_EQ("0:beg", next(" ", " ", &first));
    EXPECT_EQ("3:b", next(" \"", " ", &shortKey));
    EXPECT_EQ("4:\"", next("\"", "", &quoteKey)) << "an empty quoted string after its opening quote";
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
    EXPECT_EQ("0:x", next(" ", " ", &zero));
}

} // namespace
