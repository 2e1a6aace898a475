#include "twlib/err/msgcomp.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "support/oom_sweep.h"
#include "support/process.h"
#include "twlib/core/mem.h"
#include "twlib/err/tmb_reader.h"
#include "twlib/text/sprintf.h"

namespace {

struct Report {
    int code;
    int line;
    int number;
    std::string text;
};

struct Reports {
    std::vector<Report> all;
    int stopAt = 0;  // a code whose report asks to stop; 0: never stop
    std::vector<Report> problems() const
    {
        std::vector<Report> out;
        for (const Report &r : all)
            if (r.code < 0) out.push_back(r);
        return out;
    }
};

int record(int code, int line, int number, const char *text, void *data)
{
    auto *r = static_cast<Reports *>(data);
    r->all.push_back({code, line, number, text});
    return r->stopAt != 0 && code == r->stopAt;
}

struct Compiled {
    int result;
    Reports reports;
    std::string bytes;
    twtest::TmbFile file;
};

// Compiles 'header' (written as it stands) through real files, with or
// without a report function, and reads the result back byte by byte.
Compiled compile(const std::string &header, int stopAt = 0, bool reporting = true)
{
    twtest::TempDir dir;
    std::string in = dir.write("m.h", header);
    std::string out = dir.path() + "/m.tmb";
    Compiled c;
    c.reports.stopAt = stopAt;
    FILE *h = fopen(in.c_str(), "r");
    twDufsB *b = twDufsBFopen(out.c_str(), "w");
    c.result =
        reporting ? twMsgCompCompile(h, b, record, &c.reports) : twMsgCompCompile(h, b, nullptr, nullptr);
    fclose(h);
    twDufsBFclose(b);
    c.bytes = twtest::readFile(out);
    c.file = twtest::readTmb(c.bytes);
    return c;
}

std::vector<int32_t> slots(const Compiled &c, int from, int to)
{
    return std::vector<int32_t>(c.file.header + from, c.file.header + to);
}

std::string define(const std::string &name, const std::string &number, const std::string &literal)
{
    return "#define " + name + " " + number + " /* \"" + literal + "\" */\n";
}

TEST(MsgCompTest, HeaderWithoutDefinitionsGivesAnEmptyIndexAndNoVersion)
{
    Compiled c = compile("/* messages */\n#ifndef X\n#define X\n#endif\n");
    ASSERT_EQ(0, c.result);
    ASSERT_EQ("", c.file.problem);
    EXPECT_EQ((std::vector<int32_t>{-1, -1, -1}), slots(c, 1, 4)) << "no version";
    EXPECT_EQ(std::vector<int32_t>(10, 0), slots(c, 5, 15)) << "no strings";
    EXPECT_TRUE(c.file.order.empty());
    ASSERT_EQ(4u, c.reports.all.size());
    for (const Report &r : c.reports.all) EXPECT_EQ(TW_MSGCOMP_NOT_MESSAGE, r.code) << r.text;
    EXPECT_EQ(3, c.reports.all[2].line);
}

TEST(MsgCompTest, CompilesStringsVersionAndMessagesSortedByNumber)
{
    std::string header =
        "/* app */\r\n" + define("APP_M_OWNER", "-1", "app") + define("APP_M_RELEASE", "-2", "1.0") +
        "#\tdefine\tAPP_M_VERSION\t0\t/*\t\"2.10.7\" */\n" + define("APP_LATE", "300", "[W]Late %s") +
        // continued line and an escape
        "#define APP_CONT \\\n  20 /* \"[E]two\\tparts \\\"q\\\"\" */\r\n" +
        // a comment over three lines
        "#define APP_LONG 100 /* \"[I]n=%d\"\n   more words\n   */\n" +
        define("APP_PLAIN", "7", "no prefix at all");
    Compiled c = compile(header);
    ASSERT_EQ(0, c.result);
    ASSERT_EQ("", c.file.problem);
    EXPECT_EQ("app", c.file.owner);
    EXPECT_EQ("1.0", c.file.release);
    EXPECT_EQ("2.10.7", c.file.version);
    EXPECT_EQ((std::vector<int32_t>{2, 10, 7}), slots(c, 1, 4));
    EXPECT_EQ((std::vector<int32_t>{7, 20, 100, 300}), c.file.order);
    EXPECT_EQ("[E]two\tparts \"q\"", c.file.messages[20].text);
    EXPECT_EQ("[I]n=%d", c.file.messages[100].text);
    EXPECT_EQ(std::vector<int>{TW_SPARG_INT}, c.file.messages[100].args);
    EXPECT_EQ(std::vector<int>{TW_SPARG_STRING}, c.file.messages[300].args);
    EXPECT_TRUE(c.file.messages[7].args.empty());

    // Every definition is reported compiled, at the line where it starts.
    std::vector<std::pair<int, int>> compiled;
    for (const Report &r : c.reports.all)
        if (r.code == TW_MSGCOMP_COMPILED) compiled.push_back({r.line, r.number});
    EXPECT_EQ(
        (std::vector<std::pair<int, int>>{{2, -1}, {3, -2}, {4, 0}, {5, 300}, {6, 20}, {8, 100}, {11, 7}}),
        compiled);
}

TEST(MsgCompTest, ArgumentTablesFollowPositionsAndStars)
{
    Compiled c = compile(define("A", "1", "[E]%2$s then %1$d") + define("B", "2", "[E]%*.*f|%Ld|%c") +
                         define("C", "3", "[E]%1$*2$d and %1$hd") + define("D", "4", "[E]100%% sure") +
                         define("E", "5", "[E]%ld %lx %p %hn"));
    ASSERT_EQ(0, c.result);
    ASSERT_EQ("", c.file.problem);
    EXPECT_EQ((std::vector<int>{TW_SPARG_INT, TW_SPARG_STRING}), c.file.messages[1].args);
    EXPECT_EQ((std::vector<int>{1, 1, TW_SPARG_DOUBLE, TW_SPARG_INT64, TW_SPARG_CHAR}),
              c.file.messages[2].args);
    EXPECT_EQ((std::vector<int>{TW_SPARG_INT, TW_SPARG_INT}), c.file.messages[3].args);
    EXPECT_TRUE(c.file.messages[4].args.empty());
    EXPECT_EQ((std::vector<int>{TW_SPARG_LONG, TW_SPARG_LONG, TW_SPARG_POINTER, TW_SPARG_NSHORT}),
              c.file.messages[5].args);
}

// Each problem at the line it names; a report that returns 0 skips the
// line (or keeps it, for -9 and -8), and the compilation goes on.
TEST(MsgCompTest, ProblemsAreReportedWithTheirLinesAndSkipped)
{
    std::string many;
    for (int i = 0; i < 129; i++) many += "%d";
    Compiled c = compile(define("GAP", "1", "[E]%2$s") +            // line 1: -7
                         define("TWO", "2", "[E]%1$d %1$s") +       // 2: -4
                         define("BAD", "3", "[E]50%") +             // 3: -4
                         define("MANY", "4", "[E]" + many) +        // 4: -4
                         define("SEV", "5", "[Q]unknown letter") +  // 5: -9, kept
                         define("V", "0", "5.0") +                  // 6: -6
                         "#define LIT 6 /* \"open */\n" +           // 7: -1
                         define("HUGE", "99999999999", "[E]x") +    // 8: -10
                         define("DUP", "9", "[E]first") +           // 9
                         define("OK", "8", "[E]fine") +             // 10
                         define("DUP2", "9", "[E]second") +         // 11: -8
                         define("DUP3", "9", "[E]third"));          // 12
    ASSERT_EQ(0, c.result);
    ASSERT_EQ("", c.file.problem);
    std::vector<Report> p = c.reports.problems();
    std::vector<std::pair<int, int>> got;
    for (const Report &r : p) got.push_back({r.code, r.line});
    EXPECT_EQ((std::vector<std::pair<int, int>>{
                  {-7, 1}, {-4, 2}, {-4, 3}, {-4, 4}, {-9, 5}, {-6, 6}, {-1, 7}, {-10, 8}, {-8, 11}}),
              got);
    // The duplicate is reported once, after the whole header, without text.
    EXPECT_EQ(9, p.back().number);
    EXPECT_EQ("", p.back().text);
    EXPECT_EQ((std::vector<int32_t>{5, 8, 9, 9, 9}), c.file.order);
    EXPECT_EQ("[Q]unknown letter", c.file.messages[5].text);
    EXPECT_EQ(-1, c.file.header[1]) << "a refused version leaves the template";
}

TEST(MsgCompTest, AReportThatAsksToStopEndsWithItsCode)
{
    const std::pair<int, std::string> cases[] = {
        {-1, "#define L 6 /* \"open */\n"},
        {-4, define("B", "3", "[E]%y")},
        {-6, define("V", "0", "1.2.x")},
        {-7, define("G", "1", "[E]%3$d %1$d")},
        {-9, define("S", "1", "[q]lower case is not a letter")},
        {-10, define("H", "2147483648", "[E]x")},
        // A string record's 16-bit length holds at most 32767.
        {-10, define("O", "-1", std::string(32767, 'o'))},
    };
    for (const auto &[code, line] : cases) {
        Compiled c = compile(define("FIRST", "1", "[E]first") + line + define("LAST", "2", "[E]last"), code);
        EXPECT_EQ(code, c.result) << line;
        // Stopped before the index: the header is still the template.
        EXPECT_EQ(0, c.file.header[4]) << line;
        EXPECT_EQ(code, c.reports.all.back().code) << line;
    }
    Compiled dup = compile(define("A", "1", "[E]a") + define("B", "1", "[E]b"), -8);
    EXPECT_EQ(-8, dup.result);

    // Codes -5 and -3 stop whatever the report says.
    Compiled open = compile(define("A", "1", "[E]a") + "#define B 2 /* \"[E]never closed\"\n\n");
    EXPECT_EQ(TW_MSGCOMP_OPEN_COMMENT, open.result);
    EXPECT_EQ(2, open.reports.all.back().line);
    EXPECT_EQ(2, open.reports.all.back().number);
}

TEST(MsgCompTest, MissingStreamsAndFailedWritesAreReported)
{
    Reports r;
    EXPECT_EQ(TW_MSGCOMP_NO_STREAM, twMsgCompCompile(nullptr, nullptr, record, &r));
    ASSERT_EQ(1u, r.all.size());
    EXPECT_EQ(0, r.all[0].line);
    EXPECT_EQ(TW_MSGCOMP_NO_STREAM, twMsgCompCompile(stdin, nullptr, nullptr, nullptr));

    // An output opened for reading refuses every write.
    twtest::TempDir dir;
    std::string in = dir.write("m.h", define("A", "1", "[E]a"));
    std::string out = dir.path() + "/m.tmb";
    twDufsBFclose(twDufsBFopen(out.c_str(), "w"));
    FILE *h = fopen(in.c_str(), "r");
    twDufsB *b = twDufsBFopen(out.c_str(), "r");
    ASSERT_NE(nullptr, b);
    Reports w;
    EXPECT_EQ(TW_MSGCOMP_WRITE_FAILED, twMsgCompCompile(h, b, record, &w));
    EXPECT_EQ(TW_MSGCOMP_WRITE_FAILED, w.all.back().code);
    fclose(h);
    twDufsBFclose(b);
}

TEST(MsgCompTest, NullReportFunctionStopsAtTheFirstProblem)
{
    Compiled c =
        compile("not a definition\n" + define("A", "1", "[E]%2$d") + define("B", "2", "[E]b"), 0, false);
    EXPECT_EQ(TW_MSGCOMP_POSITION_GAP, c.result);
}

TEST(MsgCompTest, CodeTextsAreDistinct)
{
    std::vector<std::string> seen;
    for (int code = -10; code <= 1; code++) {
        std::string t = twMsgCompCodeText(code);
        EXPECT_NE("unknown code", t) << code;
        for (const std::string &s : seen) EXPECT_NE(s, t) << code;
        seen.push_back(t);
    }
    EXPECT_STREQ("unknown code", twMsgCompCodeText(-11));
}

// The three values read from 'text', and where the reading started.
std::vector<int> versionOf(const char *text, const char **from = nullptr)
{
    int a, b, c;
    const char *at = twMsgCompVerValues(text, &a, &b, &c);
    if (from) *from = at;
    return {a, b, c};
}

TEST(MsgCompTest, VersionValuesOfLinesAndPlainTexts)
{
    const char *plain = "5.0.0", *from;
    EXPECT_EQ((std::vector<int>{5, 0, 0}), versionOf(plain, &from));
    EXPECT_EQ(plain, from);
    const char *line = "#define X_M_VERSION 0 /* \"1.22.333\" */";
    EXPECT_EQ((std::vector<int>{1, 22, 333}), versionOf(line, &from));
    EXPECT_EQ(strchr(line, '"'), from);
    for (const char *bad : {"5.0", "5.0.0.1", "a.b.c", "", "5.0.0x", "1.2.99999999999", "-1.0.0"})
        EXPECT_EQ((std::vector<int>{-1, -1, -1}), versionOf(bad)) << bad;
    int a;
    EXPECT_EQ(nullptr, twMsgCompVerValues(nullptr, &a, nullptr, nullptr));
    EXPECT_EQ(-1, a);
    EXPECT_EQ(3, versionOf("\"3.4.5\"")[0]) << "a quoted plain text is read as a literal";
}

TEST(MsgCompTest, VersionLinesAreCreatedChangedAndRead)
{
    char *line = twMsgCompVerCreate("APP");
    EXPECT_STREQ("#define APP_M_VERSION 0 /* \"0.0.0\" */\n", line);
    line = twMsgCompVerMod(line, 5, 0, 12);
    EXPECT_STREQ("#define APP_M_VERSION 0 /* \"5.0.12\" */\n", line);
    line = twMsgCompVerMod(line, -3, 1234567, 99999);
    EXPECT_STREQ("#define APP_M_VERSION 0 /* \"0.34567.99999\" */\n", line);
    twMemFree(line);

    char *other = twMsgCompVerCreate(nullptr);
    strcpy(other, "xyz");
    other = twMsgCompVerMod(other, 1, 2, 3);
    EXPECT_STREQ("x1.2.3\" */\n", other) << "a line without a definition keeps its first character";
    twMemFree(other);
    EXPECT_EQ(nullptr, twMsgCompVerMod(nullptr, 1, 2, 3));

    twtest::TempDir dir;
    std::string path = dir.write("v.h", "/* head */\n#define A_M_VERSION \\\n 0 /* \"4.5.6\" */\n");
    FILE *h = fopen(path.c_str(), "r");
    int a, b, c;
    EXPECT_STREQ("/* head */", twMsgCompVerGet(h, &a, &b, &c));
    EXPECT_EQ(-1, a);
    EXPECT_STREQ("#define A_M_VERSION  0 /* \"4.5.6\" */", twMsgCompVerGet(h, &a, &b, &c));
    EXPECT_EQ((std::vector<int>{4, 5, 6}), (std::vector<int>{a, b, c}));
    EXPECT_EQ(nullptr, twMsgCompVerGet(h, &a, &b, &c));
    EXPECT_EQ(-1, c);
    fclose(h);
}

// The index outgrows its first allocation many times over; the file
// stays well formed and every message is found.
TEST(MsgCompTest, ManyMessagesKeepTheirOrder)
{
    std::string header;
    for (int i = 5000; i > 0; i--)
        header += define("M" + std::to_string(i), std::to_string(i), "[E]m" + std::to_string(i));
    Compiled c = compile(header);
    ASSERT_EQ(0, c.result);
    ASSERT_EQ("", c.file.problem);
    ASSERT_EQ(5000u, c.file.order.size());
    for (int i = 1; i <= 5000; i++) ASSERT_EQ(i, c.file.order[i - 1]);
    EXPECT_EQ("[E]m4321", c.file.messages[4321].text);
}

// A comment over many lines and a line joined from many pieces: read once
// each, not again for every line added.
TEST(MsgCompTest, LongCommentsAndJoinedLinesCompile)
{
    std::string comment = "#define A 1 /* \"[E]a\"\n";
    for (int i = 0; i < 50000; i++) comment += "  and on\n";
    comment += "*/\n#define B \\\n";
    for (int i = 0; i < 50000; i++) comment += " \\\n";
    comment += "2 /* \"[E]b\" */\n";
    Compiled c = compile(comment);
    ASSERT_EQ(0, c.result);
    EXPECT_EQ((std::vector<int32_t>{1, 2}), c.file.order);
    EXPECT_EQ("[E]b", c.file.messages[2].text);
}

TEST(MsgCompTest, AllocationFailuresDuringACompile)
{
    twtest::TempDir dir;
    std::string header;
    for (int i = 1; i < 150; i++) header += define("M" + std::to_string(i), std::to_string(i), "[E]%s %d");
    header += "#define LONG 999 /* \"" + std::string(3000, 'x') + "\"\n */\n";
    std::string in = dir.write("m.h", header);
    std::string out = dir.path() + "/m.tmb";
    long swept = twtest::sweepAllocationFailures(
        [&] {
            FILE *h = fopen(in.c_str(), "r");
            twDufsB *b = twDufsBFopen(out.c_str(), "w");
            int result = twMsgCompCompile(h, b, nullptr, nullptr);
            fclose(h);
            twDufsBFclose(b);
            printf("%d\n", result);
        },
        [](const twtest::ForkResult &r) { EXPECT_EQ("0\n", r.out); });
    EXPECT_GT(swept, 0);
}

}  // namespace
