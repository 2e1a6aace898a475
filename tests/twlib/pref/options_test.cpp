/* options_test.cpp - options from the command line and ini files, usage. */
#include "twlib/pref/options.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "support/oom_sweep.h"
#include "support/raised.h"
#include "twlib/err/errlog.h"
#include "twlib/err/report.h"
#include "twlib/pref/inifile.h"

namespace {

using twtest::Raised;
using twtest::raised;

// A vector of arguments the calls may reorder and shorten.
struct Args {
    std::vector<std::string> text;
    std::vector<char *> argv;
    int argc;
    explicit Args(std::vector<std::string> words) : text(std::move(words))
    {
        for (auto &w : text) argv.push_back(w.data());
        argv.push_back(nullptr);
        argc = static_cast<int>(text.size());
    }
    std::vector<std::string> left() const
    {
        std::vector<std::string> out;
        for (int i = 0; i < argc; ++i) out.push_back(argv[i]);
        return out;
    }
};

// A fresh directory for the ini files of one test; every ini file is read
// once per process, so each test writes files of its own.
std::string scratchDir()
{
    static int n;
    std::string dir = testing::TempDir() + "opt" + std::to_string(getpid()) + "_" + std::to_string(++n);
    mkdir(dir.c_str(), 0755);
    return dir;
}

std::string writeFile(const std::string &dir, const std::string &name, const std::string &text)
{
    std::string path = dir + "/" + name;
    std::ofstream(path) << text;
    return path;
}

twTypedata num(long v)
{
    return twTypeLongToTypedata(v);
}

class OptionsTest : public ::testing::Test {
protected:
    twPrefDB *edit = nullptr;
    void SetUp() override
    {
        twPrefSetShorthand("edit");
        edit = twPrefCreate("Edit");
        twTypedata w = num(72), off = num(0);
        twPrefAdd(edit, "width", &twIntTS, "line width", &w);
        twPrefAdd(edit, "Wrap", &twOnOffTS, "wrap long lines", &off);
    }
    void TearDown() override { twPrefDestroy(edit); }
};

TEST_F(OptionsTest, CommandLineTakesWhatItKnowsAndLeavesTheRest)
{
    Args a({"prog", "-width", "80", "file", "-nosuch", "3", "-Edit.Wrap", "-other.x", "1"});
    EXPECT_EQ(1, twPrefParse(nullptr, &a.argc, a.argv.data()));
    EXPECT_EQ((std::vector<std::string>{"prog", "file", "-nosuch", "3", "-other.x", "1"}), a.left());
    EXPECT_EQ(nullptr, a.argv[a.argc]);
    EXPECT_EQ(80, twPrefVal(edit, "width").l);
    EXPECT_EQ(0, twPrefVal(edit, "wrap").l);
    EXPECT_NE(0, twPref_FindOption(edit, "width")->flags & TW_PREF_BY_COMMAND);

    Args b({"prog", "+edit.wrap", "-edit.width", "90", "-edit.width"});
    twPrefParse(nullptr, &b.argc, b.argv.data());
    EXPECT_EQ(1, twPrefVal(edit, "wrap").l);
    EXPECT_EQ(90, twPrefVal(edit, "width").l);
    EXPECT_EQ((std::vector<std::string>{"prog", "-edit.width"}), b.left())
        << "a value option with nothing after it stays";
}

TEST_F(OptionsTest, RefusedCommandLineValuesRaiseTheTypesRefusal)
{
    const char *names[] = {"alpha", "alpine", "beta"};
    twTypeSpec *kind = twTypeCreateEnum("kindVT", names, 3);
    twTypedata d = num(0);
    twPrefAdd(edit, "kind", kind, "", &d);
    Args a({"prog", "-kind", "al"});
    Raised r = raised([&] { twPrefParse(nullptr, &a.argc, a.argv.data()); });
    ASSERT_FALSE(r.numbers.empty());
    EXPECT_EQ(1405, r.numbers[0]) << "an abbreviation of two names is ambiguous";
    Args b({"prog", "-kind", "alph"});
    twPrefParse(nullptr, &b.argc, b.argv.data());
    EXPECT_EQ(0, twPrefVal(edit, "kind").l);
    Args c({"prog", "-width", "12abc"});
    EXPECT_EQ(1400, raised([&] { twPrefParse(nullptr, &c.argc, c.argv.data()); }).numbers.at(0));
    EXPECT_EQ(72, twPrefVal(edit, "width").l) << "a refused value leaves the option alone";
    twPrefDestroy(edit);
    edit = twPrefCreate("Edit");
    twPrefReplace(edit, "width", &twIntTS, "", &d);  // the fixture's TearDown releases it
    twTypeTSFree(kind);
}

// The precedence table: command line and program beat any ini line, a
// database line beats a global line in either order, the last line of a
// kind wins.
TEST(OptionsPrecedenceTest, SourcesWinInTheirOrder)
{
    std::string dir = scratchDir();
    twPrefDB *a = twPrefCreate("precA"), *b = twPrefCreate("precB"), *c = twPrefCreate("precC");
    twPrefDB *d = twPrefCreate("precD"), *e = twPrefCreate("precE");
    twTypedata zero = num(0);
    twPrefAdd(a, "pw1", &twIntTS, "", &zero);
    twPrefAdd(b, "pw2", &twIntTS, "", &zero);
    twPrefAdd(c, "pw3", &twIntTS, "", &zero);
    twPrefAdd(d, "pw4", &twIntTS, "", &zero);
    twPrefAdd(d, "pw5", &twIntTS, "", &zero);
    twPrefAdd(e, "pw5", &twIntTS, "", &zero);
    twPrefAdd(e, "pw6", &twIntTS, "", &zero);
    twTypedata mine = num(7);
    twPrefSetval(e, "pw6", &mine);

    std::string ini = writeFile(dir, "prec.ini",
                                "pw1 60\n"
                                "precA.pw1 72\n"
                                "precB.pw2 72\n"
                                "pw2 60\n"
                                "precC.pw3 72\n"
                                "precD.pw4 1\n"
                                "precD.pw4 2\n"
                                "pw5 5\n"
                                "pw5 6\n"
                                "precE.pw6 99\n");
    Args args({"prog", "-precC.pw3", "90"});
    EXPECT_EQ(1, twPrefParse(ini.c_str(), &args.argc, args.argv.data()));
    EXPECT_EQ(72, twPrefVal(a, "pw1").l) << "database line after a global one";
    EXPECT_EQ(72, twPrefVal(b, "pw2").l) << "database line before a global one";
    EXPECT_EQ(90, twPrefVal(c, "pw3").l) << "the command line beats the ini file";
    EXPECT_EQ(2, twPrefVal(d, "pw4").l) << "the last database line wins";
    EXPECT_EQ(6, twPrefVal(d, "pw5").l) << "the last global line wins";
    EXPECT_EQ(6, twPrefVal(e, "pw5").l) << "a global line reaches every database";
    EXPECT_EQ(7, twPrefVal(e, "pw6").l) << "the program beats the ini file";
    EXPECT_EQ(TW_PREF_BY_DATABASE,
              twPref_FindOption(a, "pw1")->flags & (TW_PREF_BY_DATABASE | TW_PREF_BY_GLOBAL));
    EXPECT_EQ(TW_PREF_BY_GLOBAL,
              twPref_FindOption(d, "pw5")->flags & (TW_PREF_BY_DATABASE | TW_PREF_BY_GLOBAL));

    // Applying again (a later twPrefParse) keeps the same outcome.
    EXPECT_EQ(0, twPrefParse((dir + "/missing.ini").c_str(), nullptr, nullptr));
    EXPECT_EQ(72, twPrefVal(b, "pw2").l);
    for (twPrefDB *db : {a, b, c, d, e}) twPrefDestroy(db);
}

TEST(OptionsIniTest, BooleanWordsQuotesMarksAndComments)
{
    std::string dir = scratchDir();
    twPrefDB *db = twPrefCreate("words");
    twTypedata zero = num(0), one = num(1), none = twTypePtrToTypedata(nullptr);
    const char *flags[] = {"b1", "b2", "b3", "b4", "b5"};
    for (const char *f : flags) twPrefAdd(db, f, &twOnOffTS, "", &zero);
    twPrefAdd(db, "yn", &twYesNoTS, "", &one);
    twPrefAdd(db, "tf", &twTrueFalseTS, "", &zero);
    twPrefAdd(db, "title", &twStringTS, "", &none);
    twPrefAdd(db, "note", &twStringTS, "", &none);
    twPrefAdd(db, "old", &twIntTS, "", &zero);
    twPrefAdd(db, "new", &twIntTS, "", &zero);
    std::string ini = writeFile(dir, "words.ini",
                                "words.b1 TRUE\n"
                                "words.b2 yes\n"
                                "words.b3 1   | comment\n"
                                "words.b4 on\n"
                                "words.yn off\n"
                                "words.tf YES\n"
                                "  words.title \"a  b\"   | kept blanks\n"
                                "words.note plain text |comment\n"
                                "|4.0 words.old 5\n"
                                "|5.0 words.new 5\n"
                                "| words.b5 on\n");
    twPrefParse(ini.c_str(), nullptr, nullptr);
    for (const char *f : {"b1", "b2", "b3", "b4"}) EXPECT_EQ(1, twPrefVal(db, f).l) << f;
    EXPECT_EQ(0, twPrefVal(db, "b5").l) << "a comment line";
    EXPECT_EQ(0, twPrefVal(db, "yn").l);
    EXPECT_EQ(1, twPrefVal(db, "tf").l) << "the words of every boolean type";
    EXPECT_STREQ("a  b", static_cast<char *>(twPrefVal(db, "title").p));
    EXPECT_STREQ("plain text", static_cast<char *>(twPrefVal(db, "note").p));
    EXPECT_EQ(0, twPrefVal(db, "old").l) << "another version mark is no option line";
    EXPECT_EQ(5, twPrefVal(db, "new").l);
    twPrefDestroy(db);
}

TEST(OptionsIniTest, BadLinesAreRaisedAs1501AtTheirLine)
{
    std::string dir = scratchDir();
    twPrefDB *db = twPrefCreate("bad");
    twTypedata zero = num(0);
    twPrefAdd(db, "n", &twIntTS, "", &zero);
    twPrefAdd(db, "m", &twIntTS, "", &zero);

    std::string open = writeFile(dir, "open.ini", "bad.m 4\nbad.n \"abc\n");
    Raised r = raised([&] { twPrefParse(open.c_str(), nullptr, nullptr); });
    EXPECT_EQ((std::vector<int>{1501, 1503}), r.numbers);
    EXPECT_NE(std::string::npos, r.location.find("open.ini, line 2")) << r.location;

    std::string after = writeFile(dir, "after.ini", "bad.n \"abc\" x\n");
    r = raised([&] { twPrefParse(after.c_str(), nullptr, nullptr); });
    EXPECT_EQ((std::vector<int>{1501, 1504}), r.numbers);

    std::string value = writeFile(dir, "value.ini", "m 5x\nbad.m 3\n\nbad.n 12abc\n");
    r = raised([&] { twPrefParse(value.c_str(), nullptr, nullptr); });
    ASSERT_EQ(2u, r.numbers.size());
    EXPECT_EQ(1501, r.numbers[0]);
    EXPECT_EQ(1400, r.numbers[1]);
    EXPECT_NE(std::string::npos, r.location.find("value.ini, line 4")) << r.location;
    EXPECT_EQ(3, twPrefVal(db, "m").l) << "a refused global line is passed over quietly";
    twPrefDestroy(db);
}

TEST(OptionsUsageTest, ListsUserOptionsOnlyWhenAsked)
{
    twPrefSetShorthand("shown");
    twPrefDB *db = twPrefCreate("Shown");
    twPrefDB *other = twPrefCreate("Other");
    twTypedata w = num(72), on = num(1);
    twPrefAdd(db, "width", &twIntTS,
              "The number of columns a line may take before it is wrapped onto the next line.", &w);
    twPrefAdd(db, "wrap", &twOnOffTS, "Wrap\nlong lines", &on);
    twPrefAdd(db, "secret", &twIntTS, "~~hidden", &w);
    twPrefAdd(other, "depth", &twIntTS, "", &w);

    Args quiet({"prog", "-width", "3"});
    testing::internal::CaptureStdout();
    EXPECT_EQ(0, twPrefUsage(quiet.argc, quiet.argv.data()));
    EXPECT_EQ("", testing::internal::GetCapturedStdout());

    Args ask({"prog", "-?"});
    testing::internal::CaptureStdout();
    EXPECT_EQ(1, twPrefUsage(ask.argc, ask.argv.data()));
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(std::string::npos, out.find("Options for prog\n"));
    char line[200];
    snprintf(line, sizeof line, "%-47s %s\n", "-width                     <twIntVT>", "[72]");
    EXPECT_NE(std::string::npos, out.find(line)) << out;
    EXPECT_NE(std::string::npos,
              out.find("\n                    The number of columns a line may take before it is wrapped\n"
                       "                    onto the next line.\n"))
        << out;
    EXPECT_NE(std::string::npos, out.find("-wrap                      (Off)")) << out;
    EXPECT_NE(std::string::npos, out.find("[On]\n                    Wrap\n                    long lines\n"))
        << out;
    EXPECT_NE(std::string::npos, out.find("-Other.depth")) << "another database is named in full";
    EXPECT_EQ(std::string::npos, out.find("secret"));
    twPrefDestroy(db);
    twPrefDestroy(other);
}

int takeDashA(const char *argument, const char *next, void *arg)
{
    ++*static_cast<int *>(arg);
    if (std::string(argument) == "-a") return 1;
    if (std::string(argument) == "+b") return next ? 2 : 3;
    if (std::string(argument) == "-stop") return 0;
    return 3;
}

TEST(CmdParseTest, ScannersTakeTheirArgumentsOut)
{
    int calls = 0;
    Args g({"p", "x", "-a", "+b", "v", "-c", "-a", "-stop", "-a"});
    EXPECT_EQ(4, twCmdParse1(&g.argc, g.argv.data(), takeDashA, &calls));
    EXPECT_EQ((std::vector<std::string>{"p", "x", "-c", "-stop", "-a"}), g.left());

    const char *valueNames[] = {"out", "level"};
    const char *flagNames[] = {"verbose", "quiet"};
    const char *values[2] = {};
    int flags[2] = {};
    Args s({"p", "-o", "file", "-VERB", "-lev", "3", "rest", "-q"});
    EXPECT_EQ(6, twCmdParse(&s.argc, s.argv.data(), valueNames, 2, values, flagNames, 2, flags));
    EXPECT_STREQ("file", values[0]);
    EXPECT_STREQ("3", values[1]);
    EXPECT_EQ(1, flags[0]);
    EXPECT_EQ(1, flags[1]) << "arguments without a dash are passed over";
    EXPECT_EQ((std::vector<std::string>{"p", "rest"}), s.left());
    Args stop({"p", "-unknown", "-q"});
    int f2[2] = {};
    EXPECT_EQ(0, twCmdParse(&stop.argc, stop.argv.data(), valueNames, 2, values, flagNames, 2, f2));
    EXPECT_EQ(0, f2[1]) << "an unknown option ends the scan";

    Args f({"p", "-Debug", "-o", "x"});
    EXPECT_STREQ("-Debug", twCmdFlag(&f.argc, f.argv.data(), "-debug", 0));
    EXPECT_STREQ("x", twCmdFlag(&f.argc, f.argv.data(), "-O", 1));
    EXPECT_EQ((std::vector<std::string>{"p"}), f.left());
    EXPECT_EQ(nullptr, f.argv[1]);
    Args last({"p", "-o"});
    EXPECT_EQ(nullptr, twCmdFlag(&last.argc, last.argv.data(), "-o", 1)) << "no value after it";
    EXPECT_EQ(2, last.argc);
}

// twErrInit and twExInit run once per process; this is the only test of
// this program that calls them.
TEST(ErrPrefsTest, ErrInitAndExInitReadTheirPreferences)
{
    Args a(
        {"prog", "+err.stdout", "-err.style_stderr", "terse", "-ex.catch_signals", "keep", "-err.logging"});
    twErrInit(&a.argc, a.argv.data());
    ASSERT_NE(nullptr, twErrPrefV);
    EXPECT_EQ(0, twErrLogIsEnabled());
    EXPECT_EQ(stdout, twErrFileV);
    EXPECT_EQ(TW_ERR_TERSE, twErrStyleV[0]);
    EXPECT_EQ(TW_ERR_ACTION_STATUSLINE, twErrActionV[TW_SEV_STATUS]);
    twExInit(&a.argc, a.argv.data());
    EXPECT_EQ((std::vector<std::string>{"prog", "keep"}), a.left());
    EXPECT_EQ(nullptr, twPref_Find(0, "ex")) << "the signal database is temporary";
    twErrFileV = stderr;
    twErrStyleV[0] = TW_ERR_VERBOSE;
}

TEST(OptionsSweepTest, ParsingSurvivesRefusedAllocations)
{
    std::string dir = scratchDir();
    std::string ini = writeFile(dir, "sweep.ini", "sweep.n 4 | c\nsweep.s \"x y\"\nn 3\n");
    long n = twtest::sweepAllocationFailures([&] {
        twPrefDB *db = twPrefCreate("sweep");
        twTypedata zero = num(0), none = twTypePtrToTypedata(nullptr);
        twPrefAdd(db, "n", &twIntTS, "", &zero);
        twPrefAdd(db, "s", &twStringTS, "", &none);
        Args a({"prog", "-sweep.n", "5", "rest"});
        twPrefParse(ini.c_str(), &a.argc, a.argv.data());
        twPrefDestroy(db);
    });
    EXPECT_GT(n, 0);
}

}  // namespace
