#include "twlib/err/msgfile.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "support/child.h"
#include "support/oom_sweep.h"
#include "support/process.h"
#include "support/raised.h"
#include "twlib/text/str.h"

namespace {

using twtest::ProcessResult;
using twtest::runChild;
using twtest::TempDir;

struct Msg {
    int32_t number;
    std::string text;
};

// A message file image, crafted byte by byte in either byte order and with
// the writer's own long and short sizes.
struct Image {
    bool bigEndian = true;
    bool longs8 = false;
    bool shorts4 = false;
    int32_t major = 5, minor = 1, patch = 0;
    std::optional<std::string> owner = "tester";
    std::optional<std::string> release = "1.0";
    std::vector<Msg> messages;

    std::string bytes() const
    {
        const int longSize = longs8 ? 8 : 4, shortSize = shorts4 ? 4 : 2;
        std::string out;
        auto put = [&](int64_t value, int size) {
            std::string v;
            for (int i = 0; i < size; i++) v += static_cast<char>((value >> (8 * i)) & 0xff);
            if (bigEndian) v = std::string(v.rbegin(), v.rend());
            out += v;
        };
        auto putLongAt = [&](size_t at, int64_t value) {
            std::string saved = out;
            out.clear();
            put(value, longSize);
            std::string v = out;
            out = saved;
            out.replace(at, static_cast<size_t>(longSize), v);
        };
        for (int i = 0; i < 15; i++) put(0, longSize);
        putLongAt(0, 0x00010203);
        putLongAt(static_cast<size_t>(longSize), major);
        putLongAt(2u * longSize, minor);
        putLongAt(3u * longSize, patch);
        std::vector<int64_t> offsets;
        for (const Msg &m : messages) {
            offsets.push_back(static_cast<int64_t>(out.size()));
            out += m.text;
            out += '\0';
            put(0, 2);  // an argument table the reader skips
        }
        auto record = [&](const std::optional<std::string> &s, int slot) {
            if (!s) return;
            putLongAt(static_cast<size_t>(slot) * longSize, static_cast<int64_t>(out.size()));
            put(static_cast<int64_t>(s->size() + 1), shortSize);
            out += *s;
            out += '\0';
        };
        std::string version =
            std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(patch);
        record(version, 5);
        record(owner, 6);
        record(release, 7);
        putLongAt(4u * longSize, static_cast<int64_t>(out.size()));
        put(static_cast<int64_t>(messages.size()), longSize);
        for (size_t i = 0; i < messages.size(); i++) {
            put(messages[i].number, longSize);
            put(offsets[i], longSize);
            put(static_cast<int64_t>(messages[i].text.size() + 1), longSize);
        }
        int flags = 128 | (bigEndian ? 1 : 0) | (longs8 ? 2 : 0) | 4 | (shorts4 ? 16 : 0);
        return std::string{'\x01', static_cast<char>(flags)} + out;
    }
};

// The messages of the library's own file that this module raises, for a
// run that finds no compiled catalogue.
Image ownImage()
{
    Image im;
    im.owner = "twlib";
    im.release = "5.0";
    im.major = 5, im.minor = 3, im.patch = 2;
    im.messages = {{1001, "[E]No name (*.%s)."},         {1002, "[E]Bad name `%s' `%s'."},
                   {1003, "[E]Can't find `%s'."},        {1004, "[E]Can't open `%s'."},
                   {1005, "[E]Damaged header `%s'."},    {1006, "[E]Short index `%s'."},
                   {1007, "[E]Version `%s'."},           {1020, "[E]Not open."},
                   {1021, "[E]No message #%d in `%s'."}, {1022, "[E]Seek #%d in `%s'."},
                   {1023, "[E]Read #%d in `%s'."},       {1300, "[E]Descriptor version %d of `%s'."}};
    return im;
}

std::string &ownBytes()
{
    static std::string bytes = ownImage().bytes();
    return bytes;
}

twMsgBuiltinFn libraryCatalogues;
// Served as the compiled-in catalogue "memcat".
std::string memoryCatalogue;

// The library's compiled-in catalogues where there are any, else the
// crafted stand-in of the library's own file.
const unsigned char *testCatalogues(const char *name, size_t *size)
{
    if (std::strcmp(name, "memcat") == 0) {
        *size = memoryCatalogue.size();
        return reinterpret_cast<const unsigned char *>(memoryCatalogue.data());
    }
    const unsigned char *bytes = libraryCatalogues ? libraryCatalogues(name, size) : nullptr;
    if (bytes || std::strcmp(name, "twlib") != 0) return bytes;
    *size = ownBytes().size();
    return reinterpret_cast<const unsigned char *>(ownBytes().data());
}

// Installed when a test first needs a file: the library installs its own
// lookup while the program loads, in an order this file cannot choose.
void useTestCatalogues()
{
    twMsgBuiltinFn previous = twMsg_SetBuiltinCatalogues(testCatalogues);
    if (previous != testCatalogues) libraryCatalogues = previous;
}

TempDir &dir()
{
    useTestCatalogues();
    static TempDir d;
    return d;
}

// Writes the image as <dir>/<name>.tmb and returns the name to open it by.
std::string put(const std::string &name, const std::string &bytes)
{
    std::string path = dir().path() + "/" + name;
    std::ofstream(path + ".tmb", std::ios::binary) << bytes;
    return path;
}

using twtest::Raised;
using twtest::raised;

// Opens under a catch frame; an open handle goes to 'file', or is closed
// again when there is none.
Raised tryOpen(const char *name, const char *owner = nullptr, const char *release = nullptr,
               const char *min = nullptr, const char *max = nullptr, twMsgFileHandle **file = nullptr)
{
    twMsgFileHandle *f = nullptr;
    Raised r = raised([&] { f = twMsgFileOpen(name, owner, release, min, max); });
    if (file)
        *file = f;
    else
        twMsgFileClose(f);
    return r;
}

std::string text(twMsgFileHandle *file, int number)
{
    char *s = twMsgAlloc(file, number, 7, "seven");
    std::string out = s;
    twStrFree(s);
    return out;
}

Image sample()
{
    Image im;
    im.messages = {{1, "[E]one %d"}, {5, "[W]five %s"}, {9, ""}, {300, "[I]three hundred"}};
    return im;
}

TEST(MsgFileTest, ReadsFilesOfEitherByteOrderAndSize)
{
    struct Layout {
        bool big, longs8, shorts4;
    };
    for (Layout l : {Layout{true, false, false}, Layout{false, false, false}, Layout{true, true, true},
                     Layout{false, true, true}}) {
        Image im = sample();
        im.bigEndian = l.big, im.longs8 = l.longs8, im.shorts4 = l.shorts4;
        std::string name = put("order", im.bytes());
        SCOPED_TRACE(testing::Message() << l.big << l.longs8 << l.shorts4);
        twMsgFileHandle *f = twMsgFileOpen(name.c_str(), "tester", "1.0", "5.1.0", "5.1.0");
        EXPECT_EQ(name, twMsgGetFilename(f));
        EXPECT_EQ("tester", std::string(twMsgGetOwner(f)));
        EXPECT_EQ("[E]one 7", text(f, 1));
        EXPECT_EQ("[I]three hundred", text(f, 300));
        EXPECT_EQ("", text(f, 9));
        char *s = twMsgAlloc(f, 5, "x");
        EXPECT_STREQ("[W]five x", s);
        twStrFree(s);
        twMsgFileClose(f);
        EXPECT_EQ(nullptr, twMsgGetPath(f));
    }
}

TEST(MsgFileTest, ACompiledInCatalogueServesWhenNoFileIsFound)
{
    useTestCatalogues();
    Image im = sample();
    im.bigEndian = false;
    memoryCatalogue = im.bytes();
    twMsgFileHandle *f = twMsgFileOpen("memcat", "tester", "1.0", "5.0.0", nullptr);
    EXPECT_EQ("<memcat.tmb>", std::string(twMsgGetPath(f)));
    EXPECT_EQ("[E]one 7", text(f, 1));
    twMsgFileClose(f);

    // Refused descriptors and damage are told as for a file.
    memoryCatalogue[0] = 2;
    EXPECT_EQ(1300, tryOpen("memcat").number);
    memoryCatalogue = im.bytes().substr(0, 40);
    EXPECT_EQ(1005, tryOpen("memcat").number);
    memoryCatalogue.clear();
    EXPECT_EQ(1003, tryOpen("memcat").number);
}

TEST(MsgFileTest, OpeningANameTwiceSharesTheHandleUntilClosedTwice)
{
    std::string name = put("shared", sample().bytes());
    twMsgFileHandle *a = twMsgFileOpen(name.c_str(), nullptr, nullptr, nullptr, nullptr);
    twMsgFileHandle *b = twMsgFileOpen(name.c_str(), "tester", nullptr, nullptr, nullptr);
    EXPECT_EQ(a, b);
    twMsgFileClose(a);
    EXPECT_EQ("[E]one 7", text(b, 1));
    twMsgFileClose(b);
    EXPECT_EQ(nullptr, twMsgGetPath(a));
    twMsgFileClose(a);  // no longer open: ignored
    twMsgFileClose(nullptr);

    // Every call on a handle that is not open is refused, never followed.
    Raised c = raised([a] { twMsgGetFilename(a); });
    EXPECT_EQ(1020, c.number);
    EXPECT_EQ(TW_EX_PRECOND, c.tag);
    EXPECT_EQ(1020, raised([a] { twMsgAlloc(a, 1, 0, ""); }).number);
    c = tryOpen(nullptr);
    EXPECT_EQ(1001, c.number);
    EXPECT_EQ(TW_EX_PRECOND, c.tag);
}

TEST(MsgFileTest, AMissingMessageOrFileRaises)
{
    std::string name = put("missing", sample().bytes());
    twMsgFileHandle *f = twMsgFileOpen(name.c_str(), nullptr, nullptr, nullptr, nullptr);
    for (int number : {0, 2, 4, 6, 299, 301, -1}) {
        Raised c = raised([f, number] { twMsgStatic(f, number); });
        EXPECT_EQ(1021, c.number) << number;
        EXPECT_EQ(TW_EX_POSTCOND, c.tag);
    }
    twMsgFileClose(f);

    Raised c = tryOpen((dir().path() + "/absent").c_str());
    EXPECT_EQ(1003, c.number);
    EXPECT_EQ(TW_EX_POSTCOND, c.tag);
}

TEST(MsgFileTest, VersionsCompareAsOrderedTriples)
{
    std::string name = put("versions", sample().bytes());  // 5.1.0, owner tester, release 1.0
    struct Case {
        const char *owner, *release, *min, *max;
        bool passes;
    };
    const Case cases[] = {
        // 4.0.0 <= 5.1.0 <= 6.0.0, though the minor part 1 exceeds 0: was refused.
        {nullptr, nullptr, "4.0.0", "6.0.0", true},  {nullptr, nullptr, "5.0.0", nullptr, true},
        {nullptr, nullptr, "5.0.0", "5.0.9", false}, {nullptr, nullptr, "5.1.1", nullptr, false},
        {nullptr, nullptr, nullptr, "5.1", true},  // absent patch: the file's own
        {nullptr, nullptr, nullptr, "5.0", false},   {nullptr, nullptr, "6", nullptr, false},
        {nullptr, nullptr, "junk", "junk", true},  // nothing readable: the file's own
        {"tester", "1.0", nullptr, nullptr, true},   {"other", nullptr, nullptr, nullptr, false},
        {"teste", nullptr, nullptr, nullptr, false}, {"tester!", nullptr, nullptr, nullptr, false},
        {nullptr, "1.1", nullptr, nullptr, false},
    };
    for (const Case &k : cases) {
        Raised c = tryOpen(name.c_str(), k.owner, k.release, k.min, k.max);
        EXPECT_EQ(!k.passes, c.tag != 0)
            << (k.owner ? k.owner : "-") << " " << (k.min ? k.min : "-") << " " << (k.max ? k.max : "-");
        if (c.tag) {
            EXPECT_EQ(1007, c.number);
            EXPECT_EQ(TW_EX_POSTCOND, c.tag);
            // A refused first open leaves nothing open.
            twMsgFileHandle *plain;
            ASSERT_EQ(0u, tryOpen(name.c_str(), nullptr, nullptr, nullptr, nullptr, &plain).tag);
            twMsgFileClose(plain);
            EXPECT_EQ(nullptr, twMsgGetPath(plain));
        }
    }

    // A refused reopen leaves the count as it was.
    twMsgFileHandle *f = twMsgFileOpen(name.c_str(), nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(1007, tryOpen(name.c_str(), "other").number);
    twMsgFileClose(f);
    EXPECT_EQ(nullptr, twMsgGetPath(f));

    // A file without an owner record fails every owner check.
    Image bare = sample();
    bare.owner.reset();
    bare.release.reset();
    std::string bareName = put("bare", bare.bytes());
    EXPECT_EQ(1007, tryOpen(bareName.c_str(), "").number);
    EXPECT_EQ(1007, tryOpen(bareName.c_str(), nullptr, "1.0").number);
}

TEST(MsgFileTest, TheCacheNeverServesAClosedFilesTexts)
{
    Image many;
    for (int i = 1; i <= 200; i++) many.messages.push_back({i * 3, "text " + std::to_string(i)});
    std::string name = put("many", many.bytes());
    twMsgFileHandle *f = twMsgFileOpen(name.c_str(), nullptr, nullptr, nullptr, nullptr);
    // More texts than the cache holds, twice over, out of order.
    for (int round = 0; round < 2; round++)
        for (int i = 200; i >= 1; i -= (round ? 7 : 1))
            ASSERT_EQ("text " + std::to_string(i), text(f, i * 3)) << i;
    twMsgFileClose(f);

    Image first, second;
    first.messages = {{3, "first file"}};
    second.messages = {{3, "second file"}};
    std::string a = put("first", first.bytes()), b = put("second", second.bytes());
    for (int i = 0; i < 20; i++) {
        twMsgFileHandle *h = twMsgFileOpen(a.c_str(), nullptr, nullptr, nullptr, nullptr);
        EXPECT_EQ("first file", text(h, 3));
        twMsgFileClose(h);
        // The new handle very likely reuses the address of the old one.
        h = twMsgFileOpen(b.c_str(), nullptr, nullptr, nullptr, nullptr);
        EXPECT_EQ("second file", text(h, 3));
        twMsgFileClose(h);
    }
}

int countingCopy(void *data, const char *t)
{
    *static_cast<std::string *>(data) = t;
    return 42;
}

TEST(MsgFileTest, CopyFunctionsAndTheStaticBuffer)
{
    Image im;
    std::string longText(1000, 'x');
    im.messages = {{1, "0123456789"}, {2, longText + "%s"}, {3, "%d and %s"}};
    std::string name = put("copies", im.bytes());
    twMsgFileHandle *f = twMsgFileOpen(name.c_str(), nullptr, nullptr, nullptr, nullptr);

    char buffer[16];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(1, twMsgBuffer(f, 1, 5, buffer));
    EXPECT_STREQ("0123", buffer);
    EXPECT_EQ(1, twMsgBuffer(f, 1, 10, buffer));
    EXPECT_EQ(0, twMsgBuffer(f, 1, 11, buffer));
    EXPECT_STREQ("0123456789", buffer);
    EXPECT_EQ(1, twMsgBuffer(f, 1, 0, buffer));

    EXPECT_EQ(longText + "end", std::string(twMsgStatic(f, 2, "end")));
    EXPECT_EQ("12 and z", std::string(twMsgStatic(f, 3, 12, "z")));

    std::string got;
    EXPECT_EQ(42, twMsgText(f, 3, countingCopy, &got));
    EXPECT_EQ("%d and %s", got);
    EXPECT_EQ(42, twMsgGenerate(f, 3, countingCopy, &got, -1, "q"));
    EXPECT_EQ("-1 and q", got);
    twMsgFileClose(f);
}

// Every cut of a sound file, and files with damaged counts and entries,
// give a clear error: never a crash, a read past the end or a huge
// allocation.
TEST(MsgFileTest, DamagedFilesAreRefused)
{
    std::string whole = sample().bytes();
    for (size_t n = 0; n < whole.size(); n++) {
        Raised c = tryOpen(put("cut", whole.substr(0, n)).c_str());
        // A cut inside the index's last argument table may still read.
        bool clear =
            c.tag == 0 || (c.number >= 1004 && c.number <= 1006) || (c.number >= 1300 && c.number <= 1302);
        EXPECT_TRUE(clear) << n << " " << c.number << " " << c.text;
    }

    auto damaged = [&](const std::string &bytes) { return tryOpen(put("damaged", bytes).c_str()).number; };
    // Little-endian image: header slot i is at 2 + 4 i.
    Image im = sample();
    im.bigEndian = false;
    std::string good = im.bytes();
    auto withLong = [&](size_t at, int32_t v) {
        std::string s = good;
        std::memcpy(&s[at], &v, 4);
        return s;
    };
    int32_t indexAt;
    std::memcpy(&indexAt, &good[2 + 16], 4);
    size_t countAt = 2 + static_cast<size_t>(indexAt);
    EXPECT_EQ(1005, damaged(withLong(2, 0x03020100)));  // check value
    EXPECT_EQ(1005, damaged(withLong(2 + 16, -4)));     // index offset
    EXPECT_EQ(1005, damaged(withLong(2 + 16, 1 << 30)));
    EXPECT_EQ(1005, damaged(withLong(countAt, 200001)));
    EXPECT_EQ(1005, damaged(withLong(countAt, -1)));
    EXPECT_EQ(1006, damaged(withLong(countAt, 200000)));      // more than the file holds
    EXPECT_EQ(1006, damaged(withLong(countAt + 4 + 4, -1)));  // text offset
    EXPECT_EQ(1006, damaged(withLong(countAt + 4 + 8, 0)));   // text length
    EXPECT_EQ(1006, damaged(withLong(countAt + 4 + 8, 0x7fffffff)));
    EXPECT_EQ(1006, damaged(withLong(countAt + 4 + 12, 400)));  // out of order
    EXPECT_EQ(0, damaged(good));
    std::string badDescriptor = good;
    badDescriptor[0] = 2;
    EXPECT_EQ(1300, damaged(badDescriptor));

    // A text stored without its zero byte ends at its recorded length.
    std::string unterminated = good;
    int32_t textAt;
    std::memcpy(&textAt, &good[countAt + 4 + 4], 4);
    unterminated[2 + static_cast<size_t>(textAt) + 9] = '!';  // "[E]one %d" loses its zero
    std::string name = put("unterminated", unterminated);
    twMsgFileHandle *f = twMsgFileOpen(name.c_str(), nullptr, nullptr, nullptr, nullptr);
    char *s = twMsgAlloc(f, 1, 3);
    EXPECT_STREQ("[E]one 3!", s);
    twStrFree(s);
    twMsgFileClose(f);
}

void typicalUse(const char *name)
{
    twMsgFileHandle *f = twMsgFileOpen(name, "tester", "1.0", "5.0.0", nullptr);
    char *s = twMsgAlloc(f, 5, "x");
    std::printf("%s|", s);
    twStrFree(s);
    std::printf("%s|", twMsgStatic(f, 1, 3));
    twMsgFileClose(f);
}

TEST(MsgFileTest, SurvivesRefusedAllocations)
{
    std::string name = put("oom", sample().bytes());
    long made = twtest::sweepAllocationFailures(
        [&] {
            Raised c = raised([&] { typicalUse(name.c_str()); });
            if (c.tag) std::printf("refused %d", c.number);
        },
        [](const twtest::ForkResult &r) {
            // The search reports a place it could not look at for want of
            // memory as holding no file.
            EXPECT_TRUE(r.out == "[W]five x|[E]one 3|" || r.out == "refused 1003") << r.out;
        });
    EXPECT_GT(made, 0);
}

// ---- settings read once per process ----

TW_ENV_SUITE(MsgFileDebugEnv, Debug, "TW_MSGFILEDBG=1");

TEST(MsgFileDebugEnv, AMissingMessageGivesADiagnosticText)
{
    std::string name = put("debug%s%n", sample().bytes());
    twMsgFileHandle *f = twMsgFileOpen(name.c_str(), nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ("TWLIB Error 1021: Can't find message #4 in message file " + name + ".tmb!\n",
              std::string(twMsgStatic(f, 4)));
    EXPECT_EQ("[E]one 7", text(f, 1));
    twMsgFileClose(f);
}

TW_ENV_SUITE(MsgFileNoVersionEnv, NoVersion, "TW_MSGNOVERSION=1");

TEST(MsgFileNoVersionEnv, AFailedVersionCheckIsAWarning)
{
    std::string name = put("noversion", sample().bytes());
    testing::internal::CaptureStderr();
    twMsgFileHandle *f = twMsgFileOpen(name.c_str(), "other", nullptr, "9.0.0", nullptr);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, err.find("Message file failed versioning check.")) << err;
    EXPECT_NE(std::string::npos, err.find(name + ".tmb")) << err;
    EXPECT_EQ("[E]one 7", text(f, 1));
    twMsgFileClose(f);
}

// ---- the library's own file ----

TW_CHILD_SUITE(MsgFileChildEnv);

TEST(MsgFileChildEnv, Run)
{
    CHILD_ONLY();
    useTestCatalogues();
    const std::string scene = getenv("TW_TEST_CHILD");
    // The child runs in a fresh directory, which the search looks in first.
    if (scene == "damaged") {
        std::ofstream("twlib.tmb", std::ios::binary) << ownBytes().substr(0, 30);
        twMsgFile();
    }
    if (scene == "builtin") {
        twMsgFileHandle *f = twMsgFile();
        std::printf("%s|%s\n", twMsgGetPath(f), twMsgStatic(f, 1021, 5, "x"));
        std::printf("%s\n", twMsgStatic(f, 77));
    }
    if (scene == "oldVersion") {
        Image im = ownImage();
        im.major = 4;
        std::ofstream("twlib.tmb", std::ios::binary) << im.bytes();
        twMsgFile();
    }
    std::exit(0);
}

TEST(MsgFileTest, TheLibrarysOwnFileFailsWithBuiltInTexts)
{
    ProcessResult r = runChild("MsgFileChildEnv.Run", "damaged");
    EXPECT_EQ(3, r.status) << r.err;
    EXPECT_NE(std::string::npos, r.err.find("TWLIB Error 1005: Can't open message file twlib.tmb!")) << r.err;
    r = runChild("MsgFileChildEnv.Run", "oldVersion");
    EXPECT_EQ(3, r.status) << r.err;
    EXPECT_NE(std::string::npos, r.err.find("Trying to use wrong version of message file twlib.tmb!"))
        << r.err;
    // With no file to find, the compiled-in copy serves; a message missing
    // from it is fatal too, since its own texts cannot describe that.
    r = runChild("MsgFileChildEnv.Run", "builtin");
    EXPECT_EQ(3, r.status) << r.err;
    EXPECT_NE(std::string::npos, r.out.find("<twlib.tmb>|[E]"));
    EXPECT_NE(std::string::npos,
              r.err.find("TWLIB Error 1021: Can't find message #77 in message file twlib.tmb!"))
        << r.err;
}

}  // namespace
