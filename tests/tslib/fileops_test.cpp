#include "tslib/fileops.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include "support/process.h"
#include "tslib/path.h"

namespace {

using twtest::fileExists;
using twtest::TempDir;

bool isDir(const std::string &p)
{
    struct stat st;
    return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

size_t entryCount(const std::string &dir)
{
    size_t n = 0;
    for (auto it = std::filesystem::directory_iterator(dir); it != std::filesystem::directory_iterator(); ++it) n++;
    return n;
}

// Sets TZ for the duration of a test and puts the old value back.
struct ScopedTz {
    std::string old = getenv("TZ") ? getenv("TZ") : "";
    bool had = getenv("TZ") != nullptr;
    explicit ScopedTz(const char *tz) { setenv("TZ", tz, 1), tzset(); }
    ~ScopedTz() { had ? setenv("TZ", old.c_str(), 1) : unsetenv("TZ"), tzset(); }
};

// Switches the restricted file-name rules on for one test.
struct RestrictedNames {
    RestrictedNames() { tcZrFnamesCompatibleV = 1; }
    ~RestrictedNames() { tcZrFnamesCompatibleV = 0; }
};

TEST(FileOpsTest, LocalSecondsCountLocalCalendarTimeAsIfUtc)
{
    TempDir tmp;
    std::string f = tmp.write("dated", "12345");
    for (const char *tz : {"UTC0", "EST5EDT,M3.2.0,M11.1.0", "JST-9", "NZST-12NZDT,M9.5.0,M4.1.0/3"}) {
        ScopedTz zone(tz);
        struct tm tm = {};
        tm.tm_year = 100, tm.tm_mon = 2, tm.tm_mday = 1, tm.tm_isdst = -1; // 2000-03-01 00:00:00
        time_t when = mktime(&tm);
        struct utimbuf times = {when, when};
        ASSERT_EQ(0, utime(f.c_str(), &times));
        long t = 0, size = 0;
        int kind = 0;
        ASSERT_EQ(0, tsInfo(f.c_str(), &t, &size, &kind));
        EXPECT_EQ(951868800L, t) << tz;
        EXPECT_EQ(5L, size);
        EXPECT_EQ(TS_KIND_FILE, kind);
        EXPECT_EQ(951868800L, tsFtime(f.c_str())) << tz;
        EXPECT_EQ(static_cast<long>(when), tsFGMtime(f.c_str())) << tz;
    }
    ScopedTz utc("UTC0");
    EXPECT_EQ(-86400L, tsLocalSeconds(-86400)) << "before 1970";
    EXPECT_EQ(4107542400L, tsLocalSeconds(4107542400L)) << "2100 is no leap year";
    EXPECT_EQ(0L, tsFtime((tmp.path() + "/missing").c_str()));
}

TEST(FileOpsTest, ExistenceAndKinds)
{
    TempDir tmp;
    std::string f = tmp.write("f.txt", ""), d = tmp.mkdir("d"), none = tmp.path() + "/none";
    int kind = 0;
    ASSERT_EQ(0, tsInfo(d.c_str(), nullptr, nullptr, &kind));
    EXPECT_EQ(TS_KIND_DIR, kind);
    EXPECT_EQ(0, tsExists(f.c_str(), TS_KIND_FILE));
    EXPECT_EQ(4, tsExists(f.c_str(), TS_KIND_DIR));
    EXPECT_EQ(0, tsExists(d.c_str(), TS_KIND_ANY));
    EXPECT_EQ(4, tsExists(none.c_str(), TS_KIND_ANY));
    EXPECT_EQ(1, tsFexists(f.c_str()));
    EXPECT_EQ(0, tsFexists(d.c_str()));
    char out[TS_PATH_SIZE] = "unchanged";
    EXPECT_EQ(4, tsExists2(d.c_str(), TS_KIND_FILE, out));
    EXPECT_STREQ("unchanged", out);
    ASSERT_EQ(0, tsExists2((d + "/../f.txt").c_str(), TS_KIND_FILE, out));
    EXPECT_EQ(f, out) << "the absolute, cleaned form";
}

TEST(FileOpsTest, DeleteAndRename)
{
    TempDir tmp;
    std::string ro = tmp.write("ro", "keep");
    ASSERT_EQ(0, chmod(ro.c_str(), 0444));
    EXPECT_EQ(7, tsDelete(ro.c_str(), TS_KIND_FILE)) << "no write bit: refused, also for root";
    EXPECT_TRUE(fileExists(ro));

    std::string f = tmp.write("f", "x"), d = tmp.mkdir("d");
    tmp.write("full/x", "x");
    EXPECT_EQ(4, tsDelete(d.c_str(), TS_KIND_FILE)) << "unlink does not remove a directory";
    EXPECT_EQ(4, tsDelete(f.c_str(), TS_KIND_DIR)) << "rmdir does not remove a file";
    EXPECT_EQ(4, tsDelete((tmp.path() + "/full").c_str(), TS_KIND_DIR)) << "not empty";
    EXPECT_EQ(0, tsDelete(f.c_str(), TS_KIND_FILE));
    EXPECT_EQ(4, tsDelete(f.c_str(), TS_KIND_FILE)) << "already gone";
    EXPECT_EQ(0, tsDelete((d + "/").c_str(), TS_KIND_DIR));
    EXPECT_FALSE(isDir(d));
    EXPECT_EQ(2, tsDelete(std::string(256, 'x').c_str(), TS_KIND_FILE));

    std::string a = tmp.write("a", "A"), b = tmp.path() + "/b";
    ASSERT_EQ(0, tsRename(a.c_str(), b.c_str()));
    EXPECT_EQ("A", twtest::readFile(b));
    EXPECT_EQ(4, tsRename(a.c_str(), b.c_str()));
    EXPECT_EQ(2, tsRename(b.c_str(), (tmp.path() + "/full").c_str())) << "a file over a directory";
}

TEST(FileOpsTest, CreateFilesAndDirectories)
{
    TempDir tmp;
    std::string f = tmp.write("f", "old content");
    ASSERT_EQ(0, tsCreate(f.c_str(), TS_KIND_FILE));
    EXPECT_EQ("", twtest::readFile(f)) << "an existing file is emptied";
    std::string longName = tmp.path() + "/a_name_of_twenty_chars";
    ASSERT_EQ(0, tsCreate(longName.c_str(), TS_KIND_FILE));
    EXPECT_TRUE(fileExists(longName)) << "a long name on a file system that keeps it";
    EXPECT_EQ(5, tsCreate((tmp.path() + "/no/such/f").c_str(), TS_KIND_FILE));

    std::string d = tmp.path() + "/d/";
    ASSERT_EQ(0, tsCreate(d.c_str(), TS_KIND_DIR));
    EXPECT_EQ(0, tsCreate(d.c_str(), TS_KIND_DIR)) << "an existing directory is fine";
    EXPECT_EQ(7, tsCreate(f.c_str(), TS_KIND_DIR)) << "a file stands in the way";
    EXPECT_EQ(7, tsCreate((tmp.path() + "/x/y").c_str(), TS_KIND_DIR));

    std::string target = tmp.path() + "/a/b/c.txt";
    ASSERT_EQ(0, tsCreateWithPath(target.c_str(), TS_KIND_FILE));
    EXPECT_TRUE(isDir(tmp.path() + "/a/b"));
    EXPECT_EQ("", twtest::readFile(target));
    EXPECT_EQ(5, tsCreateWithPath(target.c_str(), TS_KIND_FILE)) << "exists already";
    std::string dir = tmp.path() + "/p/q/r/";
    ASSERT_EQ(0, tsCreateWithPath(dir.c_str(), TS_KIND_DIR));
    EXPECT_TRUE(isDir(dir));
    EXPECT_EQ(7, tsCreateWithPath((f + "/sub/g").c_str(), TS_KIND_FILE));
    EXPECT_EQ(2, tsCreateWithPath(("/" + std::string(300, 'n')).c_str(), TS_KIND_FILE));
}

TEST(FileOpsTest, UniqueNamesAreNewEmptyFiles)
{
    TempDir tmp;
    char a[TS_PATH_SIZE], b[TS_PATH_SIZE], bad[TS_PATH_SIZE];
    std::strcpy(a, tmp.path().c_str());
    std::strcpy(b, (tmp.path() + "/").c_str());
    ASSERT_EQ(0, tsUnique(a));
    ASSERT_EQ(0, tsUnique(b));
    EXPECT_STRNE(a, b);
    for (std::string s : {a, b}) {
        EXPECT_EQ(tmp.path() + "/tw", s.substr(0, tmp.path().size() + 3));
        EXPECT_EQ(tmp.path().size() + 9, s.size()) << s;
        EXPECT_TRUE(fileExists(s));
    }
    std::strcpy(bad, tmp.write("plain", "").c_str());
    EXPECT_EQ(4, tsUnique(bad));
    EXPECT_EQ(3u, entryCount(tmp.path())) << "the two unique files and 'plain'";

    // A directory of 250 characters leaves no room for the name.
    std::string rel(20, 'd');
    while (tmp.path().size() + rel.size() + 32 < 250) rel += "/" + std::string(30, 'd');
    rel += "/" + std::string(250 - tmp.path().size() - 2 - rel.size(), 'e');
    std::string deep = tmp.mkdir(rel);
    ASSERT_EQ(250u, deep.size());
    std::strcpy(bad, deep.c_str());
    EXPECT_EQ(2, tsUnique(bad));
    EXPECT_EQ(0u, entryCount(deep));
}

TEST(FileOpsTest, NameValidity)
{
    EXPECT_EQ(1, tsValidFile("any name-at all!.x"));
    EXPECT_EQ(0, tsValidFile("a/b"));
    EXPECT_EQ(0, tsValidFile(std::string(256, 'n').c_str()));
    char slash[] = "a/b", empty[] = "";
    ASSERT_EQ(0, tsMakeValidFile(slash));
    EXPECT_STREQ("a$b", slash);
    EXPECT_EQ(2, tsMakeValidFile(empty));
    std::string big(300, 'm');
    ASSERT_EQ(0, tsMakeValidFile(big.data()));
    EXPECT_EQ(std::string(255, 'm'), big.c_str());
    EXPECT_EQ(1, tsValidSpec("/some dir/menu.def"));
    EXPECT_EQ(0, tsValidSpec("/some dir/menu")) << "no extension";

    RestrictedNames restricted;
    char dashed[] = "-a.b", twelve[] = "abc+defghijk", ext[] = "t x t";
    ASSERT_EQ(0, tsMakeValidFile(dashed));
    EXPECT_STREQ("$a$b", dashed);
    ASSERT_EQ(0, tsMakeValidFile(twelve));
    EXPECT_STREQ("abc$defg", twelve);
    ASSERT_EQ(0, tsMakeValidExt(ext));
    EXPECT_STREQ("t$x", ext);
    EXPECT_EQ(1, tsValidFile("Ab_$-9"));
    EXPECT_EQ(0, tsValidFile("-ab"));
    EXPECT_EQ(0, tsValidFile("abcdefghi"));
    EXPECT_EQ(0, tsValidExt("abcd"));
    char spec[TS_PATH_SIZE] = "/x/long-name!.text", noExt[TS_PATH_SIZE] = "/x/name";
    ASSERT_EQ(0, tsMakeValidSpec(spec));
    EXPECT_STREQ("/x/long-nam.tex", spec);
    EXPECT_EQ(2, tsMakeValidSpec(noExt));
}

TEST(FileOpsTest, MessageFileIsOpenedOnceUnderTslib)
{
    twMsgFileHandle *h = tsMsgFile();
    EXPECT_EQ(h, tsMsgFile());
    EXPECT_STREQ("tslib", twMsgGetFilename(h));
    EXPECT_STREQ("tslib", twMsgGetOwner(h));
}

} // namespace
