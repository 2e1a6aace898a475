#include "twlib/err/errlog.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>
#include <string>

#include "support/child.h"
#include "support/oom_sweep.h"
#include "support/process.h"
#include "tslib/path.h"
#include "twlib/core/exit.h"
#include "twlib/err/except.h"
#include "twlib/err/report.h"

namespace {

using twtest::ForkResult;
using twtest::TempDir;

// The log's state is once per process: every scene runs in a child forked
// from a parent that never logs, so each starts with a fresh log. The child
// prints its process number, which names its log.
ForkResult scene(const std::function<void()> &work)
{
    return twtest::runForked([&] {
        printf("%ld", static_cast<long>(getpid()));
        fflush(stdout);
        work();
    });
}

// A scene that logs into 'logDir' as the program 'argv0', keeping 'keep'
// older logs (-1: the default).
ForkResult logScene(const std::string &logDir, const char *argv0, int keep, const std::function<void()> &work)
{
    return scene([&] {
        setenv("TW_LOGDIR", logDir.c_str(), 1);
        twErrLogSetArgv0(argv0);
        if (keep >= 0) twErrLogKeepFiles(keep);
        work();
    });
}

std::set<std::string> filesIn(const std::string &dir)
{
    std::set<std::string> names;
    for (const auto &e : std::filesystem::directory_iterator(dir)) names.insert(e.path().filename());
    return names;
}

void setMtime(const std::string &path, long seconds)
{
    struct utimbuf t = {seconds, seconds};
    ASSERT_EQ(0, utime(path.c_str(), &t)) << path;
}

void reportError(const char *text)
{
    twErrReport2("app", TW_SEV_ERROR, text);
}

TEST(ErrLogTest, KeptLogsAreNamedAfterProgramAndProcess)
{
    TempDir dir;
    ForkResult plain = logScene(dir.path(), "/usr/local/bin/conv", -1, [&] {
        reportError("first");
        twErrReport(nullptr, twErrCreate("in here", "app", 7, TW_SEV_WARNING, "second"));
    });
    ASSERT_EQ(0, plain.status) << plain.err;
    std::string log = dir.path() + "/conv-" + plain.out + ".err";
    EXPECT_EQ("app: Error: first\napp: Warning 7: in here: second\n", twtest::readFile(log));
    EXPECT_EQ("app: Error: first\napp: Warning 7: in here: second\n", plain.err)
        << "logging leaves the report as it was";

    ForkResult dotted = logScene(dir.path(), "tools/conv.exe", -1, [&] { reportError("third"); });
    ASSERT_EQ(0, dotted.status) << dotted.err;
    EXPECT_EQ("app: Error: third\n", twtest::readFile(dir.path() + "/conv.exe-" + dotted.out + ".err"));
}

TEST(ErrLogTest, StatusIsNotLoggedDisabledIsAndAnUnusedLogLeavesNoFile)
{
    TempDir dir;
    ForkResult quiet = logScene(dir.path(), "conv", -1, [&] {
        twErrLogOpenFile();
        twErrReport2("app", TW_SEV_STATUS, "progress");
    });
    ASSERT_EQ(0, quiet.status) << quiet.err;
    EXPECT_EQ("app: Status: progress\n", quiet.err);
    EXPECT_TRUE(filesIn(dir.path()).empty()) << "the open's trial file is removed again";

    ForkResult disabled = logScene(dir.path(), "conv", -1, [&] {
        twErrReport2("app", TW_SEV_DISABLED, "hidden");
        twErrReport2("app", TW_SEV_STATUS, "progress");
    });
    ASSERT_EQ(0, disabled.status) << disabled.err;
    EXPECT_EQ("app: Status: progress\n", disabled.err) << "a Disabled error is not printed";
    EXPECT_EQ("app: Disabled: hidden\n", twtest::readFile(dir.path() + "/conv-" + disabled.out + ".err"));
}

// With one log per program, the first open of each run used to delete the
// log, and with it the lines of every earlier run.
TEST(ErrLogTest, OneLogPerProgramKeepsTheLinesOfEarlierRuns)
{
    TempDir dir;
    auto run = [&](const char *text) {
        return logScene(dir.path(), "/bin/conv", 0, [&] { reportError(text); });
    };
    ASSERT_EQ(0, run("one").status);
    ASSERT_EQ(0, run("two").status);
    EXPECT_EQ("app: Error: one\napp: Error: two\n", twtest::readFile(dir.path() + "/conv.err"));
    EXPECT_EQ(std::set<std::string>{"conv.err"}, filesIn(dir.path()));

    // A line an earlier run left unfinished does not swallow the next one.
    dir.write("conv.err", "app: Error: cut sh");
    ASSERT_EQ(0, run("three").status);
    EXPECT_EQ("app: Error: cut sh\napp: Error: three\n", twtest::readFile(dir.path() + "/conv.err"));
}

TEST(ErrLogTest, OpeningKeepsOnlyTheNewestOlderLogs)
{
    TempDir dir;
    // Ages that do not follow the names or the process numbers.
    const long ages[] = {500, 100, 400, 200, 300};
    for (int i = 0; i < 5; ++i) {
        std::string path = dir.write("conv-" + std::to_string(11 + i) + ".err", "old\n");
        setMtime(path, 1000000000L + ages[i]);
    }
    // Not logs of conv: another program's and stray names.
    setMtime(dir.write("conv-x-3.err", "other\n"), 1000000000L);
    setMtime(dir.write("conv-.err", "stray\n"), 1000000000L);
    dir.mkdir("conv-9.err");
    ForkResult r = logScene(dir.path(), "conv", 2, [&] { twErrLogOpenFile(); });
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ(
        (std::set<std::string>{"conv-11.err", "conv-13.err", "conv-x-3.err", "conv-.err", "conv-9.err"}),
        filesIn(dir.path()));
}

TEST(ErrLogTest, SaveOnlyNewestFilesByModificationTime)
{
    TempDir dir;
    setMtime(dir.write("a-1.err", ""), 3000);
    setMtime(dir.write("a-2.err", ""), 1000);
    setMtime(dir.write("a-3.err", ""), 2000);
    setMtime(dir.write("a-4.err", ""), 2000);  // same age: the greater name is newer
    setMtime(dir.write("b-1.err", ""), 9000);
    std::string pattern = dir.path() + "/a-*.err";
    EXPECT_EQ(4, twErrSaveOnlyNewestFiles(pattern.c_str(), 2));
    EXPECT_EQ((std::set<std::string>{"a-1.err", "a-4.err", "b-1.err"}), filesIn(dir.path()));
    EXPECT_EQ(2, twErrSaveOnlyNewestFiles(pattern.c_str(), 5));
    EXPECT_EQ(2, twErrSaveOnlyNewestFiles(pattern.c_str(), 0));
    EXPECT_EQ(std::set<std::string>{"b-1.err"}, filesIn(dir.path()));
    EXPECT_EQ(0, twErrSaveOnlyNewestFiles(pattern.c_str(), 1));
    EXPECT_EQ(0, twErrSaveOnlyNewestFiles((dir.path() + "/none/x*").c_str(), 1));
    EXPECT_EQ(0, twErrSaveOnlyNewestFiles(nullptr, 1));

    // Many files: the list grows past its first room.
    for (int i = 0; i < 150; ++i) setMtime(dir.write("m-" + std::to_string(i) + ".err", ""), 5000 + i);
    EXPECT_EQ(150, twErrSaveOnlyNewestFiles((dir.path() + "/m-*.err").c_str(), 3));
    EXPECT_EQ((std::set<std::string>{"b-1.err", "m-147.err", "m-148.err", "m-149.err"}), filesIn(dir.path()));
}

TEST(ErrLogTest, WithoutLogDirTheLogStaysWhereItWasFirstMade)
{
    TempDir dir;
    std::string first = dir.mkdir("first"), later = dir.mkdir("later");
    ForkResult r = scene([&] {
        unsetenv("TW_LOGDIR");
        tsSetdef(first.c_str());
        twErrLogSetArgv0("conv");
        twErrLogOpenFile();
        tsSetdef(later.c_str());
        reportError("moved");
    });
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ("app: Error: moved\n", twtest::readFile(first + "/conv-" + r.out + ".err"));
    EXPECT_TRUE(filesIn(later).empty());
}

TEST(ErrLogTest, AnUnusableLogWarnsOnceAndTheReportsStillPrint)
{
    TempDir dir;
    std::string file = dir.write("plain", "x");
    for (std::string logDir : {dir.path() + "/missing", file}) {
        ForkResult r = logScene(logDir, "conv", -1, [&] {
            reportError("one");
            reportError("two");
        });
        ASSERT_EQ(0, r.status) << r.err;
        EXPECT_EQ("twErrLog: Warning 1120: Can't open error log file `" + logDir + "/conv-" + r.out +
                      ".err', logging disabled.\napp: Error: one\napp: Error: two\n",
                  r.err);
    }
    EXPECT_EQ(std::set<std::string>{"plain"}, filesIn(dir.path()));

    // A FIFO in the log's place would block every report: it is refused.
    std::string fifoDir = dir.mkdir("fifo");
    ASSERT_EQ(0, mkfifo((fifoDir + "/conv.err").c_str(), 0666));
    ForkResult fifo = logScene(fifoDir, "conv", 0, [&] { reportError("one"); });
    EXPECT_EQ("twErrLog: Warning 1120: Can't open error log file `" + fifoDir +
                  "/conv.err', logging disabled.\napp: Error: one\n",
              fifo.err);

    // A directory that goes away after the first open.
    std::string gone = dir.mkdir("gone");
    ForkResult reopen = logScene(gone, "conv", -1, [&] {
        twErrLogOpenFile();
        rmdir(gone.c_str());
        reportError("one");
    });
    ASSERT_EQ(0, reopen.status) << reopen.err;
    EXPECT_EQ("twErrLog: Warning 1120: Can't re-open error log file `" + gone + "/conv-" + reopen.out +
                  ".err'.\napp: Error: one\n",
              reopen.err);
}

TEST(ErrLogTest, NamesThatCannotBeMadeFallBackWithAWarning)
{
    TempDir dir;
    std::string longDir = dir.path() + "/" + std::string(250, 'd');
    ForkResult tooLong = scene([&] {
        setenv("TW_LOGDIR", longDir.c_str(), 1);
        tsSetdef(dir.path().c_str());
        twErrLogSetArgv0("/bin/conv");
        reportError("one");
    });
    ASSERT_EQ(0, tooLong.status) << tooLong.err;
    EXPECT_EQ("twErrLog: Warning 1120: Error creating name for error log file, trying `unknown.err' "
              "instead (I was given TW_LOGDIR=`" +
                  longDir + "' and program=`/bin/conv').\napp: Error: one\n",
              tooLong.err);
    EXPECT_EQ("app: Error: one\n", twtest::readFile(dir.path() + "/unknown.err"));

    // A path that names no program.
    std::string logs = dir.mkdir("logs");
    ForkResult noName = logScene(logs, "/usr/bin/", -1, [&] { reportError("two"); });
    ASSERT_EQ(0, noName.status) << noName.err;
    EXPECT_EQ("twErrLog: Warning 1120: Error creating name for error log file, trying `" + logs +
                  "/unknown.err' instead (I was given TW_LOGDIR=`" + logs +
                  "' and program=`/usr/bin/').\napp: Error: two\n",
              noName.err);
}

TEST(ErrLogTest, ALogThatCannotBeWrittenWarnsAndMendsItsCutLine)
{
    TempDir dir;
    std::string filler(4000, 'x');
    dir.write("conv.err", filler + "\n");
    ForkResult r = logScene(dir.path(), "conv", 0, [&] {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = {4014, RLIM_INFINITY};
        setrlimit(RLIMIT_FSIZE, &small);
        reportError("a report too long for the room that is left");
        struct rlimit unlimited = {RLIM_INFINITY, RLIM_INFINITY};
        setrlimit(RLIMIT_FSIZE, &unlimited);
        reportError("next");
    });
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ("twErrLog: Warning 1120: Can't write error log file `" + dir.path() +
                  "/conv.err'.\napp: Error: a report too long for the room that is left\napp: Error: next\n",
              r.err);
    EXPECT_EQ(filler + "\napp: Error: a\napp: Error: next\n", twtest::readFile(dir.path() + "/conv.err"));
}

TEST(ErrLogTest, ARaisingOutputFunctionCannotCostTheReport)
{
    TempDir dir;
    ForkResult r = scene([&] {
        setenv("TW_LOGDIR", (dir.path() + "/missing").c_str(), 1);
        twErrOutFuncV = [](twErrStream *, twErr *error) {
            bool fromLog = twErrNum(error) == TW_ERRLOG_WARNING;
            twErrDestroy(error);
            if (fromLog) twExThrow2(TW_EX_USER1, "out", TW_SEV_ERROR, "refused");
        };
        reportError("kept");
    });
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ("app: Error: kept\n", r.err);
}

TEST(ErrLogTest, EnablingActsAtTheFirstCallAndOnChanges)
{
    TempDir dir;
    std::string missing = dir.path() + "/missing";
    ForkResult r = logScene(missing, "conv", 0, [&] {
        printf(" %d", twErrLogIsEnabled());
        twErrLogEnable(1);  // the first call opens, and warns
        twErrLogEnable(1);  // no change: nothing
        twErrLogEnable(0);
        printf(" %d", twErrLogIsEnabled());
        reportError("unlogged");
        setenv("TW_LOGDIR", dir.path().c_str(), 1);
        twErrLogEnable(1);  // the name is made again
        reportError("logged");
        twErrLogCloseFile();
        reportError("after close");
    });
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_NE(std::string::npos, r.out.find(" 1 0")) << r.out;
    EXPECT_EQ("twErrLog: Warning 1120: Can't open error log file `" + missing +
                  "/conv.err', logging disabled.\napp: Error: unlogged\napp: Error: logged\n"
                  "app: Error: after close\n",
              r.err);
    EXPECT_EQ("app: Error: logged\napp: Error: after close\n", twtest::readFile(dir.path() + "/conv.err"));
}

TEST(ErrLogTest, RefusedAllocationsEndCleanly)
{
    TempDir dir;
    long made = twtest::sweepAllocationFailures(
        [&] {
            // Each run in a directory of its own, with older logs to prune.
            std::string own = dir.path() + "/" + std::to_string(getpid());
            mkdir(own.c_str(), 0777);
            for (int i = 0; i < 3; ++i)
                fclose(fopen((own + "/conv-" + std::to_string(i) + ".err").c_str(), "w"));
            setenv("TW_LOGDIR", own.c_str(), 1);
            twErrLogSetArgv0("/bin/conv");
            twErrLogKeepFiles(1);
            reportError("one");
            twErrReport(nullptr, twErrCreate("here", "app", 3, TW_SEV_WARNING, "two"));
        },
        [](const ForkResult &r) { EXPECT_EQ("app: Error: one\napp: Warning 3: here: two\n", r.err); });
    EXPECT_GT(made, 0);
}

// The name and the program's copy are given back at exit when memory is
// checked; a log wanted afterwards makes them again.
TEST(ErrLogMemDebugEnv, ExitHandlersReleaseTheName)
{
    TempDir dir;
    setenv("TW_LOGDIR", dir.path().c_str(), 1);
    twErrLogSetArgv0("conv");
    twErrLogKeepFiles(0);
    twErrReport2("app", TW_SEV_ERROR, "before");
    twOnExitCall();
    twErrReport2("app", TW_SEV_ERROR, "after");
    EXPECT_EQ("app: Error: before\n", twtest::readFile(dir.path() + "/conv.err"));
    EXPECT_EQ("app: Error: after\n", twtest::readFile(dir.path() + "/unknown.err"));
}
TW_ENV_SUITE(ErrLogMemDebugEnv, MemDebug, "TW_MEMDBG=1");

}  // namespace
