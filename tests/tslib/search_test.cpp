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

using twtest::TempDir;
using Strings = std::vector<std::string>;

// Sets (or unsets) an environment variable for the test's duration and
// makes the search read the environment again, before and after.
class ScopedEnv {
public:
    ScopedEnv(const char *name, std::optional<std::string> value) : name_(name)
    {
        if (const char *old = getenv(name)) old_ = old;
        if (value)
            setenv(name, value->c_str(), 1);
        else
            unsetenv(name);
        tsResetWdirCache();
    }
    ~ScopedEnv()
    {
        if (old_)
            setenv(name_.c_str(), old_->c_str(), 1);
        else
            unsetenv(name_.c_str());
        tsResetWdirCache();
    }

private:
    std::string name_;
    std::optional<std::string> old_;
};

// Makes 'dir' the current (and default) directory for the test's duration.
class ScopedCwd {
public:
    explicit ScopedCwd(const std::string &dir) : old_(std::filesystem::current_path().string())
    {
        EXPECT_EQ(0, tsSetdef(dir.c_str()));
    }
    ~ScopedCwd() { tsSetdef(old_.c_str()); }

private:
    std::string old_;
};

std::string getini(const std::string &name, int *result)
{
    char path[TS_PATH_SIZE];
    memset(path, '#', sizeof path);
    *result = tsGetini(name.c_str(), path);
    EXPECT_NE(nullptr, memchr(path, '\0', sizeof path));
    return path;
}

int collectPath(const char *path, void *arg)
{
    static_cast<Strings *>(arg)->push_back(path);
    return 1;
}

int collectWithArg(void *arg, const char *path)
{
    static_cast<Strings *>(arg)->push_back(path);
    return 1;
}

// The do-nothing procedure as loop callback: the loop only counts.
const tsLoopFn kCountOnly = reinterpret_cast<tsLoopFn>(reinterpret_cast<void (*)()>(&twDummyProc));

Strings loop(const std::string &pattern, int kind, int expected)
{
    Strings got;
    EXPECT_EQ(expected, tsLoop2(pattern.c_str(), kind, collectPath, &got)) << pattern;
    return got;
}

TEST(SearchTest, LooksThroughEveryPlaceInOrder)
{
    TempDir t;
    std::string cwd = t.mkdir("cwd"), first = t.mkdir("first"), second = t.mkdir("second");
    std::string origin = t.mkdir("origin");
    ScopedEnv wdir("WDIR", first + ":" + second);
    ScopedCwd inCwd(cwd);
    ASSERT_EQ(0, tsSetorigin(origin.c_str()));

    // The origin is searched with the name's directory part, like every
    // working directory.
    const Strings order = {cwd + "/sub/532/m.def",   cwd + "/sub/m.def",    origin + "/sub/m.def",
                           first + "/532/sub/m.def", first + "/sub/m.def",  second + "/532/sub/m.def",
                           second + "/sub/m.def"};
    for (const auto &p : order) t.write(p.substr(t.path().size() + 1), "x");
    int r = -1;
    for (const auto &p : order) {
        EXPECT_EQ(p, getini("sub/m.def", &r));
        EXPECT_EQ(0, r);
        std::filesystem::remove(p);
    }
    EXPECT_EQ("sub/m.def", getini("sub/m.def", &r)) << "not found leaves the name";
    EXPECT_EQ(4, r);

    Strings seen;
    EXPECT_EQ(1, tsWdirLoopSrchdirs2(collectWithArg, &seen));
    EXPECT_EQ((Strings{"532/", ".", first + "/532/", first, second + "/532/", second}), seen);
    seen.clear();
    EXPECT_EQ(1, tsLoopWdirs2(collectWithArg, &seen));
    EXPECT_EQ((Strings{first, second}), seen);
    EXPECT_EQ(0, tsLoopwdirs([](const char *) { return 0; }));
    EXPECT_EQ(0, tsSetorigin(nullptr));
}

TEST(SearchTest, SkipsDirectoriesAndKeepsAbsoluteNamesAtHome)
{
    TempDir t;
    std::string cwd = t.mkdir("cwd"), work = t.mkdir("work");
    ScopedEnv wdir("WDIR", " \t" + work + "::");
    ScopedCwd inCwd(cwd);
    int r = -1;

    // Directories of the sought name are passed over by tsGetini but found
    // by a search for any kind.
    t.mkdir("cwd/532/menus.def");
    t.mkdir("cwd/menus.def");
    std::string found = t.write("work/menus.def", "x");
    EXPECT_EQ(found, getini("menus.def", &r));
    EXPECT_EQ(0, r);
    char path[TS_PATH_SIZE];
    EXPECT_EQ(0, tsSrchdirs("menus.def", TS_KIND_DIR, path));
    EXPECT_EQ(cwd + "/532/menus.def", path);

    // An absolute name is tried with its own version directory and as
    // given, never in the working directories.
    std::string absName = t.path() + "/elsewhere/menus.def";
    EXPECT_EQ(absName, getini(absName, &r));
    EXPECT_EQ(4, r);
    std::string versioned = t.write("elsewhere/532/menus.def", "x");
    EXPECT_EQ(versioned, getini(absName, &r));
    EXPECT_EQ(0, r);
    EXPECT_EQ(4, tsSrchwdirs("absent.def", TS_KIND_FILE, path));
}

TEST(SearchTest, OverlongNamesAndEnvironmentStayInsideBuffers)
{
    TempDir t;
    std::string work = t.mkdir("work");
    t.write("work/m.def", "x");
    int r = -1;
    {
        ScopedEnv wdir("WDIR", work);
        getini(std::string(255, 'a'), &r);
        EXPECT_EQ(4, r);
        for (size_t len : {256, 300, 5000}) {
            EXPECT_EQ(std::string(255, 'a'), getini(std::string(len, 'a'), &r)) << len;
            EXPECT_EQ(7, r) << len;
        }
        EXPECT_EQ(7, tsGetini("", nullptr));
        EXPECT_EQ(7, tsGetini(nullptr, nullptr));
        // A short name that overflows once joined to a directory is skipped.
        getini(std::string(250, 'b'), &r);
        EXPECT_EQ(4, r);
    }
    // A WDIR entry too long for a path buffer is skipped as a whole, never
    // cut down to a shorter (different) directory; an entry that fits only
    // without its version sub-directory keeps its plain element.
    std::string tooLong = "/" + std::string(299, 'x');
    std::string fits = "/" + std::string(253, 'y');
    ScopedEnv wdir("WDIR", tooLong + ":" + fits + ":" + work + ":" + std::string(3000, 'z'));
    EXPECT_EQ(work + "/m.def", getini("m.def", &r));
    EXPECT_EQ(0, r);
    Strings seen;
    tsWdirLoopSrchdirs2(collectWithArg, &seen);
    EXPECT_EQ((Strings{"532/", ".", fits, work + "/532/", work}), seen);
}

TEST(SearchTest, CompatibleVersionCanBeChangedOrSwitchedOff)
{
    TempDir t;
    std::string cwd = t.mkdir("cwd"), work = t.mkdir("work");
    ScopedEnv wdir("WDIR", work);
    ScopedCwd inCwd(cwd);
    t.write("cwd/532/m.def", "x");
    t.write("work/7.1/m.def", "x");
    std::string plain = t.write("work/m.def", "x");
    int r = -1;

    tsWdirSetCompatibleVersion("");
    EXPECT_EQ(plain, getini("m.def", &r));
    Strings seen;
    tsWdirLoopSrchdirs2(collectWithArg, &seen);
    EXPECT_EQ((Strings{".", work}), seen);

    tsWdirSetCompatibleVersion("7.1");
    EXPECT_EQ(work + "/7.1/m.def", getini("m.def", &r));

    tsWdirSetCompatibleVersion(std::string(200, 'v').c_str()); // kept to 79 characters
    seen.clear();
    tsWdirLoopSrchdirs2(collectWithArg, &seen);
    EXPECT_EQ(std::string(79, 'v') + "/", seen.at(0));

    tsWdirSetCompatibleVersion(twCompatibleVersionV);
    EXPECT_EQ(cwd + "/532/m.def", getini("m.def", &r));
    EXPECT_STREQ("532", twCompatibleVersionV);
    EXPECT_STREQ("$Tarnwerks compatible version: 532$", twCompatibleExeTagV);
}

TEST(SearchTest, DirectoryLoopsCountFilterAndOrder)
{
    TempDir t;
    std::string d = t.mkdir("d");
    for (const char *name : {"b", "a", "c.txt", "B"}) t.write(std::string("d/") + name, "x");
    t.mkdir("d/sub");

    EXPECT_EQ((Strings{d + "/B", d + "/a", d + "/b", d + "/c.txt", d + "/sub"}), loop(d + "/*", 4, 0));
    EXPECT_EQ((Strings{d + "/B", d + "/a", d + "/b", d + "/c.txt"}), loop(d + "/*", 3, 0));
    EXPECT_EQ((Strings{d + "/sub"}), loop(d + "/*", 2, 0));
    EXPECT_EQ((Strings{d + "/c.txt"}), loop(d + "/?.t*", 4, 0));
    EXPECT_EQ(Strings{}, loop(d + "/*.none", 4, 4));
    EXPECT_EQ(Strings{}, loop(t.path() + "/missing/*", 4, 4));
    EXPECT_EQ(Strings{}, loop(d + "/b/*", 4, 4)) << "a file is no directory";
    EXPECT_EQ(2, tsLoop2((d + "/").c_str(), 3, collectPath, nullptr));

    Strings got;
    auto first = [](const char *path, void *arg) {
        static_cast<Strings *>(arg)->push_back(path);
        return 0;
    };
    EXPECT_EQ(0, tsLoop2((d + "/*").c_str(), 4, first, &got));
    EXPECT_EQ(Strings{d + "/B"}, got) << "a callback result of 0 ends the loop";
    EXPECT_EQ(0, tsLoop((d + "/a*").c_str(), 4, kCountOnly));
    EXPECT_EQ(4, tsLoop((d + "/x*").c_str(), 4, kCountOnly));

    // Relative patterns are taken from the current directory.
    ScopedCwd inD(d);
    EXPECT_EQ((Strings{d + "/a"}), loop("a", 4, 0));
}

struct ForEachCall {
    std::string dir, name;
    long size;
    int kind;
};

int collectForEach(void *arg, const char *dir, const char *name, long, long size, int kind)
{
    static_cast<std::vector<ForEachCall> *>(arg)->push_back({dir, name, size, kind});
    return 1;
}

int collectRegexp(const char *path, void *arg, const twRegexpMatch *match)
{
    std::string m(match->start[0], match->end[0]);
    static_cast<Strings *>(arg)->push_back(std::string(path) + "=" + m);
    return 1;
}

TEST(SearchTest, ForEachFileAndRegexpLoops)
{
    TempDir t;
    std::string d = t.mkdir("d");
    t.write("d/one.def", "12345");
    t.write("d/two.txt", "x");
    t.mkdir("d/sub.def");

    std::vector<ForEachCall> calls;
    EXPECT_EQ(1, tsDirForEachFile((d + "/one.def").c_str(), "nomatch", 2, collectForEach, &calls));
    ASSERT_EQ(1u, calls.size());
    EXPECT_EQ(d + "/", calls[0].dir);
    EXPECT_EQ("one.def", calls[0].name);
    EXPECT_EQ(5, calls[0].size);
    EXPECT_EQ(3, calls[0].kind);

    calls.clear();
    EXPECT_EQ(2, tsDirForEachFile(d.c_str(), "*.def", 4, collectForEach, &calls));
    ASSERT_EQ(2u, calls.size());
    EXPECT_EQ("one.def", calls[0].name);
    EXPECT_EQ("sub.def", calls[1].name);
    EXPECT_EQ(2, calls[1].kind);
    EXPECT_EQ(d + "/", calls[1].dir);
    EXPECT_EQ(3, tsDirForEachFile((d + "/").c_str(), nullptr, 4, nullptr, nullptr));
    EXPECT_EQ(-1, tsDirForEachFile((d + "/missing").c_str(), nullptr, 4, collectForEach, &calls));

    twRegexpT *re = twRegexpCompile("\\.def$");
    Strings got;
    EXPECT_EQ(0, tsLoopRegexp((d + "/").c_str(), 3, re, collectRegexp, &got));
    EXPECT_EQ(Strings{d + "/one.def=.def"}, got);
    got.clear();
    EXPECT_EQ(0, tsLoopRegexp((d + "/x").c_str(), 2, re, collectRegexp, &got));
    EXPECT_EQ(Strings{d + "/sub.def=.def"}, got) << "only the directory part of the path counts";
    EXPECT_EQ(7, tsLoopRegexp(d.c_str(), 4, nullptr, collectRegexp, &got));
    twRegexpDestroy(re);
}

// Reentry from a loop's callback: resetting the cache and listing the same
// directory again while its listing is being walked.
int resetAndRelist(const char *path, void *arg)
{
    auto *got = static_cast<Strings *>(arg);
    got->push_back(path);
    tsResetWdirCache();
    std::string dir = std::filesystem::path(path).parent_path().string();
    EXPECT_EQ(0, tsLoop2((dir + "/*").c_str(), 4, kCountOnly, nullptr));
    return 1;
}

TEST(SearchTest, ListingsFollowChangesToTheDirectory)
{
    TempDir t;
    std::string d = t.mkdir("d");
    t.write("d/a", "x");
    EXPECT_EQ(Strings{d + "/a"}, loop(d + "/*", 4, 0));

    // A file added right after a listing was read shows at once, even within
    // the file system's time-stamp resolution.
    t.write("d/b", "x");
    EXPECT_EQ((Strings{d + "/a", d + "/b"}), loop(d + "/*", 4, 0));
    std::filesystem::remove(d + "/a");
    EXPECT_EQ(Strings{d + "/b"}, loop(d + "/*", 4, 0));
    t.mkdir("d/c");
    EXPECT_EQ(Strings{d + "/b"}, loop(d + "/*", 3, 0));
    EXPECT_EQ(Strings{d + "/c"}, loop(d + "/*", 2, 0));

    // Listings grow past their first room; a re-read keeps what is known.
    for (int i = 0; i < 300; i++) t.write("d/f" + std::to_string(i), "");
    EXPECT_EQ(302u, loop(d + "/*", 4, 0).size());
    t.write("d/zz", "");
    EXPECT_EQ(303u, loop(d + "/*", 4, 0).size());
    tsResetWdirCache();
    EXPECT_EQ(303u, loop(d + "/*", 4, 0).size());

    Strings got;
    EXPECT_EQ(4, tsLoop2((d + "/[bc]*").c_str(), 4, resetAndRelist, &got));
    EXPECT_EQ(Strings{}, got) << "brackets are plain characters for the wildcard match";
    EXPECT_EQ(0, tsLoop2((d + "/f1?").c_str(), 4, resetAndRelist, &got));
    EXPECT_EQ(10u, got.size());
}

Strings stepAll(const char *pattern, int kind)
{
    Strings got;
    for (int start = -1;; start = 1) {
        char *p = pattern ? tsStepWdirsForNameAlloc(pattern, start, kind) : tsStepWdirsAlloc(start, kind);
        if (!p) break;
        got.push_back(p);
        twStrFree(p);
    }
    return got;
}

TEST(SearchTest, SteppingIteratorsWalkThePlainWorkingDirectories)
{
    TempDir t;
    std::string first = t.mkdir("first"), second = t.mkdir("second");
    t.write("first/532/hidden.def", "x"); // version sub-directories are not stepped
    t.write("first/b.def", "x");
    t.write("first/a.txt", "x");
    t.write("second/c.def", "x");
    t.mkdir("second/dir.def");
    ScopedEnv wdir("WDIR", first + ":" + second + ":" + t.path() + "/missing");

    EXPECT_EQ((Strings{first + "/a.txt", first + "/b.def", second + "/c.def"}), stepAll(nullptr, 3));
    EXPECT_EQ((Strings{first + "/532", second + "/dir.def"}), stepAll(nullptr, 2));
    EXPECT_EQ((Strings{first + "/b.def", second + "/c.def", second + "/dir.def"}), stepAll("*.def", 4));

    // The static variants, and emptying the queue part way.
    EXPECT_STREQ((first + "/a.txt").c_str(), tsStepWdirs(-1, 3));
    EXPECT_STREQ((first + "/b.def").c_str(), tsStepWdirs(1, 3));
    EXPECT_EQ(nullptr, tsStepWdirs(0, 3));
    EXPECT_STREQ((second + "/c.def").c_str(), tsStepWdirsForName("c*", -1, 3));
    EXPECT_EQ(nullptr, tsStepWdirsForName("c*", 1, 3));
    EXPECT_EQ(nullptr, tsStepWdirsAlloc(1, 3));
}

TEST(SearchTest, ExecutableDirectoryThroughPath)
{
    TempDir t;
    std::string bin = t.mkdir("bin"), other = t.mkdir("other"), cwd = t.mkdir("cwd");
    t.write("bin/prog", "#!/bin/sh\n");
    t.mkdir("other/prog"); // a directory of that name is not the program
    std::string menus = t.write("bin/menus/m.def", "x");
    ScopedCwd inCwd(cwd);
    ScopedEnv wdir("WDIR", std::nullopt);
    char path[TS_PATH_SIZE];
    {
        ScopedEnv pathVar("PATH", other + ":" + bin);
        EXPECT_EQ(0, tsFindExeInPath("prog", path));
        EXPECT_EQ(bin + "/prog", path);
        EXPECT_EQ(4, tsFindExeInPath("absent", path));

        EXPECT_EQ(1, tsSetexedir("prog"));
        ASSERT_NE(nullptr, tsExeDir());
        EXPECT_EQ(bin + "/", tsExeDir());
        int r = -1;
        EXPECT_EQ(menus, getini("menus/m.def", &r));
        EXPECT_EQ(0, r);
        EXPECT_EQ(4, tsSrchExeDir("menus/", "m", "def", 2, path));
    }
    {
        ScopedEnv pathVar("PATH", "/" + std::string(300, 'p') + ":" + bin);
        EXPECT_EQ(1, tsFindExeInPath("prog", path)) << "a candidate too long";
    }
    {
        ScopedEnv pathVar("PATH", std::nullopt);
        EXPECT_EQ(7, tsFindExeInPath("prog", path));
        EXPECT_EQ(0, tsSetexedir("prog"));
        EXPECT_EQ(nullptr, tsExeDir()) << "a failed call leaves no directory set";
        EXPECT_EQ(4, tsSrchExeDir("", "prog", "", 3, path));
    }
    EXPECT_EQ(1, tsSetexedir((bin + "/prog").c_str()));
    EXPECT_EQ(bin + "/", tsExeDir());
    EXPECT_EQ(0, tsSetexedir((bin + "/absent").c_str()));
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
    char *first = tsStepWdirsAlloc(-1, 3);
    EXPECT_NE(nullptr, first);
    twStrFree(first);
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

TEST(SearchTest, NothingIsLeftForTheLeakReportsAtExit)
{
    TempDir t;
    std::string work = t.mkdir("work");
    for (const char *name : {"m.def", "a", "b", "c"}) t.write(std::string("work/") + name, "x");
    std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    twtest::ProcessResult r = twtest::runProcess({self, "--gtest_filter=SearchMemEnv.*"}, t.path(),
                                                 {"TW_MEMDBG=1", "WDIR=" + work});
    EXPECT_EQ(0, r.status) << r.out << r.err;
    EXPECT_NE(std::string::npos, r.out.find("Maximum memory usage")) << r.out;
    for (const char *tag : {"Wdir Element", "tsDirCache", "wdirFileT", "twStrBuf", "Hash"})
        EXPECT_EQ(std::string::npos, r.out.find(tag)) << tag << "\n" << r.out;
    EXPECT_EQ(std::string::npos, r.out.find(work)) << "a path left unfreed\n" << r.out;
}

} // namespace
