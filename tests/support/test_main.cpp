/* test_main.cpp - the main of every test program.
 *
 * Before running anything it checks that every suite meant for a process of
 * its own (name ending in "Env") is run by something: a TW_ENV_SUITE or a
 * TW_CHILD_SUITE declaration. Such a suite is left out of the ordinary run,
 * so without that check a forgotten declaration would pass silently.
 */
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/child.h"

static bool endsWith(const std::string &s, const std::string &tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    const ::testing::UnitTest &all = *::testing::UnitTest::GetInstance();
    int unrun = 0;
    for (int i = 0; i < all.total_test_suite_count(); ++i) {
        std::string name = all.GetTestSuite(i)->name();
        if (endsWith(name, "Env") && !twtest::isChildSuite(name)) {
            fprintf(stderr,
                    "suite %s needs a process of its own but nothing runs it: "
                    "declare it with TW_ENV_SUITE or TW_CHILD_SUITE\n",
                    name.c_str());
            ++unrun;
        }
    }
    if (unrun) return 1;
    return RUN_ALL_TESTS();
}
