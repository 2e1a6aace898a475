// File search over working directories, directory loops and the listing
// cache, each run in a fresh temporary directory. WDIR and PATH are set in
// the test and the list is re-read through tsResetWdirCache.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "support/process.h"
#include "tslib/fileops.h"
#include "tslib/path.h"
#include "tslib/search.h"
#include "twlib/core/exit.h"
#include "twlib/core/mem.h"
#include "twlib/text/str.h"

namespace {

using Strings = std::vector<std::string>;

// Each test runs in a fresh temporary directory whose "cwd" is the current
// (and default) directory; afterwards WDIR is unset, PATH is put back, and
// the search reads the environment again.
class SearchTest : public ::testing::Test {
protected:
    twtest::TempDir t;
    std::string cwd = t.mkdir("cwd"), oldCwd = std::filesystem::current_path().string();
    std::optional<std::string> oldPath = getenv("PATH") ? std::optional<std::string>(getenv("PATH")) : std::nullopt;
    void SetUp() override { ASSERT_EQ(0, tsSetdef(cwd.c_str())); }
    void TearDown() override
    {
        tsSetdef(oldCwd.c_str());
        oldPath ? setenv("PATH", oldPath->c_str(), 1) : unsetenv("PATH");
        setWdir(std::nullopt);
    }
    static void setWdir(std::optional<std::string> value)
    {
        value ? setenv("WDIR", value->c_str(), 1) : unsetenv("WDIR");
        tsResetWdirCache();
    }
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

int collectPath(const char *path, void *arg)
{
    static_cast<Strings *>(arg)->push_back(path);
    return 1;
}

Strings searchDirs()
{
    Strings seen;
    tsWdirLoopSrchdirs2([](void *arg, const char *path) { return collectPath(path, arg); }, &seen);
    return seen;
}

// The do-nothing procedure as loop callback: the loop only counts.
const tsLoopFn kCountOnly = reinterpret_cast<tsLoopFn>(reinterpret_cast<void (*)()>(&twDummyProc));

// The matching entries; the loop's result is 0 when there are any, else 4.
Strings loop(const std::string &pattern, int kind)
{
    Strings got;
    int r = tsLoop2(pattern.c_str(), kind, collectPath, &got);
    EXPECT_EQ(got.empty() ? 4 : 0, r) << pattern;
    return got;
}

TEST_F(SearchTest, LooksThroughEveryPlaceInOrderForFilesOnly)
{
    std::string first = t.mkdir("first"), second = t.mkdir("second"), origin = t.mkdir("origin");
    setWdir(" \t" + first + "::" + second); // runs of separators give no empty names
    ASSERT_EQ(0, tsSetorigin(origin.c_str()));
    // The origin is searched with the name's directory part, like every
    // working directory.
    const Strings order = {cwd + "/sub/532/m.def",   cwd + "/sub/m.def",    origin + "/sub/m.def",
                           first + "/532/sub/m.def", first + "/sub/m.def",  second + "/532/sub/m.def",
                           second + "/sub/m.def"};
    for (const auto &p : order) t.write(p.substr(t.path().size() + 1), "x");
    for (const auto &p : order) {
        EXPECT_EQ("0 " + p, getini("sub/m.def"));
        std::filesystem::remove(p);
    }
    EXPECT_EQ("4 sub/m.def", getini("sub/m.def")) << "not found leaves the name";
    EXPECT_EQ((Strings{"532/", ".", first + "/532/", first, second + "/532/", second}), searchDirs());
    EXPECT_EQ(0, tsSetorigin(nullptr));

    // Directories of the sought name are passed over by tsGetini but found
    // by a search for any kind.
    t.mkdir("cwd/532/menus.def");
    t.mkdir("cwd/menus.def");
    std::string found = t.write("second/menus.def", "x");
    EXPECT_EQ("0 " + found, getini("menus.def"));
    char path[TS_PATH_SIZE];
    EXPECT_EQ(0, tsSrchdirs("menus.def", TS_KIND_DIR, path));
    EXPECT_EQ(cwd + "/532/menus.def", path);

    // An absolute name is tried with its own version directory and as
    // given, never in the working directories.
    std::string absName = t.path() + "/elsewhere/menus.def";
    EXPECT_EQ("4 " + absName, getini(absName));
    std::string versioned = t.write("elsewhere/532/menus.def", "x");
    EXPECT_EQ("0 " + versioned, getini(absName));
}

TEST_F(SearchTest, OverlongNamesAndWdirEntriesStayInsideBuffers)
{
    std::string work = t.mkdir("work");
    t.write("work/m.def", "x");
    setWdir(work);
    EXPECT_EQ("4 " + std::string(255, 'a'), getini(std::string(255, 'a')));
    EXPECT_EQ("7 " + std::string(255, 'a'), getini(std::string(256, 'a')));
    EXPECT_EQ("7 " + std::string(255, 'a'), getini(std::string(5000, 'a')));
    // A short name that overflows once joined to a directory is skipped.
    EXPECT_EQ("4 " + std::string(250, 'b'), getini(std::string(250, 'b')));

    // A WDIR entry too long for a path buffer is skipped as a whole, never
    // cut down to a shorter (different) directory; an entry that fits only
    // without its version sub-directory keeps its plain element.
    std::string tooLong = "/" + std::string(299, 'x'), fits = "/" + std::string(253, 'y');
    setWdir(tooLong + ":" + fits + ":" + work + ":" + std::string(3000, 'z'));
    EXPECT_EQ("0 " + work + "/m.def", getini("m.def"));
    EXPECT_EQ((Strings{"532/", ".", fits, work + "/532/", work}), searchDirs());
}

TEST_F(SearchTest, CompatibleVersionCanBeChangedOrSwitchedOff)
{
    std::string work = t.mkdir("work");
    setWdir(work);
    t.write("cwd/532/m.def", "x");
    std::string plain = t.write("work/m.def", "x");
    tsWdirSetCompatibleVersion("");
    EXPECT_EQ("0 " + plain, getini("m.def"));
    EXPECT_EQ((Strings{".", work}), searchDirs());
    tsWdirSetCompatibleVersion(std::string(200, 'v').c_str());
    EXPECT_EQ(std::string(79, 'v') + "/", searchDirs().at(0)) << "kept to 79 characters";
    tsWdirSetCompatibleVersion(twCompatibleVersionV);
    EXPECT_EQ("0 " + cwd + "/532/m.def", getini("m.def"));
}

// Reentry from a loop's callback: resetting the cache and listing the same
// directory again while its listing is being walked.
int resetAndRelist(const char *path, void *arg)
{
    tsResetWdirCache();
    EXPECT_EQ(0, tsLoop2((std::filesystem::path(path).parent_path().string() + "/*").c_str(), 4, kCountOnly, nullptr));
    return collectPath(path, arg);
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
    Strings got;
    auto stop = [](const char *path, void *arg) { return collectPath(path, arg) - 1; };
    EXPECT_EQ(0, tsLoop2((d + "/*").c_str(), 4, stop, &got));
    EXPECT_EQ(Strings{d + "/B"}, got) << "a callback result of 0 ends the loop";
    got.clear();
    auto matched = [](const char *path, void *arg, const twRegexpMatch *) { return collectPath(path, arg); };
    twRegexpT *re = twRegexpCompile("\\.txt$");
    EXPECT_EQ(0, tsLoopRegexp((d + "/x").c_str(), 3, re, matched, &got));
    EXPECT_EQ(Strings{d + "/c.txt"}, got) << "only the directory part of the path counts";
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
    got.clear();
    EXPECT_EQ(0, tsLoop2((d + "/f1?").c_str(), 4, resetAndRelist, &got));
    EXPECT_EQ(10u, got.size());
}

TEST_F(SearchTest, SteppingIteratorsWalkThePlainWorkingDirectories)
{
    std::string first = t.mkdir("first"), second = t.mkdir("second");
    t.write("first/532/hidden.def", "x"); // version sub-directories are not stepped
    t.write("first/b.def", "x");
    t.write("second/a.def", "x");
    t.mkdir("second/dir.def");
    setWdir(first + ":" + second + ":" + t.path() + "/missing");
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
    std::string bin = t.mkdir("bin"), other = t.mkdir("other");
    t.write("bin/prog", "#!/bin/sh\n");
    t.mkdir("other/prog"); // a directory of that name is not the program
    std::string menus = t.write("bin/menus/m.def", "x");
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
    EXPECT_EQ(0, tsGetini("m.def", path));
    EXPECT_EQ(0, tsLoop("work/*", 4, kCountOnly));
    twStrFree(tsStepWdirsAlloc(-1, 3));
    EXPECT_NE(nullptr, tsStepWdirs(1, 3)); // leaves entries in the queue
    EXPECT_EQ(1, tsSetexedir("work/m.def"));
    // Running the handlers early must not lose WDIR or the stepping state.
    twOnExitCall();
    EXPECT_EQ(0, tsGetini("m.def", path));
    EXPECT_NE(nullptr, tsStepWdirs(-1, 3));
    EXPECT_EQ(1, tsSetexedir("work/m.def"));
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
    for (const char *tag : {"Wdir Element", "tsDirCache", "wdirFileT", "twStrBuf", "Hash"})
        EXPECT_EQ(std::string::npos, r.out.find(tag)) << tag << "\n" << r.out;
    EXPECT_EQ(std::string::npos, r.out.find(work)) << "a path left unfreed\n" << r.out;
}

} // namespace
