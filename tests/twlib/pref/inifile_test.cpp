/* inifile_test.cpp - reading ini files into a database and rewriting them. */
#include "twlib/pref/inifile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/oom_sweep.h"
#include "support/raised.h"
#include "twlib/core/mem.h"
#include "twlib/err/error.h"
#include "twlib/pref/options.h"

namespace {

std::string scratchDir()
{
    static int n;
    std::string dir = testing::TempDir() + "ini" + std::to_string(getpid()) + "_" + std::to_string(++n);
    mkdir(dir.c_str(), 0755);
    return dir;
}

std::string writeFile(const std::string &path, const std::string &text)
{
    std::ofstream(path) << text;
    return path;
}

std::string readFile(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool exists(const std::string &path)
{
    return access(path.c_str(), F_OK) == 0;
}

twTypedata num(long v)
{
    return twTypeLongToTypedata(v);
}

twTypedata str(const char *s)
{
    return twTypePtrToTypedata(const_cast<char *>(s));
}

int collect(void *arg, const char *line)
{
    static_cast<std::vector<std::string> *>(arg)->push_back(line);
    return std::string(line) != "stop";
}

class IniFileTest : public ::testing::Test {
protected:
    std::string dir = scratchDir();
    twPrefDB *db = nullptr;
    void SetUp() override
    {
        db = twPrefCreate("View");
        twTypedata w = num(80), z = num(0), t = str("plain");
        twPrefAdd(db, "width", &twIntTS, "", &w);
        twPrefAdd(db, "depth", &twIntTS, "", &z);
        twPrefAdd(db, "title", &twStringTS, "", &t);
        twPrefAdd(db, "wrap", &twOnOffTS, "", &z);
    }
    void TearDown() override { twPrefDestroy(db); }
};

TEST_F(IniFileTest, ReadAppliesItsLinesAndHandsOverTheOthers)
{
    std::string path = writeFile(dir + "/a.ini", "| a comment\n"
                                                 "view.width 72   | the writer's own form\n"
                                                 "depth 3\n"
                                                 "other.width 10\n"
                                                 "view.nosuch 1\n"
                                                 "  view.title  two words \n");
    twPrefOption *depth = twPref_FindOption(db, "depth");
    depth->flags |= TW_PREF_BY_COMMAND;
    std::vector<std::string> lines;
    EXPECT_EQ(1, twPrefReadIniFile(db, path.c_str(), collect, &lines));
    EXPECT_EQ(72, twPrefVal(db, "width").l) << "blanks before the bar are no part of the value";
    EXPECT_EQ(0, twPrefVal(db, "depth").l) << "set on the command line";
    EXPECT_STREQ("two words", static_cast<char *>(twPrefVal(db, "title").p));
    EXPECT_EQ((std::vector<std::string>{"| a comment", "depth 3", "other.width 10", "view.nosuch 1"}), lines);

    std::string stop = writeFile(dir + "/b.ini", "x\nstop\nview.width 5\n");
    lines.clear();
    EXPECT_EQ(0, twPrefReadIniFile(db, stop.c_str(), collect, &lines));
    EXPECT_EQ(72, twPrefVal(db, "width").l) << "reading stopped before the line";
    EXPECT_EQ(
        1, twPrefReadIniFile(db, stop.c_str(),
                             reinterpret_cast<twPrefUnknownLineFn>(reinterpret_cast<void (*)()>(twDummyProc)),
                             nullptr));
    EXPECT_EQ(5, twPrefVal(db, "width").l);
    EXPECT_EQ(0, twPrefReadIniFile(db, (dir + "/none.ini").c_str(), nullptr, nullptr));

    std::string bad = writeFile(dir + "/c.ini", "view.width wide\n");
    EXPECT_EQ(1400, twtest::raised([&] { twPrefReadIniFile(db, bad.c_str(), nullptr, nullptr); }).number);
}

TEST_F(IniFileTest, RewriteKeepsCommentColumnsAndAppendsChangedOptions)
{
    std::string path = writeFile(dir + "/view.ini", "| settings\n"
                                                    "   view.width 72      | columns\n"
                                                    "depth 1 | short\n"
                                                    "other.width 10\n"
                                                    "\n");
    twTypedata w = num(100), d = num(123456789);
    twPrefSetval(db, "width", &w);
    twPrefSetval(db, "depth", &d);
    twTypedata on = num(1);
    twPrefSetval(db, "wrap", &on);
    twPrefCompatible(db, "wrap", 0);
    EXPECT_EQ(1, twPrefWriteIniFile(db, path.c_str(), 1));
    EXPECT_EQ("| settings\n"
              "View.width 100     | columns\n"
              "depth 123456789| short\n"
              "other.width 10\n"
              "\n"
              "|5.0 View.wrap On\n",
              readFile(path));
    EXPECT_FALSE(exists(path + ".tmp"));

    // Options that kept their default are not appended; without qualify no
    // prefix.
    std::string fresh = dir + "/fresh.ini";
    twPrefCompatible(db, "wrap", 1);
    EXPECT_EQ(1, twPrefWriteIniFile(db, fresh.c_str(), 0));
    EXPECT_EQ("width 100\ndepth 123456789\nwrap On\n", readFile(fresh));
}

TEST_F(IniFileTest, WrittenFilesReadBackToTheSameValues)
{
    twPrefDB *round = twPrefCreate("Round");
    twTypedata z = num(0), f = twTypePtrToTypedata(nullptr), none = twTypePtrToTypedata(nullptr);
    twPrefAdd(round, "count", &twIntTS, "", &z);
    twPrefAdd(round, "ratio", &twFloatTS, "", &f);
    twPrefAdd(round, "name", &twStringTS, "", &none);
    twPrefAdd(round, "mode", &twYesNoTS, "", &z);
    twPrefAdd(round, "big", &twInt64TS, "", &f);
    twTypedata c = num(-42), n = str("two words"), y = num(1);
    double *r = twTypeAllocDouble(2.5);
    twInt64 *b = twTypeAllocInt64(-9000000000000LL);
    twTypedata rv = twTypePtrToTypedata(r), bv = twTypePtrToTypedata(b);
    twPrefSetval(round, "count", &c);
    twPrefSetval(round, "ratio", &rv);
    twPrefSetval(round, "name", &n);
    twPrefSetval(round, "mode", &y);
    twPrefSetval(round, "big", &bv);
    std::string path = writeFile(dir + "/round.ini", "round.count 1    | a comment that the writer keeps\n");
    ASSERT_EQ(1, twPrefWriteIniFile(round, path.c_str(), 1));
    twPrefDestroy(round);

    round = twPrefCreate("Round");
    twPrefAdd(round, "count", &twIntTS, "", &z);
    twPrefAdd(round, "ratio", &twFloatTS, "", &f);
    twPrefAdd(round, "name", &twStringTS, "", &none);
    twPrefAdd(round, "mode", &twYesNoTS, "", &z);
    twPrefAdd(round, "big", &twInt64TS, "", &f);
    ASSERT_EQ(1, twPrefReadIniFile(round, path.c_str(), nullptr, nullptr)) << readFile(path);
    EXPECT_EQ(-42, twPrefVal(round, "count").l) << readFile(path);
    EXPECT_EQ(2.5, *static_cast<double *>(twPrefVal(round, "ratio").p));
    EXPECT_STREQ("two words", static_cast<char *>(twPrefVal(round, "name").p));
    EXPECT_EQ(1, twPrefVal(round, "mode").l);
    EXPECT_EQ(-9000000000000LL, *static_cast<twInt64 *>(twPrefVal(round, "big").p));
    twTypeFreeDouble(r);
    twTypeFreeInt64(b);
    twPrefDestroy(round);
}

TEST_F(IniFileTest, WithoutADatabaseEveryRegisteredDatabaseIsWritten)
{
    twPrefDB *other = twPrefCreate("Other");
    twTypedata z = num(0), five = num(5), seven = num(7);
    twPrefAdd(other, "depth", &twIntTS, "", &z);
    twPrefAdd(other, "fresh", &twIntTS, "", &z);
    twPrefSetval(other, "depth", &five);
    twPrefSetval(other, "fresh", &seven);
    twPrefSetval(db, "depth", &seven);
    std::string path = writeFile(dir + "/all.ini", "view.depth 1\r\ndepth 2\r\nother.depth 3  | c\r\n");
    EXPECT_EQ(1, twPrefWriteIniFile(nullptr, path.c_str(), 1));
    std::string text = readFile(path);
    EXPECT_NE(std::string::npos, text.find("View.depth 7\ndepth 2\nOther.depth 5  | c\n")) << text;
    EXPECT_NE(std::string::npos, text.find("Other.fresh 7\n")) << text;
    EXPECT_EQ(std::string::npos, text.find("Other.depth 5\n")) << "written once: " << text;
    twPrefDestroy(other);
}

// The rename of the temporary file over the old one used to go unchecked:
// the call said it had written the file and left the temporary one behind.
TEST_F(IniFileTest, AFailedWriteLeavesTheOldFileAndNoTemporaryFile)
{
    twTypedata w = num(64);
    twPrefSetval(db, "width", &w);

    // The file's place is taken by a directory: the rename fails.
    std::string taken = dir + "/taken.ini";
    mkdir(taken.c_str(), 0755);
    testing::internal::CaptureStderr();
    EXPECT_EQ(0, twPrefWriteIniFile(db, taken.c_str(), 1));
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, err.find("taken.ini")) << "the failure is reported: " << err;
    EXPECT_FALSE(exists(taken + ".tmp"));

    // No temporary file can be made in a directory that is not there.
    testing::internal::CaptureStderr();
    EXPECT_EQ(0, twPrefWriteIniFile(db, (dir + "/none/view.ini").c_str(), 1));
    EXPECT_NE(std::string::npos, testing::internal::GetCapturedStderr().find("none/view.ini"));
}

// A directory that may not be written: no temporary file can be made, and
// the file there keeps its contents.
TEST_F(IniFileTest, AFileInADirectoryThatMayNotBeWrittenKeepsItsContents)
{
    twTypedata w = num(64);
    twPrefSetval(db, "width", &w);
    std::string locked = dir + "/locked";
    mkdir(locked.c_str(), 0755);
    std::string old = writeFile(locked + "/view.ini", "view.width 1\n");
    chmod(locked.c_str(), 0555);
    if (access(locked.c_str(), W_OK) == 0) {
        chmod(locked.c_str(), 0755);
        GTEST_SKIP() << "running with rights that ignore permissions";
    }
    testing::internal::CaptureStderr();
    EXPECT_EQ(0, twPrefWriteIniFile(db, old.c_str(), 1));
    EXPECT_FALSE(testing::internal::GetCapturedStderr().empty());
    EXPECT_EQ("view.width 1\n", readFile(old));
    chmod(locked.c_str(), 0755);
}

void raisingPrint(void *, twTypeEmitFn, void *)
{
    twExThrow2(TW_EX_USER2, "test", 0, "cannot print");
}
void *sameValue(void *value)
{
    return value;
}
void keepValue(void *) {}

TEST_F(IniFileTest, AnExceptionWhileWritingRemovesTheTemporaryFile)
{
    static const twTypePointer3Params params = {raisingPrint, sameValue, keepValue, nullptr};
    twTypeSpec spec = {"raisingVT", &twPointer3TB, const_cast<twTypePointer3Params *>(&params), 1};
    static int thing;
    twTypedata v = twTypePtrToTypedata(&thing);
    twPrefAdd(db, "thing", &spec, "", &v);
    twPrefSetval(db, "thing", &v);
    std::string path = writeFile(dir + "/raise.ini", "view.width 1\n");
    EXPECT_EQ(uint32_t{TW_EX_USER2}, twtest::raised([&] { twPrefWriteIniFile(db, path.c_str(), 1); }).tag);
    EXPECT_EQ("view.width 1\n", readFile(path));
    EXPECT_FALSE(exists(path + ".tmp"));
    // The writer's marks are gone: a later write appends the option again.
    twPrefReplace(db, "thing", &twIntTS, "", &v);
    twTypedata two = num(2);
    twPrefSetval(db, "thing", &two);
    EXPECT_EQ(1, twPrefWriteIniFile(db, path.c_str(), 0));
    EXPECT_EQ("View.width 80\nthing 2\n", readFile(path));
}

// Whatever allocation fails while the file is written, the file holds
// either all of the old text or all of the new.
TEST_F(IniFileTest, RunningOutOfMemoryWhileWritingNeverLeavesAHalfWrittenFile)
{
    const std::string oldText = "| keep me\nview.width 72   | columns\nview.title old\n";
    std::string path = dir + "/oom.ini";
    twTypedata w = num(99), t = str("a new title");
    twPrefSetval(db, "width", &w);
    twPrefSetval(db, "title", &t);
    auto work = [&] {
        if (!twPrefWriteIniFile(db, path.c_str(), 1)) _exit(9);
    };
    writeFile(path, oldText);
    twtest::ForkResult clean = twtest::runForked(work);
    ASSERT_EQ(0, clean.status) << clean.err;
    const std::string newText = readFile(path);
    ASSERT_NE(oldText, newText);
    ASSERT_GT(clean.allocations, 0);
    for (long k = 1; k <= clean.allocations; ++k) {
        writeFile(path, oldText);
        twtest::ForkResult r = twtest::runForked(work, k, true);
        std::string now = readFile(path);
        EXPECT_TRUE(now == oldText || now == newText) << "allocation " << k << ":\n" << now;
        EXPECT_TRUE(r.status == 0 || r.status == 3) << "allocation " << k << ": " << r.err;
    }
}

TEST(IniLineTest, LinesAreTakenApartByTheirWords)
{
    twPrefIniLine l;
    ASSERT_EQ(1, twPref_ParseIniLine("Edit.Width 72 | c", &l));
    EXPECT_STREQ("edit", l.database);
    EXPECT_STREQ("width", l.option);
    EXPECT_STREQ("72 | c", l.value);
    ASSERT_EQ(1, twPref_ParseIniLine("|5.0 \t width", &l));
    EXPECT_STREQ(TW_PREF_GLOBAL, l.database);
    EXPECT_STREQ("", l.value);
    EXPECT_EQ(1, l.marked);
    EXPECT_EQ(0, twPref_ParseIniLine("|5.01 width 3", &l));
    EXPECT_EQ(0, twPref_ParseIniLine("|5.0", &l));
    EXPECT_EQ(0, twPref_ParseIniLine("", &l));
    EXPECT_EQ(0, twPref_ParseIniLine(".width 3", &l));
    EXPECT_EQ(0, twPref_ParseIniLine("edit. 3", &l));
    std::string longName(81, 'n');
    EXPECT_EQ(0, twPref_ParseIniLine((longName + ".x 1").c_str(), &l));
    EXPECT_EQ(0, twPref_ParseIniLine(("x." + longName + " 1").c_str(), &l));
    EXPECT_EQ(1, twPref_ParseIniLine(("x." + longName.substr(1) + " 1").c_str(), &l));
}

}  // namespace
