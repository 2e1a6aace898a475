/* child.h - running one case of the current test program in a child process.
 *
 * Settings read once per process and ends of the process are tested by a
 * parent case that runs a child case (suite name ending in ChildEnv, so the
 * ordinary run leaves it out) with a chosen environment and checks its
 * status and output. A child case may play several scenes: it finds the one
 * asked for in TW_TEST_CHILD.
 */
#ifndef TW_TESTS_CORE_CHILD_H
#define TW_TESTS_CORE_CHILD_H

#include <cstdlib>
#include <string>
#include <vector>

#include "support/process.h"

namespace twtest {

// Runs the case 'test' for 'scene' with every memory setting cleared and
// then 'env' set, in a fresh temporary directory (where a core image would
// land).
inline ProcessResult runChild(const std::string &test, const std::string &scene,
                              std::vector<std::string> env = {})
{
    TempDir dir;
    env.push_back("TW_TEST_CHILD=" + scene);
    return runProcess({"/proc/self/exe", "--gtest_filter=" + test}, dir.path(), env,
                      {"TW_MEMDBG", "TW_PURIFY", "TW_MEMWATCH", "TW_MEMFLDISABLE", "TW_STRDISABLE",
                       "TW_BLOCKSIZE"});
}

} // namespace twtest

// Child cases end their process on purpose; run by hand they only skip.
#define CHILD_ONLY()                                                            \
    do {                                                                        \
        if (!getenv("TW_TEST_CHILD")) GTEST_SKIP() << "run by its parent test"; \
    } while (0)

#endif
