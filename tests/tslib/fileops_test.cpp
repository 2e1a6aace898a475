#include "tslib/fileops.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include "support/oom_sweep.h"
#include "support/process.h"
#include "tslib/path.h"

namespace {

namespace fs = std::filesystem;
using twtest::fileExists;
using twtest::TempDir;

// Sets TZ for the duration of a test and puts the old value back.
struct ScopedTz {
    std::string old = getenv("TZ") ? getenv("TZ") : "";
    bool had = getenv("TZ") != nullptr;
    explicit ScopedTz(const char *tz) { setenv("TZ", tz, 1), tzset(); }
    ~ScopedTz() { had ? setenv("TZ", old.c_str(), 1) : unsetenv("TZ"), tzset(); }
};

TEST(FileOpsTest, LocalSecondsCountLocalCalendarTimeAsIfUtc)
{
    TempDir tmp;
    std::string f = tmp.write("dated", "12345");
    for (const char *tz : {"UTC0", "EST5EDT,M3.2.0,M11.1.0", "JST-9", "NZST-12NZDT,M9.5.0,M4.1.0/3"}) {
        ScopedTz zone(tz);
        struct tm tm = {};
        tm.tm_year = 100, tm.tm_mon = 2, tm.tm_mday = 1, tm.tm_isdst = -1;  // 2000-03-01 00:00:00
        time_t when = mktime(&tm);
        struct utimbuf times = {when, when};
        ASSERT_EQ(0, utime(f.c_str(), &times));
        long t = 0, size = 0;
        int kind = 0;
        ASSERT_EQ(0, tsInfo(f.c_str(), &t, &size, &kind));
        EXPECT_EQ("951868800 5 3",
                  std::to_string(t) + " " + std::to_string(size) + " " + std::to_string(kind))
            << tz;
        EXPECT_EQ(951868800L, tsFtime(f.c_str())) << tz;
        EXPECT_EQ(static_cast<long>(when), tsFGMtime(f.c_str())) << tz;
    }
    ScopedTz utc("UTC0");
    EXPECT_EQ(-86400L, tsLocalSeconds(-86400)) << "before 1970";
    EXPECT_EQ(4107542400L, tsLocalSeconds(4107542400L)) << "2100 is no leap year";
    EXPECT_EQ(0L, tsFtime((tmp.path() + "/missing").c_str()));
}

TEST(FileOpsTest, DeleteAndRenameSayWhyTheyFailed)
{
    TempDir tmp;
    std::string ro = tmp.write("ro", "keep");
    ASSERT_EQ(0, chmod(ro.c_str(), 0444));
    EXPECT_EQ(7, tsDelete(ro.c_str(), TS_KIND_FILE)) << "no write bit: refused, also for root";
    EXPECT_TRUE(fileExists(ro));

    std::string f = tmp.write("f", "x"), d = tmp.mkdir("d"), full = tmp.mkdir("full");
    tmp.write("full/x", "x");
    EXPECT_EQ(4, tsDelete(d.c_str(), TS_KIND_FILE)) << "unlink does not remove a directory";
    EXPECT_EQ(4, tsDelete(f.c_str(), TS_KIND_DIR)) << "rmdir does not remove a file";
    EXPECT_EQ(4, tsDelete(full.c_str(), TS_KIND_DIR)) << "not empty";
    EXPECT_EQ(0, tsDelete(f.c_str(), TS_KIND_FILE) + tsDelete((d + "/").c_str(), TS_KIND_DIR));
    EXPECT_FALSE(fs::exists(f) || fs::exists(d));
    EXPECT_EQ(2, tsDelete(std::string(256, 'x').c_str(), TS_KIND_FILE));

    std::string a = tmp.write("a", "A"), b = tmp.path() + "/b";
    ASSERT_EQ(0, tsRename(a.c_str(), b.c_str()));
    EXPECT_EQ("A", twtest::readFile(b));
    EXPECT_EQ(4, tsRename(a.c_str(), b.c_str()));
    EXPECT_EQ(2, tsRename(b.c_str(), full.c_str())) << "a file over a directory";
}

TEST(FileOpsTest, CreateMakesFilesDirectoriesAndMissingParents)
{
    TempDir tmp;
    std::string f = tmp.write("f", "old content"), d = tmp.path() + "/d/";
    ASSERT_EQ(0, tsCreate(f.c_str(), TS_KIND_FILE));
    EXPECT_EQ("", twtest::readFile(f)) << "an existing file is emptied";
    EXPECT_EQ(5, tsCreate((tmp.path() + "/no/such/f").c_str(), TS_KIND_FILE));
    ASSERT_EQ(0, tsCreate(d.c_str(), TS_KIND_DIR));
    EXPECT_EQ(0, tsCreate(d.c_str(), TS_KIND_DIR)) << "an existing directory is fine";
    EXPECT_EQ(7, tsCreate(f.c_str(), TS_KIND_DIR)) << "a file stands in the way";

    std::string target = tmp.path() + "/a/b/c.txt";
    ASSERT_EQ(0, tsCreateWithPath(target.c_str(), TS_KIND_FILE));
    EXPECT_EQ("", twtest::readFile(target));
    EXPECT_EQ(5, tsCreateWithPath(target.c_str(), TS_KIND_FILE)) << "exists already";
    ASSERT_EQ(0, tsCreateWithPath((tmp.path() + "/p/q/r/").c_str(), TS_KIND_DIR));
    EXPECT_TRUE(fs::is_directory(tmp.path() + "/p/q/r"));
    EXPECT_EQ(7, tsCreateWithPath((f + "/sub/g").c_str(), TS_KIND_FILE));
    EXPECT_EQ(2, tsCreateWithPath(("/" + std::string(300, 'n')).c_str(), TS_KIND_FILE));
    // No path buffer holds 256 characters: refused whole, never cut.
    std::string longName = tmp.path() + "/" + std::string(255 - tmp.path().size(), 'n');
    EXPECT_EQ(2, tsCreate(longName.c_str(), TS_KIND_FILE));
    EXPECT_EQ(2, tsCreate(longName.c_str(), TS_KIND_DIR));
    EXPECT_FALSE(fs::exists(longName));
}

TEST(FileOpsTest, UniqueNamesAreNewEmptyFiles)
{
    TempDir tmp;
    char a[TS_PATH_SIZE], b[TS_PATH_SIZE], bad[TS_PATH_SIZE];
    std::strcpy(a, tmp.path().c_str());
    std::strcpy(b, (tmp.path() + "/").c_str());
    ASSERT_EQ(0, tsUnique(a) + tsUnique(b));
    EXPECT_STRNE(a, b);
    for (std::string s : {a, b}) {
        EXPECT_EQ(tmp.path() + "/tw", s.substr(0, s.size() - 6)) << s;
        EXPECT_TRUE(fileExists(s));
    }
    std::strcpy(bad, tmp.write("plain", "").c_str());
    EXPECT_EQ(4, tsUnique(bad));
    EXPECT_EQ(3, std::distance(fs::directory_iterator(tmp.path()), {})) << "the two unique files and 'plain'";

    // A directory of 250 characters leaves no room for the name.
    std::string deep = tmp.mkdir(std::string(249 - tmp.path().size(), 'd'));
    std::strcpy(bad, deep.c_str());
    EXPECT_EQ(2, tsUnique(bad));
    EXPECT_EQ(0, std::distance(fs::directory_iterator(deep), {}));
}

TEST(FileOpsTest, NamesAreMadeValidInBothModes)
{
    char slash[] = "a/b", empty[] = "";
    std::string big(300, 'm');
    ASSERT_EQ(0, tsMakeValidFile(slash) + tsMakeValidFile(big.data()));
    EXPECT_EQ("a$b " + std::string(255, 'm'), std::string(slash) + " " + big.c_str());
    EXPECT_EQ(2, tsMakeValidFile(empty));
    EXPECT_EQ(1, tsValidFile("any name-at all!.x"));
    EXPECT_EQ(0, tsValidFile(std::string(256, 'n').c_str()));
    EXPECT_EQ(1, tsValidSpec("/some dir/menu.def"));
    EXPECT_EQ(0, tsValidSpec("/some dir/menu")) << "no extension";

    tcZrFnamesCompatibleV = 1;  // the restricted rules
    char dashed[] = "-a.b", twelve[] = "abc+defghijk", ext[] = "t x t";
    char full[TS_PATH_SIZE] = "/x/long-name!.text", noExt[TS_PATH_SIZE] = "/x/name";
    EXPECT_EQ(0, tsMakeValidFile(dashed) + tsMakeValidFile(twelve) + tsMakeValidExt(ext) +
                     tsMakeValidSpec(full));
    EXPECT_EQ("$a$b abc$defg t$x /x/long-nam.tex",
              std::string(dashed) + " " + twelve + " " + ext + " " + full);
    EXPECT_EQ(2, tsMakeValidSpec(noExt));
    EXPECT_EQ(1, tsValidFile("Ab_$-9"));
    EXPECT_EQ(0, tsValidFile("-ab") + tsValidFile("abcdefghi") + tsValidExt("abcd"))
        << "dash first, 9 and 4 long";
    tcZrFnamesCompatibleV = 0;
}

// Making paths absolute allocates (the parts are trimmed into pool
// copies): each allocation refused in turn either changes nothing or ends
// the process through the out-of-memory protocol.
TEST(FileOpsTest, RefusedAllocationsEndCleanly)
{
    TempDir tmp;
    std::string dir = tmp.path();
    long made = twtest::sweepAllocationFailures(
        [&dir] {
            char target[TS_PATH_SIZE], unique[TS_PATH_SIZE], spec[TS_PATH_SIZE] = "/x/a b.text";
            std::snprintf(target, sizeof target, "%s/a/b/c.txt", dir.c_str());
            std::strcpy(unique, dir.c_str());
            tsDelete(target, TS_KIND_FILE);  // left by a run that ran out of memory
            int r = tsCreateWithPath(target, TS_KIND_FILE) + tsUnique(unique) + tsMakeValidSpec(spec);
            int gone = tsDelete(target, TS_KIND_FILE) + tsDelete(unique, TS_KIND_FILE);
            char found[TS_PATH_SIZE];
            int again = tsExists2(target, TS_KIND_ANY, found);
            std::printf("%d %d %d %s\n", r, gone, again, spec);
        },
        [](const twtest::ForkResult &r) { EXPECT_EQ("0 0 4 /x/a b.text\n", r.out); });
    EXPECT_GT(made, 0);
}

}  // namespace
