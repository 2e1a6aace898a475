#include "tslib/path.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <pwd.h>
#include <string>
#include <unistd.h>

#include "support/oom_sweep.h"
#include "support/process.h"

namespace {

// A path buffer of exactly TS_PATH_SIZE bytes on the heap, so that the
// address sanitizer sees a write past its end.
struct PathBuf {
    std::unique_ptr<char[]> p{new char[TS_PATH_SIZE]()};
    explicit PathBuf(const std::string &init = "") { std::strncpy(p.get(), init.c_str(), TS_PATH_SIZE - 1); }
    operator char *() { return p.get(); }
    std::string str() const { return p.get(); }
};

TEST(PathSplitJoinTest, SplitAndJoinStayWithin255Characters)
{
    // Path, directory part, base name, extension.
    const char *cases[][4] = {
        {"/usr/lib/menus.def", "/usr/lib/", "menus", "def"},
        {"archive.tar.gz", "", "archive.tar", "gz"},
        {".profile", "", ".profile", ""},
        {"/tmp/..", "/tmp/", "..", ""},
        {"name.", "", "name", ""},
        {"d.x/noext", "d.x/", "noext", ""},
    };
    PathBuf node("x"), dir, base, ext, out;
    for (const auto &[path, d, b, e] : cases) {
        ASSERT_EQ(0, tsParse(path, node, dir, base, ext) + tsParse2(path, nullptr, nullptr, out)) << path;
        EXPECT_EQ(std::string("|") + d + "|" + b + "|" + e,
                  node.str() + "|" + dir.str() + "|" + base.str() + "|" + ext.str())
            << path;
        EXPECT_EQ(path + std::strlen(d), out.str()) << "the file part";
    }
    std::string p255 = "/" + std::string(250, 'a') + ".ext";
    ASSERT_EQ(0, tsParse(p255.c_str(), nullptr, dir, base, ext));
    EXPECT_EQ(std::string(250, 'a'), base.str());
    EXPECT_EQ(2, tsParse((p255 + "x").c_str(), nullptr, dir, base, ext));
    EXPECT_EQ("", base.str()) << "outputs of a refused path are cleared";
    EXPECT_EQ(2, tsParse(nullptr, nullptr, dir, base, ext));

    ASSERT_EQ(0, tsMerge(out, nullptr, "/usr/lib", "a", "b"));
    EXPECT_EQ("/usr/lib/a.b", out.str());
    ASSERT_EQ(0, tsMerge(out, "", " /usr/lib/ ", "\ta \n", ""));
    EXPECT_EQ("/usr/lib/a", out.str()) << "white space around each part goes";
    std::string d250(250, 'd');
    ASSERT_EQ(0, tsMerge(out, nullptr, d250.c_str(), "ab", "c"));  // 255 characters
    EXPECT_EQ(2, tsMerge(out, nullptr, d250.c_str(), "abc", "d"));
    EXPECT_EQ(d250 + "/ab.c", out.str()) << "a failed join leaves the output alone";

    PathBuf rel, proj("/proj"), full(d250);
    ASSERT_EQ(0, tsDnpath(rel, "532") + tsDnpath(proj, "532") + tsDnpath(proj, ""));
    EXPECT_EQ("532/ /proj/532/", rel.str() + " " + proj.str());
    EXPECT_EQ(2, tsDnpath(full, "abcd"));
    ASSERT_EQ(0, tsDnpath(full, "abc")) << "from the unchanged directory";
    EXPECT_EQ(d250 + "/abc/", full.str()) << "255 characters with the trailing slash";

    ASSERT_EQ(0, tsConvPath("a\\b//c\\\\/", out));
    EXPECT_EQ("a/b/c/", out.str());
    ASSERT_EQ(0, tsConvPath((std::string(300, '/') + "a").c_str(), out));
    EXPECT_EQ("/a", out.str()) << "long input that cleans down to a short path";
    EXPECT_EQ(2, tsConvPath(std::string(256, 'c').c_str(), out));
}

TEST(PathParseDeathTest, ParseExRaisesForTooLongPath)
{
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_EQ(0, tsParseEx("/a/b.c", nullptr, nullptr, nullptr, nullptr));
    EXPECT_EXIT(tsParseEx(std::string(300, 'z').c_str(), nullptr, nullptr, nullptr, nullptr),
                testing::ExitedWithCode(3), "tslib.*1041");
}

// The default directory is tmp/home/u/ during each test; the working
// directory and HOME are put back afterwards.
class PathTest : public ::testing::Test {
protected:
    twtest::TempDir tmp;
    std::string home = tmp.mkdir("home/u") + "/", savedCwd = std::filesystem::current_path().string();
    std::string savedHome = getenv("HOME") ? getenv("HOME") : "";
    void SetUp() override { ASSERT_EQ(0, tsSetdef(home.c_str())); }
    void TearDown() override
    {
        setenv("HOME", savedHome.c_str(), 1);
        tsSetdef(savedCwd.c_str());
    }
    // The absolute form, or "unchanged" when it failed as expected.
    std::string abs(const std::string &path, int expect = 0)
    {
        PathBuf out("unchanged");
        EXPECT_EQ(expect, tsAbsPath2(path.c_str(), out)) << path;
        return out.str();
    }
};

TEST_F(PathTest, AbsoluteFormResolvesDotsAndHomeWithinTheLimits)
{
    std::string up, p255 = "/" + std::string(254, 'a');
    for (int i = 0; i < 80; i++) up += "../";
    // A trailing slash or dot stays; '..' never climbs above the root.
    const std::pair<std::string, std::string> cases[] = {
        {"../x/./y", tmp.path() + "/home/x/y"},
        {"/a/..", "/"},
        {"/../../etc", "/etc"},
        {"/..//../", "/"},
        {"sub/", home + "sub/"},
        {"f.", home + "f."},
        {"", home},
        {"x\\\\y", home + "x/y"},
        {up + "q", "/q"},
        {p255, p255},
        {std::string(240, 'z') + "/../k", home + "k"},
    };
    for (const auto &[in, expected] : cases) EXPECT_EQ(expected, abs(in)) << in;
    EXPECT_EQ("unchanged", abs(p255 + "b", 2));
    EXPECT_EQ("unchanged", abs(std::string(256 - home.size(), 'r'), 2)) << "too long behind the default";

    std::string other = tmp.mkdir("other");
    ASSERT_EQ(0, chdir(other.c_str()));
    PathBuf out;
    ASSERT_EQ(0, tsAbsSysPath2("f", out));
    EXPECT_EQ(other + "/f " + home + "f", out.str() + " " + abs("f")) << "process directory, cached default";

    setenv("HOME", (home + "/").c_str(), 1);
    EXPECT_EQ(home + "m", abs("~/m")) << "no doubled slash between home and rest";
    EXPECT_EQ(home, abs("~"));
    setenv("HOME", ("/" + std::string(250, 'h')).c_str(), 1);
    EXPECT_EQ("unchanged", abs("~/abcdefgh", 2)) << "expansion past 255 characters";
    unsetenv("HOME");
    EXPECT_EQ("unchanged", abs("~", 4));
    const struct passwd *pw = getpwuid(getuid());
    ASSERT_NE(nullptr, pw);
    EXPECT_EQ(abs(pw->pw_dir + std::string("/x")), abs("~" + std::string(pw->pw_name) + "/x"));
    EXPECT_EQ("unchanged", abs("~no_such_user_tw42/x", 2));
}

TEST_F(PathTest, InPlaceAbsoluteAndRelativeForms)
{
    std::string homeNoSlash = home.substr(0, home.size() - 1);
    // Input, absolute form, relative form.
    const std::string cases[][3] = {
        {"sub/", home + "sub/", "sub/"},
        {"", homeNoSlash, ""},
        {"/..", "/", "/"},
        {home + "proj/m", home + "proj/m", "proj/m"},
        {"/etc/passwd", "/etc/passwd", "/etc/passwd"},
        {homeNoSlash + "x/y", homeNoSlash + "x/y", homeNoSlash + "x/y"},
    };
    for (const auto &[in, absolute, relative] : cases) {
        PathBuf a(in), r(in), r2;
        ASSERT_EQ(0, tsAbsPath(a) + tsRelPath(r) + tsRelPath2(in.c_str(), r2)) << in;
        EXPECT_EQ(absolute + "|" + relative + "|" + relative, a.str() + "|" + r.str() + "|" + r2.str());
    }
    PathBuf tooLong(std::string(255, 'l'));
    EXPECT_EQ(2, tsAbsPath(tooLong));
    EXPECT_EQ(std::string(255, 'l'), tooLong.str());
}

TEST_F(PathTest, DefaultAndOriginDirectoriesRefuseWhatTheyCannotHold)
{
    ASSERT_EQ(0, tsSetdef(".."));
    // A name too long is refused, not cut to some other name.
    for (const std::string &bad : {std::string(), std::string("no/such/dir"), tmp.write("file", "x"),
                                   tmp.path() + "/" + std::string(300, 'd')})
        EXPECT_EQ(7, tsSetdef(bad.c_str())) << bad;
    PathBuf out;
    ASSERT_EQ(0, tsGetdef(out));
    EXPECT_EQ(tmp.path() + "/home/", out.str()) << "failures leave the default alone";
    EXPECT_EQ(tmp.path() + "/home", std::filesystem::current_path().string()) << "the process follows";

    EXPECT_EQ(0, tsSetorigin(nullptr)) << "clearing an origin never set";
    ASSERT_EQ(0, tsSetorigin(std::string(255, 'o').c_str()));
    EXPECT_EQ(7, tsSetorigin(std::string(256, 'o').c_str()));
    EXPECT_EQ(std::string(255, 'o'), tsGetorigin());
    EXPECT_EQ(0, tsSetorigin(nullptr));
    EXPECT_EQ(nullptr, tsGetorigin());
}

// Joining trims every part into a pool copy, the origin is a tagged block:
// each of their allocations refused in turn either changes nothing or ends
// the process through the out-of-memory protocol.
TEST_F(PathTest, RefusedAllocationsEndCleanly)
{
    setenv("HOME", home.c_str(), 1);
    long made = twtest::sweepAllocationFailures(
        [] {
            char out[TS_PATH_SIZE], rel[TS_PATH_SIZE] = "sub/../m.def";
            int r = tsMerge(out, " node ", " /dir ", " base ", " ext ");
            printf("%d %s\n", r, out);
            r = tsAbsPath2("~/x/./y", out) + tsRelPath(rel) + tsSetorigin("/origin");
            printf("%d %s %s %s\n", r, out + std::strlen(out) - 4, rel, tsGetorigin());
            tsSetorigin(nullptr);
        },
        [](const twtest::ForkResult &r) { EXPECT_EQ("0 node/dir/base.ext\n0 /x/y m.def /origin\n", r.out); });
    EXPECT_GT(made, 0);
}

}  // namespace
