// File search over working directories and the executable directory, each
// run in a fresh temporary directory. WDIR and PATH are set in the test and
// the list is re-read through tsResetWdirCache.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "search_fixture.h"
#include "support/oom_sweep.h"
#include "support/process.h"
#include "tslib/fileops.h"
#include "tslib/path.h"
#include "tslib/search.h"
#include "twlib/core/exit.h"
#include "twlib/core/mem.h"
#include "twlib/core/mem_testhook.h"
#include "twlib/text/str.h"
#include "support/child.h"

namespace {

using namespace twtest;

TEST_F(SearchTest, LooksThroughEveryPlaceInOrderForFilesOnly)
{
    std::string first = t.mkdir("first"), second = t.mkdir("second"), origin = t.mkdir("origin");
    setWdir((" \t" + first + "::" + second).c_str());  // runs of separators give no empty names
    ASSERT_EQ(0, tsSetorigin(origin.c_str()));
    // The origin is searched with the name's directory part, like every
    // working directory. Each place found is then made a directory, which
    // tsGetini passes over but a search for directories finds.
    const Strings order = {cwd + "/sub/532/m.def",   cwd + "/sub/m.def",   origin + "/sub/m.def",
                           first + "/532/sub/m.def", first + "/sub/m.def", second + "/532/sub/m.def",
                           second + "/sub/m.def"};
    for (const auto &p : order) t.write(p.substr(t.path().size() + 1), "x");
    for (const auto &p : order) {
        EXPECT_EQ("0 " + p, getini("sub/m.def"));
        std::filesystem::remove(p);
        std::filesystem::create_directory(p);
    }
    EXPECT_EQ("4 sub/m.def", getini("sub/m.def")) << "not found leaves the name";
    char path[TS_PATH_SIZE];
    EXPECT_EQ(0, tsSrchdirs("sub/m.def", TS_KIND_DIR, path));
    EXPECT_EQ(order[0], path);
    EXPECT_EQ((Strings{"532/", ".", first + "/532/", first, second + "/532/", second}), searchDirs());
    EXPECT_EQ(0, tsSetorigin(nullptr));

    // An absolute name is tried with its own version directory and as
    // given, never in the working directories.
    t.write("second/m.def", "x");
    std::string absName = t.path() + "/elsewhere/m.def";
    EXPECT_EQ("4 " + absName, getini(absName));
    std::string versioned = t.write("elsewhere/532/m.def", "x");
    EXPECT_EQ("0 " + versioned, getini(absName));
}

TEST_F(SearchTest, OverlongNamesAndWdirEntriesStayInsideBuffers)
{
    std::string work = t.mkdir("work"), plain = t.write("work/m.def", "x");
    setWdir(work.c_str());
    EXPECT_EQ("4 " + std::string(255, 'a'), getini(std::string(255, 'a')));
    EXPECT_EQ("7 " + std::string(255, 'a'), getini(std::string(256, 'a')));
    // A short name that overflows once joined to a directory is skipped.
    EXPECT_EQ("4 " + std::string(250, 'b'), getini(std::string(250, 'b')));

    // A WDIR entry too long for a path buffer is skipped as a whole, never
    // cut down to a shorter (different) directory; an entry that fits only
    // without its version sub-directory keeps its plain element.
    std::string tooLong = "/" + std::string(299, 'x'), fits = "/" + std::string(253, 'y');
    setWdir((tooLong + ":" + fits + ":" + work + ":" + std::string(3000, 'z')).c_str());
    EXPECT_EQ("0 " + plain, getini("m.def"));
    EXPECT_EQ((Strings{"532/", ".", fits, work + "/532/", work}), searchDirs());
}

TEST_F(SearchTest, ExecutableDirectoryThroughPath)
{
    std::string bin = t.mkdir("bin"), other = t.mkdir("other"), menus = t.write("bin/menus/m.def", "x");
    t.write("bin/prog", "#!/bin/sh\n");
    t.mkdir("other/prog");  // a directory of that name is not the program
    char path[TS_PATH_SIZE];
    setenv("PATH", (other + ":" + bin).c_str(), 1);
    EXPECT_EQ(0, tsFindExeInPath("prog", path));
    EXPECT_EQ(bin + "/prog", path);
    EXPECT_EQ(4, tsFindExeInPath("absent", path));
    EXPECT_EQ(1, tsSetexedir("prog"));
    EXPECT_STREQ((bin + "/").c_str(), tsExeDir());
    EXPECT_EQ("0 " + menus, getini("menus/m.def")) << "the executable's directory is searched last";
    setenv("PATH", ("/" + std::string(300, 'p') + ":" + bin).c_str(), 1);
    EXPECT_EQ(1, tsFindExeInPath("prog", path)) << "a candidate too long";
    unsetenv("PATH");
    EXPECT_EQ(7, tsFindExeInPath("prog", path));
    EXPECT_EQ(0, tsSetexedir("prog"));
    EXPECT_EQ(nullptr, tsExeDir()) << "a failed call leaves no directory set";
    EXPECT_EQ(4, tsSrchExeDir("", "prog", "", 3, path));
}

// Every allocation of building the list from WDIR and searching it, refused
// in turn: the search either finds the file as usual or the process ends
// through the out-of-memory protocol.
TEST_F(SearchTest, RefusedAllocationsWhileSearchingWdirEndCleanly)
{
    std::string first = t.mkdir("first"), second = t.mkdir("second"),
                found = t.write("second/532/m.def", "x");
    setenv("WDIR", (first + ":" + second).c_str(), 1);
    long made = sweepAllocationFailures(
        [] {
            tsResetWdirCache();
            char path[TS_PATH_SIZE];
            int r = tsGetini("m.def", path);
            printf("%d %s\n", r, path);
        },
        [&](const ForkResult &r) { EXPECT_EQ("0 " + found + "\n", r.out); });
    EXPECT_GT(made, 0);
}

// Run by the test below in a process of its own with TW_MEMDBG set: uses
// every piece of state the module keeps, then ends through twExit, whose
// reports list whatever was not given back.
TEST(SearchMemEnv, UsesEverythingThenExits)
{
    if (!getenv("TW_MEMDBG")) GTEST_SKIP() << "needs TW_MEMDBG";
    char path[TS_PATH_SIZE];
    for (int round = 0; round < 2; round++) {
        EXPECT_EQ(0, tsGetini("m.def", path));
        EXPECT_EQ(0, tsLoop("work/*", 4, kCountOnly));
        twStrFree(tsStepWdirsAlloc(-1, 3));
        EXPECT_NE(nullptr, tsStepWdirs(1, 3));  // leaves entries in the queue
        EXPECT_EQ(1, tsSetexedir("work/m.def"));
        // Running the handlers early must not lose WDIR or the stepping state.
        if (round == 0) twOnExitCall();
    }
    fflush(nullptr);
    twExit(0);
}

TEST_F(SearchTest, NothingIsLeftForTheLeakReportsAtExit)
{
    std::string work = t.mkdir("work");
    for (const char *name : {"m.def", "a", "b", "c"}) t.write(std::string("work/") + name, "x");
    twtest::ProcessResult r = twtest::runProcess(
        {std::filesystem::read_symlink("/proc/self/exe").string(), "--gtest_filter=SearchMemEnv.*"}, t.path(),
        {"TW_MEMDBG=1", "WDIR=" + work});
    EXPECT_EQ(0, r.status) << r.out << r.err;
    EXPECT_NE(std::string::npos, r.out.find("Maximum memory usage")) << r.out;
    for (const char *tag : {"Wdir Element", "tsDirCache", "wdirFileT", "twStrBuf", "Hash", work.c_str()})
        EXPECT_EQ(std::string::npos, r.out.find(tag)) << tag << " left unfreed\n" << r.out;
}

// A purge routine run by a failing allocation may clear the list while the
// search walks it; the search used to step on through the freed element.
// Without the string pool every candidate allocates, so one of the refused
// allocations lands inside the walk.
TEST(SearchPurgeChildEnv, Run)
{
    CHILD_ONLY();
    for (const char *dir : {"a", "b", "c"}) std::filesystem::create_directory(dir);
    fclose(fopen("c/m.def", "w"));
    setenv("WDIR", "a:b:c", 1);
    twAddPurgeRoutine([] {
        tsResetWdirCache();
        return 1;
    });
    int searches = 0;
    for (long n = 1; n <= 200; n++) {
        twMem_TestFailAllocation(n, 0);
        char path[TS_PATH_SIZE];
        int r = tsGetini("m.def", path);
        searches += r == 0 || r == 4;
    }
    twMem_TestFailAllocation(0, 0);
    printf("%d searches\n", searches);
}

TEST(SearchPurgeTest, ListClearedByAPurgeDuringASearch)
{
    twtest::ProcessResult r = twtest::runChild("SearchPurgeChildEnv.Run", "purge", {"TW_STRDISABLE=1"});
    EXPECT_EQ(0, r.status) << r.out << r.err;
    EXPECT_NE(std::string::npos, r.out.find("200 searches")) << r.out << r.err;
}

// Suites that run in processes of their own.
TW_CHILD_SUITE(SearchMemEnv);  // NothingIsLeftForTheLeakReportsAtExit runs it
TW_CHILD_SUITE(SearchPurgeChildEnv);

}  // namespace
