#include "twlib/err/report.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#include "support/child.h"
#include "support/oom_sweep.h"
#include "twlib/core/exit.h"
#include "twlib/err/except.h"
#include "twlib/text/str.h"

namespace {

using twtest::ProcessResult;
using twtest::runChild;

std::string str(const char *s)
{
    return s ? s : "(null)";
}

TEST(ReportTest, LocationsFormatIntoOneBuffer)
{
    EXPECT_EQ("f.c, line 3", str(twErrLocationLine("f.c", 3)));
    EXPECT_EQ("f.c", str(twErrLocationLine("f.c", 0)));
    EXPECT_EQ("(null)", str(twErrLocationLine("", 3)));
    EXPECT_EQ("(null)", str(twErrLocationLine(nullptr, 3)));
    EXPECT_EQ("f.c", str(twErrLocationFile("f.c")));
    EXPECT_EQ("(null)", str(twErrLocationFile("")));
    EXPECT_EQ("f.c, line 1, message 9", str(twErrLocationMessage("f.c", 1, 9)));
    EXPECT_EQ("f.c, message 9", str(twErrLocationMessage("f.c", 0, 9)));
    EXPECT_EQ("line 2, message 9", str(twErrLocationMessage(nullptr, 2, 9)));
    EXPECT_EQ("message 9", str(twErrLocationMessage("", 0, 9)));
    EXPECT_EQ("in call to routine twFoo()", str(twErrLocationRoutine("twFoo")));
    EXPECT_EQ("(null)", str(twErrLocationRoutine("")));
    const char *a = twErrLocationFile("first");
    const char *b = twErrLocationRoutine("second");
    EXPECT_EQ(a, b) << "one static buffer";
    // A long name is cut to the buffer, never written past it.
    std::string longName(2000, 'n');
    EXPECT_EQ(511u, strlen(twErrLocationLine(longName.c_str(), 7)));
}

// Captures what the reports print and what they hand to the hooks.
std::vector<std::string> logged, counted;
twErrStream *const someStream = reinterpret_cast<twErrStream *>(uintptr_t{0x10});

class ReportOutputTest : public ::testing::Test {
protected:
    FILE *out = tmpfile();
    twErrLogHookFn savedLog = twErr_SetLogHook([](twErr *e) { logged.push_back(twErr_String(e, 1)); });
    twErrCountHookFn savedCount = twErr_SetStreamHook([](twErrStream *s, twErr *e) {
        EXPECT_EQ(someStream, s);
        counted.push_back(twErr_String(e, 1));
    });
    void SetUp() override
    {
        logged.clear();
        counted.clear();
        twErrFileV = out;
    }
    void TearDown() override
    {
        twErrFileV = stderr;
        twErrOutFuncV = twErrReport;
        twErr_SetLogHook(savedLog);
        twErr_SetStreamHook(savedCount);
        fclose(out);
        twErrDestroy(twExErrV);
        twExErrV = nullptr;
    }
    std::string printed()
    {
        std::string s;
        rewind(out);
        for (int c; (c = getc(out)) != EOF;) s += static_cast<char>(c);
        rewind(out);
        if (ftruncate(fileno(out), 0) != 0) ADD_FAILURE() << "ftruncate";
        return s;
    }
};

TEST_F(ReportOutputTest, ReportsPrintLogCountAndConsume)
{
    twErr *e = twErrCreate("here", "app", 4, TW_SEV_WARNING, "careful");
    twErr *held = twErrCopy(e);
    twErrReport(someStream, e);
    EXPECT_EQ("app: Warning 4: here: careful\n", printed());
    EXPECT_EQ(std::vector<std::string>{"app: Warning 4: here: careful"}, logged);
    EXPECT_EQ(logged, counted);
    EXPECT_EQ(1, held->refCount) << "the report consumed the caller's reference";
    twErrDestroy(held);

    // Disabled: logged, but neither printed nor counted.
    twErrReport(someStream, twErrCreate2("app", TW_SEV_DISABLED, "quiet"));
    EXPECT_EQ("", printed());
    EXPECT_EQ(2u, logged.size());
    EXPECT_EQ(1u, counted.size());

    // No stream: nothing counted; Status is printed (the log decides itself
    // whether it keeps it).
    twErrReport2("app", TW_SEV_STATUS, "working");
    EXPECT_EQ("app: Status: working\n", printed());
    EXPECT_EQ(1u, counted.size());
    twErrReport(someStream, nullptr);
    EXPECT_EQ("", printed());

    // Without hooks nothing is logged or counted, and the report still prints.
    twErr_SetLogHook(nullptr);
    twErr_SetStreamHook(nullptr);
    twErrReport(someStream, twErrCreate2("app", TW_SEV_NOTE, "alone"));
    EXPECT_EQ("app: Note: alone\n", printed());
    EXPECT_EQ(3u, logged.size());

    // The style of context 0 decides the printed form.
    twErrStyleV[0] = TW_ERR_TERSE;
    twErrReport2("app", TW_SEV_ERROR, "short");
    twErrStyleV[0] = TW_ERR_VERBOSE;
    EXPECT_EQ("app-E: short\n", printed());
}

TEST_F(ReportOutputTest, APendingExceptionErrorTravelsBehindTheReportedOne)
{
    twExErrV = twErrCreate2("old", TW_SEV_ERROR, "pending");
    twErrReport2("new", TW_SEV_WARNING, "reported");
    EXPECT_EQ("new: Warning: reported\n+old: Error: pending\n", printed());
    EXPECT_EQ(nullptr, twExErrV);

    // Reporting the pending error itself hands over its reference.
    twExErrV = twErrCreate2("old", TW_SEV_ERROR, "pending");
    twErrReport(nullptr, twExErrV);
    EXPECT_EQ("old: Error: pending\n", printed());
    EXPECT_EQ(nullptr, twExErrV);

    // A chain that already holds the pending error does not take it twice.
    twErr *p = twErrCreate2("old", TW_SEV_ERROR, "pending");
    twExErrV = p;
    twErrReport(nullptr, twErrAppend(twErrCreate2("new", 0, "n"), twErrCopy(p)));
    EXPECT_EQ("new: Error: n\n+old: Error: pending\n", printed());
    EXPECT_EQ(nullptr, twExErrV);
    // And an error that is a later part of the pending chain.
    twErr *inner = twErrCreate2("inner", 0, "i");
    twExErrV = twErrAppend(twErrCreate2("outer", 0, "o"), twErrCopy(inner));
    twErrReport(nullptr, inner);
    EXPECT_EQ("inner: Error: i\n", printed());
    EXPECT_EQ(nullptr, twExErrV);
}

TEST_F(ReportOutputTest, OutputGoesThroughTheReplaceableFunction)
{
    static std::vector<std::string> shown;
    shown.clear();
    twErrOutFuncV = [](twErrStream *s, twErr *e) {
        shown.push_back(std::string(s ? "stream " : "") + twErr_String(e, 0));
        twErrDestroy(e);
    };
    twErrOut(someStream, twErrCreate2("a", 1, "one"));
    twErrOut2("b", 3, "two");
    twErrOut3("loc", "c", 2, "three");
    EXPECT_EQ((std::vector<std::string>{"stream a-S: one", "b-W: two", "c-I: loc: three"}), shown);
    EXPECT_EQ("", printed());
    // The variants of the report never go through it.
    twErrReport2("d", 3, "direct");
    EXPECT_EQ("d: Warning: direct\n", printed());
    twErrOutFuncV = nullptr;
    twErrOut2("e", 3, "default");
    EXPECT_EQ("e: Warning: default\n", printed());
}

// Reports 'e' (a new reference), or outputs a new error when it is null,
// and swallows an exception of 'tag'.
void reportCaught(uint32_t tag, twErr *e)
{
    TW_TRY(tag) {
        if (e)
            twErrReport(nullptr, twErrCopy(e));
        else
            twErrOut2("a", TW_SEV_WARNING, "shown");
    } TW_CATCH {
        TW_EX_SWALLOW();
    } TW_END_TRY;
}

// Raises that pass through a report used to leave it counted as still
// running, so that enough caught ones ended the process at the next report.
TEST_F(ReportOutputTest, RaisesFromTheOutputFunctionAndTheHooksPassThrough)
{
    twErrOutFuncV = [](twErrStream *, twErr *e) {
        twErrDestroy(e);
        twExThrow2(TW_EX_USER1, "out", 0, "raised");
    };
    for (int i = 0; i < 40; i++) reportCaught(TW_EX_USER1, nullptr);
    twErrOutFuncV = twErrReport;
    twErr_SetLogHook([](twErr *) { twExThrow2(TW_EX_USER2, "log", 0, "raised"); });
    twErr *e = twErrCreate2("b", TW_SEV_NOTE, "logged");
    twErr *held = twErrCopy(e);
    for (int i = 0; i < 40; i++) reportCaught(TW_EX_USER2, e);
    EXPECT_EQ(2, held->refCount) << "each report released its reference on the way out";
    twErrDestroy(held);
    twErrDestroy(e);
    EXPECT_EQ(nullptr, twEx_StackV);
    twErr_SetLogHook(nullptr);
    twErrOut2("c", TW_SEV_WARNING, "still reporting");
    EXPECT_EQ("c: Warning: still reporting\n", printed());
}

const char *formatted(twMsgFileHandle *, int number, va_list ap)
{
    static char buf[128];
    char format[32];
    snprintf(format, sizeof format, "[W]%d: %%s %%d", number);
    vsnprintf(buf, sizeof buf, format, ap);
    return buf;
}
const char *fileName(twMsgFileHandle *)
{
    return "msgs";
}

TEST_F(ReportOutputTest, BuildVariantsPassTheirArgumentsOn)
{
    const twErrMessageSource source = {formatted, fileName, nullptr};
    const twErrMessageSource *saved = twErr_SetMessageSource(&source);
    twErrReportBuild(someStream, "loc", nullptr, 31, "report", 1);
    twErrOutBuild(nullptr, nullptr, nullptr, 32, "out", 2);
    twErr_SetMessageSource(saved);
    EXPECT_EQ("msgs: Warning 31: loc: 31: report 1\nmsgs: Warning 32: 32: out 2\n", printed());
    EXPECT_EQ(1u, counted.size());
}

TEST_F(ReportOutputTest, YellPrintsTheTextAsItStands)
{
    twErrYell("no newline %d", 5);
    twErrYell("%s\n", "then one");
    twErrYell(nullptr);
    EXPECT_EQ("no newline 5then one\n", printed());
}

TEST(ReportInitTest, InitTakesTheProgramNameOnce)
{
    static std::string seen;
    twErrArgv0HookFn saved = twErr_SetArgv0Hook([](const char *a) { seen += a; });
    char prog[] = "/bin/prog", other[] = "other";
    char *argv[] = {prog, nullptr};
    int argc = 1;
    twErrInit(&argc, argv);
    char *argv2[] = {other, nullptr};
    twErrInit(&argc, argv2);
    EXPECT_EQ("/bin/prog", seen);
    EXPECT_EQ(1, argc);
    EXPECT_EQ(TW_ERR_VERBOSE, twErrStyleV[0]);
    EXPECT_EQ(stderr, twErrFileV);
    twErrGetPrefs();
    twErr_SetArgv0Hook(saved);
}

// Reports that end the process, played in child processes.
TEST(ReportChildEnv, Run)
{
    CHILD_ONLY();
    const std::string scene = getenv("TW_TEST_CHILD");
    twCleanupProcV = [] { return fprintf(stderr, "cleanup\n"); };
    if (scene == "fatal")
        twErrReport(nullptr, twErrAppend(twErrCreate("loc", "app", 9, TW_SEV_FATAL, "stop"),
                                         twErrCreate2("ctx", TW_SEV_NOTE, "why")));
    if (scene == "internal") twErrReport2("app", TW_SEV_INTERNAL, "broken");
    if (scene == "fatalCall") twErrFatal(twErrCreate2("app", TW_SEV_WARNING, "as fatal"));
    if (scene == "stdout") {
        twErrFileV = stdout;
        twErrReport2("app", TW_SEV_NOTE, "on stdout");
        twExit(0);
    }
    if (scene == "recursing") {
        // An output function that reports what it is given through twErrOut.
        twErrOutFuncV = [](twErrStream *s, twErr *e) { twErrOut(s, e); };
        twErrOut2("app", TW_SEV_WARNING, "again");
    }
    if (scene == "throughLog") {
        // A log that reports a warning about every error it is given.
        twErr_SetLogHook([](twErr *) { twErrOut2("log", TW_SEV_WARNING, "cannot log"); });
        twErrReport2("app", TW_SEV_NOTE, "first");
    }
    fprintf(stderr, "returned\n");
    twExit(1);
}
TW_CHILD_SUITE(ReportChildEnv);

TEST(ReportTest, FatalReportsEndTheProcess)
{
    const std::string banner = "\n*** Fatal error encountered ***\n";
    const struct { const char *scene; int status; std::string err, out; } cases[] = {
        {"fatal", 3, banner + "app: Fatal 9: loc: stop\n+ctx: Note: why\ncleanup\n", ""},
        {"internal", 128 + 6, banner + "app: Internal Error: broken\ncleanup\n", ""},
        {"fatalCall", 3, banner + "app: Warning: as fatal\ncleanup\n", ""},
        {"stdout", 0, "", "app: Note: on stdout\n"},
    };
    for (const auto &c : cases) {
        ProcessResult r = runChild("ReportChildEnv.Run", c.scene);
        EXPECT_EQ(c.status, r.status) << c.scene << r.err;
        EXPECT_EQ(c.err, r.err) << c.scene;
        EXPECT_NE(std::string::npos, r.out.find(c.out)) << c.scene << r.out;
    }
}

TEST(ReportTest, ReportingThatFeedsItselfEndsTheProcess)
{
    for (const char *scene : {"recursing", "throughLog"}) {
        ProcessResult r = runChild("ReportChildEnv.Run", scene);
        EXPECT_EQ(3, r.status) << scene << r.err;
        EXPECT_EQ(0u, r.err.find("\n*** Fatal error encountered ***\n")) << scene << r.err;
        EXPECT_EQ(std::string::npos, r.err.find("returned")) << scene;
    }
}

TEST(ReportTest, RefusedAllocationsEndCleanly)
{
    long made = twtest::sweepAllocationFailures(
        [] {
            twErrFileV = stdout;
            twExErrV = twErrCreate2("old", 0, "pending");
            twErrReport(nullptr, twErrCreate("here", "app", 2, TW_SEV_NOTE, "text"));
            twErrOut3("loc", "app", TW_SEV_STATUS, "status");
            twErrYell("%s %d\n", "yell", 3);
        },
        [](const twtest::ForkResult &r) {
            EXPECT_EQ("app: Note 2: here: text\n+old: Error: pending\napp: Status: loc: status\n"
                      "yell 3\n",
                      r.out);
        });
    EXPECT_GT(made, 0);
}

}  // namespace
