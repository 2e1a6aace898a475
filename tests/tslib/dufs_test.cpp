#include "tslib/dufs.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "support/oom_sweep.h"
#include "support/process.h"
#include "support/raised.h"

namespace {

using twtest::readFile;
using twtest::TempDir;
using Bytes = std::vector<unsigned char>;

using twtest::Raised;
using twtest::raised;

std::string asString(const Bytes &b)
{
    return std::string(b.begin(), b.end());
}

// A binary file of the descriptor bytes and the data.
std::string binaryFile(const TempDir &tmp, const char *name, unsigned version, unsigned flags,
                       const Bytes &data)
{
    Bytes all{static_cast<unsigned char>(version), static_cast<unsigned char>(flags)};
    all.insert(all.end(), data.begin(), data.end());
    return tmp.write(name, asString(all));
}

FILE *textStream(const std::string &content)
{
    FILE *f = std::tmpfile();
    std::fwrite(content.data(), 1, content.size(), f);
    std::rewind(f);
    return f;
}

// ---- text streams ----

TEST(DufsTextTest, CarriageReturnAndLineFeedReadAsOneLineFeed)
{
    FILE *f = textStream("\r\nA\rB\r");
    EXPECT_EQ('\n', twDufsFgetc(f));
    EXPECT_EQ('A', twDufsFgetc(f));
    EXPECT_EQ('\r', twDufsFgetc(f)) << "a lone carriage return stays";
    EXPECT_EQ('B', twDufsFgetc(f)) << "and the character after it is not lost";
    EXPECT_EQ('\r', twDufsFgetc(f));
    EXPECT_EQ(EOF, twDufsFgetc(f));
    std::fclose(f);

    char buf[10];
    f = textStream("abc\r\nabc\r\nabc\rX\nabc\r");
    ASSERT_NE(nullptr, twDufsFgets(buf, 10, f));
    EXPECT_STREQ("abc\n", buf);
    ASSERT_NE(nullptr, twDufsFgets(buf, 5, f));
    EXPECT_STREQ("abc\n", buf) << "the carriage return on the last slot takes its line feed";
    ASSERT_NE(nullptr, twDufsFgets(buf, 5, f));
    EXPECT_STREQ("abc\r", buf);
    ASSERT_NE(nullptr, twDufsFgets(buf, 5, f));
    EXPECT_STREQ("X\n", buf) << "the character after a lone carriage return is pushed back";
    ASSERT_NE(nullptr, twDufsFgets(buf, 5, f));
    EXPECT_STREQ("abc\r", buf) << "a carriage return at the end of the file";
    EXPECT_EQ(nullptr, twDufsFgets(buf, 5, f));
    EXPECT_EQ(nullptr, twDufsFgets(buf, 0, f));
    std::fclose(f);
}

TEST(DufsTextTest, GetlineReturnsLinesOfAnyLengthWhole)
{
    // Lengths around every point where the buffer grows (100, 198, 394).
    std::string content;
    std::vector<std::string> lines;
    for (size_t n : {0, 1, 97, 98, 99, 100, 101, 196, 197, 198, 199, 392, 393, 394, 1000, 5000}) {
        std::string line(n, 'a' + static_cast<char>(n % 26));
        bool crlf = n % 2;
        lines.push_back(line + "\n");
        content += line + (crlf ? "\r\n" : "\n");
    }
    content += "last line";
    lines.push_back("last line");
    FILE *f = textStream(content);
    for (const std::string &want : lines) {
        const char *got = twDufsFgetline(f);
        ASSERT_NE(nullptr, got) << want.size();
        EXPECT_EQ(want, got) << "a line of " << want.size() << " characters";
    }
    EXPECT_EQ(nullptr, twDufsFgetline(f));
    EXPECT_EQ(nullptr, twDufsFgetline(f));
    std::fclose(f);

    f = textStream(std::string("ab\0", 3) + std::string(200, 'c') + "\nnext");
    EXPECT_STREQ("ab", twDufsFgetline(f));
    EXPECT_STREQ("next", twDufsFgetline(f)) << "a zero byte must not split a line in two";
    std::fclose(f);

    // A carriage return that falls on the buffer's last slot, its line feed
    // after it.
    for (size_t n : {98, 99, 100, 196, 197}) {
        f = textStream(std::string(n, 'x') + "\r\nnext\n");
        EXPECT_EQ(std::string(n, 'x') + "\n", twDufsFgetline(f)) << n;
        EXPECT_STREQ("next\n", twDufsFgetline(f));
        std::fclose(f);
    }
}

TEST(DufsTextTest, SeekCountsCarriageReturnAndLineFeedOnce)
{
    FILE *f = textStream("a\r\nbc");
    EXPECT_EQ(0, twDufsFseek(f, 4, SEEK_SET));
    EXPECT_EQ(EOF, twDufsFgetc(f)) << "four characters: a, line feed, b, c";
    EXPECT_EQ(0, twDufsFseek(f, 2, SEEK_SET));
    EXPECT_EQ('b', twDufsFgetc(f));
    EXPECT_EQ(0, twDufsFseek(f, -2, SEEK_CUR));
    EXPECT_EQ('\n', twDufsFgetc(f));
    EXPECT_EQ(0, twDufsFseek(f, -1, SEEK_END));
    EXPECT_EQ('c', twDufsFgetc(f));
    EXPECT_EQ(0, twDufsFseek(f, -10, SEEK_END));
    EXPECT_EQ('a', twDufsFgetc(f)) << "a target before the start";
    EXPECT_EQ(0, twDufsFseek(f, LONG_MAX, SEEK_CUR));
    EXPECT_EQ(EOF, twDufsFgetc(f));
    EXPECT_EQ(0, twDufsFseek(f, LONG_MIN, SEEK_END));
    EXPECT_EQ('a', twDufsFgetc(f));
    EXPECT_EQ(2, twDufsFseek(f, 0, 3));
    std::fclose(f);

    FILE *p = popen("printf 'abc'", "r");
    ASSERT_NE(nullptr, p);
    EXPECT_EQ(2, twDufsFseek(p, 0, SEEK_CUR)) << "a stream that cannot seek";
    pclose(p);
}

// ---- binary streams ----

TEST(DufsBinaryTest, WrittenFileDescribesThisMachineAndReadsBack)
{
    TempDir tmp;
    std::string path = tmp.path() + "/values.bin";
    twDufsB *w = twDufsBFopen(path.c_str(), "w");
    ASSERT_NE(nullptr, w);
    EXPECT_EQ(0, twDufsBFtell(w));
    const int32_t ints[3] = {1, -2, INT32_MAX};
    const int16_t shortValue = -300;
    const float floatValue = 1.5f;
    const double doubleValue = -2.25;
    std::string s255(255, 's');
    EXPECT_EQ(3 + 1 + 1 + 1, twDufsBWrite(w, ints, 3, 4) + twDufsBWrite(w, &shortValue, 1, 2) +
                                 twDufsBWrite(w, &floatValue, 1, 4) + twDufsBWrite(w, &doubleValue, 1, 8));
    EXPECT_EQ(3, twDufsBWriteString(w, "hello") + twDufsBWriteString(w, nullptr) +
                     twDufsBWriteString(w, s255.c_str()));
    EXPECT_EQ(2, twDufsBWrite(w, "xy", 2, 1));
    EXPECT_EQ(0, twDufsBWrite(w, "xy", 0, 1));
    EXPECT_EQ(12 + 2 + 4 + 8 + 6 + 1 + 256 + 2, twDufsBFtell(w));
    EXPECT_EQ(0, twDufsBFclose(w));

    const int one = 1;
    bool little = *reinterpret_cast<const char *>(&one) == 1;
    EXPECT_EQ(std::string(little ? "\x01\x84" : "\x01\x85"), readFile(path).substr(0, 2))
        << "the descriptor records this machine's byte order";

    twDufsB *r = twDufsBFopen(path.c_str(), "r");
    ASSERT_NE(nullptr, r);
    int32_t gotInts[3] = {};
    int16_t gotShort = 0;
    float gotFloat = 0;
    double gotDouble = 0;
    char text[256];
    EXPECT_EQ(3, twDufsBRead(r, gotInts, 3, TW_DUFSB_LONG, 1));
    EXPECT_EQ(1, twDufsBRead(r, &gotShort, 1, TW_DUFSB_SHORT, 1));
    EXPECT_EQ(1, twDufsBRead(r, &gotFloat, 1, TW_DUFSB_FLOAT, 0));
    EXPECT_EQ(1, twDufsBRead(r, &gotDouble, 1, TW_DUFSB_DOUBLE, 0));
    EXPECT_EQ(0, std::memcmp(ints, gotInts, sizeof ints));
    EXPECT_EQ(shortValue, gotShort);
    EXPECT_EQ(floatValue, gotFloat);
    EXPECT_EQ(doubleValue, gotDouble);
    for (const char *want : {"hello", "", s255.c_str()}) {
        EXPECT_EQ(1, twDufsBRead(r, text, 0, TW_DUFSB_STRING, 0));
        EXPECT_STREQ(want, text);
    }
    EXPECT_EQ(2, twDufsBRead(r, text, 5, TW_DUFSB_BYTES, 0)) << "a short count at the end";
    EXPECT_EQ(0, twDufsBRead(r, text, 1, 8, 0)) << "an unknown type reads nothing";

    // Positions count from byte 2, and the descriptor cannot be reached.
    EXPECT_EQ(0, twDufsBFseek(r, 4, SEEK_SET));
    EXPECT_EQ(1, twDufsBRead(r, gotInts, 1, TW_DUFSB_INT, 1));
    EXPECT_EQ(-2, gotInts[0]);
    EXPECT_EQ(-1, twDufsBFseek(r, -1, SEEK_SET));
    EXPECT_EQ(-1, twDufsBFseek(r, -9, SEEK_CUR));
    EXPECT_EQ(EINVAL, errno);
    EXPECT_EQ(8, twDufsBFtell(r)) << "a refused seek leaves the position";
    EXPECT_EQ(0, twDufsBFseek(r, -2, SEEK_END));
    EXPECT_EQ(2, twDufsBRead(r, text, 2, TW_DUFSB_BYTES, 0));
    EXPECT_EQ("xy", std::string(text, 2));
    twDufsBRewind(r);
    EXPECT_EQ(0, twDufsBFtell(r));
    EXPECT_NE(nullptr, twDufsBGetFD(r));
    EXPECT_EQ(0, twDufsBFclose(r));
}

// The same values written on a big-endian and on a little-endian machine:
// long 1, int -2, short -3, float 1.5, double -2.25, string "ok", bytes.
TEST(DufsBinaryTest, FilesOfEitherByteOrderReadAlike)
{
    TempDir tmp;
    Bytes big = {0,    0,    0, 1, 0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0xFD, 0x3F, 0xC0, 0,  0,
                 0xC0, 0x02, 0, 0, 0,    0,    0,    0,    2,    'o',  'k',  'R',  'W'};
    Bytes little = {1, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 0xFD, 0xFF, 0,   0,   0xC0, 0x3F,
                    0, 0, 0, 0, 0,    0,    0x02, 0xC0, 2,    'o',  'k', 'R', 'W'};
    for (auto [name, flags, data] :
         {std::tuple{"big.bin", 133u, big}, std::tuple{"little.bin", 132u, little}}) {
        std::string path = binaryFile(tmp, name, 1, flags, data);
        twDufsB *r = twDufsBFopen(path.c_str(), "r");
        ASSERT_NE(nullptr, r) << name;
        int32_t l = 0, i = 0;
        int16_t s = 0;
        float fl = 0;
        double d = 0;
        char text[256], raw[2];
        EXPECT_EQ(1, twDufsBRead(r, &l, 1, TW_DUFSB_LONG, 1));
        EXPECT_EQ(1, twDufsBRead(r, &i, 1, TW_DUFSB_INT2, 1));
        EXPECT_EQ(1, twDufsBRead(r, &s, 1, TW_DUFSB_SHORT, 1));
        EXPECT_EQ(1, twDufsBRead(r, &fl, 1, TW_DUFSB_FLOAT, 0));
        EXPECT_EQ(1, twDufsBRead(r, &d, 1, TW_DUFSB_DOUBLE, 0));
        EXPECT_EQ(1, twDufsBRead(r, text, 1, TW_DUFSB_STRING, 0));
        EXPECT_EQ(2, twDufsBRead(r, raw, 2, TW_DUFSB_BYTES, 0));
        EXPECT_EQ(1, l) << name;
        EXPECT_EQ(-2, i) << name;
        EXPECT_EQ(-3, s) << name;
        EXPECT_EQ(1.5f, fl) << name;
        EXPECT_EQ(-2.25, d) << name;
        EXPECT_STREQ("ok", text) << name;
        EXPECT_EQ("RW", std::string(raw, 2)) << "bytes are never reordered";
        EXPECT_EQ(0, twDufsBFclose(r));
    }
}

// Reads one value of 'type' from a file of 'flags' holding 'data'.
Raised readOne(const TempDir &tmp, unsigned flags, const Bytes &data, int type, int signExtend, void *out,
               int *count)
{
    std::string path = binaryFile(tmp, "one.bin", 1, flags, data);
    twDufsB *r = twDufsBFopen(path.c_str(), "r");
    Raised raised;
    raised.number = -1;  // not even opened
    if (!r) return raised;
    raised = twtest::raised([&] { *count = twDufsBRead(r, out, 1, type, signExtend); });
    twDufsBFclose(r);
    return raised;
}

TEST(DufsBinaryTest, ValuesOfOtherSizesWidenAndNarrow)
{
    TempDir tmp;
    struct Case {
        unsigned flags;  // with the valid bit; bit 0 big-endian
        Bytes data;
        int type, signExtend;
        int64_t want;  // read as the reader's size, signed when signExtend
    };
    const unsigned kBig = 129, kShort4 = 16, kLong8 = 2, kInt2 = 0, kInt8 = 8, kInt16 = 12;
    const Case cases[] = {
        // The spec's examples: 4-byte shorts.
        {kBig | kShort4, {0xFF, 0xFF, 0xFF, 0xFE}, TW_DUFSB_SHORT, 1, -2},
        {kBig | kShort4, {0, 0, 0x7F, 0xFF}, TW_DUFSB_SHORT, 1, 32767},
        {kBig | kShort4, {0, 0, 0xFF, 0xFF}, TW_DUFSB_SHORT, 0, 65535},
        {128 | kShort4, {0xFE, 0xFF, 0xFF, 0xFF}, TW_DUFSB_SHORT, 1, -2},
        // 2-byte ints widen, filled by the sign only when asked.
        {kBig | kInt2, {0xFF, 0xFE}, TW_DUFSB_INT, 1, -2},
        {kBig | kInt2, {0xFF, 0xFE}, TW_DUFSB_INT, 0, 65534},
        {128 | kInt2, {0xFE, 0xFF}, TW_DUFSB_INT, 1, -2},
        {128 | kInt2, {0x34, 0x12}, TW_DUFSB_INT, 1, 0x1234},
        // 8- and 16-byte ints and 8-byte longs narrow when they fit.
        {kBig | kInt8, {0xFF, 0xFF, 0xFF, 0xFF, 0x80, 0, 0, 0}, TW_DUFSB_INT, 1, INT32_MIN},
        {kBig | kInt8, {0, 0, 0, 0, 0x7F, 0xFF, 0xFF, 0xFF}, TW_DUFSB_INT, 1, INT32_MAX},
        {kBig | kInt8, {0, 0, 0, 0, 0x80, 0, 0, 0}, TW_DUFSB_INT, 0, 0x80000000LL},
        {128 | kInt16, {5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, TW_DUFSB_INT, 1, 5},
        {kBig | kInt16, Bytes(16, 0xFF), TW_DUFSB_INT, 1, -1},
        {128 | kLong8, {0xFD, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, TW_DUFSB_LONG, 1, -3},
        {kBig | kLong8, {0, 0, 0, 0, 0, 0, 1, 0}, TW_DUFSB_LONG, 0, 256},
    };
    for (const Case &c : cases) {
        unsigned char out[8] = {};
        int count = -1;
        Raised raised = readOne(tmp, c.flags, c.data, c.type, c.signExtend, out, &count);
        ASSERT_EQ(0, raised.number) << "flags " << c.flags << " want " << c.want;
        ASSERT_EQ(1, count);
        int64_t got;
        if (c.type == TW_DUFSB_SHORT) {
            int16_t v;
            std::memcpy(&v, out, 2);
            got = c.signExtend ? v : static_cast<uint16_t>(v);
        } else {
            int32_t v;
            std::memcpy(&v, out, 4);
            got = c.signExtend ? int64_t{v} : int64_t{static_cast<uint32_t>(v)};
        }
        EXPECT_EQ(c.want, got) << "flags " << c.flags;
    }
}

// A value that does not fit the reader's size must raise 1320, whatever
// byte the top holds: 2^31 in eight bytes used to come out as the
// smallest 4-byte value because only the dropped bytes were checked.
TEST(DufsBinaryTest, ValuesThatDoNotFitRaise1320)
{
    TempDir tmp;
    struct Case {
        unsigned flags;
        Bytes data;
        int type, signExtend;
    };
    const Case cases[] = {
        {145, {0, 1, 0, 0}, TW_DUFSB_SHORT, 0},                                     // the spec's example
        {145, {0, 0, 0x80, 0}, TW_DUFSB_SHORT, 1},                                  // 32768 signed
        {145, {0xFF, 0xFF, 0x7F, 0xFF}, TW_DUFSB_SHORT, 1},                         // -32769
        {145, {0xFF, 0xFF, 0xFF, 0xFE}, TW_DUFSB_SHORT, 0},                         // negative, unsigned
        {131, {0, 0, 0, 0, 0x80, 0, 0, 0}, TW_DUFSB_LONG, 1},                       // 2^31
        {131, {0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF}, TW_DUFSB_LONG, 1},  // -2^31 - 1
        {130, {0, 0, 0, 0x80, 0, 0, 0, 0}, TW_DUFSB_LONG, 1},                       // 2^31, little-endian
        {137, {0, 0, 0, 1, 0, 0, 0, 0}, TW_DUFSB_INT, 0},                           // 2^32
        {141, Bytes{0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, TW_DUFSB_INT, 1},
    };
    for (const Case &c : cases) {
        int32_t out = 7;
        int count = -1;
        Raised raised = readOne(tmp, c.flags, c.data, c.type, c.signExtend, &out, &count);
        EXPECT_EQ(1320, raised.number) << "flags " << c.flags << " first byte " << int(c.data[0]);
        EXPECT_EQ(uint32_t{TW_EX_POSTCOND}, raised.tag);
        EXPECT_EQ("in call to routine twDufsBRead()", raised.location);
    }

    // The values before the one that does not fit are stored.
    std::string path = binaryFile(tmp, "three.bin", 1, 131,
                                  {0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 0});
    twDufsB *r = twDufsBFopen(path.c_str(), "r");
    ASSERT_NE(nullptr, r);
    int32_t values[3] = {};
    EXPECT_EQ(1320, raised([&] { twDufsBRead(r, values, 3, TW_DUFSB_LONG, 1); }).number);
    EXPECT_EQ(1, values[0]);
    EXPECT_EQ(2, values[1]);
    twDufsBFclose(r);
}

TEST(DufsBinaryTest, BadDescriptorsAndMisuseRaiseTheirMessages)
{
    TempDir tmp;
    std::string v2 = binaryFile(tmp, "v2.bin", 2, 133, {});
    std::string invalid = binaryFile(tmp, "invalid.bin", 1, 5, {});
    std::string float8 = binaryFile(tmp, "float8.bin", 1, 133 | 32, {});
    std::string double16 = binaryFile(tmp, "double16.bin", 1, 133 | 64, {});
    std::string data = binaryFile(tmp, "data.bin", 1, 133, {9, 9});
    struct Case {
        const char *what;
        std::function<void()> work;
        int number;
        uint32_t tag;
    };
    twDufsB *fine = twDufsBFopen(data.c_str(), "r");
    ASSERT_NE(nullptr, fine);
    alignas(16) static unsigned char forgedBytes[256];  // never opened: no validity marker
    auto *forged = reinterpret_cast<twDufsB *>(forgedBytes);
    std::string longText(300, 'x');  // outside the regions: a raise skips destructors
    const Case cases[] = {
        {"version 2", [&] { twDufsBFopen(v2.c_str(), "r"); }, 1300, TW_EX_POSTCOND},
        {"no valid bit", [&] { twDufsBFopen(invalid.c_str(), "r"); }, 1301, TW_EX_POSTCOND},
        {"8-byte floats", [&] { twDufsBFopen(float8.c_str(), "r"); }, 1302, TW_EX_POSTCOND},
        {"16-byte doubles", [&] { twDufsBFopen(double16.c_str(), "r"); }, 1302, TW_EX_POSTCOND},
        {"mode a", [&] { twDufsBFopen(data.c_str(), "a"); }, 1306, TW_EX_PRECOND},
        {"mode r+", [&] { twDufsBFopen(data.c_str(), "r+"); }, 1306, TW_EX_PRECOND},
        {"null name", [&] { twDufsBFopen(nullptr, "r"); }, 1311, TW_EX_PRECOND},
        {"null mode", [&] { twDufsBFopen(data.c_str(), nullptr); }, 1311, TW_EX_PRECOND},
        {"null stream", [&] { twDufsBSetup(nullptr, "r"); }, 1311, TW_EX_PRECOND},
        {"null record", [&] { twDufsBFtell(nullptr); }, 1310, TW_EX_PRECOND},
        {"forged record", [&] { twDufsBRead(forged, nullptr, 1, 1, 0); }, 1310, TW_EX_PRECOND},
        {"forged close", [&] { twDufsBFclose(forged); }, 1310, TW_EX_PRECOND},
        {"long string", [&] { twDufsBWriteString(fine, longText.c_str()); }, 1312, TW_EX_PRECOND},
        {"null destination", [&] { twDufsBRead(fine, nullptr, 1, 1, 0); }, 1311, TW_EX_PRECOND},
    };
    for (const Case &c : cases) {
        Raised r = raised(c.work);
        EXPECT_EQ(c.number, r.number) << c.what;
        EXPECT_EQ(c.tag, r.tag) << c.what;
        EXPECT_EQ(0u, r.location.find("in call to routine twDufsB")) << c.what << ": " << r.location;
    }
    EXPECT_EQ(0, twDufsBFtell(fine)) << "a refused string writes nothing";
    EXPECT_EQ(0, twDufsBFclose(fine));
    EXPECT_EQ(std::string("\x01\x85\x09\x09", 4), readFile(data)) << "mode a must not append a descriptor";

    // The library's own message file cannot describe its failures by its
    // own messages.
    std::string own = binaryFile(tmp, "TwLib.TMB", 7, 133, {});
    Raised r = raised([&] { twDufsBFopen(own.c_str(), "r"); });
    EXPECT_EQ(1008, r.number);
    EXPECT_EQ(4, r.severity);
    EXPECT_EQ(uint32_t{TW_EX_POSTCOND}, r.tag);
    EXPECT_EQ("TWLIB Error 1008: Error 1300 occured while trying to open or read the binary message "
              "file twlib.tmb!\n",
              r.text);
}

TEST(DufsBinaryTest, TruncatedFilesGiveShortCountsOrNull)
{
    TempDir tmp;
    std::string empty = tmp.write("empty.bin", "");
    std::string half = tmp.write("half.bin", "\x01");
    EXPECT_EQ(nullptr, twDufsBFopen(empty.c_str(), "r"));
    errno = EBADF;
    EXPECT_EQ(nullptr, twDufsBFopen(half.c_str(), "r"));
    EXPECT_EQ(0, errno) << "no error number of an earlier call";
    EXPECT_EQ(nullptr, twDufsBFopen((tmp.path() + "/missing.bin").c_str(), "r"));
    EXPECT_EQ(ENOENT, errno) << "the platform's error number is kept";
    EXPECT_EQ(nullptr, twDufsBFopen((tmp.path() + "/no/such/dir.bin").c_str(), "w"));

    // Five bytes: one whole 4-byte value and a piece of the next; a string
    // whose length byte promises more than the file holds.
    std::string cut = binaryFile(tmp, "cut.bin", 1, 133, {0, 0, 0, 7, 0});
    std::string cutString = binaryFile(tmp, "cutstring.bin", 1, 133, {10, 'a', 'b', 'c'});
    std::string cutWide = binaryFile(tmp, "cutwide.bin", 1, 131, {0, 0, 0, 0, 0, 0, 0, 5, 0, 0, 0});
    int32_t values[4] = {};
    char text[256];
    twDufsB *r = twDufsBFopen(cut.c_str(), "r");
    ASSERT_NE(nullptr, r);
    EXPECT_EQ(1, twDufsBRead(r, values, 4, TW_DUFSB_INT, 1));
    EXPECT_EQ(7, values[0]);
    EXPECT_EQ(0, twDufsBRead(r, values, 1, TW_DUFSB_INT, 1));
    twDufsBFclose(r);
    r = twDufsBFopen(cutString.c_str(), "r");
    EXPECT_EQ(0, twDufsBRead(r, text, 1, TW_DUFSB_STRING, 0));
    EXPECT_EQ(0, twDufsBRead(r, text, 1, TW_DUFSB_STRING, 0)) << "at the end: no length byte";
    twDufsBFclose(r);
    r = twDufsBFopen(cutWide.c_str(), "r");
    EXPECT_EQ(1, twDufsBRead(r, values, 4, TW_DUFSB_LONG, 0));
    EXPECT_EQ(5, values[0]);
    twDufsBFclose(r);
}

TEST(DufsBinaryTest, SetupWorksOverTheCallersStream)
{
    FILE *f = std::tmpfile();
    twDufsB *w = twDufsBSetup(f, "w+");
    ASSERT_NE(nullptr, w);
    int32_t v = -5;
    EXPECT_EQ(1, twDufsBWrite(w, &v, 1, 4));
    twDufsBRewind(w);
    int32_t back = 0;
    EXPECT_EQ(1, twDufsBRead(w, &back, 1, TW_DUFSB_LONG, 1));
    EXPECT_EQ(-5, back);
    EXPECT_EQ(f, twDufsBGetFD(w));
    EXPECT_EQ(0, twDufsBFclose(w)) << "closes the stream too";

    // A message file held in memory, as the library's built-in copies are.
    static const unsigned char image[] = {1, 133, 0, 1, 2, 3};
    FILE *m = fmemopen(const_cast<unsigned char *>(image), sizeof image, "rb");
    twDufsB *r = twDufsBSetup(m, "r");
    ASSERT_NE(nullptr, r);
    EXPECT_EQ(1, twDufsBRead(r, &back, 1, TW_DUFSB_LONG, 0));
    EXPECT_EQ(0x00010203, back);
    twDufsBFclose(r);

    FILE *bad = fmemopen(const_cast<unsigned char *>(image + 1), 3, "rb");
    Raised got = raised([&] { twDufsBSetup(bad, "r"); });
    EXPECT_EQ(1300, got.number);
    EXPECT_EQ(uint32_t{TW_EX_POSTCOND}, got.tag);
    FILE *shortImage = fmemopen(const_cast<unsigned char *>(image), 1, "rb");
    EXPECT_EQ(nullptr, twDufsBSetup(shortImage, "r"));
    std::fclose(bad);  // still the caller's
    std::fclose(shortImage);
}

// Records, names and the line buffer come from the memory manager: each
// allocation refused in turn leaves a clean end or the out-of-memory stop.
TEST(DufsBinaryTest, RefusedAllocationsEndCleanly)
{
    TempDir tmp;
    std::string path = tmp.path() + "/sweep.bin";
    std::string text = tmp.write("sweep.txt", std::string(300, 'l') + "\r\nshort\n");
    long made = twtest::sweepAllocationFailures(
        [&path, &text] {
            twDufsB *w = twDufsBFopen(path.c_str(), "w");
            int32_t v = 42;
            twDufsBWrite(w, &v, 1, 4);
            twDufsBWriteString(w, "name");
            twDufsBFclose(w);
            twDufsB *r = twDufsBFopen(path.c_str(), "r");
            int32_t back = 0;
            char s[256];
            twDufsBRead(r, &back, 1, TW_DUFSB_LONG, 1);
            twDufsBRead(r, s, 1, TW_DUFSB_STRING, 0);
            twDufsBFclose(r);
            FILE *f = std::fopen(text.c_str(), "r");
            size_t first = std::strlen(twDufsFgetline(f));
            std::printf("%d %s %zu %s", back, s, first, twDufsFgetline(f));
            std::fclose(f);
        },
        [](const twtest::ForkResult &r) { EXPECT_EQ("42 name 301 short\n", r.out); });
    EXPECT_GT(made, 0);
}

}  // namespace
