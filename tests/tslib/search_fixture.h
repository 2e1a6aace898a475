// search_fixture.h - what the tests of the search family share: a fresh
// temporary directory as current directory, WDIR set per test and read
// again through tsResetWdirCache, and collecting callbacks.
#ifndef TW_TESTS_TSLIB_SEARCH_FIXTURE_H
#define TW_TESTS_TSLIB_SEARCH_FIXTURE_H

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/process.h"
#include "tslib/fileops.h"
#include "tslib/path.h"
#include "tslib/search.h"
#include "twlib/core/mem.h"

namespace twtest {

using Strings = std::vector<std::string>;

// Sets WDIR (unsets it for null) and has the search read it again.
inline void setWdir(const char *value)
{
    value ? setenv("WDIR", value, 1) : unsetenv("WDIR");
    tsResetWdirCache();
}

// Each test runs in a fresh temporary directory whose "cwd" is the current
// (and default) directory; afterwards PATH is put back, WDIR is unset, the
// version is the stock one again and the search reads the environment again.
class SearchTest : public ::testing::Test {
protected:
    TempDir t;
    std::string cwd = t.mkdir("cwd"), oldCwd = std::filesystem::current_path().string();
    std::string oldPath = getenv("PATH") ? getenv("PATH") : "";
    void SetUp() override { ASSERT_EQ(0, tsSetdef(cwd.c_str())); }
    void TearDown() override
    {
        tsSetdef(oldCwd.c_str());
        setenv("PATH", oldPath.c_str(), 1);
        tsWdirSetCompatibleVersion(twCompatibleVersionV);
        setWdir(nullptr);
    }
};

// The result of tsGetini and the path buffer, as "result path".
inline std::string getini(const std::string &name)
{
    char path[TS_PATH_SIZE];
    memset(path, '#', sizeof path);
    int r = tsGetini(name.c_str(), path);
    EXPECT_NE(nullptr, memchr(path, '\0', sizeof path)) << "the path buffer is terminated";
    return std::to_string(r) + " " + path;
}

inline int collectPath(const char *path, void *arg)
{
    static_cast<Strings *>(arg)->push_back(path);
    return 1;
}

inline Strings searchDirs()
{
    Strings seen;
    tsWdirLoopSrchdirs2([](void *arg, const char *path) { return collectPath(path, arg); }, &seen);
    return seen;
}

// The do-nothing procedure as loop callback: the loop only counts.
inline const tsLoopFn kCountOnly = reinterpret_cast<tsLoopFn>(reinterpret_cast<void (*)()>(&twDummyProc));

// The matching entries; the loop's result is 0 when there are any, else 4.
inline Strings loop(const std::string &pattern, int kind, tsLoopFn fn = collectPath)
{
    Strings got;
    int r = tsLoop2(pattern.c_str(), kind, fn, &got);
    EXPECT_EQ(got.empty() ? 4 : 0, r) << pattern;
    return got;
}

}  // namespace twtest

#endif
