/* child.cpp - running suites and scenes in child processes. */
#include "support/child.h"

#include <gtest/gtest.h>

#include <set>

namespace twtest {

static std::set<std::string> &childSuites()
{
    static std::set<std::string> suites;
    return suites;
}

bool declareChildSuite(const char *suite)
{
    childSuites().insert(suite);
    return true;
}

bool isChildSuite(const std::string &suite)
{
    return childSuites().count(suite) != 0;
}

const std::vector<std::string> &memorySettings()
{
    static const std::vector<std::string> names = {"TW_MEMDBG",       "TW_PURIFY",     "TW_MEMWATCH",
                                                   "TW_MEMFLDISABLE", "TW_STRDISABLE", "TW_BLOCKSIZE",
                                                   "TW_TEST_CHILD"};
    return names;
}

ProcessResult runChild(const std::string &test, const std::string &scene, std::vector<std::string> env)
{
    std::string suite = test.substr(0, test.find('.'));
    EXPECT_TRUE(isChildSuite(suite)) << suite << " is not declared with TW_CHILD_SUITE";
    TempDir dir;
    env.push_back("TW_TEST_CHILD=" + scene);
    return runProcess({"/proc/self/exe", "--gtest_filter=" + test}, dir.path(), env, memorySettings());
}

void expectSuitePassesInChild(const std::string &suite, const std::vector<std::string> &env)
{
    TempDir dir;
    ProcessResult r = runProcess({"/proc/self/exe", "--gtest_filter=" + suite + ".*", "--gtest_brief=0"},
                                 dir.path(), env, memorySettings());
    EXPECT_EQ(0, r.status) << r.out << r.err;
    EXPECT_NE(std::string::npos, r.out.find("[  PASSED  ] ")) << "no case of " << suite << " ran\n"
                                                              << r.out << r.err;
    EXPECT_EQ(std::string::npos, r.out.find("[  SKIPPED ] ")) << "a case of " << suite << " skipped\n"
                                                              << r.out;
}

}  // namespace twtest
