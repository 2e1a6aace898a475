/* The message compiler as a program: exit status, messages, and a round
 * trip from a header to every message read back. */
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <string>

#include "support/oom_sweep.h"
#include "support/process.h"
#include "twlib/err/msgfile.h"
#include "twlib/err/tmb_reader.h"

#ifndef TWMSGCMP_EXE
#error "TWMSGCMP_EXE must name the twmsgcmp program"
#endif

namespace {

using twtest::ProcessResult;
using twtest::runProcess;
using twtest::TempDir;

const std::string kTool = TWMSGCMP_EXE;

std::string define(const std::string &name, const std::string &number, const std::string &literal)
{
    return "#define " + name + " " + number + " /* \"" + literal + "\" */\n";
}

TEST(TwmsgcmpCliTest, UsageErrorsAndUnopenableFilesExitWithTwo)
{
    TempDir dir;
    ProcessResult none = runProcess({kTool}, dir.path());
    EXPECT_EQ(2, none.status);
    EXPECT_NE(std::string::npos, none.err.find("usage: twmsgcmp")) << none.err;

    ProcessResult tooMany = runProcess({kTool, "a", "b", "c"}, dir.path());
    EXPECT_EQ(2, tooMany.status);

    ProcessResult option = runProcess({kTool, "-x", "a.msg"}, dir.path());
    EXPECT_EQ(2, option.status);
    EXPECT_NE(std::string::npos, option.err.find("unknown option `-x'")) << option.err;

    ProcessResult missing = runProcess({kTool, "nothere.msg"}, dir.path());
    EXPECT_EQ(2, missing.status);
    EXPECT_NE(std::string::npos, missing.err.find("can't open message header `nothere.msg'")) << missing.err;

    dir.write("m.msg", define("A", "1", "[E]a"));
    ProcessResult unwritable = runProcess({kTool, "m.msg", "no/such/dir/m.tmb"}, dir.path());
    EXPECT_EQ(2, unwritable.status);
    EXPECT_NE(std::string::npos, unwritable.err.find("can't create message file `no/such/dir/m.tmb'"))
        << unwritable.err;
}

TEST(TwmsgcmpCliTest, CompilesAHeaderAndEveryMessageReadsBack)
{
    TempDir dir;
    std::string header =
        "/* demo.msg */\n" + define("DEMO_M_OWNER", "-1", "demo") + define("DEMO_M_RELEASE", "-2", "2.0") +
        define("DEMO_M_VERSION", "0", "2.1.0") + define("DEMO_OPEN", "10", "[E]Can't open `%s': %s.") +
        define("DEMO_COUNT", "11", "[W]%2$d of %1$d files\\n") + define("DEMO_DONE", "12", "[S]Done.");
    dir.write("demo.msg", header);
    ProcessResult r = runProcess({kTool, "demo.msg"}, dir.path());
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ("", r.out);
    EXPECT_EQ("", r.err);

    // The default output is the header's name with the extension tmb.
    twtest::TmbFile f = twtest::readTmb(twtest::readFile(dir.path() + "/demo.tmb"));
    ASSERT_EQ("", f.problem);
    EXPECT_EQ("demo", f.owner);
    EXPECT_EQ("2.0", f.release);
    EXPECT_EQ("2.1.0", f.version);
    ASSERT_EQ((std::vector<int32_t>{10, 11, 12}), f.order);
    EXPECT_EQ("[E]Can't open `%s': %s.", f.messages[10].text);
    EXPECT_EQ("[W]%2$d of %1$d files\n", f.messages[11].text);
    EXPECT_EQ("[S]Done.", f.messages[12].text);
    EXPECT_EQ((std::vector<int>{7, 7}), f.messages[10].args);
    EXPECT_EQ((std::vector<int>{1, 1}), f.messages[11].args);

    // The library's reader finds the file in the current directory and
    // gives every message back, formatted.
    twtest::ForkResult read = twtest::runForked([&] {
        if (chdir(dir.path().c_str()) != 0) return;
        twMsgFileHandle *h = twMsgFileOpen("demo", "demo", "2.0", "2.0.0", "2.9.9");
        printf("%s|", twMsgStatic(h, 10, "x.txt", "gone"));
        printf("%s|", twMsgStatic(h, 11, 9, 3));
        printf("%s|", twMsgStatic(h, 12));
        twMsgFileClose(h);
    });
    EXPECT_EQ(0, read.status) << read.err;
    EXPECT_EQ("[E]Can't open `x.txt': gone.|[W]3 of 9 files\n|[S]Done.|", read.out);

    // An explicit output name, and -v listing the lines it skipped.
    ProcessResult v = runProcess({kTool, "-v", "demo.msg", "out.tmb"}, dir.path());
    ASSERT_EQ(0, v.status) << v.err;
    EXPECT_NE(std::string::npos, v.err.find("demo.msg:1: note: not a message definition")) << v.err;
    EXPECT_EQ(twtest::readFile(dir.path() + "/demo.tmb"), twtest::readFile(dir.path() + "/out.tmb"));
}

TEST(TwmsgcmpCliTest, EveryProblemIsShownWithItsLineAndNoFileIsLeft)
{
    TempDir dir;
    dir.write("bad.msg", define("A", "1", "[E]fine") + define("B", "2", "[E]%2$s") +
                             define("C", "3", "[Q]what") + define("D", "1", "[E]again") +
                             "#define E 4 /* \"unclosed */\n" + define("V", "0", "x.y"));
    // A good file of that name from an earlier run must not survive.
    dir.write("bad.tmb", "old");
    ProcessResult r = runProcess({kTool, "bad.msg"}, dir.path());
    EXPECT_EQ(1, r.status);
    for (const char *line : {"bad.msg:2: error: message 2: the argument positions leave a gap",
                             "bad.msg:3: error: message 3: unknown severity letter in the prefix",
                             "bad.msg:5: error: message 4: the string literal cannot be decoded",
                             "bad.msg:6: error: the version is not three numbers joined by points",
                             "bad.msg:4: error: message 1: the message number is defined more than once",
                             "bad.msg: 5 problems, no message file written"})
        EXPECT_NE(std::string::npos, r.err.find(line)) << line << "\n" << r.err;
    EXPECT_FALSE(twtest::fileExists(dir.path() + "/bad.tmb"));

    dir.write("open.msg", define("A", "1", "[E]a") + "#define B 2 /* \"[E]b\"\n");
    ProcessResult open = runProcess({kTool, "open.msg"}, dir.path());
    EXPECT_EQ(1, open.status);
    EXPECT_NE(std::string::npos,
              open.err.find("open.msg:2: error: message 2: the comment is not closed before the end"))
        << open.err;
}

// The library's own catalogues compile without a problem.
TEST(TwmsgcmpCliTest, TheLibraryCataloguesCompile)
{
    TempDir dir;
    for (const char *name : {"twlib", "tslib"}) {
        std::string header = std::string(TW_SOURCE_DIR) + "/twlib/err/catalog/" + name + ".msg";
        ProcessResult r = runProcess({kTool, header, dir.path() + "/" + name + ".tmb"}, dir.path());
        EXPECT_EQ(0, r.status) << name << "\n" << r.err;
        twtest::TmbFile f = twtest::readTmb(twtest::readFile(dir.path() + "/" + name + ".tmb"));
        EXPECT_EQ("", f.problem) << name;
        EXPECT_EQ(name, f.owner);
    }
}

}  // namespace
