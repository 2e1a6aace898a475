// File search over working directories, directory loops and the listing
// cache, each run in a fresh temporary directory. WDIR and PATH are set in
// the test and the list is re-read through tsResetWdirCache.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/process.h"
#include "tslib/fileops.h"
#include "tslib/path.h"
#include "tslib/search.h"
#include "twlib/core/exit.h"
#include "twlib/core/mem.h"
#include "twlib/text/str.h"
#include "support/child.h"

namespace {

using Strings = std::vector<std::string>;

// Sets WDIR (unsets it for null) and has the search read it again.
void setWdir(const char *value) { value ? setenv("WDIR", value, 1) : unsetenv("WDIR"); tsResetWdirCache(); }

// Each test runs in a fresh temporary directory whose "cwd" is the current
// (and default) directory; afterwards PATH is put back, WDIR is unset, and
// the search reads the environment again.
class SearchTest : public ::testing::Test {
protected:
    twtest::TempDir t;
    std::string cwd = t.mkdir("cwd"), oldCwd = std::filesystem::current_path().string();
    std::string oldPath = getenv("PATH") ? getenv("PATH") : "";
    void SetUp() override { ASSERT_EQ(0, tsSetdef(cwd.c_str())); }
    void TearDown() override { tsSetdef(oldCwd.c_str()); setenv("PATH", oldPath.c_str(), 1); setWdir(nullptr); }
};

// The result of tsGetini and the path buffer, as "result path".
std::string getini(const std::string &name)
{
    char path[TS_PATH_SIZE];
    memset(path, '#', sizeof path);
    int r = tsGetini(name.c_str(), path);
    EXPECT_NE(nullptr, memchr(path, '\0', sizeof path)) << "the path buffer is terminated";
    return std::to_string(r) + " " + path;
}

int collectPath(const char *path, void *arg) { static_cast<Strings *>(arg)->push_back(path); return 1; }

Strings searchDirs()
{
    Strings seen;
    tsWdirLoopSrchdirs2([](void *arg, const char *path) { return collectPath(path, arg); }, &seen);
    return seen;
}

// The do-nothing procedure as loop callback: the loop only counts.
const tsLoopFn kCountOnly = reinterpret_cast<tsLoopFn>(reinterpret_cast<void (*)()>(&twDummyProc));

// The matching entries; the loop's result is 0 when there are any, else 4.
Strings loop(const std::string &pattern, int kind, tsLoopFn fn = collectPath)
{
    Strings got;
    int r = tsLoop2(pattern.c_str(), kind, fn, &got);
    EXPECT_EQ(got.empty() ? 4 : 0, r) << pattern;
    return got;
}

TEST_F(SearchTest, LooksThroughEveryPlaceInOrderForFilesOnly)
{
    std::string first = t.mkdir("first"), second = t.mkdir("second"), origin = t.mkdir("origin");
    setWdir((" \t" + first + "::" + second).c_str()); // runs of separators give no empty names
    ASSERT_EQ(0, tsSetorigin(origin.c_str()));
    // The origin is searched with the name's directory part, like every
    // working directory. Each place found is then made a directory, which
    // tsGetini passes over but a search for directories finds.
    const Strings order = {cwd + "/sub/532/m.def",   cwd + "/sub/m.def",    origin + "/sub/m.def",
                           first + "/532/sub/m.def", first + "/sub/m.def",  second + "/532/sub/m.def",
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

TEST_F(SearchTest, CompatibleVersionCanBeChangedOrSwitchedOff)
{
    std::string work = t.mkdir("work"), versioned = t.write("cwd/532/m.def", "x"), plain = t.write("work/m.def", "x");
    setWdir(work.c_str());
    tsWdirSetCompatibleVersion("");
    EXPECT_EQ("0 " + plain, getini("m.def"));
    EXPECT_EQ((Strings{".", work}), searchDirs());
    tsWdirSetCompatibleVersion(std::string(200, 'v').c_str());
    EXPECT_EQ(std::string(79, 'v') + "/", searchDirs().at(0)) << "kept to 79 characters";
    tsWdirSetCompatibleVersion(twCompatibleVersionV);
    EXPECT_EQ("0 " + versioned, getini("m.def"));
}

TEST_F(SearchTest, DirectoryLoopsFilterEntriesAndFollowChanges)
{
    const std::string d = cwd;
    for (const char *name : {"b", "a", "c.txt", "B"}) t.write(std::string("cwd/") + name, "x");
    t.mkdir("cwd/sub");
    EXPECT_EQ((Strings{d + "/B", d + "/a", d + "/b", d + "/c.txt", d + "/sub"}), loop(d + "/*", 4));
    EXPECT_EQ((Strings{d + "/B", d + "/a", d + "/b", d + "/c.txt"}), loop(d + "/*", 3));
    EXPECT_EQ((Strings{d + "/sub"}), loop(d + "/*", 2));
    EXPECT_EQ((Strings{d + "/c.txt"}), loop("?.t*", 4)) << "relative to the current directory";
    EXPECT_EQ(Strings{}, loop(d + "/[ab]*", 4)) << "brackets are plain characters";
    EXPECT_EQ(Strings{}, loop(t.path() + "/missing/*", 4));
    EXPECT_EQ(2, tsLoop2((d + "/").c_str(), 3, collectPath, nullptr));
    auto stop = [](const char *p, void *a) { return collectPath(p, a) - 1; };
    EXPECT_EQ(Strings{d + "/B"}, loop(d + "/*", 4, stop)) << "a callback result of 0 ends the loop";
    Strings matched;
    twRegexpT *re = twRegexpCompile("\\.txt$");
    auto onMatch = [](const char *p, void *a, const twRegexpMatch *) { return collectPath(p, a); };
    EXPECT_EQ(0, tsLoopRegexp((d + "/x").c_str(), 3, re, onMatch, &matched));
    EXPECT_EQ(Strings{d + "/c.txt"}, matched) << "only the directory part of the path counts";
    twRegexpDestroy(re);

    // Changes right after a listing was read show at once, even within the
    // file system's time-stamp resolution.
    t.write("cwd/d", "x");
    std::filesystem::remove(d + "/a");
    EXPECT_EQ((Strings{d + "/B", d + "/b", d + "/c.txt", d + "/d"}), loop(d + "/*", 3));
    // Listings grow past their first room; a re-read keeps what is known.
    for (int i = 0; i < 300; i++) t.write("cwd/f" + std::to_string(i), "");
    EXPECT_EQ(305u, loop(d + "/*", 4).size());
    t.write("cwd/zz", "");
    EXPECT_EQ(306u, loop(d + "/*", 4).size());
    // A callback may reset the cache and list the same directory again
    // while its listing is being walked.
    auto relist = [](const char *p, void *a) {
        tsResetWdirCache();
        return tsLoop2("*", 4, kCountOnly, nullptr) == 0 ? collectPath(p, a) : 0;
    };
    EXPECT_EQ(10u, loop(d + "/f1?", 4, relist).size());
}

TEST_F(SearchTest, SteppingIteratorsWalkThePlainWorkingDirectories)
{
    std::string first = t.mkdir("first"), second = t.mkdir("second");
    // Version sub-directories are not stepped.
    for (const char *f : {"first/532/hidden.def", "first/b.def", "second/a.def"}) t.write(f, "x");
    t.mkdir("second/dir.def");
    setWdir((first + ":" + second + ":" + t.path() + "/missing").c_str());
    Strings got;
    for (const char *p = tsStepWdirsForName("*.def", -1, 4); p; p = tsStepWdirsForName("*.def", 1, 4)) got.push_back(p);
    EXPECT_EQ((Strings{first + "/b.def", second + "/a.def", second + "/dir.def"}), got);
    EXPECT_STREQ((first + "/532").c_str(), tsStepWdirs(-1, 2));
    EXPECT_EQ(nullptr, tsStepWdirs(0, 2)) << "a start flag of 0 empties the queue";
    char *a = tsStepWdirsForNameAlloc("a*", -1, 3);
    EXPECT_STREQ((second + "/a.def").c_str(), a);
    twStrFree(a);
    EXPECT_EQ(nullptr, tsStepWdirsAlloc(1, 3));
}

TEST_F(SearchTest, ExecutableDirectoryThroughPath)
{
    std::string bin = t.mkdir("bin"), other = t.mkdir("other"), menus = t.write("bin/menus/m.def", "x");
    t.write("bin/prog", "#!/bin/sh\n");
    t.mkdir("other/prog"); // a directory of that name is not the program
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
        EXPECT_NE(nullptr, tsStepWdirs(1, 3)); // leaves entries in the queue
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

// Suites that run in processes of their own.
TW_CHILD_SUITE(SearchMemEnv);  // NothingIsLeftForTheLeakReportsAtExit runs it

} // namespace
