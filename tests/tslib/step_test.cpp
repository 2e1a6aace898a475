// Stepping iterators over the entries of the plain working directories.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "search_fixture.h"
#include "support/oom_sweep.h"
#include "tslib/step.h"
#include "twlib/text/str.h"

namespace {

using namespace twtest;

TEST_F(SearchTest, SteppingIteratorsWalkThePlainWorkingDirectories)
{
    std::string first = t.mkdir("first"), second = t.mkdir("second");
    // Version sub-directories are not stepped.
    for (const char *f : {"first/532/hidden.def", "first/b.def", "second/a.def"}) t.write(f, "x");
    t.mkdir("second/dir.def");
    setWdir((first + ":" + second + ":" + t.path() + "/missing").c_str());
    Strings got;
    for (const char *p = tsStepWdirsForName("*.def", -1, 4); p; p = tsStepWdirsForName("*.def", 1, 4))
        got.push_back(p);
    EXPECT_EQ((Strings{first + "/b.def", second + "/a.def", second + "/dir.def"}), got);
    EXPECT_STREQ((first + "/532").c_str(), tsStepWdirs(-1, 2));
    EXPECT_EQ(nullptr, tsStepWdirs(0, 2)) << "a start flag of 0 empties the queue";
    char *a = tsStepWdirsForNameAlloc("a*", -1, 3);
    EXPECT_STREQ((second + "/a.def").c_str(), a);
    twStrFree(a);
    EXPECT_EQ(nullptr, tsStepWdirsAlloc(1, 3));
}

// The queue holds copies: neither a reset of the list nor a change on disk
// between two steps takes anything out of it.
TEST_F(SearchTest, QueuedPathsOutliveResetsAndANewStartUsesTheNewList)
{
    std::string first = t.mkdir("first"), second = t.mkdir("second");
    for (const char *f : {"first/x1", "first/x2", "second/y1"}) t.write(f, "x");
    setWdir(first.c_str());
    EXPECT_STREQ((first + "/x1").c_str(), tsStepWdirs(-1, 3));
    setWdir(second.c_str());
    std::filesystem::remove(first + "/x2");
    EXPECT_STREQ((first + "/x2").c_str(), tsStepWdirs(1, 3)) << "queued before the reset";
    EXPECT_STREQ((second + "/y1").c_str(), tsStepWdirs(-1, 3));
    EXPECT_EQ(nullptr, tsStepWdirs(1, 3));
}

TEST_F(SearchTest, RefusedAllocationsWhileSteppingEndCleanly)
{
    std::string first = t.mkdir("first"), second = t.mkdir("second");
    for (const char *f : {"first/a.def", "first/b.txt", "second/c.def"}) t.write(f, "x");
    setenv("WDIR", (first + ":" + second).c_str(), 1);
    long made = sweepAllocationFailures(
        [] {
            tsResetWdirCache();
            for (const char *p = tsStepWdirsForName("*.def", -1, 3); p; p = tsStepWdirsForName("*.def", 1, 3))
                printf("%s\n", p);
            char *rest = tsStepWdirsAlloc(-1, 4);
            printf("%s\n", rest);
            twStrFree(rest);
            tsStepWdirs(0, 4);
        },
        [&](const ForkResult &r) {
            EXPECT_EQ(first + "/a.def\n" + second + "/c.def\n" + first + "/a.def\n", r.out);
        });
    EXPECT_GT(made, 0);
}

}  // namespace
