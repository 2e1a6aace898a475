/* oom_sweep.cpp - forked runs with refused allocations. */
#include "support/oom_sweep.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "twlib/core/mem_testhook.h"

// Leak checking at the end of a child that the out-of-memory protocol ended
// would report whatever the work held at that moment; those are not leaks.
extern "C" void __lsan_disable(void) __attribute__((weak));

namespace twtest {

// Where a child reports its allocation count, also when the work ends the
// process itself through exit (twExit, say).
static int countFd = -1;

static void reportCount()
{
    if (countFd < 0) return;
    long made = twMem_TestAllocationCount();
    twMem_TestFailAllocation(0, 0);
    if (write(countFd, &made, sizeof made) != (ssize_t)sizeof made) _exit(125);
    countFd = -1;
}

static std::string slurp(FILE *f)
{
    std::string s;
    rewind(f);
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    fclose(f);
    return s;
}

ForkResult runForked(const std::function<void()> &work, long failAt, bool sticky)
{
    FILE *out = tmpfile(), *err = tmpfile();
    int countPipe[2];
    if (!out || !err || pipe(countPipe) != 0) throw std::runtime_error("no temporary files");
    fflush(stdout);
    fflush(stderr);
    pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        close(countPipe[0]);
        dup2(fileno(out), 1);
        dup2(fileno(err), 2);
        if (__lsan_disable) __lsan_disable();
        // Work that asks for a core image (twAbort(1)) leaves none behind.
        struct rlimit noCore = {0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        countFd = countPipe[1];
        atexit(reportCount);
        twMem_TestFailAllocation(failAt, sticky);
        work();
        reportCount();
        fflush(stdout);
        fflush(stderr);
        _exit(0);
    }
    close(countPipe[1]);
    ForkResult r;
    long made;
    if (read(countPipe[0], &made, sizeof made) == (ssize_t)sizeof made) r.allocations = made;
    close(countPipe[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = slurp(out);
    r.err = slurp(err);
    return r;
}

long sweepAllocationFailures(const std::function<void()> &work,
                             const std::function<void(const ForkResult &)> &normal)
{
    ForkResult clean = runForked(work);
    EXPECT_EQ(0, clean.status) << "a clean run must succeed\n" << clean.out << clean.err;
    if (clean.status != 0 || clean.allocations < 0) return 0;
    if (normal) normal(clean);
    for (long n = 1; n <= clean.allocations; ++n) {
        for (bool sticky : {false, true}) {
            ForkResult r = runForked(work, n, sticky);
            SCOPED_TRACE("allocation " + std::to_string(n) + (sticky ? " and later" : " alone") + " refused");
            if (r.status == 0) {
                if (normal) normal(r);
            } else {
                EXPECT_EQ(3, r.status) << r.out << r.err;
                EXPECT_NE(std::string::npos, r.err.find("Out of memory.")) << r.out << r.err;
            }
            if (::testing::Test::HasFailure()) return clean.allocations;
        }
    }
    return clean.allocations;
}

}  // namespace twtest
