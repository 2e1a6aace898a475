// How pagelift finds its input and include files: through WDIR, preferring
// each directory's version sub-directory, and what it says when a file is
// found nowhere.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/process.h"

namespace {

using twtest::ProcessResult;
using twtest::TempDir;

const std::vector<std::string> kCleared = {"WDIR", "TW_MEMDBG", "TW_PURIFY", "TW_MEMWATCH",
                                           "TW_STRDISABLE", "TW_MEMFLDISABLE", "TW_BLOCKSIZE"};

ProcessResult pagelift(const std::string &cwd, const std::vector<std::string> &args,
                       const std::string &wdir)
{
    std::vector<std::string> argv{PAGELIFT_EXE};
    argv.insert(argv.end(), args.begin(), args.end());
    return twtest::runProcess(argv, cwd, {"WDIR=" + wdir}, kCleared);
}

const char kTools[] = "Tools {\n 0 0 0 0 \"Close\" \"close_file\"\n}\n";
const char kMainWithInclude[] = "@tools.def\n"
                                "Main {\n"
                                " 0 0 0 0 \"Open\" \"open_file\"\n"
                                " 0 0 0 0 \"Tools\" \"&Tools\"\n"
                                "}\n";
const char kMainWithIncludeScript[] = "Tools_menu := tcZr.MakeMenu(\"Tools\",\n"
                                      "                list(\"Close\",\"close_file\"));\n"
                                      "\n"
                                      "Main_menu := tcZr.MakeMenu(\"Main\",\n"
                                      "                list(\"Open\",\"open_file\"),\n"
                                      "                list(\"Tools\",Tools_menu));\n"
                                      "\n"
                                      "\n"
                                      "tcFac.SetMenus (fac, Main_menu);\n";
const char kPlain[] = "Plain {\n 0 0 0 0 \"Open\" \"open_file\"\n}\n";
const char kPlainScript[] = "Plain_menu := tcZr.MakeMenu(\"Plain\",\n"
                            "                list(\"Open\",\"open_file\"));\n"
                            "\n"
                            "\n"
                            "tcFac.SetMenus (fac, Plain_menu);\n";

TEST(PageliftSearchTest, FindsInputAndIncludeThroughWdirPreferringTheVersionDirectory)
{
    TempDir t;
    std::string run = t.mkdir("run");
    std::string input = t.write("lib/532/menus.def", kMainWithInclude);
    t.write("lib/menus.def", kPlain); // shadowed by the version sub-directory
    std::string tools = t.write("lib/tools.def", kTools);

    ProcessResult r = pagelift(run, {"menus.def", "out.scr"}, t.path() + "/lib");
    EXPECT_EQ(0, r.status) << r.out << r.err;
    EXPECT_EQ("Reading " + input + " ...\nReading " + tools + " ...\nWriting out.scr ... done.\n", r.out);
    EXPECT_EQ(kMainWithIncludeScript, twtest::readFile(run + "/out.scr"));
}

TEST(PageliftSearchTest, LaterWorkingDirectoriesAndTheCurrentDirectory)
{
    TempDir t;
    std::string run = t.mkdir("run");
    t.mkdir("first");
    std::string input = t.write("second/menus.def", kPlain);
    ProcessResult r = pagelift(run, {"menus.def", "out.scr"}, t.path() + "/first:" + t.path() + "/second");
    EXPECT_EQ(0, r.status) << r.out << r.err;
    EXPECT_EQ("Reading " + input + " ...\nWriting out.scr ... done.\n", r.out);
    EXPECT_EQ(kPlainScript, twtest::readFile(run + "/out.scr"));

    // The current directory's version sub-directory comes before any of them.
    std::string local = t.write("run/532/menus.def", kPlain);
    r = pagelift(run, {"menus.def", "out.scr"}, t.path() + "/first:" + t.path() + "/second");
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("Reading " + local + " ...\nWriting out.scr ... done.\n", r.out);
}

TEST(PageliftSearchTest, AFileFoundNowhereEndsWithStatusTwo)
{
    TempDir t;
    std::string run = t.mkdir("run");
    ProcessResult r = pagelift(run, {"nothere.def", "out.scr"}, t.path() + "/lib");
    EXPECT_EQ(2, r.status);
    EXPECT_EQ("File nothere.def does not exist\n", r.out);
    EXPECT_FALSE(twtest::fileExists(run + "/out.scr"));

    // An include directive naming a missing file ends the run the same way.
    std::string input = t.write("lib/menus.def", kMainWithInclude);
    r = pagelift(run, {"menus.def", "out.scr"}, t.path() + "/lib");
    EXPECT_EQ(2, r.status);
    EXPECT_EQ("Reading " + input + " ...\nFile tools.def does not exist\n", r.out);
    EXPECT_FALSE(twtest::fileExists(run + "/out.scr"));
}

} // namespace
