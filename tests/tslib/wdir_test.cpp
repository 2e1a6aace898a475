// The working-directory list: built from WDIR, rebuilt after a reset, with
// version sub-directories for the compatible version in force.
#include <gtest/gtest.h>

#include <string>

#include "search_fixture.h"
#include "tslib/wdir.h"

namespace {

using namespace twtest;

TEST_F(SearchTest, CompatibleVersionCanBeChangedOrSwitchedOff)
{
    std::string work = t.mkdir("work"), versioned = t.write("cwd/532/m.def", "x"),
                plain = t.write("work/m.def", "x");
    setWdir(work.c_str());
    tsWdirSetCompatibleVersion("");
    EXPECT_EQ("0 " + plain, getini("m.def"));
    EXPECT_EQ((Strings{".", work}), searchDirs());
    tsWdirSetCompatibleVersion(std::string(200, 'v').c_str());
    EXPECT_EQ(std::string(79, 'v') + "/", searchDirs().at(0)) << "kept to 79 characters";
    tsWdirSetCompatibleVersion(twCompatibleVersionV);
    EXPECT_EQ("0 " + versioned, getini("m.def"));
}

TEST_F(SearchTest, WdirIsReadAgainOnlyAfterAReset)
{
    std::string first = t.mkdir("first"), second = t.mkdir("second");
    setWdir(first.c_str());
    EXPECT_EQ((Strings{"532/", ".", first + "/532/", first}), searchDirs());
    setenv("WDIR", second.c_str(), 1);
    EXPECT_EQ(first, searchDirs().back()) << "a changed WDIR waits for the reset";
    tsResetWdirCache();
    EXPECT_EQ(second, searchDirs().back());
    setWdir(nullptr);
    EXPECT_EQ((Strings{"532/", "."}), searchDirs()) << "no WDIR: an empty list";
}

}  // namespace
