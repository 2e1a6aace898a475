/* child.h - tests that need a process of their own.
 *
 * Settings read once per process (environment variables) and ends of the
 * process cannot be tested in the process that runs the other cases. Such
 * cases belong to a suite whose name ends in "Env"; the ordinary run leaves
 * those suites out, and each is run in a child process in one of two ways:
 *
 *   TW_ENV_SUITE(StrPurifyEnv, Purify, "TW_PURIFY=1")
 *       adds the case StrPurifyEnvRuns.Purify, which runs every case of the
 *       suite in a child with the memory settings cleared and the listed
 *       ones set, and passes when they all pass;
 *   TW_CHILD_SUITE(ExitChildEnv)
 *       declares a suite of scenes that parent cases play with runChild and
 *       judge by the child's status and output.
 *
 * A suite ending in "Env" that neither names is never run; every test
 * program refuses to start while it has one (see test_main.cpp).
 */
#ifndef TW_TESTS_SUPPORT_CHILD_H
#define TW_TESTS_SUPPORT_CHILD_H

#include <cstdlib>
#include <string>
#include <vector>

#include "support/process.h"

namespace twtest {

// Records that a suite is run in child processes; returns true.
bool declareChildSuite(const char *suite);
bool isChildSuite(const std::string &suite);

// Runs the case 'test' for 'scene' with every memory setting cleared and
// then 'env' set, in a fresh temporary directory (where a core image would
// land). The case's suite must be declared with TW_CHILD_SUITE.
ProcessResult runChild(const std::string &test, const std::string &scene, std::vector<std::string> env = {});

// Runs every case of 'suite' in a child with the memory settings cleared and
// then 'env' set; reports a failure unless at least one case ran and all
// passed.
void expectSuitePassesInChild(const std::string &suite, const std::vector<std::string> &env);

// Names of the settings cleared for every child.
const std::vector<std::string> &memorySettings();

}  // namespace twtest

#define TW_CHILD_SUITE(Suite)                                                                                \
    [[maybe_unused]] static const bool tw_child_suite_##Suite = twtest::declareChildSuite(#Suite)

#define TW_ENV_SUITE(Suite, Variant, ...)                                                                    \
    [[maybe_unused]] static const bool tw_env_suite_##Suite##_##Variant = twtest::declareChildSuite(#Suite); \
    TEST(Suite##Runs, Variant)                                                                               \
    {                                                                                                        \
        twtest::expectSuitePassesInChild(#Suite, {__VA_ARGS__});                                             \
    }

// Child cases end their process on purpose; run by hand they only skip.
#define CHILD_ONLY()                                                                                         \
    do {                                                                                                     \
        if (!getenv("TW_TEST_CHILD")) GTEST_SKIP() << "run by its parent test";                              \
    } while (0)

#endif
