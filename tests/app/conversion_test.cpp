// Whole conversions run in forked children: read errors part way through a
// file, write errors part way through the script, and a conversion with
// every allocation it makes refused in turn.
#include "app/conversion.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>

#include "support/oom_sweep.h"
#include "support/process.h"

namespace {

using twtest::ForkResult;
using twtest::TempDir;

// A stream that yields its text and then fails with an input/output error.
struct FailingSource {
    const char *text;
    size_t size;
    size_t pos;
};

ssize_t readThenFail(void *cookie, char *buf, size_t size)
{
    auto *src = static_cast<FailingSource *>(cookie);
    if (src->pos == src->size) {
        errno = EIO;
        return -1;
    }
    size_t n = std::min(size, src->size - src->pos);
    memcpy(buf, src->text + src->pos, n);
    src->pos += n;
    return (ssize_t)n;
}

ForkResult readFailingFile(const char *text)
{
    return twtest::runForked([text] {
        FailingSource src{text, strlen(text), 0};
        FILE *stream = fopencookie(&src, "r", cookie_io_functions_t{readThenFail, nullptr, nullptr, nullptr});
        if (!stream) _exit(120);
        readMenuStream(stream, "menus.def");
    });
}

// A read error used to be taken for the end of the file: the conversion
// went on with the menus read so far and ended with status 0.
TEST(ConversionTest, ReadErrorPartWayStopsWithStatus2)
{
    ForkResult r = readFailingFile("A { 0 0 0 0 a b }\n");
    EXPECT_EQ(2, r.status);
    EXPECT_EQ("Reading menus.def ...\nUnable to read file menus.def\n", r.out);

    r = readFailingFile("A { 0 0 0 0 a b }\nB { 0 0 0 0 c");
    EXPECT_EQ(2, r.status);
    EXPECT_EQ("Reading menus.def ...\nError in menu \"B\" - Unexpected end-of-menu\n"
              "Unable to read file menus.def\n",
              r.out);
}

std::string chainOfMenus(int count)
{
    std::string text;
    for (int i = 0; i < count; ++i)
        text += "M" + std::to_string(i) + " { 0 0 0 0 \"next menu\" &M" + std::to_string(i + 1) + " }\n";
    return text;
}

// Runs the whole conversion of 'in' into 'out' in directory 'dir' with files
// limited to 'limit' bytes, beyond which writes fail instead of raising a
// signal.
ForkResult convertWithFileLimit(const TempDir &dir, const char *in, const char *out, rlim_t limit)
{
    return twtest::runForked([&] {
        if (chdir(dir.path().c_str()) != 0) _exit(120);
        signal(SIGXFSZ, SIG_IGN);
        rlimit rl{limit, limit};
        if (setrlimit(RLIMIT_FSIZE, &rl) != 0) _exit(121);
        char *argv[] = {const_cast<char *>("pagelift"), const_cast<char *>(in), const_cast<char *>(out),
                        nullptr};
        convertMenus(3, argv);
    });
}

// A script that could not be written completely used to be left behind
// with status 0.
TEST(ConversionTest, WriteErrorPartWayLeavesNoPartialScript)
{
    TempDir dir;
    dir.write("chain.def", chainOfMenus(400));
    ForkResult r = convertWithFileLimit(dir, "chain.def", "out.tcl", 8192);
    EXPECT_EQ(2, r.status) << r.out << r.err;
    EXPECT_EQ("Reading " + dir.path() +
                  "/chain.def ...\n"
                  "Writing out.tcl ... failed.\nUnable to write file out.tcl\n",
              r.out);
    EXPECT_FALSE(twtest::fileExists(dir.path() + "/out.tcl"));

    // Through a link the script is emptied; the link and its target stay.
    ASSERT_EQ(0, symlink("target.tcl", (dir.path() + "/link.tcl").c_str()));
    r = convertWithFileLimit(dir, "chain.def", "link.tcl", 8192);
    EXPECT_EQ(2, r.status) << r.out << r.err;
    EXPECT_EQ("", twtest::readFile(dir.path() + "/target.tcl"));
    struct stat st;
    EXPECT_EQ(0, lstat((dir.path() + "/link.tcl").c_str(), &st));

    r = convertWithFileLimit(dir, "chain.def", "out.tcl", 1 << 20);
    EXPECT_EQ(0, r.status) << r.out << r.err;
    EXPECT_EQ(0u, twtest::readFile(dir.path() + "/out.tcl").find("M399_menu := "));
}

// An include, a menu that opens the main menu again, and a chain of
// sub-menus deeper than the writer's first stack block.
const char kSweepInput[] = "Main {\n"
                           " 0 0 0 0 \"Tools\" \"&Tools\"\n"
                           " 0 0 0 0 \"Chain\" \"&C1\"\n"
                           " 0 0 0 0 \"Window\" \"&zr_window\"\n"
                           "}\n"
                           "@tools.def\n";
const char kSweepInclude[] = "Tools 0 1 {\n"
                             " \"Sort\" sort\n"
                             " 0 0 0 0 \"Back\" \"&Main\"\n"
                             "}\n";

std::string sweepChain()
{
    std::string text;
    for (int i = 1; i <= 12; ++i)
        text += "C" + std::to_string(i) + " { 0 0 0 0 \"deeper\" &C" + std::to_string(i + 1) + " }\n";
    return text;
}

// Every allocation of a whole conversion is refused in turn, alone and with
// every later one. A run either converts as normal, or stops through the
// out-of-memory protocol (status 3) leaving no partial script, or stops
// with status 2 and a message and no script. With the writer's stack on
// the standard heap, an exhausted heap once aborted the process (status
// 134) from inside the writer instead.
TEST(ConversionTest, EveryRefusedAllocationEndsCleanly)
{
    TempDir dir;
    dir.write("main.def", std::string(kSweepInput) + sweepChain());
    dir.write("tools.def", kSweepInclude);
    const std::string script = dir.path() + "/out.tcl";
    auto convert = [&] {
        if (chdir(dir.path().c_str()) != 0) _exit(120);
        char *argv[] = {const_cast<char *>("pagelift"), const_cast<char *>("main.def"),
                        const_cast<char *>("out.tcl"), nullptr};
        convertMenus(3, argv);
    };

    ForkResult clean = twtest::runForked(convert);
    ASSERT_EQ(0, clean.status) << clean.out << clean.err;
    EXPECT_EQ("Reading " + dir.path() + "/main.def ...\nReading " + dir.path() +
                  "/tools.def ...\nWriting out.tcl ... done.\n",
              clean.out);
    const std::string expected = twtest::readFile(script);
    EXPECT_NE(std::string::npos, expected.find("C13")) << expected;
    EXPECT_NE(std::string::npos, expected.find("Main_menu := ")) << "the cycle is written";
    ASSERT_LT(0, clean.allocations);

    long outOfMemory = 0;
    for (long n = 1; n <= clean.allocations; ++n) {
        for (bool sticky : {false, true}) {
            SCOPED_TRACE("allocation " + std::to_string(n) + (sticky ? " and later" : " alone") + " refused");
            remove(script.c_str());
            ForkResult r = twtest::runForked(convert, n, sticky);
            bool written = twtest::fileExists(script);
            if (r.status == 0) {
                EXPECT_EQ(clean.out, r.out);
                EXPECT_EQ("", r.err);
                EXPECT_EQ(expected, written ? twtest::readFile(script) : "(no script)");
            } else if (r.status == 3) {
                outOfMemory++;
                EXPECT_NE(std::string::npos, r.err.find("Out of memory.")) << r.out << r.err;
                if (written) {
                    EXPECT_EQ(expected, twtest::readFile(script)) << "a partial script";
                }
            } else {
                EXPECT_EQ(2, r.status) << r.out << r.err;
                EXPECT_NE(std::string::npos, r.out.find("Unable to")) << r.out;
                EXPECT_FALSE(written);
            }
            if (::testing::Test::HasFailure()) return;
        }
    }
    EXPECT_LT(0, outOfMemory) << "no run ran out of memory: the hook reached nothing";
}

}  // namespace
