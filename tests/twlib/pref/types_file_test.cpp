#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "support/oom_sweep.h"
#include "support/raised.h"
#include "twlib/pref/types.h"
#include "twlib/text/str.h"

namespace {

std::set<std::string> entries(const std::string &dir)
{
    std::set<std::string> names;
    if (DIR *d = opendir(dir.c_str())) {
        while (dirent *e = readdir(d)) names.insert(e->d_name);
        closedir(d);
    }
    return names;
}

std::string contents(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class TypeFileTest : public ::testing::Test {
protected:
    std::string dir;

    void SetUp() override
    {
        char tmpl[] = "/tmp/typefileXXXXXX";
        ASSERT_NE(nullptr, mkdtemp(tmpl));
        dir = tmpl;
        std::ofstream(dir + "/data.txt") << "keep me\n";
        mkdir((dir + "/sub").c_str(), 0755);
    }

    void TearDown() override
    {
        std::string cmd = "rm -rf '" + dir + "'";
        ASSERT_EQ(0, system(cmd.c_str()));
    }

    // The number raised (0 when accepted) and the value or the message.
    int check(const twTypeSpec *spec, const std::string &text, std::string *out = nullptr)
    {
        std::string value;
        twtest::Raised r = twtest::raised([&] {
            twTypedata v = twTypeParse(spec, text.c_str());
            value = static_cast<const char *>(v.p);
            twTypeFreeValue(spec, v);
        });
        if (out) *out = r.tag ? r.text : value;
        return r.number;
    }
};

TEST_F(TypeFileTest, NamesAreCheckedAndMadeAbsolute)
{
    std::string value;
    EXPECT_EQ(0, check(&twFileNameTS, dir + "/not/yet/there.txt", &value));
    EXPECT_EQ(dir + "/not/yet/there.txt", value);
    char cwd[4096];
    ASSERT_NE(nullptr, getcwd(cwd, sizeof cwd));
    EXPECT_EQ(0, check(&twFileNameTS, "relative.name", &value));
    EXPECT_EQ(std::string(cwd) + "/relative.name", value);
    EXPECT_EQ(1415, check(&twFileNameTS, "", &value));
    EXPECT_EQ("`' is not a valid file name.", value);
    std::string tooLong(256, 'a');
    EXPECT_EQ(1415, check(&twFileNameTS, tooLong));
    EXPECT_EQ(0, check(&twFileNameTS, "/" + std::string(254, 'a')));
    EXPECT_EQ(1415, check(&twFileNameTS, dir + "/")) << "no name part";
}

TEST_F(TypeFileTest, ReadAndDirectoryChecks)
{
    std::string value;
    EXPECT_EQ(0, check(&twFileReadTS, dir + "/data.txt"));
    EXPECT_EQ(1414, check(&twFileReadTS, dir + "/missing.txt", &value));
    EXPECT_EQ("File `" + dir + "/missing.txt' is not readable.", value);
    EXPECT_EQ(1414, check(&twFileReadTS, dir + "/sub"));
    EXPECT_EQ(0, check(&twDirTS, dir + "/sub"));
    EXPECT_EQ(1418, check(&twDirTS, dir + "/data.txt"));
    EXPECT_EQ(1418, check(&twDirTS, dir + "/missing"));
    // A named pipe with no writer must not hang the read check.
    ASSERT_EQ(0, mkfifo((dir + "/pipe").c_str(), 0644));
    EXPECT_EQ(0, check(&twFileReadTS, dir + "/pipe"));
}

// The probe used to create one unique name and delete another, leaving a
// stray file behind at every check; and no check may change a file.
TEST_F(TypeFileTest, WriteChecksLeaveTheDirectoryAsTheyFoundIt)
{
    std::set<std::string> before = entries(dir);
    struct stat st0;
    ASSERT_EQ(0, stat((dir + "/data.txt").c_str(), &st0));

    EXPECT_EQ(0, check(&twFileWriteTS, dir + "/new.txt"));
    EXPECT_EQ(0, check(&twFileWriteTS, dir + "/data.txt"));
    EXPECT_EQ(0, check(&twFileReadWriteTS, dir + "/data.txt"));
    EXPECT_EQ(0, check(&twFileReadWriteTS, dir + "/created.txt"));
    EXPECT_EQ(0, check(&twDirWriteTS, dir));
    EXPECT_EQ(0, check(&twDirWriteTS, dir + "/sub"));
    EXPECT_EQ(before, entries(dir)) << "nothing created, nothing left";
    EXPECT_EQ(std::set<std::string>({".", ".."}), entries(dir + "/sub"));
    EXPECT_EQ("keep me\n", contents(dir + "/data.txt"));
    struct stat st1;
    ASSERT_EQ(0, stat((dir + "/data.txt").c_str(), &st1));
    EXPECT_EQ(st0.st_size, st1.st_size);
    EXPECT_EQ(st0.st_mtim.tv_sec, st1.st_mtim.tv_sec);
    EXPECT_EQ(st0.st_mtim.tv_nsec, st1.st_mtim.tv_nsec);

    EXPECT_EQ(1416, check(&twFileWriteTS, dir + "/no/such/dir/f.txt"));
    EXPECT_EQ(1416, check(&twFileWriteTS, dir + "/sub"));
    EXPECT_EQ(1417, check(&twFileReadWriteTS, dir + "/no/such/dir/f.txt"));
    EXPECT_EQ(1419, check(&twDirWriteTS, dir + "/data.txt"));
    EXPECT_EQ(1419, check(&twDirWriteTS, dir + "/missing"));
    EXPECT_EQ(before, entries(dir));
}

// Permission bits do not hold back the superuser: under it the checks run
// in a child that has given up its rights first.
TEST_F(TypeFileTest, PermissionsAreRespected)
{
    std::string locked = dir + "/locked.txt";
    std::ofstream(locked) << "x";
    ASSERT_EQ(0, chmod(dir.c_str(), 0777));
    twtest::ForkResult r = twtest::runForked([&] {
        if (geteuid() == 0 &&
            (chown(dir.c_str(), 65534, 65534) != 0 || chown(locked.c_str(), 65534, 65534) != 0 ||
             setgid(65534) != 0 || setuid(65534) != 0))
            _exit(9);
        std::string got;
        auto note = [&](int number) { got += std::to_string(number) + " "; };
        chmod(locked.c_str(), 0444);
        note(check(&twFileWriteTS, locked));
        note(check(&twFileReadWriteTS, locked));  // readable is enough
        chmod(locked.c_str(), 0200);
        note(check(&twFileReadTS, locked));
        note(check(&twFileReadWriteTS, locked));  // writable is enough
        chmod(locked.c_str(), 0);
        note(check(&twFileReadWriteTS, locked));
        chmod(locked.c_str(), 0644);
        chmod(dir.c_str(), 0555);
        note(check(&twDirWriteTS, dir));
        note(check(&twFileWriteTS, dir + "/f.txt"));
        note(check(&twFileReadWriteTS, dir + "/f.txt"));
        chmod(dir.c_str(), 0755);
        printf("%s", got.c_str());
    });
    ASSERT_NE(9, r.status) << "could not give up the superuser's rights";
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ("1416 0 1414 0 1417 1419 1416 1417 ", r.out);
    EXPECT_EQ("x", contents(locked));
}

TEST_F(TypeFileTest, OwnChecksAndMessages)
{
    // A check that refuses with no message of its own: 1408 with the type
    // name and the text.
    twTypeFileParams never = {[](const char *) { return 0; }, "neverVT", TW_TYPE_NO_MESSAGE};
    twTypeSpec neverTS = {"neverVT", &twFileTB, &never, 1};
    std::string value;
    EXPECT_EQ(1408, check(&neverTS, "x.txt", &value));
    EXPECT_EQ("The neverVT check refuses `x.txt'.", value);
    twTypeFileParams own = {[](const char *) { return 0; }, "ownVT", 1416};
    twTypeSpec ownTS = {"ownVT", &twFileTB, &own, 1};
    EXPECT_EQ(1416, check(&ownTS, "x.txt", &value));
    EXPECT_EQ("File `x.txt' is not writable.", value);
}

}  // namespace
