#include "tslib/path.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <pwd.h>
#include <string>
#include <unistd.h>

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

// Tests that depend on the default directory set it to tmp/home/u/ and put
// the working directory and HOME back afterwards.
class PathTest : public ::testing::Test {
protected:
    twtest::TempDir tmp;
    std::string home, savedCwd, savedHome;
    bool hadHome = false;

    void SetUp() override
    {
        char cwd[4096];
        ASSERT_NE(nullptr, getcwd(cwd, sizeof cwd));
        savedCwd = cwd;
        if (const char *h = getenv("HOME")) hadHome = true, savedHome = h;
        home = tmp.mkdir("home/u") + "/";
        ASSERT_EQ(0, tsSetdef(home.c_str()));
    }
    void TearDown() override
    {
        hadHome ? setenv("HOME", savedHome.c_str(), 1) : unsetenv("HOME");
        EXPECT_EQ(0, chdir(savedCwd.c_str()));
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

TEST(PathParseTest, SplitsAndRefusesLongPaths)
{
    struct Case {
        const char *path, *dir, *base, *ext;
    } cases[] = {
        {"/usr/lib/menus.def", "/usr/lib/", "menus", "def"}, {"archive.tar.gz", "", "archive.tar", "gz"},
        {".profile", "", ".profile", ""}, {"/tmp/..", "/tmp/", "..", ""},
        {"name.", "", "name", ""}, {"d.x/noext", "d.x/", "noext", ""},
    };
    PathBuf node("x"), dir, base, ext, file;
    for (const Case &c : cases) {
        ASSERT_EQ(0, tsParse(c.path, node, dir, base, ext)) << c.path;
        EXPECT_EQ("", node.str());
        EXPECT_EQ(c.dir, dir.str()) << c.path;
        EXPECT_EQ(c.base, base.str()) << c.path;
        EXPECT_EQ(c.ext, ext.str()) << c.path;
        ASSERT_EQ(0, tsParse2(c.path, nullptr, nullptr, file));
        EXPECT_EQ(std::string(c.path).substr(std::strlen(c.dir)), file.str());
    }
    std::string p255 = "/" + std::string(250, 'a') + ".ext";
    ASSERT_EQ(0, tsParse(p255.c_str(), nullptr, dir, base, ext));
    EXPECT_EQ(std::string(250, 'a'), base.str());
    EXPECT_EQ(2, tsParse((p255 + "x").c_str(), nullptr, dir, base, ext));
    EXPECT_EQ("", base.str()) << "outputs of a refused path are cleared";
    EXPECT_EQ(2, tsParse2(std::string(300, '/').c_str(), nullptr, dir, file));
    EXPECT_EQ(2, tsParse(nullptr, nullptr, dir, base, ext));
}

TEST(PathParseDeathTest, ParseExRaisesForTooLongPath)
{
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_EQ(0, tsParseEx("/a/b.c", nullptr, nullptr, nullptr, nullptr));
    std::string p300(300, 'z');
    EXPECT_EXIT(tsParseEx(p300.c_str(), nullptr, nullptr, nullptr, nullptr), testing::ExitedWithCode(3),
                "1041.*tslib");
}

TEST(PathJoinTest, MergeDnpathAndConvPathStayInTheBuffer)
{
    PathBuf out;
    ASSERT_EQ(0, tsMerge(out, nullptr, "/usr/lib", "a", "b"));
    EXPECT_EQ("/usr/lib/a.b", out.str());
    ASSERT_EQ(0, tsMerge(out, "", " /usr/lib/ ", "\ta \n", ""));
    EXPECT_EQ("/usr/lib/a", out.str()) << "white space around each part goes";
    std::string d250(250, 'd');
    ASSERT_EQ(0, tsMerge(out, nullptr, d250.c_str(), "ab", "c")); // 255 characters
    EXPECT_EQ(d250 + "/ab.c", out.str());
    EXPECT_EQ(2, tsMerge(out, nullptr, d250.c_str(), "abc", "d"));
    EXPECT_EQ(2, tsMerge(out, nullptr, std::string(400, 'x').c_str(), nullptr, nullptr));
    EXPECT_EQ(d250 + "/ab.c", out.str()) << "a failed join leaves the output alone";

    PathBuf d, p("/proj");
    ASSERT_EQ(0, tsDnpath(d, "532"));
    EXPECT_EQ("532/", d.str());
    ASSERT_EQ(0, tsDnpath(p, "532"));
    ASSERT_EQ(0, tsDnpath(p, ""));
    EXPECT_EQ("/proj/532/", p.str());
    PathBuf full(d250);
    ASSERT_EQ(0, tsDnpath(full, "abc"));
    EXPECT_EQ(255u, full.str().size());
    PathBuf over(d250);
    EXPECT_EQ(2, tsDnpath(over, "abcd"));
    EXPECT_EQ(2, tsDnpath(over, std::string(300, 's').c_str()));
    EXPECT_EQ(d250, over.str());

    ASSERT_EQ(0, tsConvPath("a\\b//c\\\\/", out));
    EXPECT_EQ("a/b/c/", out.str());
    ASSERT_EQ(0, tsConvPath((std::string(300, '/') + "a").c_str(), out));
    EXPECT_EQ("/a", out.str()) << "long input that cleans down to a short path";
    EXPECT_EQ(2, tsConvPath(std::string(256, 'c').c_str(), out));
    EXPECT_EQ("/a", out.str());
    EXPECT_EQ(2, tsConvPath(nullptr, out));
}

TEST_F(PathTest, AbsoluteFormResolvesDots)
{
    EXPECT_EQ(tmp.path() + "/home/x/y", abs("../x/./y"));
    EXPECT_EQ("/", abs("/a/.."));
    EXPECT_EQ("/etc", abs("/../../etc"));
    EXPECT_EQ("/", abs("/..//../"));
    EXPECT_EQ(home + "sub/", abs("sub/")) << "a trailing slash stays";
    EXPECT_EQ(home + "f.", abs("f.")) << "a trailing dot stays";
    EXPECT_EQ(home, abs(""));
    EXPECT_EQ(home + "x/y", abs("x\\\\y"));
    std::string up;
    for (int i = 0; i < 80; i++) up += "../";
    EXPECT_EQ("/q", abs(up + "q")) << "'..' never climbs above the root";

    // 255 characters fit exactly; anything longer fails without writing.
    std::string p255 = "/" + std::string(254, 'a');
    EXPECT_EQ(p255, abs(p255));
    EXPECT_EQ("unchanged", abs(p255 + "b", 2));
    std::string rel(256 - home.size(), 'r');
    EXPECT_EQ("unchanged", abs(rel, 2)) << "too long behind the default directory";
    EXPECT_EQ(home + "k", abs(std::string(240, 'z') + "/../k"));

    std::string other = tmp.mkdir("other");
    ASSERT_EQ(0, chdir(other.c_str()));
    PathBuf out;
    ASSERT_EQ(0, tsAbsSysPath2("f", out));
    EXPECT_EQ(other + "/f", out.str()) << "the process's working directory";
    EXPECT_EQ(home + "f", abs("f")) << "the cached default directory";
}

TEST_F(PathTest, HomeForms)
{
    std::string h = tmp.path() + "/home/u";
    setenv("HOME", (h + "//").c_str(), 1);
    EXPECT_EQ(h + "/m", abs("~/m")) << "no doubled slash between home and rest";
    EXPECT_EQ(h + "/", abs("~"));
    setenv("HOME", "", 1);
    EXPECT_EQ("unchanged", abs("~/m", 4));
    unsetenv("HOME");
    EXPECT_EQ("unchanged", abs("~", 4));
    setenv("HOME", ("/" + std::string(250, 'h')).c_str(), 1);
    EXPECT_EQ("unchanged", abs("~/abcdefgh", 2)) << "expansion past 255 characters";
    setenv("HOME", ("/" + std::string(300, 'h')).c_str(), 1);
    EXPECT_EQ("unchanged", abs("~", 2));

    const struct passwd *pw = getpwuid(getuid());
    ASSERT_NE(nullptr, pw);
    std::string pwHome = abs(pw->pw_dir);
    if (pwHome.back() != '/') pwHome += "/";
    EXPECT_EQ(pwHome + "x", abs("~" + std::string(pw->pw_name) + "/x"));
    EXPECT_EQ("unchanged", abs("~no_such_user_tw42/x", 2));
}

TEST_F(PathTest, InPlaceAbsoluteAndRelativeForms)
{
    std::string homeNoSlash = home.substr(0, home.size() - 1);
    struct Case {
        std::string in, absolute, relative;
    } cases[] = {
        {"sub/", home + "sub/", "sub/"},
        {"", homeNoSlash, ""},
        {"/..", "/", "/"},
        {home + "proj/m", home + "proj/m", "proj/m"},
        {"/etc/passwd", "/etc/passwd", "/etc/passwd"},
        {homeNoSlash + "x/y", homeNoSlash + "x/y", homeNoSlash + "x/y"},
    };
    for (const Case &c : cases) {
        PathBuf a(c.in), r(c.in), r2;
        ASSERT_EQ(0, tsAbsPath(a)) << c.in;
        EXPECT_EQ(c.absolute, a.str()) << c.in;
        ASSERT_EQ(0, tsRelPath(r)) << c.in;
        EXPECT_EQ(c.relative, r.str()) << c.in;
        ASSERT_EQ(0, tsRelPath2(c.in.c_str(), r2));
        EXPECT_EQ(c.relative, r2.str());
    }
    PathBuf tooLong(std::string(255, 'l'));
    EXPECT_EQ(2, tsAbsPath(tooLong));
    EXPECT_EQ(std::string(255, 'l'), tooLong.str());
    PathBuf out;
    EXPECT_EQ(2, tsRelPath2(std::string(300, 'x').c_str(), out));
}

TEST_F(PathTest, SetAndGetDefaultDirectory)
{
    PathBuf out;
    ASSERT_EQ(0, tsSetdef(".."));
    ASSERT_EQ(0, tsGetdef(out));
    EXPECT_EQ(tmp.path() + "/home/", out.str());
    char cwd[4096];
    ASSERT_NE(nullptr, getcwd(cwd, sizeof cwd));
    EXPECT_EQ(tmp.path() + "/home", std::string(cwd)) << "the process follows";

    EXPECT_EQ(7, tsSetdef(nullptr));
    EXPECT_EQ(7, tsSetdef(""));
    EXPECT_EQ(7, tsSetdef("no/such/dir"));
    EXPECT_EQ(7, tsSetdef(tmp.write("file", "x").c_str()));
    // Too long for a path buffer: refused, not cut to some other name.
    EXPECT_EQ(7, tsSetdef((tmp.path() + "/" + std::string(300, 'd')).c_str()));
    ASSERT_EQ(0, tsGetdef(out));
    EXPECT_EQ(tmp.path() + "/home/", out.str()) << "failures leave the default alone";
}

TEST(PathStateTest, OriginAndLogicalNames)
{
    EXPECT_EQ(0, tsSetorigin(nullptr));
    EXPECT_EQ(nullptr, tsGetorigin());
    std::string o255(255, 'o');
    ASSERT_EQ(0, tsSetorigin(o255.c_str()));
    EXPECT_EQ(7, tsSetorigin(std::string(256, 'o').c_str()));
    EXPECT_EQ(o255, tsGetorigin());
    EXPECT_EQ(0, tsSetorigin(nullptr));
    EXPECT_EQ(nullptr, tsGetorigin());

    std::unique_ptr<char[]> buf(new char[TS_TRNLOG_SIZE]);
    std::string big(3000, 'v');
    setenv("TW_PATH_TEST_VAR", big.c_str(), 1);
    ASSERT_EQ(0, tsTrnlog("TW_PATH_TEST_VAR", buf.get()));
    EXPECT_EQ(big.substr(0, TS_TRNLOG_SIZE - 1), buf.get());
    unsetenv("TW_PATH_TEST_VAR");
    EXPECT_EQ(4, tsTrnlog("TW_PATH_TEST_VAR", buf.get()));
}

} // namespace
