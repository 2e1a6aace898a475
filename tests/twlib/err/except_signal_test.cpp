/* except_signal_test.cpp - hardware faults turned into exceptions.
 *
 * Each scene runs in a child of its own: twExInit is once per process, and
 * under AddressSanitizer the child is told to leave the fault signals to
 * the program (handle_segv=0 and friends).
 */
#include "twlib/err/except.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include "support/child.h"
#include "twlib/core/exit.h"
#include "twlib/err/error.h"
#include "twlib/err/report.h"

namespace {

using twtest::ProcessResult;

// A page that may be neither read nor written: a store to it is a real
// segmentation violation, not undefined behaviour the sanitizers report.
volatile char *forbiddenPage()
{
    static void *page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return static_cast<volatile char *>(page);
}

void segfault()
{
    forbiddenPage()[16] = 1;
}

// A read past the end of a mapped file: a bus error.
void busError()
{
    static volatile char *map = [] {
        FILE *f = tmpfile();
        fputc('x', f);
        fflush(f);
        void *p = mmap(nullptr, 8192, PROT_READ, MAP_SHARED, fileno(f), 0);
        return static_cast<volatile char *>(p);
    }();
    (void)map[4096 + 16];
}

// An integer division by zero done by the processor itself, where the
// compiler cannot see it (a division in C++ would be undefined behaviour).
void fpe()
{
#if defined(__x86_64__)
    int zero = 0;
    __asm__ volatile("movl $1, %%eax\n\tcltd\n\tidivl %0" : : "r"(zero) : "eax", "edx", "cc");
#else
    raise(SIGFPE);
#endif
}

void init()
{
    static char name[] = "/opt/tools/menutool.exe";
    static char *argv[] = {name, nullptr};
    int argc = 1;
    twExInit(&argc, argv);
    twExInit(&argc, argv);  // once per process: the second does nothing
}

bool blocked(int sig)
{
    sigset_t now;
    sigprocmask(SIG_SETMASK, nullptr, &now);
    return sigismember(&now, sig) == 1;
}

// Catches 'fault' with a frame that accepts only 'tag' inside one that
// passes it on; prints what the frame saw.
void catchOnce(void (*fault)(), uint32_t tag)
{
    volatile int caught = 0;
    TW_TRY(TW_EX_ALL) {
        TW_TRY(tag) {
            TW_TRY(TW_EX_PRECOND) {
                fault();
            } TW_CATCH {
                caught = 2;
            } TW_END_TRY;
        } TW_CATCH {
            caught = 1;
            printf("%s|%s|%d|%d\n", twExTagString(twExTagV), twErrApp(twExErrV), twErrNum(twExErrV),
                   blocked(tag == TW_EX_SEGV ? SIGSEGV : tag == TW_EX_FPE ? SIGFPE : SIGBUS));
            TW_EX_SWALLOW();
        } TW_END_TRY;
    } TW_CATCH {
        caught = 3;
    } TW_END_TRY;
    printf("caught by %d, stack %s\n", caught, twEx_StackV ? "left" : "empty");
}

int faultingCleanup()
{
    segfault();
    return 1;
}

TEST(ExceptSignalEnv, Run)
{
    CHILD_ONLY();
    std::string scene = getenv("TW_TEST_CHILD");
    if (scene == "uncaught-before-init") {
        struct rlimit noCore = {0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        TW_TRY(TW_EX_SEGV) {
            segfault();
        } TW_CATCH {
        } TW_END_TRY;
    }
    init();
    if (scene == "caught") {
        catchOnce(segfault, TW_EX_SEGV);
        catchOnce(segfault, TW_EX_SEGV);
        catchOnce(fpe, TW_EX_FPE);
        catchOnce(fpe, TW_EX_FPE);
        catchOnce(busError, TW_EX_BUSERR);
        TW_TRY(TW_EX_SEGV) {
            twExThrow2(TW_EX_USER1, "app", TW_SEV_ERROR, "ordinary");
        } TW_CATCH {
        } TW_END_TRY;
    } else if (scene == "uncaught") {
        segfault();
    } else if (scene == "leaks") {
        // Every way out of a region, faults included; what stays pending is
        // reported, so nothing may be left for the leak reports.
        catchOnce(segfault, TW_EX_SEGV);
        TW_TRY(TW_EX_ALL) {
            TW_TRY(TW_EX_ALL) {
                fpe();
            } TW_CATCH {
                TW_EX_RETHROW();
            } TW_END_TRY;
        } TW_CATCH {
        } TW_END_TRY;
        TW_TRY(TW_EX_ALL) {
            TW_TRY(TW_EX_ALL) {
                twExThrow2(TW_EX_USER1, "app", TW_SEV_ERROR, "inner");
            } TW_CATCH {
                twExThrow2(TW_EX_USER2, "app", TW_SEV_ERROR, "translated");
            } TW_END_TRY;
        } TW_CATCH {
        } TW_END_TRY;
        twErrReport(nullptr, twErrCreate2("app", TW_SEV_NOTE, "done"));
    } else if (scene == "nested") {
        twCleanupProcV = faultingCleanup;
        segfault();
    }
    fflush(nullptr);
    twExit(0);
}
TW_CHILD_SUITE(ExceptSignalEnv);

ProcessResult runScene(const std::string &scene, std::vector<std::string> env = {})
{
    std::string asan = getenv("ASAN_OPTIONS") ? getenv("ASAN_OPTIONS") : "";
    asan += ":handle_segv=0:handle_sigbus=0:handle_sigfpe=0";
    env.push_back("ASAN_OPTIONS=" + asan);
    return twtest::runChild("ExceptSignalEnv.Run", scene, env);
}

TEST(ExceptSignalTest, FaultsAreCaughtAgainAndAgainAndTheProgramGoesOn)
{
    ProcessResult r = runScene("caught");
    EXPECT_EQ(3, r.status) << "the last, ordinary exception is not accepted\n" << r.out << r.err;
    const char *caught = "caught by 1, stack empty\n";
    EXPECT_NE(std::string::npos,
              r.out.find(std::string("segmentation violation|twlib|2001|0\n") + caught +
                         "segmentation violation|twlib|2001|0\n" + caught +
                         "floating point exception|twlib|2001|0\n" + caught +
                         "floating point exception|twlib|2001|0\n" + caught + "bus error|twlib|2001|0\n" +
                         caught))
        << r.out << r.err;
    EXPECT_EQ("app: Error: ordinary\n", r.err);
}

TEST(ExceptSignalTest, NoPathLeavesRecordsOrStringsForTheLeakReports)
{
    ProcessResult r = runScene("leaks", {"TW_MEMDBG=1"});
    EXPECT_EQ(0, r.status) << r.out << r.err;
    EXPECT_NE(std::string::npos, r.err.find("app: Note: done\n+app: Error: translated\n+app: Error: inner\n"
                                            "+twlib: Error 2001: menutool - floating point exception."))
        << r.err;
    EXPECT_NE(std::string::npos, r.out.find("Maximum memory usage=")) << r.out;
    EXPECT_EQ(std::string::npos, r.out.find("errorObject")) << r.out;
    EXPECT_EQ(std::string::npos, r.out.find("Unfreed strings")) << r.out;
}

TEST(ExceptSignalTest, AnUncaughtFaultIsReportedWithTheProgramNameAndEndsWithStatus3)
{
    ProcessResult r = runScene("uncaught");
    EXPECT_EQ(3, r.status) << r.out << r.err;
    EXPECT_EQ("twlib: Error 2001: menutool - segmentation violation.\n"
              "Receipt of this message indicates an unspecified\nsystem-level error.\n\n"
              "1.  Save your data under a new name.\n\n2.  Exit the tool.\n",
              r.err);
}

TEST(ExceptSignalTest, AFaultWhileHandlingAFaultEndsTheProcessAtOnce)
{
    ProcessResult r = runScene("nested");
    EXPECT_EQ(3, r.status) << r.out << r.err;
    EXPECT_EQ("\n*** Fatal error encountered ***\ntwlib: Fatal: segmentation violation while handling an "
              "earlier signal\n",
              r.err);
}

TEST(ExceptSignalTest, WithoutTwExInitAFaultIsNotCaught)
{
    ProcessResult r = runScene("uncaught-before-init");
    EXPECT_EQ(128 + SIGSEGV, r.status) << r.out << r.err;
}

} // namespace
