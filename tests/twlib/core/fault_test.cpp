/* fault_test.cpp - raising, reporting and asserting from below the error
 * layer, through the hooks the layers above fill when the library loads.
 */
#include "twlib/core/fault.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "support/oom_sweep.h"
#include "twlib/core/exit.h"

namespace {

using twtest::ForkResult;
using twtest::runForked;

int cleanup()
{
    return fputs("cleanup\n", stderr) >= 0;
}

TEST(FaultTest, UncaughtRaisesRunTheCleanupReportAndEndWithStatus3)
{
    ForkResult text = runForked([] {
        twCleanupProcV = cleanup;
        tw_RaiseText(2, "twRegexp", 0, "unmatched ()");
    });
    EXPECT_EQ(3, text.status);
    EXPECT_EQ("cleanup\ntwRegexp: Error: unmatched ()\n", text.err);

    ForkResult built = runForked([] {
        twCleanupProcV = cleanup;
        tw_RaiseBuild(2, "twSprintf", "twlib", 1600, "%q");
    });
    EXPECT_EQ(3, built.status);
    EXPECT_EQ(0u, built.err.find("cleanup\n")) << built.err;
    EXPECT_NE(std::string::npos, built.err.find("in call to routine twSprintf()")) << built.err;
}

TEST(FaultTest, ReportsEndTheProcessOnlyWhenFatal)
{
    ForkResult warning = runForked([] { tw_Report("twMem", 3, "low on blocks"); });
    EXPECT_EQ(0, warning.status);
    EXPECT_EQ("twMem: Warning: low on blocks\n", warning.err);
    ForkResult disabled = runForked([] { tw_Report("twMem", 6, "never shown"); });
    EXPECT_EQ(0, disabled.status);
    EXPECT_EQ("", disabled.err);
    ForkResult fatal = runForked([] { tw_Report("twMem", 4, "gone"); });
    EXPECT_EQ(3, fatal.status);
    EXPECT_EQ("\n*** Fatal error encountered ***\ntwMem: Fatal: gone\n", fatal.err);
}

TEST(FaultTest, AssertionsPrintTheirPlaceAndEndWithACoreImage)
{
    ForkResult fixed =
        runForked([] { tw_AssertFail("twint64", 228, "Negative number poassed to twInt64Pow"); });
    EXPECT_EQ(128 + SIGABRT, fixed.status) << "a core image is asked for";
    EXPECT_EQ("ASSERTION FAILED: twint64, line 228: Negative number poassed to twInt64Pow\n", fixed.err);
    ForkResult formatted =
        runForked([] { tw_AssertFailF("twint64", 412, "Base %d not in range 2..16", 17); });
    EXPECT_EQ("ASSERTION FAILED: twint64, line 412: Base 17 not in range 2..16\n", formatted.err);
}

TEST(FaultTest, FormatTellsTheWholeLengthAndNeverWritesPastTheBuffer)
{
    char buf[8];
    memset(buf, '#', sizeof buf);
    EXPECT_EQ(11, tw_Format(buf, 5, "%s-%d", "menu", 123456));
    EXPECT_STREQ("menu", buf);
    EXPECT_EQ('#', buf[5]);
}

}  // namespace
