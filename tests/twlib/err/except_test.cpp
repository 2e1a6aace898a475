/* except_test.cpp - catch frames, throws and the pending error.
 *
 * Regions under test keep plain data only: the jump back to TW_TRY skips
 * destructors, so results are taken out in volatile locals and checked
 * after TW_END_TRY.
 */
#include "twlib/err/except.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>

#include "support/oom_sweep.h"
#include "twlib/core/exit.h"
#include "tslib/msgfile.h"
#include "twlib/core/fault.h"
#include "twlib/err/assert.h"
#include "twlib/err/error.h"
#include "twlib/err/report.h"
#include "twlib/regexp/regexp.h"
#include "twlib/text/sprintf.h"

namespace {

using twtest::ForkResult;
using twtest::runForked;

std::string text(const twErr *chain)
{
    return twErr_String(chain, TW_ERR_VERBOSE);
}

class ExceptTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        EXPECT_EQ(nullptr, twEx_StackV) << "a frame was left on the stack";
        twErrDestroy(twExErrV);
        twExErrV = nullptr;
        twExTagV = 0;
    }
};

TEST_F(ExceptTest, AFrameWhoseMaskMissesTheTagPassesItOutwardAndLeavesTheStack)
{
    volatile int caughtBy = 0;
    twExFrame *volatile outermost = nullptr;
    twExFrame *volatile topInHandler = nullptr;
    TW_TRY(TW_EX_ALL) {
        outermost = twEx_StackV;
        TW_TRY(TW_EX_PRECOND) {
            TW_TRY(TW_EX_POSTCOND | TW_EX_USER1) {
                twExThrow2(TW_EX_PRECOND, "app", TW_SEV_WARNING, "broken");
            } TW_CATCH {
                caughtBy = 3;
            } TW_END_TRY;
        } TW_CATCH {
            caughtBy = 2;
            topInHandler = twEx_StackV;
        } TW_END_TRY;
    } TW_CATCH {
        caughtBy = 1;
    } TW_END_TRY;
    EXPECT_EQ(2, caughtBy);
    EXPECT_EQ(outermost, topInHandler) << "the passed-over and the catching frame are off the stack";
    EXPECT_EQ(uint32_t(TW_EX_PRECOND), twExTagV);
    EXPECT_EQ("app: Warning: broken", text(twExErrV));
}

// Each way out of a region: normal end, handled, passed on, translated.
TEST_F(ExceptTest, EveryWayOutOfARegionRestoresTheStackAndThePendingError)
{
    volatile int steps = 0;
    TW_TRY(TW_EX_ALL) {
        steps = 1;
    } TW_CATCH {
        steps = 100;
    } TW_END_TRY;
    EXPECT_EQ(1, steps);
    EXPECT_EQ(nullptr, twEx_StackV);

    // Passed on: the re-throw does not chain the error to itself.
    TW_TRY(TW_EX_USER2) {
        TW_TRY(TW_EX_USER2) {
            twExThrow2(TW_EX_USER2, "app", TW_SEV_ERROR, "first");
        } TW_CATCH {
            steps = 2;
            TW_EX_RETHROW();
        } TW_END_TRY;
        steps = 100;
    } TW_CATCH {
        EXPECT_EQ(2, steps);
        steps = 3;
    } TW_END_TRY;
    EXPECT_EQ(3, steps);
    EXPECT_EQ("app: Error: first", text(twExErrV));
    twErr *first = twExErrV;

    // Translated: the caught error goes behind the new one.
    TW_TRY(TW_EX_POSTCOND) {
        TW_TRY(TW_EX_USER3) {
            twExThrow2(TW_EX_USER3, "app", TW_SEV_ERROR, "second");
        } TW_CATCH {
            twExThrow2(TW_EX_POSTCOND, "app", TW_SEV_ERROR, "translated");
        } TW_END_TRY;
    } TW_CATCH {
        steps = 4;
    } TW_END_TRY;
    EXPECT_EQ(4, steps);
    EXPECT_EQ(uint32_t(TW_EX_POSTCOND), twExTagV);
    EXPECT_EQ("app: Error: translated\n+app: Error: second\n+app: Error: first", text(twExErrV));

    // Handled: what the region raised goes, the older chain stays pending
    // with the count it had.
    twErrDestroyTop(&twExErrV, first);
    ASSERT_EQ(first, twExErrV);
    TW_TRY(TW_EX_ALL) {
        twExThrow2(TW_EX_USER4, "app", TW_SEV_ERROR, "swallowed");
    } TW_CATCH {
        EXPECT_EQ("app: Error: swallowed\n+app: Error: first", text(twExErrV));
        TW_EX_SWALLOW();
    } TW_END_TRY;
    EXPECT_EQ(first, twExErrV);
    EXPECT_EQ(nullptr, first->next);
    EXPECT_EQ(1, first->refCount);
    EXPECT_EQ(0u, twExTagV);
    EXPECT_EQ(nullptr, twEx_StackV);

    // With nothing pending before, swallowing leaves nothing pending.
    twErrDestroy(twExErrV);
    twExErrV = nullptr;
    TW_TRY(TW_EX_ALL) {
        twExThrow2(TW_EX_USER4, "app", TW_SEV_ERROR, "gone");
    } TW_CATCH {
        TW_EX_SWALLOW();
    } TW_END_TRY;
    EXPECT_EQ(nullptr, twExErrV);
}

int handlerThatReturns()
{
    TW_TRY(TW_EX_ALL) {
        twExThrow2(TW_EX_USER1, "app", TW_SEV_ERROR, "x");
    } TW_CATCH {
        return 7;
    } TW_END_TRY;
    return 0;
}

TEST_F(ExceptTest, AHandlerMayReturnAndAThrowFromACalleeReachesTheCaller)
{
    EXPECT_EQ(7, handlerThatReturns());
    EXPECT_EQ(nullptr, twEx_StackV);

    // Throwing (a reference of one's own to) a later part of the pending
    // chain drops the records in front of it instead of making a loop.
    twErr *older = twErrCreate2("app", TW_SEV_ERROR, "older");
    twErr *newer = twErrCreate2("app", TW_SEV_ERROR, "newer");
    twExErrV = twErrAppend(newer, older);
    TW_TRY(TW_EX_ALL) {
        twExThrow(TW_EX_USER5, twErrCopy(older));
    } TW_CATCH {
    } TW_END_TRY;
    EXPECT_EQ(older, twExErrV);
    EXPECT_EQ(1, older->refCount);
    EXPECT_EQ("app: Error: older", text(twExErrV));

    // A chain that already holds the pending one is not appended to
    // itself; the variable's reference is given back.
    twErr *wrapper = twErrAppend(twErrCreate2("app", TW_SEV_ERROR, "wrapper"), twErrCopy(older));
    TW_TRY(TW_EX_ALL) {
        twExThrow(TW_EX_USER5, wrapper);
    } TW_CATCH {
    } TW_END_TRY;
    EXPECT_EQ("app: Error: wrapper\n+app: Error: older", text(twExErrV));
    EXPECT_EQ(1, older->refCount);

    // A null error still throws, with an error saying so.
    TW_TRY(TW_EX_USER5) {
        twExThrow(TW_EX_USER5, nullptr);
    } TW_CATCH {
    } TW_END_TRY;
    EXPECT_NE(std::string::npos, text(twExErrV).find("without an error")) << text(twExErrV);
}

int chainHasNumber(twErr *record, void *number)
{
    return record->number != *static_cast<int *>(number);
}

TEST_F(ExceptTest, ThrowsFromBelowTheErrorLayerAreCaught)
{
    volatile int caught = 0;
    TW_TRY(TW_EX_POSTCOND) {
        twRegexpCompile("a**");
    } TW_CATCH {
        caught = 1;
    } TW_END_TRY;
    ASSERT_EQ(1, caught);
    EXPECT_EQ(uint32_t(TW_EX_POSTCOND), twExTagV);
    ASSERT_NE(nullptr, twExErrV);
    EXPECT_STREQ("twRegexp", twErrApp(twExErrV));
    EXPECT_NE(nullptr, twErrText(twExErrV));

    // The printf engine refuses a format through the floor's built raise.
    char buf[16];
    TW_TRY(TW_EX_ALL) {
        twSprintf(buf, sizeof buf, "%q");
    } TW_CATCH {
        caught = 2;
    } TW_END_TRY;
    ASSERT_EQ(2, caught);
    int wanted = 1600;
    EXPECT_EQ(0, twErrLoop(twExErrV, chainHasNumber, &wanted)) << text(twExErrV);
    EXPECT_NE(std::string::npos, text(twExErrV).find("in call to routine twSprintf(): ")) << text(twExErrV);
    EXPECT_NE(std::string::npos, text(twExErrV).find("+twRegexp: Error: ")) << "the earlier one is behind it";
}

// Modules below the error layer hold things across raising calls through
// the floor's unwind records: a catching frame releases every record pushed
// inside its region, newest first, and none pushed before it.
TEST_F(ExceptTest, ACatchReleasesTheUnwindRecordsOfItsRegion)
{
    static std::string released;
    auto note = [](void *arg) { released += static_cast<const char *>(arg); };
    twUnwind outer, first, second;
    tw_UnwindPush(&outer, note, const_cast<char *>("outer "));
    TW_TRY(TW_EX_POSTCOND) {
        tw_UnwindPush(&first, note, const_cast<char *>("first "));
        tw_UnwindPush(&second, note, const_cast<char *>("second "));
        tw_RaiseText(TW_EX_POSTCOND, "twTest", 0, "held across a raise");
    } TW_CATCH {
        released += "| ";
    } TW_END_TRY;
    EXPECT_EQ("second first | ", released);
    EXPECT_EQ(&outer, tw_UnwindTop());

    // A region that ends normally pops its own records without calling them.
    TW_TRY(TW_EX_ALL) {
        tw_UnwindPush(&first, note, const_cast<char *>("never "));
        tw_UnwindPop(&first);
    } TW_CATCH {
    } TW_END_TRY;
    tw_UnwindPop(&outer);
    EXPECT_EQ(nullptr, tw_UnwindTop());
    EXPECT_EQ("second first | ", released);
}

TEST_F(ExceptTest, ConditionThrowsCarryTheirTagAndLocation)
{
    // Failed 0 looks at nothing else: the file handle here is not one.
    twExPrecond(0, reinterpret_cast<twMsgFileHandle *>(uintptr_t(16)), -1);

    volatile uint32_t tags[3] = {};
    TW_TRY(TW_EX_PRECOND) {
        twExPrecond(1, nullptr, 42);
    } TW_CATCH {
        tags[0] = twExTagV;
    } TW_END_TRY;
    int wanted = 1155;
    EXPECT_EQ(0, twErrLoop(twExErrV, chainHasNumber, &wanted)) << "message 1155 of twlib\n"
                                                               << text(twExErrV);
    twErrDestroy(twExErrV);
    twExErrV = nullptr;

    TW_TRY(TW_EX_ALL) {
        twEx_PreCond("twThing", tsMsgFile(), 1041, "arg");
    } TW_CATCH {
        tags[1] = twExTagV;
    } TW_END_TRY;
    EXPECT_NE(std::string::npos, text(twExErrV).find("in call to routine twThing(): ")) << text(twExErrV);

    TW_TRY(TW_EX_ALL) {
        twEx_PostCond("menu.def, line 3", tsMsgFile(), 1041, "/x");
    } TW_CATCH {
        tags[2] = twExTagV;
    } TW_END_TRY;
    EXPECT_NE(std::string::npos, text(twExErrV).find("menu.def, line 3: ")) << text(twExErrV);
    EXPECT_EQ(uint32_t(TW_EX_PRECOND), tags[0]);
    EXPECT_EQ(uint32_t(TW_EX_PRECOND), tags[1]);
    EXPECT_EQ(uint32_t(TW_EX_POSTCOND), tags[2]);
}

TEST(ExceptTagTest, NamesKnownTagsAndFormatsOthers)
{
    EXPECT_STREQ("subroutine pre-condition not met", twExTagString(0x1));
    EXPECT_STREQ("subroutine failed to fulfill contract", twExTagString(0x2));
    EXPECT_STREQ("segmentation violation", twExTagString(0x80));
    EXPECT_STREQ("user-defined exception 1", twExTagString(0x10000));
    EXPECT_STREQ("user-defined exception 8", twExTagString(0x800000));
    EXPECT_STREQ("unknown exception type 3", twExTagString(3));
    EXPECT_STREQ("unknown exception type 4294967295", twExTagString(0xffffffffu));
}

int printCleanup()
{
    return fputs("cleanup\n", stderr) >= 0;
}

TEST(ExceptEndTest, AnUncaughtExceptionCleansUpReportsAndEndsWithStatus3)
{
    ForkResult plain = runForked([] {
        twCleanupProcV = printCleanup;
        TW_TRY(TW_EX_PRECOND) {
            twExThrow2(TW_EX_POSTCOND, "app", TW_SEV_ERROR, "nobody takes this");
        } TW_CATCH {
            fputs("caught\n", stderr);
        } TW_END_TRY;
    });
    EXPECT_EQ(3, plain.status);
    EXPECT_EQ("cleanup\napp: Error: nobody takes this\n", plain.err);

    // The pending chain travels along and is printed as the "+" line.
    ForkResult chained = runForked([] {
        TW_TRY(TW_EX_ALL) {
            twExThrow2(TW_EX_USER1, "app", TW_SEV_WARNING, "earlier");
        } TW_CATCH {
        } TW_END_TRY;
        twExThrow2(TW_EX_USER2, "app", TW_SEV_ERROR, "later");
    });
    EXPECT_EQ(3, chained.status);
    EXPECT_EQ("app: Error: later\n+app: Warning: earlier\n", chained.err);

    // A Fatal error ends the process in the report, in the fatal form.
    ForkResult fatal = runForked([] { twExThrow2(TW_EX_USER1, "app", TW_SEV_FATAL, "gone"); });
    EXPECT_EQ(3, fatal.status);
    EXPECT_EQ("\n*** Fatal error encountered ***\napp: Fatal: gone\n", fatal.err);
}

int raisingCleanup()
{
    twExThrow2(TW_EX_USER1, "cleanup", TW_SEV_ERROR, "raised while cleaning up");
}

int reportRaising()
{
    twExThrow2(TW_EX_USER1, "handler", TW_SEV_ERROR, "raised by a fatal handler");
}

TEST(ExceptEndTest, ARaiseWhileEndingDoesNotStartTheEndAgain)
{
    ForkResult r = runForked([] {
        twCleanupProcV = raisingCleanup;
        twExThrow2(TW_EX_USER2, "app", TW_SEV_ERROR, "first");
    });
    EXPECT_EQ(3, r.status);
    EXPECT_EQ("cleanup: Error: raised while cleaning up\n+app: Error: first\n", r.err);

    ForkResult handler = runForked([] {
        twAbortAddHandler(reportRaising);
        twExThrow2(TW_EX_USER2, "app", TW_SEV_ERROR, "first");
    });
    EXPECT_EQ(3, handler.status);
    EXPECT_EQ("app: Error: first\nhandler: Error: raised by a fatal handler\n", handler.err);
}

[[gnu::noinline]] void leaveByReturn()
{
    TW_TRY(TW_EX_ALL) {
        return;
    } TW_CATCH {
    } TW_END_TRY;
}

TEST(ExceptEndTest, ARegionLeftWithoutItsEndIsAnAssertionFailure)
{
    ForkResult byReturn = runForked([] {
        leaveByReturn();
        TW_TRY(TW_EX_ALL) {
        } TW_CATCH {
        } TW_END_TRY;
    });
    EXPECT_EQ(128 + SIGABRT, byReturn.status);
    EXPECT_NE(std::string::npos, byReturn.err.find("ASSERTION FAILED: except.cpp, line ")) << byReturn.err;
    EXPECT_NE(std::string::npos, byReturn.err.find("left without its end")) << byReturn.err;

    // Found by the next raise too, instead of jumping into a dead frame.
    ForkResult thenRaise = runForked([] {
        leaveByReturn();
        twExThrow2(TW_EX_USER1, "app", TW_SEV_ERROR, "x");
    });
    EXPECT_EQ(128 + SIGABRT, thenRaise.status);
    EXPECT_NE(std::string::npos, thenRaise.err.find("left without its end")) << thenRaise.err;

    ForkResult byBreak = runForked([] {
        for (;;) {
            TW_TRY(TW_EX_ALL) {
                break;
            } TW_CATCH {
            } TW_END_TRY;
        }
    });
    EXPECT_EQ(128 + SIGABRT, byBreak.status);
    EXPECT_NE(std::string::npos, byBreak.err.find("TW_TRY region left by break or continue")) << byBreak.err;
    EXPECT_NE(std::string::npos, byBreak.err.find("except_test.cpp")) << "the place of the region";
}

TEST(ExceptEndTest, AssertionMacrosNameTheSourceFileAndLineAndLeaveACoreImage)
{
    volatile int n = 3;
    constexpr int kLine = __LINE__ + 3;
    ForkResult fixed = runForked([&n] {
        twCleanupProcV = printCleanup;
        TW_ASSERT(n == 4, "n is not four");
    });
    EXPECT_EQ(128 + SIGABRT, fixed.status);
    EXPECT_EQ("cleanup\nASSERTION FAILED: except_test.cpp, line " + std::to_string(kLine) + ": n is not four\n",
              fixed.err);

    ForkResult formatted = runForked([] { TW_ASSERTF(1 + 1 == 3, "sum %d of %s", 2, "ints"); });
    EXPECT_EQ(128 + SIGABRT, formatted.status);
    EXPECT_NE(std::string::npos, formatted.err.find(": sum 2 of ints\n")) << formatted.err;

    ForkResult passing = runForked([] { TW_ASSERT(true, "never printed"); });
    EXPECT_EQ(0, passing.status);
    EXPECT_EQ("", passing.err);
}

TEST(ExceptEndTest, RefusedAllocationsWhileThrowingAndCatchingEndCleanly)
{
    long made = twtest::sweepAllocationFailures(
        [] {
            TW_TRY(TW_EX_USER2) {
                TW_TRY(TW_EX_USER1) {
                    twExThrow2(TW_EX_USER1, "app", TW_SEV_ERROR, "one");
                } TW_CATCH {
                    twExThrow2(TW_EX_USER2, "app", TW_SEV_ERROR, "two");
                } TW_END_TRY;
            } TW_CATCH {
                fputs(twErr_String(twExErrV, TW_ERR_VERBOSE), stdout);
                TW_EX_SWALLOW();
            } TW_END_TRY;
        },
        [](const ForkResult &r) { EXPECT_EQ("app: Error: two\n+app: Error: one", r.out); });
    EXPECT_GT(made, 0);
}

} // namespace
