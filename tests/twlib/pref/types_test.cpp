#include "twlib/pref/types.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "support/oom_sweep.h"
#include "twlib/core/mem.h"
#include "twlib/err/error.h"
#include "twlib/err/errstream.h"
#include "twlib/err/except.h"
#include "twlib/text/str.h"

namespace {

// The library's catalogue is a file of its own; these tests read the
// numbers and arguments of the errors raised from a stand-in catalogue
// that writes the arguments, by their types, between bars.
char standInByte;
twMsgFileHandle *const standIn = reinterpret_cast<twMsgFileHandle *>(&standInByte);

const char *standInText(twMsgFileHandle *, int number, va_list ap)
{
    const char *format;
    switch (number) {
    case 1401: format = "[E]%s|%ld|%ld"; break;
    case 1403: format = "[E]%s|%g|%g"; break;
    case 1404: case 1408: format = "[E]%s|%s"; break;
    case 1420: format = "[E]%s|%s|%s"; break;
    case 1400: case 1402: case 1405: case 1407: case 1414: case 1415: case 1416: case 1417: case 1418:
    case 1419: format = "[E]%s"; break;
    default: format = "[E]?"; break;
    }
    // A bar first, so that an empty argument still leaves a message text.
    static char text[1024];
    text[0] = '[';
    text[1] = 'E';
    text[2] = ']';
    text[3] = '|';
    vsnprintf(text + 4, sizeof text - 4, format + 3, ap);
    return text;
}

const char *standInName(twMsgFileHandle *) { return "twlib"; }
twMsgFileHandle *standInLibrary(const char *) { return standIn; }
twMsgFileHandle *standInOwn() { return standIn; }

class TypesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        static const twExMessageSource ex = {standInText, standInName, standInLibrary};
        static const twErrMessageSource err = {standInText, standInName, standInOwn};
        twEx_SetMessageSource(&ex);
        twErr_SetMessageSource(&err);
    }
};

struct Outcome {
    int number = 0;        // message number raised; 0 when the parse took
    uint32_t tag = 0;
    std::string args;      // the stand-in text: the arguments between bars
    std::string text;      // the value's text when the parse took
};

void appendPiece(void *out, const char *text)
{
    static_cast<std::string *>(out)->append(text ? text : "<null>");
}

std::string textOf(const twTypeSpec *spec, twTypedata value)
{
    std::string out;
    spec->behaviour->format(&value, spec->params, appendPiece, &out);
    return out;
}

// Parses under a catch frame; a value that was made is formatted and freed.
Outcome parse(const twTypeSpec *spec, const char *text)
{
    Outcome o;
    volatile int number = 0;
    volatile uint32_t tag = 0;
    TW_TRY(TW_EX_ALL) {
        twTypeParse(spec, text);
    } TW_CATCH {
        number = twErrNum(twExErrV) ? twErrNum(twExErrV) : -1;
        tag = twExTagV;
        o.args = twErrText(twExErrV);
        TW_EX_SWALLOW();
    } TW_END_TRY;
    o.number = number;
    o.tag = tag;
    if (number > 0) o.args.erase(0, 1);  // the stand-in's bar
    if (number == 0) {
        o.text = textOf(spec, twTypeReturnDataV);
        twTypeFreeValue(spec, twTypeReturnDataV);
    }
    return o;
}

long parseLong(const twTypeSpec *spec, const char *text)
{
    return twTypeParse(spec, text).l;
}

#define EXPECT_REFUSED(wantNumber, wantArgs, spec, text)                        \
    do {                                                                        \
        Outcome o_ = parse(&(spec), (text));                                    \
        EXPECT_EQ(wantNumber, o_.number) << (text);                             \
        EXPECT_EQ(std::string(wantArgs), o_.args) << (text);                    \
        EXPECT_EQ(uint32_t{TW_EX_POSTCOND}, o_.tag) << (text);                  \
    } while (0)

TEST_F(TypesTest, IntegersReadEngineeringTextAndKeepTheirRange)
{
    EXPECT_EQ(-2147483647, parseLong(&twIntTS, "-2147483647"));
    EXPECT_REFUSED(1401, "-2147483648|-2147483647|2147483647", twIntTS, "-2147483648");
    EXPECT_EQ(3, parseLong(&twIntTS, "3.9"));
    EXPECT_EQ(-3, parseLong(&twIntTS, "-3.9"));
    EXPECT_EQ(1000, parseLong(&twIntTS, "1k"));
    EXPECT_EQ(1000, parseLong(&twIntTS, "1e3"));
    EXPECT_REFUSED(1400, "12abc", twIntTS, "12abc");
    EXPECT_REFUSED(1400, "5 ", twIntTS, "5 ");
    EXPECT_EQ(1023, parseLong(&twCharTS, "1023"));
    EXPECT_REFUSED(1401, "1024|0|1023", twCharTS, "1024");
    EXPECT_REFUSED(1401, "0|1|2147483647", twPositiveIntTS, "0");
    EXPECT_REFUSED(1401, "-1m|0|2147483647", twUnsignedIntTS, "-1m");
    // NaN compares false with both bounds; it used to pass as in range and
    // then be truncated, which is undefined.
    EXPECT_REFUSED(1401, "nan|-2147483647|2147483647", twIntTS, "nan");
    EXPECT_REFUSED(1401, "inf|-2147483647|2147483647", twIntTS, "inf");
}

TEST_F(TypesTest, SixtyFourBitIntegersRefuseWhatWrapsPastTheRange)
{
    EXPECT_EQ("9223372036854775807", parse(&twInt64TS, "9223372036854775807").text);
    EXPECT_EQ("-9223372036854775808", parse(&twInt64TS, "-9223372036854775808").text);
    // One past the largest wrapped to the smallest and then passed.
    const char *range = "|-9223372036854775808|9223372036854775807";
    EXPECT_REFUSED(1420, std::string("9223372036854775808") + range, twInt64TS, "9223372036854775808");
    EXPECT_REFUSED(1420, std::string("-9223372036854775809") + range, twInt64TS, "-9223372036854775809");
    EXPECT_REFUSED(1420, std::string("18446744073709551617") + range, twInt64TS, "18446744073709551617");
    EXPECT_REFUSED(1400, "12x", twInt64TS, "12x");
    twTypeInt64Params small = {-5, 5};
    twTypeSpec smallTS = {"smallVT", &twInt64TB, &small, 1};
    EXPECT_REFUSED(1420, "6|-5|5", smallTS, "6");
    EXPECT_EQ("-5", parse(&smallTS, "-5").text);
}

TEST_F(TypesTest, FloatsRefuseEmptyTrailingAndOutOfRangeText)
{
    EXPECT_EQ("2200", parse(&twFloatTS, "2.2k").text);
    EXPECT_EQ("0.0047", parse(&twFloatTS, "4.7m").text);
    EXPECT_REFUSED(1402, "", twFloatTS, "");
    EXPECT_REFUSED(1402, "1x", twFloatTS, "1x");
    EXPECT_REFUSED(1403, "1e309|-1.79769e+308|1.79769e+308", twFloatTS, "1e309");
    EXPECT_REFUSED(1403, "nan|-1.79769e+308|1.79769e+308", twFloatTS, "nan");
    EXPECT_REFUSED(1403, "-1|0|1.79769e+308", twPositiveFloatTS, "-1");
}

int refuseAll(char *) { return 0; }
int raiseInCheck(char *text)
{
    twExThrow2(TW_EX_USER1, "test", TW_SEV_ERROR, text);
}

TEST_F(TypesTest, StringChecksWorkOnACopy)
{
    // The texts are literals in read-only memory: a check writing to the
    // caller's text would fault here.
    EXPECT_EQ("MIXED CASE 1", parse(&twStringUpperTS, "Mixed case 1").text);
    EXPECT_EQ("mixed case 1", parse(&twStringLowerTS, "Mixed Case 1").text);
    EXPECT_EQ("", parse(&twStringUpperTS, "").text);
    EXPECT_EQ("as is ", parse(&twRestTS, "as is ").text);
    EXPECT_REFUSED(1408, "twStringNotEmptyVT|", twStringNotEmptyTS, "");
    EXPECT_EQ("x", parse(&twStringNotEmptyTS, "x").text);

    twTypeStringParams refusing = {refuseAll, "pickyVT"};
    twTypeSpec pickyTS = {"pickyVT", &twStringTB, &refusing, 1};
    EXPECT_REFUSED(1408, "pickyVT|some text", pickyTS, "some text");
    // A check that raises passes its exception on and leaves no copy.
    twTypeStringParams raising = {raiseInCheck, "raisingVT"};
    twTypeSpec raisingTS = {"raisingVT", &twStringTB, &raising, 1};
    Outcome o = parse(&raisingTS, "boom");
    EXPECT_EQ(-1, o.number);
    EXPECT_EQ(uint32_t{TW_EX_USER1}, o.tag);
    EXPECT_EQ("boom", o.args) << "the check's own error";
}

TEST_F(TypesTest, EnumerationsTakeAbbreviationsAndIndexes)
{
    EXPECT_EQ(1, parseLong(&twYesNoTS, "y"));
    EXPECT_EQ(0, parseLong(&twYesNoTS, "NO"));
    EXPECT_EQ(1, parseLong(&twYesNoTS, "YES"));
    EXPECT_EQ(1, parseLong(&twYesNoTS, " yes\t"));
    EXPECT_EQ(1, parseLong(&twYesNoTS, "1"));
    EXPECT_EQ(0, parseLong(&twYesNoTS, " 0 "));
    EXPECT_REFUSED(1404, "2|No, Yes", twYesNoTS, "2");
    // A number with something after it is not a number.
    EXPECT_REFUSED(1404, "1x|No, Yes", twYesNoTS, "1x");
    EXPECT_REFUSED(1404, "99999999999999999999|No, Yes", twYesNoTS, "99999999999999999999");
    EXPECT_REFUSED(1405, "o", twOnOffTS, "o");
    EXPECT_EQ(1, parseLong(&twOnOffTS, "ON"));
    EXPECT_EQ(0, parseLong(&twOnOffTS, "of"));
    EXPECT_EQ(1, parseLong(&twTrueFalseTS, "t"));
    EXPECT_EQ(5, parseLong(&twErrSevTS, "internal"));
    EXPECT_EQ(3, parseLong(&twErrCntxTS, "log"));
    EXPECT_EQ(1, parseLong(&twErrStyleTS, "Verbose"));
    EXPECT_EQ(2, parseLong(&twErrActionTS, "dis"));
    EXPECT_EQ("?7?", textOf(&twYesNoTS, twTypeLongToTypedata(7)));
    EXPECT_EQ("?-1?", textOf(&twYesNoTS, twTypeLongToTypedata(-1)));
}

std::vector<std::string> pieces;
void collectPiece(void *, const char *text)
{
    pieces.emplace_back(text ? text : "<null>");
}

TEST_F(TypesTest, MasksJoinNamesAndNumbers)
{
    const char *names[] = {"A", "B", "C"};
    twTypeEnumParams abc = {3, names};
    twTypeSpec maskTS = {"abcVT", &twMaskTB, &abc, 1};
    EXPECT_EQ(5, parseLong(&maskTS, "A+C"));
    EXPECT_EQ(5, parseLong(&maskTS, "a | c"));
    EXPECT_EQ(4, parseLong(&maskTS, "4"));
    EXPECT_EQ(7, parseLong(&maskTS, "1 b\t4"));
    EXPECT_EQ(0, parseLong(&maskTS, ""));
    EXPECT_REFUSED(1407, "8", maskTS, "8");
    EXPECT_REFUSED(1407, "A+99999999999999999999999", maskTS, "A+99999999999999999999999");
    EXPECT_REFUSED(1404, "D|A, B, C", maskTS, "A+D");
    const char *close[] = {"Alpha", "Alps"};
    twTypeEnumParams alps = {2, close};
    twTypeSpec alpsTS = {"alpsVT", &twMaskTB, &alps, 1};
    EXPECT_REFUSED(1405, "Al", alpsTS, "Al");

    twTypedata five = twTypeLongToTypedata(5);
    pieces.clear();
    twMaskTB.format(&five, &abc, collectPiece, nullptr);
    EXPECT_EQ((std::vector<std::string>{"A", " + ", "C"}), pieces);
    pieces.clear();
    twTypedata zero = twTypeLongToTypedata(0);
    twMaskTB.format(&zero, &abc, collectPiece, nullptr);
    EXPECT_TRUE(pieces.empty()) << "the mask 0 formats as nothing";
}

TEST_F(TypesTest, ARefusedParseLeavesTheResultWordAlone)
{
    twTypeReturnDataV = twTypeLongToTypedata(4242);
    const struct {
        twTypeSpec *spec;
        const char *text;
    } cases[] = {{&twIntTS, "1q"},  {&twInt64TS, "1q"},         {&twFloatTS, ""},      {&twStringNotEmptyTS, ""},
                 {&twYesNoTS, "q"}, {&twFileNameTS, ""}, {&twDirTS, "/nonexistent/dir"}};
    for (const auto &c : cases) {
        EXPECT_NE(0, parse(c.spec, c.text).number) << c.spec->name;
        EXPECT_EQ(4242, twTypeReturnDataV.l) << c.spec->name;
    }
}

// Every stock type with a text form: text -> value -> text -> value -> text
// settles after the first reading, and copies print the same.
TEST_F(TypesTest, EveryStockTypeRoundTripsThroughItsText)
{
    const struct {
        twTypeSpec *spec;
        const char *text;
        const char *settled;
    } cases[] = {
        {&twIntTS, "-2147483647", "-2147483647"},
        {&twIntTS, "4.7k", "4700"},
        {&twPositiveIntTS, "2147483647", "2147483647"},
        {&twUnsignedIntTS, "0", "0"},
        {&twCharTS, "65", "65"},
        {&twInt64TS, "-9223372036854775808", "-9223372036854775808"},
        {&twFloatTS, "-1.5e-300", "-1.5e-300"},
        {&twFloatTS, "3.3k", "3300"},
        {&twFloatTS, "0.1234567", "0.123457"},
        {&twPositiveFloatTS, "1.7976931348623157e308", "1.79769e308"},
        {&twStringTS, "a \"quoted\" text", "a \"quoted\" text"},
        {&twStringUpperTS, "abc", "ABC"},
        {&twStringLowerTS, "ABC", "abc"},
        {&twRestTS, "rest of line", "rest of line"},
        {&twRest1TS, "x", "x"},
        {&twStringConstTS, "", ""},
        {&twStringNotEmptyTS, " ", " "},
        {&twFileNameTS, "/tmp/some/where.txt", "/tmp/some/where.txt"},
        {&twDirTS, "/tmp", "/tmp"},
        {&twYesNoTS, "y", "Yes"},
        {&twOnOffTS, "0", "Off"},
        {&twTrueFalseTS, "TRUE", "True"},
        {&twErrSevTS, "w", "Warning"},
        {&twErrCntxTS, "a", "AlertBox"},
        {&twErrActionTS, "s", "statusLine"},
        {&twErrStyleTS, "t", "terse"},
        {&twStrArrayTS, "one \"two words\" \"\" \"a \\\"q\\\"\"", "one \"two words\" \"\" \"a \\\"q\\\"\""},
        {&twStrArrayTS, "  spaced\tout\n", "spaced out"},
    };
    for (const auto &c : cases) {
        const twTypeSpec *spec = c.spec;
        twTypedata v = twTypeParse(spec, c.text);
        std::string first = textOf(spec, v);
        EXPECT_EQ(c.settled, first) << spec->name << " " << c.text;
        twTypedata w = twTypeParse(spec, first.c_str());
        EXPECT_EQ(first, textOf(spec, w)) << spec->name;
        twTypedata copy = twTypeCopyValue(spec, w);
        EXPECT_EQ(first, textOf(spec, copy)) << spec->name;
        if (spec->behaviour->storage == TW_TYPE_STORAGE && !first.empty()) {
            EXPECT_NE(w.p, copy.p) << spec->name;
        }
        twTypeFreeValue(spec, v);
        twTypeFreeValue(spec, w);
        twTypeFreeValue(spec, copy);
    }
}

TEST_F(TypesTest, StringArrays)
{
    char **a = static_cast<char **>(twTypeParse(&twStrArrayTS, "one two three").p);
    ASSERT_NE(nullptr, a);
    EXPECT_STREQ("one", a[0]);
    EXPECT_STREQ("three", a[2]);
    EXPECT_EQ(nullptr, a[3]);
    char **copy = twTypeStrArrayCopy(a);
    EXPECT_NE(a, copy);
    EXPECT_STREQ("two", copy[1]);
    EXPECT_EQ(nullptr, copy[3]);
    twTypeStrArrayFree(a);
    twTypeStrArrayFree(copy);
    char **none = static_cast<char **>(twTypeParse(&twStrArrayTS, "").p);
    ASSERT_NE(nullptr, none);
    EXPECT_EQ(nullptr, none[0]);
    EXPECT_EQ("", textOf(&twStrArrayTS, twTypePtrToTypedata(none)));
    twTypeStrArrayFree(none);
    EXPECT_EQ(nullptr, twTypeStrArrayCopy(nullptr));
    twTypeStrArrayFree(nullptr);
}

TEST_F(TypesTest, PointerTypesPrintThroughTheirFunctions)
{
    EXPECT_EQ("twIntVT", textOf(&twTypespecTS, twTypePtrToTypedata(&twIntTS)));
    twTypedata copy = twTypeCopyValue(&twTypespecTS, twTypePtrToTypedata(&twIntTS));
    EXPECT_EQ(2u, twIntTS.refCount);
    twTypeFreeValue(&twTypespecTS, copy);
    EXPECT_EQ(1u, twIntTS.refCount);

    twErr *e = twErrCreate2("app", TW_SEV_WARNING, "careful");
    EXPECT_EQ(twErrString(e, TW_ERR_CNTX_STDERR), textOf(&twErrTS, twTypePtrToTypedata(e)));
    twTypedata held = twTypeCopyValue(&twErrTS, twTypePtrToTypedata(e));
    EXPECT_EQ(2, e->refCount);
    twTypeFreeValue(&twErrTS, held);
    twErrDestroy(e);

    twErrStream *s = twErrStreamCreate();
    EXPECT_EQ("0 message(s)", textOf(&twErrStreamTS, twTypePtrToTypedata(s)));
    twTypeFreeValue(&twErrStreamTS, twTypeCopyValue(&twErrStreamTS, twTypePtrToTypedata(s)));
    twErrStreamDestroy(s);

    // Values that cannot be written as text parse to null.
    EXPECT_EQ(nullptr, twTypeParse(&twErrTS, "anything").p);
    EXPECT_EQ(nullptr, twTypeParse(&twVoidTS, "anything").p);
    twStrBuf *buf = twStrBufCreate(0);
    twTypedata none = twTypePtrToTypedata(nullptr);
    EXPECT_EQ(0, twTypeAppendText(&twAnyTS, &none, buf));
    twTypedata n = twTypeLongToTypedata(-12);
    EXPECT_EQ(1, twTypeAppendText(&twIntTS, &n, buf));
    EXPECT_STREQ("-12", twStrBufString(buf));
    // A missing string reaches emit as null and appends nothing.
    EXPECT_EQ(1, twTypeAppendText(&twStringTS, &none, buf));
    EXPECT_STREQ("-12", twStrBufString(buf));
    twStrBufDestroy(buf);
}

TEST_F(TypesTest, CreatedAndBuiltSpecificationsAreReleasedWhole)
{
    const char *colours[] = {"red", "green", "blue"};
    twTypeSpec *c = twTypeCreateEnum("colourVT", colours, 3);
    EXPECT_STREQ("colourVT", c->name);
    EXPECT_EQ(&twEnumTB, c->behaviour);
    EXPECT_EQ(2, parseLong(c, "b"));
    EXPECT_EQ("green", textOf(c, twTypeLongToTypedata(1)));
    EXPECT_REFUSED(1404, "pink|red, green, blue", *c, "pink");
    EXPECT_EQ(c, twTypeTSCopy(c));
    twTypeTSFree(c);
    EXPECT_EQ(1u, c->refCount);
    twTypeTSFree(c);  // the one block goes; the caller's names stay
    EXPECT_STREQ("green", colours[1]);
    volatile uint32_t tag = 0;
    TW_TRY(TW_EX_ALL) {
        twTypeCreateEnum("badVT", nullptr, 2);
    } TW_CATCH {
        tag = twExTagV;
        TW_EX_SWALLOW();
    } TW_END_TRY;
    EXPECT_EQ(uint32_t{TW_EX_PRECOND}, tag);

    // A specification built at run time: pool name, params and names of
    // its own, released with it (a leak shows under the sanitizers).
    twTypeSpec *m = static_cast<twTypeSpec *>(twMemMalloc(sizeof(twTypeSpec), "test spec"));
    twTypeEnumParams *p = static_cast<twTypeEnumParams *>(twMemMalloc(sizeof(twTypeEnumParams), "test params"));
    p->count = 2;
    p->names = static_cast<const char **>(twMemMalloc(2 * sizeof(char *), "test names"));
    p->names[0] = twStrCpy("low");
    p->names[1] = twStrCpy("high");
    *m = {twStrCpy("levelVT"), &twMaskTB, p, 1};
    EXPECT_EQ("low + high", textOf(m, twTypeLongToTypedata(3)));
    twTypeTSFree(m);

    twTypeIntParams *r = static_cast<twTypeIntParams *>(twMemMalloc(sizeof(twTypeIntParams), "test range"));
    *r = {1, 6};
    twTypeSpec *d = static_cast<twTypeSpec *>(twMemMalloc(sizeof(twTypeSpec), "test spec"));
    *d = {twStrCpy("dieVT"), &twIntTB, r, 1};
    EXPECT_REFUSED(1401, "7|1|6", *d, "7");
    twTypeTSFree(d);
    twTypeTSFree(nullptr);
}

TEST(TypesSweepTest, ParsingFormattingAndReleasingUnderAllocationFailures)
{
    long clean = twtest::sweepAllocationFailures(
        [] {
            std::string all;
            const struct {
                twTypeSpec *spec;
                const char *text;
            } cases[] = {{&twIntTS, "2k"},        {&twInt64TS, "-77"},   {&twFloatTS, "4.7u"},
                         {&twStringUpperTS, "up"}, {&twYesNoTS, " y "},  {&twStrArrayTS, "a \"b c\" d"},
                         {&twFileNameTS, "/tmp/n.txt"}};
            for (const auto &c : cases) {
                twTypedata v = twTypeParse(c.spec, c.text);
                twTypedata w = twTypeCopyValue(c.spec, v);
                all += textOf(c.spec, w) + ";";
                twTypeFreeValue(c.spec, v);
                twTypeFreeValue(c.spec, w);
            }
            const char *names[] = {"x", "y"};
            twTypeSpec *e = twTypeCreateEnum("xyVT", names, 2);
            all += textOf(e, twTypeParse(e, "Y"));
            twTypeTSFree(e);
            printf("%s", all.c_str());
        },
        [](const twtest::ForkResult &r) {
            EXPECT_EQ("2000;-77;4.7e-6;UP;Yes;a \"b c\" d;/tmp/n.txt;y", r.out);
        });
    EXPECT_GT(clean, 0);
}

} // namespace
