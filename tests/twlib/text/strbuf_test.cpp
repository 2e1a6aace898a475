#include "twlib/text/strbuf.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "twlib/core/mem.h"

namespace {

class StrBufTest : public ::testing::Test {
protected:
    twStrBuf *b = nullptr;
    void TearDown() override { twStrBufDestroy(b); }
    std::string text() const { return twStrBufString(b); }
};

// The capacity shows through the text pointer, which moves exactly when an
// append needs more than the capacity.
TEST_F(StrBufTest, GrowthDoublesTheNeededLength)
{
    b = twStrBufCreate(256);
    std::string a(300, 'a');
    twStrBufAppend(b, a.c_str());
    const char *t = twStrBufString(b);
    twStrBufAppend(b, a.c_str()); // 600: still fits
    EXPECT_EQ(t, twStrBufString(b));
    EXPECT_EQ(601, twStrBufAppendChar(b, '!'));
    EXPECT_NE(t, twStrBufString(b));
    EXPECT_EQ(a + a + "!", text());

    twStrBufDestroy(b);
    b = twStrBufCreate(0);
    EXPECT_EQ("", text());
    EXPECT_EQ(1, twStrBufAppendChar(b, 'x'));
    t = twStrBufString(b);
    EXPECT_EQ(2, twStrBufAppendChar(b, 'y')) << "capacity 2";
    EXPECT_EQ(t, twStrBufString(b));
    EXPECT_EQ(3, twStrBufAppendChar(b, 'z'));
    EXPECT_EQ("xyz", text());
}

TEST_F(StrBufTest, AppendClearAndRemove)
{
    b = twStrBufCreate(4);
    twStrBufAppendN(b, "abc", 10);
    twStrBufAppendN(b, "abc", 2);
    twStrBufAppendN(b, "abc", -3);
    char unterminated[3] = {'u', 'v', 'w'};
    twStrBufAppendN(b, unterminated, 3); // reads no further than n
    twStrBufAppend(b, nullptr);
    EXPECT_EQ("abcabuvw", text());
    twStrBufClear(b);
    EXPECT_EQ(b, twStrBufAppendStrings(b, "a", "", "bc", (const char *)nullptr));
    EXPECT_EQ("abc", text());
    EXPECT_EQ(3, twStrBufLength(b));
    twStrBufRemoveN(b, 0);
    twStrBufRemoveN(b, 1);
    EXPECT_EQ("ab", text());
    twStrBufRemoveN(b, 99);
    EXPECT_EQ("", text());
    EXPECT_EQ(0, twStrBufLength(b));
}

// Appending a buffer's own text used to read it after growth had released
// it, or after earlier strings of the same call had overwritten its end.
TEST_F(StrBufTest, AppendingItsOwnText)
{
    b = twStrBufCreate(3);
    twStrBufAppend(b, "abc");
    twStrBufAppend(b, twStrBufString(b));
    EXPECT_EQ("abcabc", text());
    twStrBufAppendStrings(b, "-", twStrBufString(b), (const char *)nullptr);
    EXPECT_EQ("abcabc-abcabc", text());
    twStrBufClear(b); // room to spare now
    twStrBufAppend(b, "xy");
    twStrBufAppendStrings(b, "1", twStrBufString(b), (const char *)nullptr);
    EXPECT_EQ("xy1xy", text());
}

std::vector<std::string> usage;
void collect(const char *line) { usage.push_back(line); }
long tagBytes(const char *tag)
{
    usage.clear();
    twMemPrintUsage(collect);
    std::string key = std::string(tag) + ":";
    for (const std::string &l : usage)
        if (l.find_first_not_of(' ') == l.find(key))
            return strtol(l.c_str() + l.find(key) + key.size(), nullptr, 10);
    return 0;
}

// With the pool off and the memory manager in debug mode, the text is a
// "twString" block of capacity + 1 bytes.
TEST(StrBufDisableEnv, TextIsAPlainTaggedBlock)
{
    long before = tagBytes("twString");
    twStrBuf *b = twStrBufCreate(10);
    EXPECT_EQ(before + 11, tagBytes("twString"));
    twStrBufAppend(b, "0123456789ab"); // 12 > 10: capacity 24
    EXPECT_EQ(before + 25, tagBytes("twString"));
    twStrBufDestroy(b);
    EXPECT_EQ(before, tagBytes("twString"));
}

} // namespace
