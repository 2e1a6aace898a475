/* oom_sweep.h - running a piece of work with chosen allocations refused.
 *
 * The work runs in a forked child (the parent's library state is inherited,
 * so every child starts from the same point) with its standard output and
 * error captured. A sweep refuses the nth platform allocation for every n the
 * work makes, once alone and once with every later one: each run must either
 * finish as normal (a purge or a retry got the memory back) or end through
 * the out-of-memory protocol with status 3 and "Out of memory.". A signal, a
 * hang, a sanitizer report or any other status fails the test.
 */
#ifndef TW_TESTS_SUPPORT_OOM_SWEEP_H
#define TW_TESTS_SUPPORT_OOM_SWEEP_H

#include <functional>
#include <string>

namespace twtest {

struct ForkResult {
    int status = -1;  // exit status, or 128 + signal number
    std::string out;  // standard output of the child
    std::string err;  // standard error of the child
    // Platform allocations made, when the work returned or ended the process
    // through exit; -1 after a signal or _exit.
    long allocations = -1;
};

// Runs work() in a child; the child exits 0 when it returns. Work that ends
// the process itself (twExit, twAbort) keeps its own status. failAt > 0
// refuses that platform allocation (and every later one when sticky).
ForkResult runForked(const std::function<void()> &work, long failAt = 0, bool sticky = false);

// The sweep described above. 'normal' checks a run that finished with status
// 0 (compare its output with a clean run's, say); it reports through gtest
// assertions in the parent. Returns the number of allocations of a clean run
// (0 means nothing was swept, which a test should treat as a fault).
long sweepAllocationFailures(const std::function<void()> &work,
                             const std::function<void(const ForkResult &)> &normal = {});

}  // namespace twtest

#endif
