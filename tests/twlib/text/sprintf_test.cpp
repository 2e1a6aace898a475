#include "twlib/text/sprintf.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "support/child.h"
#include "support/oom_sweep.h"
#include "twlib/core/exit.h"
#include "twlib/core/mem.h"
#include "twlib/err/except.h"
#include "twlib/text/str.h"

namespace {

// The whole output of a call (embedded NULs included), through a buffer
// large enough for every case here.
std::string format(const char *fmt, ...)
{
    char buf[1024];
    int needed = -5;
    va_list ap;
    va_start(ap, fmt);
    int r = twSprintfVa2(buf, sizeof buf, &needed, fmt, ap);
    va_end(ap);
    EXPECT_EQ(0, r) << fmt;
    EXPECT_GE(needed, 1) << fmt;
    return std::string(buf, static_cast<size_t>(needed - 1));
}

int floorFormat(char *buf, size_t size, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    int n = twSprintf_FormatVa(buf, size, fmt, ap);
    va_end(ap);
    return n;
}

#define EXPECT_REFUSED(call) EXPECT_EXIT((call), testing::ExitedWithCode(3), "1600")

TEST(SprintfTest, CutsAtEveryBufferSizeWithoutWritingPastIt)
{
    EXPECT_EQ("abc", [] {
        char buf[4];
        int needed = 0;
        EXPECT_EQ(-1, twSprintf2(buf, sizeof buf, &needed, "%s", "abcdef"));
        EXPECT_EQ(7, needed);
        return std::string(buf);
    }());

    // Literal text, blank padding on both sides, platform and 64-bit
    // conversions: every size gets the longest prefix that fits.
    const char *fmt = "<%6s|%-4c|%05d|%Lx|%.2f>";
    std::string whole = format(fmt, "ab", 'z', -42, int64_t{255}, 3.14159);
    ASSERT_EQ("<    ab|z   |-0042|ff|3.14>", whole);
    int len = static_cast<int>(whole.size());
    for (int size = 1; size <= len + 2; ++size) {
        std::vector<char> buf(static_cast<size_t>(size) + 8, '#');
        int needed = 0;
        int r = twSprintf2(buf.data(), size, &needed, fmt, "ab", 'z', -42, int64_t{255}, 3.14159);
        EXPECT_EQ(size > len ? 0 : -1, r) << "size " << size;
        EXPECT_EQ(len + 1, needed) << "size " << size;
        size_t kept = static_cast<size_t>(std::min(size - 1, len));
        EXPECT_EQ(whole.substr(0, kept), std::string(buf.data())) << "size " << size;
        for (size_t i = static_cast<size_t>(size); i < buf.size(); ++i)
            ASSERT_EQ('#', buf[i]) << "wrote past a buffer of " << size;
    }

    // Size 0, a null buffer and a null format are refused without touching
    // the buffer or needed.
    char buf[4] = {'#', '#', '#', '#'};
    int needed = 99;
    EXPECT_EQ(-1, twSprintf2(buf, 0, &needed, "x"));
    EXPECT_EQ(-1, twSprintf2(nullptr, 4, &needed, "x"));
    EXPECT_EQ(-1, twSprintf2(buf, 4, &needed, nullptr));
    EXPECT_EQ(99, needed);
    EXPECT_EQ('#', buf[0]);
    EXPECT_EQ(-1, twSprintf(buf, 1, "x"));
    EXPECT_EQ('\0', buf[0]);
    EXPECT_EQ(0, twSprintf(buf, 1, ""));
}

TEST(SprintfTest, PrintsTextAndConversions)
{
    EXPECT_EQ("100%", format("100%%"));
    EXPECT_EQ("", format(""));
    EXPECT_EQ("ab|    a|b    |", format("%.2s|%5s|%-5s|", "abc", "a", "b"));
    EXPECT_EQ("[]", format("[%s]", static_cast<const char *>(nullptr)));
    EXPECT_EQ(std::string("a\0b", 3), format("a%cb", 0));
    EXPECT_EQ("   42|7|ab", format("%*d|%-*d|%.*s", 5, 42, -3, 7, 2, "abc"));
    // A negative precision from an argument counts as 0 as well.
    EXPECT_EQ("[]", format("[%.*s]", -1, "abc"));
    EXPECT_EQ("0xabcdef", format("%p", reinterpret_cast<void *>(uintptr_t{0xabcdef})));
    EXPECT_EQ("0", format("%p", static_cast<void *>(nullptr)));
    EXPECT_EQ("  0xff", format("%6p", reinterpret_cast<void *>(uintptr_t{255})));

    EXPECT_EQ("1099511627776", format("%Ld", int64_t{1} << 40));
    EXPECT_EQ("ffffffffffffffff", format("%Lx", int64_t{-1}));
}

TEST(SprintfTest, TakesArgumentsByPosition)
{
    EXPECT_EQ("b a", format("%2$s %1$s", "a", "b"));
    EXPECT_EQ("[   42]", format("[%1$*2$d]", 42, 5));
    EXPECT_EQ("[42   ]", format("[%2$-*1$d]", 5, 42));
    EXPECT_EQ("3.14|x|3.1416", format("%2$.*3$f|%1$s|%2$.4f", "x", 3.14159265, 2));
    // Arguments of every width, fetched in position order whatever the order
    // of the specifications.
    EXPECT_EQ("1099511627776 c 2.5 7 s", format("%5$Ld %3$c %2$g %1$ld %4$s", 7L, 2.5, 'c', "s",
                                                int64_t{1} << 40));
    EXPECT_EQ("aa", format("%1$s%1$s", "a"));
    // Text before the first positional reference is printed once.
    EXPECT_EQ("x:b:a", format("x:%2$s:%1$s", "a", "b"));
    char buf[4];
    int needed = 0;
    EXPECT_EQ(-1, twSprintf2(buf, sizeof buf, &needed, "x:%2$s:%1$s", "a", "b"));
    EXPECT_STREQ("x:b", buf);
    EXPECT_EQ(6, needed);
}

TEST(SprintfTest, CountFamilyStoresCharactersProducedSoFar)
{
    short h = -1;
    long l = -1;
    EXPECT_EQ("abc   de", format("abc%hn%5s%ln", &h, "de", &l));
    EXPECT_EQ(3, h);
    EXPECT_EQ(8, l);
    // The count is of the whole output, also what did not fit.
    char buf[2];
    EXPECT_EQ(-1, twSprintf(buf, sizeof buf, "abcd%ln", &l));
    EXPECT_EQ(4, l);
    EXPECT_EQ("xy", format("%1$s%3$hn%2$s", "x", "y", &h));
    EXPECT_EQ(1, h);
    EXPECT_EQ("ok", format("ok%ln", static_cast<long *>(nullptr)));
}

TEST(SprintfTest, RefusesFormatsOutsideTheRules)
{
    const char *bad[] = {
        "%",          "abc%",        "%y",        "%n",        "%Lf",         "%hs",     "%lc",   "%#d",
        "%#s",        "%#p",         "%.3c",      "%.2p",        "%.*c",    "%1$s %s", "%s %1$s",
        "%2$s",       "%1$*d",       "%*1$d",     "%1$.*d",      "%1$s %1$d", "%1$*1$s",
        "%5.3.2f",    "%99999999999d", "%.99999999999f",
    };
    // Every argument is a string, so that whatever a format fetches before
    // its refusal is fetched with the right type.
    for (const char *fmt : bad) {
        char buf[64];
        EXPECT_REFUSED(twSprintf(buf, sizeof buf, fmt, "a", "b")) << fmt;
    }
}

TEST(SprintfTest, GrowingFormsRefuseBadFormatsAndUntellableLengths)
{
    EXPECT_REFUSED(twSprintfStatic("before %q after"));
    EXPECT_REFUSED(twSprintfAlloc("%2$s", "a", "b"));
    // Output too long to be told in an int is refused by the growing forms.
    EXPECT_REFUSED(twSprintfStatic("%2147483647s%s", "a", "b"));
    char buf[8];
    int needed = 0;
    EXPECT_EQ(-1, twSprintf2(buf, sizeof buf, &needed, "%2147483647s%s", "a", "b"));
    EXPECT_EQ(INT_MAX, needed);
    EXPECT_STREQ("       ", buf);
}

TEST(SprintfTest, StaticAndAllocGrowAndTakeEarlierResults)
{
    std::string text(800, 'w');
    const char *s = twSprintfStatic("%s", text.c_str());
    EXPECT_EQ(text, s);
    const char *a = twSprintfStatic("%s", "abc");
    EXPECT_STREQ("<abc|abc>", twSprintfStatic("<%s|%s>", a, a));
    const char *big = twSprintfStatic("%s%s", text.c_str(), text.c_str());
    EXPECT_EQ(text + "|" + text + text, twSprintfStatic("%s|%s", text.c_str(), big));
    EXPECT_EQ(nullptr, twSprintfStatic(nullptr));

    char *p = twSprintfAlloc("%2$s-%1$d", 7, "x");
    EXPECT_STREQ("x-7", p);
    twStrFree(p);
    EXPECT_EQ(nullptr, twSprintfAlloc(nullptr));
}

TEST(SprintfTest, FloorFormatterReturnsTheWholeLength)
{
    EXPECT_EQ(5, floorFormat(nullptr, 0, "%d-%s", 12, "ab"));
    char buf[4];
    EXPECT_EQ(5, floorFormat(buf, sizeof buf, "%d-%s", 12, "ab"));
    EXPECT_STREQ("12-", buf);
    EXPECT_EQ(-1, floorFormat(buf, sizeof buf, nullptr));
    EXPECT_STREQ("", buf);
}

// Each piece as "kind code position width precision [text] flags conv".
int collectPiece(const twSpFmtDesc *d, void *user)
{
    const char *flags = twSpFmtArgFlags(d), *conv = twSpFmtArgConv(d);
    char line[512];
    snprintf(line, sizeof line, "%d %d %d %d %d [%s] %s %s", twSpFmtDescIs(d), twSpFmtArgIs(d),
             twSpFmtArgPosition(d), twSpFmtArgWidth(d), twSpFmtArgPrecision(d), twSpFmtDescStr(d),
             flags ? flags : "-", conv ? conv : "-");
    static_cast<std::vector<std::string> *>(user)->push_back(line);
    EXPECT_STREQ(twSpFmtOrigStr(d), d->format);
    return 1;
}

std::vector<std::string> pieces(const char *format)
{
    std::vector<std::string> got;
    EXPECT_EQ(1, twSpFmtParse(format, collectPiece, &got)) << format;
    return got;
}

int stopAtFirst(const twSpFmtDesc *, void *user)
{
    ++*static_cast<int *>(user);
    return 0;
}

TEST(SprintfParseTest, DescribesEveryPiece)
{
    using Pieces = std::vector<std::string>;
    // Codes: 1 int, 2 short, 4 double, 7 string, 9 64-bit, 0x20 short count;
    // 0x4000 star width, 0x8000 star precision. Precision 0 of g counts as 1.
    EXPECT_EQ((Pieces{"2 0 -1 -1 -1 [a%b] - -", "3 4 -1 5 2 [%-+5.2lf] -+ lf", "2 0 -1 -1 -1 [y] - -",
                      "3 16386 -1 -1 -1 [%*hd]  hd", "3 4 -1 -1 1 [%.0g]  g", "3 9 -1 -1 -1 [%Lx]  Lx"}),
              pieces("a%%b%-+5.2lfy%*hd%.0g%Lx"));
    EXPECT_EQ((Pieces{"3 49161 2 1 3 [%2$*1$.*3$Ld]  Ld", "3 32 4 -1 -1 [%4$hn]  hn"}),
              pieces("%2$*1$.*3$Ld%4$hn"));
    // A refused specification ends the parse with a kind-1 piece that shows
    // the format from its "%" on; the gap check shows the whole format.
    EXPECT_EQ((Pieces{"2 0 -1 -1 -1 [ok ] - -", "3 1 -1 -1 -1 [%d]  d", "2 0 -1 -1 -1 [ then ] - -",
                      "1 0 -1 -1 -1 [%#s more] - -"}),
              pieces("ok %d then %#s more"));
    EXPECT_EQ((Pieces{"3 7 3 -1 -1 [%3$s]  s", "3 7 1 -1 -1 [%1$s]  s", "1 0 -1 -1 -1 [%3$s%1$s] - -"}),
              pieces("%3$s%1$s"));
    EXPECT_EQ((Pieces{"2 0 -1 -1 -1 [] - -"}), pieces(""));

    int calls = 0;
    EXPECT_EQ(0, twSpFmtParse("a%db%dc", stopAtFirst, &calls));
    EXPECT_EQ(1, calls);
    Pieces got;
    EXPECT_EQ(0, twSpFmtParse(nullptr, collectPiece, &got));
    EXPECT_EQ(0, twSpFmtParse("x", nullptr, nullptr));
    EXPECT_EQ(0, twSpFmtDescIs(nullptr));
    EXPECT_EQ(-1, twSpFmtArgWidth(nullptr));
}

TEST(SprintfParseTest, LongFormatsCostLinearTime)
{
    // Many specifications and a long run of flags: each "%" is matched on a
    // bounded piece of the format, and a run too long is refused at once.
    std::string many;
    for (int i = 0; i < 20000; ++i) many += "%d";
    EXPECT_EQ(20000u, pieces(many.c_str()).size());
    std::vector<std::string> got;
    std::string flags = "%" + std::string(100000, '0') + "d";
    twSpFmtParse(flags.c_str(), collectPiece, &got);
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ('1', got[0][0]);
}

TEST(SprintfTest, SurvivesAllocationFailures)
{
    long n = twtest::sweepAllocationFailures([] {
        std::string wide(3000, 'v');
        const char *s = twSprintfStatic("%1$s|%2$Ld|%1$*3$s", wide.c_str(), int64_t{-5}, 1 << 20);
        char *a = twSprintfAlloc("%s:%.3f", s + (1 << 20), 2.5);
        printf("%zu %s\n", strlen(s), a);
        twStrFree(a);
    });
    EXPECT_GT(n, 0);
}

// Under a memory check the engine's buffers and its compiled expression
// are released by exit handlers, and the engine works again afterwards.
void countBlock(void *arg, void *) { ++*static_cast<int *>(arg); }

int liveBlocks(const char *tag)
{
    int n = 0;
    twMem_DbgCallFuncForStr(tag, countBlock, &n);
    return n;
}

TEST(SprintfMemDebugEnv, ExitHandlersReleaseAndForget)
{
    std::string text(2000, 'e');
    EXPECT_EQ(text, twSprintfStatic("%s", text.c_str()));
    EXPECT_STREQ("1.50", twSprintfStatic("%.2f", 1.5));
    EXPECT_GT(liveBlocks("twStaticBuffer"), 0);
    EXPECT_EQ(1, liveBlocks("twRegexpT"));
    twOnExitCall();
    EXPECT_EQ(0, liveBlocks("twStaticBuffer"));
    EXPECT_EQ(0, liveBlocks("twRegexpT"));
    EXPECT_EQ(text + "2", twSprintfStatic("%s%Ld", text.c_str(), int64_t{2}));
    EXPECT_STREQ("b a", twSprintfStatic("%2$s %1$s", "a", "b"));
}

// A refusal is raised only after the parse let go of its scratch block (a
// long format) and the call released its 64-bit argument pieces.
TEST(SprintfMemDebugEnv, CaughtRefusalLeavesNoBlocks)
{
    std::string longFormat = std::string(300, 'x') + "%1$Ld%3$s";
    const char *formats[] = {"%1$Ld %3$s", longFormat.c_str()};
    char buf[512];
    volatile int caught = 0;
    for (const char *f : formats) {
        TW_TRY(TW_EX_ALL) {
            twSprintf(buf, sizeof buf, f, int64_t{5}, "a", "b");
        } TW_CATCH {
            caught = caught + 1;
            TW_EX_SWALLOW();
        } TW_END_TRY;
    }
    EXPECT_EQ(2, caught);
    EXPECT_EQ(0, liveBlocks("twprint-64t"));
    EXPECT_EQ(0, liveBlocks("twSpFmtParse"));
    EXPECT_EQ(std::string(300, 'x'), buf) << "what came before the refusal";
}

TW_ENV_SUITE(SprintfMemDebugEnv, MemDebug, "TW_MEMDBG=1");

}  // namespace
