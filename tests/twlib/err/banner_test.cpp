#include "twlib/err/banner.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/child.h"
#include "support/oom_sweep.h"
#include "twlib/core/exit.h"

namespace {

const std::string kLibraryBanner =
    "Lumenpane 5.3.2 (052595)\nCopyright (c) 1990-1995 Tarnwerks. All rights reserved.\n";

TEST(BannerTest, VersionGlobals)
{
    EXPECT_STREQ("532", twCurrentVersionV);
    EXPECT_STREQ("532", twCompatibleVersionV);
    EXPECT_STREQ("$Tarnwerks compatible version: 532$", twCompatibleExeTagV);
}

TEST(BannerTest, LibraryBannerIsTwoLines)
{
    char buf[TW_BANNER_SIZE];
    EXPECT_EQ(buf, twBannerStrWV(buf));
    EXPECT_EQ(kLibraryBanner, buf);
    EXPECT_EQ(nullptr, twBannerStrWV(nullptr));
}

TEST(BannerTest, ProgramBannerIsRecordedAndReplaced)
{
    char buf[TW_BANNER_SIZE];
    EXPECT_EQ(buf, twBannerStr(buf, "conv", "1.0"));
    EXPECT_EQ("conv - V1.0; " + kLibraryBanner, buf);
    EXPECT_EQ(std::string(buf), twCurrentBannerV);
    EXPECT_STREQ("conv", twCurrentNameV);

    twBannerStr(buf, "other", "2.3b");
    EXPECT_EQ("other - V2.3b; " + kLibraryBanner, twCurrentBannerV);
    EXPECT_STREQ("other", twCurrentNameV);

    twBannerStr(buf, nullptr, nullptr);
    EXPECT_EQ(" - V; " + kLibraryBanner, buf);
    EXPECT_STREQ("", twCurrentNameV);

    // A name too long for the buffer is cut, never written past it.
    std::string longName(2000, 'n');
    twBannerStr(buf, longName.c_str(), "1");
    EXPECT_EQ(size_t{TW_BANNER_SIZE - 1}, strlen(buf));
    EXPECT_EQ(longName, twCurrentNameV);
    EXPECT_EQ(std::string(buf), twCurrentBannerV);

    EXPECT_EQ(nullptr, twBannerStr(nullptr, "x", "1"));
    EXPECT_EQ(longName, twCurrentNameV) << "a null buffer records nothing";
}

// The banner goes to standard output alone, with or without memory to spare.
TEST(BannerTest, RefusedAllocationsEndCleanly)
{
    long made = twtest::sweepAllocationFailures(
        [] {
            twBanner("conv", "1.0");
            twBanner("conv", "1.1");
        },
        [](const twtest::ForkResult &r) {
            EXPECT_EQ("conv - V1.0; " + kLibraryBanner + "conv - V1.1; " + kLibraryBanner, r.out);
            EXPECT_EQ("", r.err);
        });
    EXPECT_GT(made, 0);
}

// Under memory checking the recorded copies are given back at exit.
TEST(BannerMemDebugEnv, ExitHandlersReleaseTheRecordedCopies)
{
    char buf[TW_BANNER_SIZE];
    twBannerStr(buf, "conv", "1.0");
    twOnExitCall();
    EXPECT_EQ(nullptr, twCurrentBannerV);
    EXPECT_EQ(nullptr, twCurrentNameV);
    twBannerStr(buf, "again", "2");
    EXPECT_STREQ("again", twCurrentNameV);
    twOnExitCall();
    EXPECT_EQ(nullptr, twCurrentNameV) << "registered again after a run";
}
TW_ENV_SUITE(BannerMemDebugEnv, MemDebug, "TW_MEMDBG=1");

}  // namespace
