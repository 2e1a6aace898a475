// Command-line behaviour of pagelift: exit status, standard output,
// standard error and the written script, each run in a fresh directory.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "support/process.h"
#include "support/worked_example.h"

namespace {

using twtest::ProcessResult;
using twtest::TempDir;

// Variables that change the library's behaviour are cleared so that the
// developer's own environment cannot leak into the runs.
const std::vector<std::string> kCleared = {"WDIR",          "TW_MEMDBG",       "TW_PURIFY",   "TW_MEMWATCH",
                                           "TW_STRDISABLE", "TW_MEMFLDISABLE", "TW_BLOCKSIZE"};

ProcessResult pagelift(const TempDir &dir, const std::vector<std::string> &args,
                       const std::vector<std::string> &env = {})
{
    std::vector<std::string> argv{PAGELIFT_EXE};
    argv.insert(argv.end(), args.begin(), args.end());
    return twtest::runProcess(argv, dir.path(), env, kCleared);
}

using twtest::kExampleMenus;
using twtest::kExampleScript;

TEST(PageliftCliTest, TooFewArgumentsIsAUsageError)
{
    TempDir dir;
    for (auto args : {std::vector<std::string>{}, std::vector<std::string>{"in.def"}}) {
        ProcessResult r = pagelift(dir, args);
        EXPECT_EQ(2, r.status);
        EXPECT_EQ("\nIncorrect number of arguments:  pagelift infile outfile\n\n", r.err);
        EXPECT_EQ("", r.out);
    }
}

TEST(PageliftCliTest, ConvertsTheWorkedExample)
{
    TempDir dir;
    dir.write("menus.def", kExampleMenus);
    ProcessResult r = pagelift(dir, {"menus.def", "menus.tcl", "ignored"});
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ("Reading " + dir.path() + "/menus.def ...\nWriting menus.tcl ... done.\n", r.out);
    EXPECT_EQ("", r.err);
    EXPECT_EQ(kExampleScript, twtest::readFile(dir.path() + "/menus.tcl"));
    EXPECT_FALSE(twtest::fileExists(dir.path() + "/ignored"));
}

// A large input makes the converter reserve its heap up front; the script
// must not change for it. The padding is a comment, which the reader drops.
TEST(PageliftCliTest, ALargeInputConvertsAsASmallOne)
{
    TempDir dir;
    std::string input = kExampleMenus;
    std::string line = "| " + std::string(98, '-') + "\n";
    for (int i = 0; i < 40000; i++) input += line;
    dir.write("menus.def", input);
    ProcessResult r = pagelift(dir, {"menus.def", "menus.tcl"});
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ(kExampleScript, twtest::readFile(dir.path() + "/menus.tcl"));
}

TEST(PageliftCliTest, MissingInputOrIncludeStopsWithStatus2AndNoOutput)
{
    TempDir dir;
    ProcessResult r = pagelift(dir, {"absent.def", "out.tcl"});
    EXPECT_EQ(2, r.status);
    EXPECT_EQ("File absent.def does not exist\n", r.out);
    EXPECT_FALSE(twtest::fileExists(dir.path() + "/out.tcl"));

    dir.write("main.def", "A {}\n@gone.def\nB {}\n");
    r = pagelift(dir, {"main.def", "out.tcl"});
    EXPECT_EQ(2, r.status);
    EXPECT_EQ("Reading " + dir.path() + "/main.def ...\nFile gone.def does not exist\n", r.out);
    EXPECT_FALSE(twtest::fileExists(dir.path() + "/out.tcl"));
}

TEST(PageliftCliTest, UnsplittableNameStopsWithStatus2)
{
    TempDir dir;
    std::string longName(300, 'n');
    ProcessResult r = pagelift(dir, {longName, "out.tcl"});
    EXPECT_EQ(2, r.status);
    EXPECT_EQ(0u, r.out.find("Unable to open file nnnn")) << r.out;
    EXPECT_EQ(1, std::count(r.out.begin(), r.out.end(), '\n'));
}

TEST(PageliftCliTest, IncludedMenusComeWhereTheDirectiveStands)
{
    TempDir dir;
    dir.write("main.def", "First { 0 0 0 0 go &Inner }\n@sub.def\nLast {}\n");
    dir.write("sub.def", "Inner { 0 0 0 0 i j }\n@deeper.def\nAfter {}\n");
    ProcessResult r = pagelift(dir, {"main.def", "out.tcl"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("Reading " + dir.path() + "/main.def ...\n" + "Reading " + dir.path() + "/sub.def ...\n" +
                  "Only one level of indirection allowed\n"
                  "Writing out.tcl ... done.\n",
              r.out);
    EXPECT_EQ("Inner_menu := tcZr.MakeMenu(\"Inner\",\n                list(\"i\",\"j\"));\n\n"
              "First_menu := tcZr.MakeMenu(\"First\",\n                list(\"go\",Inner_menu));\n\n"
              "After_menu := tcZr.MakeMenu(\"After\",\n);\n\n"
              "Last_menu := tcZr.MakeMenu(\"Last\",\n);\n\n"
              "\ntcFac.SetMenus (fac, Last_menu);\n",
              twtest::readFile(dir.path() + "/out.tcl"));
}

TEST(PageliftCliTest, InputErrorsStillEndWithStatus0)
{
    TempDir dir;
    dir.write("bad.def", "M { 0 0 x 0 0 a b }\nN 1 2 3 4 {\n");
    ProcessResult r = pagelift(dir, {"bad.def", "out.tcl"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("Reading " + dir.path() +
                  "/bad.def ...\n"
                  "Error in menu \"M\" - Integer expected in entry definition\n"
                  "Error in menu \"N\" - Excess data in menu definition\n"
                  "Error in menu \"N\" - Unexpected end-of-menu\n"
                  "Writing out.tcl ... done.\n",
              r.out);
    EXPECT_EQ("M_menu := tcZr.MakeMenu(\"M\",\n                list(\"a\",\"b\"));\n\n"
              "N_menu := tcZr.MakeMenu(\"N\",\n);\n\n\ntcFac.SetMenus (fac, N_menu);\n",
              twtest::readFile(dir.path() + "/out.tcl"));
}

// An output that could not be opened or written used to end with status 0,
// the full device even with "done.".
TEST(PageliftCliTest, OutputThatCannotBeOpenedOrWrittenStopsWithStatus2)
{
    TempDir dir;
    dir.write("menus.def", kExampleMenus);
    ProcessResult r = pagelift(dir, {"menus.def", "no/such/dir/out.tcl"});
    EXPECT_EQ(2, r.status);
    EXPECT_EQ("Reading " + dir.path() + "/menus.def ...\nUnable to open file no/such/dir/out.tcl\n", r.out);

    r = pagelift(dir, {"menus.def", "/dev/full"});
    EXPECT_EQ(2, r.status);
    EXPECT_EQ("Reading " + dir.path() +
                  "/menus.def ...\n"
                  "Writing /dev/full ... failed.\nUnable to write file /dev/full\n",
              r.out);
    struct stat st;
    ASSERT_EQ(0, lstat("/dev/full", &st));
    EXPECT_TRUE(S_ISCHR(st.st_mode)) << "a device is never removed";
}

// Binds a Unix socket at path: the search finds it as a file, but it cannot
// be opened for reading.
void makeSocket(const std::string &path)
{
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_LE(0, fd);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof addr.sun_path);
    memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    EXPECT_EQ(0, bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr));
    close(fd);
}

// A located input or include that could not be opened used to be skipped,
// and a read error taken for the end of the file: both wrote a script that
// silently lacked menus, with status 0.
TEST(PageliftCliTest, InputThatCannotBeOpenedOrReadStopsWithStatus2AndNoOutput)
{
    TempDir dir;
    std::string sock = dir.path() + "/sock.def";
    makeSocket(sock);
    ProcessResult r = pagelift(dir, {"sock.def", "out.tcl"});
    EXPECT_EQ(2, r.status);
    EXPECT_EQ("Unable to open file " + sock + "\n", r.out);
    EXPECT_FALSE(twtest::fileExists(dir.path() + "/out.tcl"));

    dir.write("main.def", "A {}\n@sock.def\nB {}\n");
    r = pagelift(dir, {"main.def", "out.tcl"});
    EXPECT_EQ(2, r.status);
    EXPECT_EQ("Reading " + dir.path() + "/main.def ...\nUnable to open file " + sock + "\n", r.out);
    EXPECT_FALSE(twtest::fileExists(dir.path() + "/out.tcl"));

    // Reading this file fails at once with an input/output error.
    r = pagelift(dir, {"/proc/self/mem", "out.tcl"});
    EXPECT_EQ(2, r.status);
    EXPECT_EQ("Reading /proc/self/mem ...\nUnable to read file /proc/self/mem\n", r.out);
    EXPECT_FALSE(twtest::fileExists(dir.path() + "/out.tcl"));

    dir.write("main.def", "A {}\n@/proc/self/mem\nB {}\n");
    r = pagelift(dir, {"main.def", "out.tcl"});
    EXPECT_EQ(2, r.status);
    EXPECT_EQ("Reading " + dir.path() +
                  "/main.def ...\n"
                  "Reading /proc/self/mem ...\nUnable to read file /proc/self/mem\n",
              r.out);
    EXPECT_FALSE(twtest::fileExists(dir.path() + "/out.tcl"));
}

// Menus that open only each other were never written, and the closing call
// then named a menu the script did not define.
TEST(PageliftCliTest, MenuWithBackToMainEntryKeepsEveryMenu)
{
    TempDir dir;
    dir.write("menus.def", "Main {\n 0 0 0 0 \"Tools\" \"&Tools\"\n 0 0 0 0 \"Quit\" quit\n}\n"
                           "Tools {\n 0 0 0 0 \"Sort\" sort\n 0 0 0 0 \"Back\" \"&Main\"\n}\n");
    ProcessResult r = pagelift(dir, {"menus.def", "out.tcl"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("Reading " + dir.path() + "/menus.def ...\nWriting out.tcl ... done.\n", r.out);
    EXPECT_EQ("Tools_menu := tcZr.MakeMenu(\"Tools\",\n"
              "                list(\"Sort\",\"sort\"),\n"
              "                list(\"Back\",Main_menu));\n\n"
              "Main_menu := tcZr.MakeMenu(\"Main\",\n"
              "                list(\"Tools\",Tools_menu),\n"
              "                list(\"Quit\",\"quit\"));\n\n"
              "\ntcFac.SetMenus (fac, Tools_menu);\n",
              twtest::readFile(dir.path() + "/out.tcl"));
}

TEST(PageliftCliTest, EmptyInputWritesAnEmptyScript)
{
    TempDir dir;
    dir.write("empty.def", "| nothing here\n");
    ProcessResult r = pagelift(dir, {"empty.def", "out.tcl"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("", twtest::readFile(dir.path() + "/out.tcl"));
}

// A conversion releases everything it took: under memory checking the usage
// report shows nothing live and no pool string is left.
TEST(PageliftCliTest, ConversionUnderMemoryCheckingLeavesNothingBehind)
{
    TempDir dir;
    dir.write("menus.def", std::string(kExampleMenus) + "@more.def\n");
    dir.write("more.def", "Extra 0 1 { a b\n 1 2 3 4 c d }\n");
    const std::vector<std::vector<std::string>> envs = {
        {"TW_MEMDBG="}, {"TW_MEMDBG=1", "TW_STRDISABLE=1"}, {"TW_MEMDBG=1", "TW_MEMFLDISABLE=1"}};
    for (const auto &env : envs) {
        ProcessResult r = pagelift(dir, {"menus.def", "out.tcl"}, env);
        SCOPED_TRACE(env.back());
        EXPECT_EQ(0, r.status) << r.err;
        auto usage = r.out.find("Maximum memory usage=");
        ASSERT_NE(std::string::npos, usage) << r.out;
        EXPECT_EQ(", current memory usage=0\n\n", r.out.substr(r.out.find(',', usage)))
            << "nothing may be live and no string unfreed: " << r.out.substr(usage);
    }
}

// Sub-menus are written before their openers; a chain of 200,000 menus, each
// opening the next, must neither crash nor exhaust the stack.
TEST(PageliftCliTest, LongChainOfSubMenus)
{
    TempDir dir;
    const int n = 200000;
    std::string input;
    input.reserve((size_t)n * 40);
    for (int i = 0; i < n; ++i)
        input += "M" + std::to_string(i) + " { 0 0 0 0 next &M" + std::to_string(i + 1) + " }\n";
    dir.write("chain.def", input);
    ProcessResult r = pagelift(dir, {"chain.def", "out.tcl"});
    ASSERT_EQ(0, r.status) << r.err;
    std::string script = twtest::readFile(dir.path() + "/out.tcl");
    std::string last = "M" + std::to_string(n - 1);
    EXPECT_EQ(0u, script.find(last + "_menu := tcZr.MakeMenu(\"" + last +
                              "\",\n"
                              "                list(\"next\",\"&M" +
                              std::to_string(n) +
                              "\"));\n\n"
                              "M" +
                              std::to_string(n - 2)));
    EXPECT_NE(std::string::npos,
              script.find("M0_menu := tcZr.MakeMenu(\"M0\",\n                list(\"next\",M1_menu));\n\n"
                          "\ntcFac.SetMenus (fac, " +
                          last + "_menu);\n"));
    std::string closing = "\ntcFac.SetMenus (fac, " + last + "_menu);\n";
    EXPECT_EQ(script.size() - closing.size(), script.rfind(closing));
}

}  // namespace
