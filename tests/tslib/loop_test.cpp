// Loops over the working directories and over directory entries, and what
// their callbacks may do to the list and the listing cache meanwhile. Run
// under AddressSanitizer, a loop that touches what its callback freed fails.
#include <gtest/gtest.h>

#include <csetjmp>
#include <cstdio>
#include <filesystem>
#include <string>

#include "search_fixture.h"
#include "support/child.h"
#include "support/oom_sweep.h"
#include "tslib/loop.h"
#include "twlib/core/exit.h"
#include "twlib/regexp/regexp.h"

namespace {

using namespace twtest;

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

// What a working-directory loop callback saw; on call 'clearAt' it clears
// the list and has it rebuilt at once, so that freed elements are reused.
struct Clearing {
    Strings seen;
    size_t clearAt = 1;
    bool viaVersion = false;  // tsWdirSetCompatibleVersion instead of a reset
    int result = 1;           // returned by the clearing call
};

int clearing(void *arg, const char *path)
{
    auto *c = static_cast<Clearing *>(arg);
    c->seen.emplace_back();
    if (c->seen.size() != c->clearAt) {
        c->seen.back() = path;
        return 1;
    }
    c->viaVersion ? tsWdirSetCompatibleVersion("") : tsResetWdirCache();
    char found[TS_PATH_SIZE];
    tsGetini("absent.def", found);
    c->seen.back() = path;  // still readable: the loop passed a copy
    return c->result;
}

Clearing *plainClearing;
int clearingPlain(const char *path)
{
    return clearing(plainClearing, path);
}

// A callback that cleared the list used to send the loop on through the
// element the clearing had just freed (heap-use-after-free).
TEST_F(SearchTest, WorkingDirectoryLoopsEndWhenTheCallbackClearsTheList)
{
    std::string a = t.mkdir("a"), b = t.mkdir("b"), c = t.mkdir("c");
    setWdir((a + ":" + b + ":" + c).c_str());
    Clearing first;
    EXPECT_EQ(1, tsLoopWdirs2(clearing, &first));
    EXPECT_EQ(Strings{a}, first.seen);

    Clearing second;
    second.clearAt = 2;
    plainClearing = &second;
    EXPECT_EQ(1, tsLoopwdirs(clearingPlain));
    EXPECT_EQ((Strings{a, b}), second.seen);

    Clearing search;
    search.clearAt = 3;
    EXPECT_EQ(1, tsWdirLoopSrchdirs2(clearing, &search));
    EXPECT_EQ((Strings{"532/", ".", a + "/532/"}), search.seen);
    for (size_t at : {1, 2}) {
        Clearing early;
        early.clearAt = at;
        EXPECT_EQ(1, tsWdirLoopSrchdirs2(clearing, &early)) << at;
        EXPECT_EQ(at, early.seen.size()) << "the version directory and \".\" too";
    }

    Clearing version;
    version.viaVersion = true;
    version.result = 0;
    EXPECT_EQ(0, tsWdirLoopSrchdirs2(clearing, &version)) << "the callback's 0 still counts";
    EXPECT_EQ((Strings{".", a, b, c}), searchDirs()) << "the next loop walks the rebuilt list";
}

// Callbacks get copies, and a loop whose listing is dropped or replaced
// under it goes on after the last name it handed out.
TEST_F(SearchTest, DirectoryLoopsGoOnAfterTheLastNameWhenTheListingChanges)
{
    const std::string d = t.mkdir("cwd/list");
    for (const char *name : {"b", "d", "f"}) t.write(std::string("cwd/list/") + name, "x");
    struct Change {
        std::string dir;
        Strings seen;
        bool reset;
    };
    auto change = [](const char *p, void *arg) {
        auto *c = static_cast<Change *>(arg);
        if (c->seen.empty()) {
            for (const char *name : {"a", "c"}) fclose(fopen((c->dir + "/" + name).c_str(), "w"));
            std::filesystem::remove(c->dir + "/d");
            if (c->reset) tsResetWdirCache();
        }
        c->seen.push_back(p);
        return 1;
    };
    Change kept{d, {}, false};
    EXPECT_EQ(0, tsLoop2((d + "/*").c_str(), 4, change, &kept));
    EXPECT_EQ((Strings{d + "/b", d + "/d", d + "/f"}), kept.seen) << "the listing as it was";
    std::filesystem::remove(d + "/a");
    std::filesystem::remove(d + "/c");
    t.write("cwd/list/d", "x");
    Change reread{d, {}, true};
    EXPECT_EQ(0, tsLoop2((d + "/*").c_str(), 4, change, &reread));
    EXPECT_EQ((Strings{d + "/b", d + "/c", d + "/f"}), reread.seen) << "after b, as it is now";

    // The texts handed to a callback stay readable after it dropped the cache.
    auto each = [](void *arg, const char *dir, const char *name, long, long size, int kind) {
        tsResetWdirCache();
        static_cast<Strings *>(arg)->push_back(std::string(dir) + name + " " + std::to_string(size) + " " +
                                               std::to_string(kind));
        return 1;
    };
    Strings listed;
    EXPECT_EQ(4, tsDirForEachFile(d.c_str(), nullptr, 4, each, &listed));
    EXPECT_EQ((Strings{d + "/a 0 3", d + "/b 1 3", d + "/c 0 3", d + "/f 1 3"}), listed);
    EXPECT_EQ(1, tsDirForEachFile((d + "/b").c_str(), "nothing", 2, each, &listed)) << "a file: one call";
    EXPECT_EQ(d + "/b 1 3", listed.back());
    EXPECT_EQ(-1, tsDirForEachFile((d + "/missing").c_str(), nullptr, 4, each, &listed));

    twRegexpT *re = twRegexpCompile("^[bf]$");
    auto onMatch = [](const char *, void *arg, const twRegexpMatch *m) {
        tsResetWdirCache();
        static_cast<Strings *>(arg)->push_back(std::string(m->start[0], m->end[0]));
        return 1;
    };
    Strings matched;
    EXPECT_EQ(0, tsLoopRegexp((d + "/").c_str(), 3, re, onMatch, &matched));
    EXPECT_EQ((Strings{"b", "f"}), matched);
    twRegexpDestroy(re);
}

// A raise caught outside a loop leaves it non-locally, as this jump does.
// The loop holds nothing, so once the cache is dropped nothing of it is
// left for the leak reports at exit (a loop that kept its listing until it
// returned used to leave that listing behind for good).
std::jmp_buf jumpOut;
TEST(LoopChildEnv, Run)
{
    CHILD_ONLY();
    for (const char *name : {"a", "b"}) fclose(fopen(name, "w"));
    auto leave = [](const char *, void *) -> int { std::longjmp(jumpOut, 1); };
    if (setjmp(jumpOut) == 0) {
        tsLoop2("*", 4, leave, nullptr);
        ADD_FAILURE() << "the callback jumps";
    }
    tsResetWdirCache();
    printf("%d\n", tsLoop2("*", 4, kCountOnly, nullptr));
    fflush(nullptr);
    twExit(0);
}
TW_CHILD_SUITE(LoopChildEnv);

TEST(LoopTest, ALoopLeftByAJumpLeavesNothingBehind)
{
    ProcessResult r = runChild("LoopChildEnv.Run", "jump", {"TW_MEMDBG=1"});
    EXPECT_EQ(0, r.status) << r.out << r.err;
    EXPECT_NE(std::string::npos, r.out.find("\n0\n")) << "the directory is listed again\n" << r.out;
    EXPECT_NE(std::string::npos, r.out.find("Maximum memory usage")) << r.out;
    EXPECT_EQ(std::string::npos, r.out.find("tsDirCache")) << r.out;
}

TEST_F(SearchTest, RefusedAllocationsWhileListingADirectoryEndCleanly)
{
    for (const char *name : {"a", "b", "c"}) t.write(std::string("cwd/") + name, "x");
    t.mkdir("cwd/sub");
    long made = sweepAllocationFailures(
        [] {
            tsResetWdirCache();
            int n = 0;
            int r = tsLoop2(
                "*", 3, [](const char *, void *a) { return ++*static_cast<int *>(a); }, &n);
            printf("%d %d %d\n", r, n, tsDirForEachFile(".", "?", 4, nullptr, nullptr));
        },
        [](const ForkResult &r) { EXPECT_EQ("0 3 3\n", r.out); });
    EXPECT_GT(made, 0);
}

}  // namespace
