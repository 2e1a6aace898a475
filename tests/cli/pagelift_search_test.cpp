// How pagelift finds its input and include files: through WDIR, preferring
// each directory's version sub-directory, after the current directory.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/process.h"

namespace {

using twtest::ProcessResult;
using twtest::TempDir;

const std::vector<std::string> kCleared = {"WDIR",          "TW_MEMDBG",       "TW_PURIFY",   "TW_MEMWATCH",
                                           "TW_STRDISABLE", "TW_MEMFLDISABLE", "TW_BLOCKSIZE"};

ProcessResult pagelift(const std::string &cwd, const std::string &input, const std::string &wdir)
{
    return twtest::runProcess({PAGELIFT_EXE, input, "out.scr"}, cwd, {"WDIR=" + wdir}, kCleared);
}

const char kTools[] = "Tools {\n 0 0 0 0 \"Close\" \"close_file\"\n}\n";
const char kMainWithInclude[] = "@tools.def\n"
                                "Main {\n"
                                " 0 0 0 0 \"Open\" \"open_file\"\n"
                                " 0 0 0 0 \"Tools\" \"&Tools\"\n"
                                "}\n";
const char kPlain[] = "Plain {\n 0 0 0 0 \"Open\" \"open_file\"\n}\n";

TEST(PageliftSearchTest, FindsInputAndIncludeThroughWdirPreferringTheVersionDirectory)
{
    TempDir t;
    std::string run = t.mkdir("run");
    std::string input = t.write("lib/532/menus.def", kMainWithInclude);
    t.write("lib/menus.def", kPlain);  // shadowed by the version sub-directory
    std::string tools = t.write("lib/tools.def", kTools);

    ProcessResult r = pagelift(run, "menus.def", t.path() + "/lib");
    EXPECT_EQ(0, r.status) << r.out << r.err;
    EXPECT_EQ("Reading " + input + " ...\nReading " + tools + " ...\nWriting out.scr ... done.\n", r.out);
    std::string script = twtest::readFile(run + "/out.scr");
    EXPECT_NE(std::string::npos, script.find("list(\"Close\",\"close_file\")")) << script;
}

TEST(PageliftSearchTest, LaterWorkingDirectoriesComeAfterTheCurrentDirectory)
{
    TempDir t;
    std::string run = t.mkdir("run"), wdir = t.mkdir("first") + ":" + t.path() + "/second";
    std::string input = t.write("second/menus.def", kPlain);
    ProcessResult r = pagelift(run, "menus.def", wdir);
    EXPECT_EQ(0, r.status) << r.out << r.err;
    EXPECT_EQ("Reading " + input + " ...\nWriting out.scr ... done.\n", r.out);

    // The current directory's version sub-directory comes before any of them.
    std::string local = t.write("run/532/menus.def", kPlain);
    r = pagelift(run, "menus.def", wdir);
    EXPECT_EQ(0, r.status) << r.out << r.err;
    EXPECT_EQ("Reading " + local + " ...\nWriting out.scr ... done.\n", r.out);
}

}  // namespace
