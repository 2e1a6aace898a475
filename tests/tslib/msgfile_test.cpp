// The file-system library's own message file.
#include "tslib/msgfile.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "support/oom_sweep.h"

namespace {

TEST(TsMsgFileTest, OpensTslibOnceAndKeepsIt)
{
    long made = twtest::sweepAllocationFailures(
        [] {
            twMsgFileHandle *f = tsMsgFile();
            printf("%s %d\n", twMsgGetFilename(f), f == tsMsgFile());
        },
        [](const twtest::ForkResult &r) { EXPECT_EQ("tslib 1\n", r.out); });
    EXPECT_GT(made, 0);
}

}  // namespace
