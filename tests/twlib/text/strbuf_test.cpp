#include "twlib/text/strbuf.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "twlib/core/mem.h"
#include "support/oom_sweep.h"
#include "support/child.h"

namespace {

// The capacity shows through the text pointer, which moves exactly when an
// append needs more than the capacity.
TEST(StrBufTest, GrowthDoublesTheNeededLength)
{
    twStrBuf *b = twStrBufCreate(256);
    std::string a(300, 'a');
    twStrBufAppend(b, a.c_str());
    const char *t = twStrBufString(b);
    twStrBufAppend(b, a.c_str());  // 600: still fits
    EXPECT_EQ(t, twStrBufString(b));
    EXPECT_EQ(601, twStrBufAppendChar(b, '!'));
    EXPECT_NE(t, twStrBufString(b));
    EXPECT_EQ(a + a + "!", twStrBufString(b));
    twStrBufDestroy(b);

    b = twStrBufCreate(0);
    EXPECT_EQ(1, twStrBufAppendChar(b, 'x'));
    t = twStrBufString(b);
    EXPECT_EQ(2, twStrBufAppendChar(b, 'y'));
    EXPECT_EQ(t, twStrBufString(b)) << "capacity 2";
    EXPECT_EQ(3, twStrBufAppendChar(b, 'z'));
    EXPECT_NE(t, twStrBufString(b)) << "capacity 2";
    twStrBufDestroy(b);
}

// Appending a buffer's own text used to read it after growth had released
// it, or after earlier strings of the same call had overwritten its end.
TEST(StrBufTest, AppendsTakeAtMostNCharactersAndMayTakeTheBuffersOwnText)
{
    twStrBuf *b = twStrBufCreate(3);
    twStrBufAppendN(b, "abc", 10);
    twStrBufAppendN(b, "abc", -3);
    twStrBufAppend(b, twStrBufString(b));  // grows
    char unterminated[3] = {'u', 'v', 'w'};
    twStrBufAppendN(b, unterminated, 2);                                      // reads no further than n
    twStrBufAppendStrings(b, "-", twStrBufString(b), (const char *)nullptr);  // grows
    twStrBufRemoveN(b, 0);
    EXPECT_STREQ("abcabcuv-abcabcuv", twStrBufString(b));
    twStrBufRemoveN(b, 99);
    EXPECT_STREQ("", twStrBufString(b));
    EXPECT_EQ(0, twStrBufLength(b));
    EXPECT_EQ(b, twStrBufAppendStrings(b, "x", "", "y", (const char *)nullptr));
    twStrBufAppendStrings(b, "1", twStrBufString(b), (const char *)nullptr);  // room to spare
    twStrBufRemoveN(b, 1);
    EXPECT_STREQ("xy1x", twStrBufString(b));
    EXPECT_EQ(4, twStrBufLength(b));
    twStrBufDestroy(b);
}

TEST(StrBufTest, RefusedAllocationsEndAsOutOfMemoryOrAreSurvived)
{
    auto work = [] {
        twStrBuf *kept = twStrBufCreate(0);
        for (int round = 0; round < 3; round++) {
            twStrBuf *b = twStrBufCreate(round);
            for (int i = 0; i < 200; i++) twStrBufAppendChar(b, 'a' + i % 26);
            twStrBufAppendStrings(b, "<", twStrBufString(b), ">", (const char *)nullptr);
            twStrBufAppendN(b, twStrBufString(b), 50);
            twStrBufRemoveN(b, 10);
            twStrBufAppend(kept, twStrBufString(b));
            twStrBufDestroy(b);
        }
        printf("%d %s\n", twStrBufLength(kept), twStrBufString(kept) + 1000);
        twStrBufDestroy(kept);
    };
    std::string clean;
    long made = twtest::sweepAllocationFailures(work, [&](const twtest::ForkResult &r) {
        if (clean.empty()) clean = r.out;
        EXPECT_EQ(clean, r.out);
    });
    EXPECT_GT(made, 0);
}

// With the pool off (strbuf_test.cmake) the text is a "twString" block, so
// the unfreed-strings report lists it.
TEST(StrBufDisableEnv, TextIsAPlainStringBlock)
{
    twStrBuf *b = twStrBufCreate(2);
    twStrBufAppend(b, "grown text");
    testing::internal::CaptureStdout();
    twMem_DbgPrintStrings();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(std::string::npos, out.find("Unfreed strings:\ngrown text ")) << out;
    twStrBufDestroy(b);
}

// Suites that run in processes of their own.
TW_ENV_SUITE(StrBufDisableEnv, DisabledUnderMemDebug, "TW_STRDISABLE=1", "TW_MEMDBG=1");

}  // namespace
