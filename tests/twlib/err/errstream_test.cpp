#include "twlib/err/errstream.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "support/child.h"
#include "support/oom_sweep.h"
#include "twlib/containers/dlist.h"
#include "twlib/core/mem.h"
#include "twlib/err/report.h"

namespace {

twErr *make(int severity, const char *text = "t")
{
    return twErrCreate2("app", severity, text);
}

// Adds 'e' to 's' and drops the caller's reference: the stream keeps its own.
void add(twErrStream *s, twErr *e)
{
    twErrStreamAdd(s, e);
    twErrDestroy(e);
}

// Reports go to a scratch file for the length of a test.
class ErrStreamTest : public ::testing::Test {
protected:
    FILE *sink = tmpfile();
    FILE *saved = twErrFileV;
    twErrStream *s = twErrStreamCreate();
    void SetUp() override { twErrFileV = sink; }
    void TearDown() override
    {
        twErrStreamDestroy(s);
        twErrFileV = saved;
        fclose(sink);
    }
    std::string printed()
    {
        fflush(sink);
        std::string out;
        rewind(sink);
        for (int c; (c = fgetc(sink)) != EOF;) out += static_cast<char>(c);
        return out;
    }
};

TEST_F(ErrStreamTest, DefaultReportsLeaveCountsOnly)
{
    EXPECT_EQ(TW_SEV_DISABLED, twErrStreamBaddest(s));
    EXPECT_EQ(0, twErrStreamExitCode(s));
    twErrReport(s, make(TW_SEV_WARNING, "w1"));
    twErrReport(s, make(TW_SEV_NOTE, "n1"));
    twErrReport(s, make(TW_SEV_WARNING, "w2"));
    twErrReport(s, make(TW_SEV_DISABLED, "d"));
    EXPECT_EQ(TW_SEV_WARNING, twErrStreamBaddest(s));
    EXPECT_EQ(1, twErrStreamExitCode(s));
    EXPECT_EQ(0, twErrStreamCount(s)) << "the report clears the list at once";
    EXPECT_EQ(nullptr, twErrStreamError(s, 0));
    int notes = -1, warnings = -1, errors = -1, internals = -1;
    EXPECT_EQ(0, twErrStreamSummary(s, &notes, &warnings, &errors, &internals));
    EXPECT_EQ(1, notes);
    EXPECT_EQ(2, warnings);
    EXPECT_EQ(0, errors);
    EXPECT_EQ(0, internals);
    EXPECT_EQ("app: Warning: w1\napp: Note: n1\napp: Warning: w2\n", printed());
}

// The first rule that applies wins; notes and status messages do not change
// the exit status.
TEST_F(ErrStreamTest, WorstSeverityAndExitStatusFollowTheCounts)
{
    const struct {
        int severity, worst, status;
    } steps[] = {{TW_SEV_STATUS, TW_SEV_STATUS, 0},     {TW_SEV_NOTE, TW_SEV_NOTE, 0},
                 {TW_SEV_STATUS, TW_SEV_NOTE, 0},       {TW_SEV_WARNING, TW_SEV_WARNING, 1},
                 {TW_SEV_ERROR, TW_SEV_ERROR, 2},       {TW_SEV_WARNING, TW_SEV_ERROR, 2},
                 {TW_SEV_INTERNAL, TW_SEV_INTERNAL, 3}, {TW_SEV_FATAL, TW_SEV_INTERNAL, 3}};
    for (auto step : steps) {
        add(s, make(step.severity));
        EXPECT_EQ(step.worst, twErrStreamBaddest(s)) << "after severity " << step.severity;
        EXPECT_EQ(step.status, twErrStreamExitCode(s)) << "after severity " << step.severity;
    }
    EXPECT_EQ(1, twErrStreamSummary(s, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(8, twErrStreamCount(s)) << "a Fatal error is kept, though not counted";

    // A chain counts by its head.
    twErrStream *t = twErrStreamCreate();
    add(t, twErrAppend(make(TW_SEV_NOTE), make(TW_SEV_INTERNAL)));
    EXPECT_EQ(TW_SEV_NOTE, twErrStreamBaddest(t));
    twErrStreamDestroy(t);
}

TEST_F(ErrStreamTest, KeptErrorsAreReadByIndexWhileTheAlertIsSet)
{
    twErrStreamSetAlert(s, 1);
    EXPECT_EQ(1, twErrStreamGetAlert(s));
    add(s, make(TW_SEV_ERROR, "kept"));
    EXPECT_EQ(nullptr, twErrStreamError(s, 1)) << "an index equal to the count";
    EXPECT_EQ(nullptr, twErrStreamError(s, -1));
    ASSERT_NE(nullptr, twErrStreamError(s, 0));
    EXPECT_STREQ("kept", twErrText(twErrStreamError(s, 0))) << "the stream holds its own reference";

    // Any order of indexes reads the right error.
    for (int i = 1; i < 2000; i++) {
        add(s, twErrCreate(nullptr, "app", i, TW_SEV_NOTE, nullptr));
    }
    for (int i : {5, 6, 7, 1999, 1000, 999, 3, 1500, 1501, 0, 1998}) {
        twErr *e = twErrStreamError(s, i);
        ASSERT_NE(nullptr, e);
        EXPECT_EQ(i, twErrNum(e)) << "index " << i;
    }
    bool inOrder = true;
    for (int i = 1; i < 2000; i++) inOrder = inOrder && twErrNum(twErrStreamError(s, i)) == i;
    for (int i = 1999; i > 0; i--) inOrder = inOrder && twErrNum(twErrStreamError(s, i)) == i;
    EXPECT_TRUE(inOrder);

    twErrStreamSetAlert(s, 0);
    EXPECT_EQ(0, twErrStreamCount(s));
    EXPECT_EQ(nullptr, twErrStreamError(s, 0));
    EXPECT_EQ(2, twErrStreamExitCode(s)) << "the counts stay";
    add(s, make(TW_SEV_WARNING, "again"));
    EXPECT_EQ(1, twErrStreamCount(s)) << "the list is made again";
    EXPECT_STREQ("again", twErrText(twErrStreamError(s, 0)));
}

// An output function that shows a stream's errors keeps them: it sets the
// alert and adds without clearing, as an alert box would.
twErrStream *shown;
void showInAlertBox(twErrStream *stream, twErr *error)
{
    shown = stream;
    twErrStreamSetAlert(stream, 1);
    add(stream, error);
}

TEST_F(ErrStreamTest, OutputFunctionsMayKeepTheErrors)
{
    twErrOutFn saved = twErrOutFuncV;
    twErrOutFuncV = showInAlertBox;
    twErrOut(s, make(TW_SEV_ERROR, "first"));
    twErrOut(s, make(TW_SEV_NOTE, "second"));
    twErrOutFuncV = saved;
    EXPECT_EQ(s, shown);
    EXPECT_EQ(2, twErrStreamCount(s));
    EXPECT_STREQ("second", twErrText(twErrStreamError(s, 1)));
    EXPECT_EQ("", printed());
    twErrReport(s, make(TW_SEV_NOTE, "third"));
    EXPECT_EQ(0, twErrStreamGetAlert(s));
    EXPECT_EQ(0, twErrStreamCount(s));
}

TEST_F(ErrStreamTest, TypeOperationsPrintCopyAndRelease)
{
    std::string text;
    auto emit = [](void *arg, const char *t) { *static_cast<std::string *>(arg) += t; };
    twErrStream_TSPrint(s, emit, &text);
    EXPECT_EQ("0 message(s)", text);
    twErrStreamSetAlert(s, 1);
    for (int i = 0; i < 3; i++) {
        add(s, make(TW_SEV_NOTE));
    }
    text.clear();
    twErrStream_TSPrint(s, emit, &text);
    EXPECT_EQ("3 message(s)", text);

    // Two holders: the first release leaves the stream to the other.
    twErrStreamSetAlert(s, 0);
    EXPECT_EQ(s, twErrStream_TSCopy(s));
    twErrStream_TSFree(s);
    add(s, make(TW_SEV_ERROR));
    EXPECT_EQ(2, twErrStreamExitCode(s));
}

// The deferred destruction: clearing the alert used to drop one holder more
// than there was, so the count went below zero and the stream was never
// freed (with the errors it kept). The sanitizer build's leak check and the
// memory debug case below see such a stream.
TEST(ErrStreamLifeTest, ClearingTheAlertCompletesAPendingDestroy)
{
    twErrStream *s = twErrStreamCreate();
    twErrStreamSetAlert(s, 1);
    add(s, make(TW_SEV_WARNING, "shown"));
    twErrStreamDestroy(s);
    EXPECT_EQ(1, twErrStreamCount(s)) << "kept while the alert is set";
    EXPECT_STREQ("shown", twErrText(twErrStreamError(s, 0)));
    twErrStreamDestroy(s);  // a further release of a marked stream is ignored
    EXPECT_EQ(1, twErrStreamExitCode(s));
    twErrStreamSetAlert(s, 0);  // frees it

    // A holder that came after the mark keeps the stream past the clearing.
    s = twErrStreamCreate();
    twErrStreamSetAlert(s, 1);
    twErrStreamDestroy(s);
    twErrStream_TSCopy(s);
    twErrStreamSetAlert(s, 0);
    add(s, make(TW_SEV_ERROR));
    EXPECT_EQ(2, twErrStreamExitCode(s));
    twErrStreamDestroy(s);
    twErrStreamDestroy(nullptr);
}

// The lines of the usage report for the tags of streams, records and lists.
std::vector<std::string> streamUsage()
{
    static std::vector<std::string> lines;
    lines.clear();
    twMemPrintUsage([](const char *line) {
        if (strstr(line, "errorStream") || strstr(line, "errorObject") || strstr(line, "twDlist"))
            lines.emplace_back(line);
    });
    return lines;
}

TEST(ErrStreamMemDebugEnv, EveryWayOutFreesTheStreamAndItsErrors)
{
    twErrStream *warm = twErrStreamCreate();
    twErrStreamDestroy(warm);
    twDlistPurge();
    auto before = streamUsage();
    for (int way = 0; way < 4; way++) {
        twErrStream *s = twErrStreamCreate();
        twErrStreamSetAlert(s, way != 0);
        for (int sev : {TW_SEV_ERROR, TW_SEV_NOTE}) {
            add(s, make(sev));
        }
        if (way == 3) twErrStream_TSCopy(s);
        twErrStreamDestroy(s);
        if (way == 1) twErrStreamSetAlert(s, 0);
        if (way == 2) {
            twErrStreamSetAlert(s, 1);
            twErrStreamSetAlert(s, 0);
        }
        if (way == 3) {
            twErrStreamSetAlert(s, 0);
            twErrStreamDestroy(s);
        }
    }
    twDlistPurge();
    EXPECT_EQ(before, streamUsage());
}
TW_ENV_SUITE(ErrStreamMemDebugEnv, MemDebug, "TW_MEMDBG=1");

TEST(ErrStreamLifeTest, RefusedAllocationsEndCleanly)
{
    long made = twtest::sweepAllocationFailures(
        [] {
            twErrStream *s = twErrStreamCreate();
            twErrStreamSetAlert(s, 1);
            for (int i = 0; i < 3; i++) {
                add(s, make(i == 1 ? TW_SEV_ERROR : TW_SEV_WARNING, "swept"));
            }
            twErrStreamSetAlert(s, 0);
            twErrReport(s, make(TW_SEV_NOTE, "reported"));
            printf("%d %d %d\n", twErrStreamCount(s), twErrStreamBaddest(s), twErrStreamExitCode(s));
            twErrStreamDestroy(s);
        },
        [](const twtest::ForkResult &r) {
            EXPECT_EQ("0 0 2\n", r.out);
            EXPECT_EQ("app: Note: reported\n", r.err);
        });
    EXPECT_GT(made, 0);
}

}  // namespace
