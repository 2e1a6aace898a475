/* convert_test.cpp - conversion between type specifications and the quiet
 * value check.
 *
 * The tests' message source writes the arguments of 1401 and 1409 as
 * "a|b|c", read with the conversions the catalogue gives, so refusals are
 * checked by number, tag and arguments.
 */
#include "twlib/pref/convert.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/child.h"
#include "support/oom_sweep.h"
#include "support/process.h"
#include "twlib/core/exit.h"
#include "twlib/core/mem.h"
#include "twlib/err/error.h"
#include "twlib/err/except.h"
#include "twlib/text/strbuf.h"

namespace {

const char *argumentsText(twMsgFileHandle *, int number, va_list ap)
{
    static char text[512];
    const char *format = number == 1401 ? "[E]%s|%ld|%ld" : number == 1409 ? "[E]%s|%s|%s" : "[E]#";
    vsnprintf(text, sizeof text, format, ap);
    return text;
}
char standInByte;  // a handle that is never opened: the texts come from argumentsText
twMsgFileHandle *standIn()
{
    return reinterpret_cast<twMsgFileHandle *>(&standInByte);
}
const char *twlibName(twMsgFileHandle *)
{
    return "twlib";
}
const twErrMessageSource kErrSource = {argumentsText, twlibName, standIn};
const twExMessageSource kExSource = {argumentsText, twlibName, [](const char *) { return standIn(); }};

// For the rest of the process, whether the library's catalogue is at hand
// or not.
void useArgumentsSource()
{
    twEx_SetMessageSource(&kExSource);
    twErr_SetMessageSource(&kErrSource);
}

twTypedata word(long l)
{
    return twTypeLongToTypedata(l);
}

// The conversion's result, or "<tag>/<number>: <text>" of its refusal.
std::string convert(const twTypeSpec *from, const twTypeSpec *to, twTypedata value)
{
    static char out[600];  // filled in the handler: nothing to destroy is jumped over
    twTypeReturnDataV = word(-12345);
    TW_TRY(TW_EX_ALL) {
        twTypeConvert(from, to, &value);
        snprintf(out, sizeof out, "%ld", twTypeReturnDataV.l);
    } TW_CATCH {
        const char *text = twErrText(twExErrV);
        snprintf(out, sizeof out, "%x/%d: %s", (unsigned)twExTagV, twErrNum(twExErrV), text ? text : "");
        if (twTypeReturnDataV.l != -12345) snprintf(out, sizeof out, "result word changed");
        TW_EX_SWALLOW();
    } TW_END_TRY;
    return out;
}

// Parses 'text' as 'from' and converts it; the result's text.
std::string viaText(const twTypeSpec *from, const char *text, const twTypeSpec *to)
{
    twTypedata v = twTypeParse(from, text);
    std::string r = convert(from, to, v);
    twTypeFreeValue(from, v);
    if (r.find(':') != std::string::npos) return r;
    twTypedata result = twTypeReturnDataV;
    twStrBuf *buf = twStrBufCreate(0);
    twTypeAppendText(to, &result, buf);
    r = twStrBufString(buf);
    twStrBufDestroy(buf);
    twTypeFreeValue(to, result);
    return r;
}

const char *kNames[] = {"A", "B", "C"};
twTypeEnumParams maskParams[] = {{3, kNames}, {40, kNames}, {63, kNames}, {64, kNames}};
twTypeSpec maskTS = {"abcMaskVT", &twMaskTB, &maskParams[0], 1};
twTypeSpec wideMaskTS = {"wideMaskVT", &twMaskTB, &maskParams[1], 1};
twTypeSpec fullMaskTS = {"fullMaskVT", &twMaskTB, &maskParams[2], 1};
twTypeSpec hugeMaskTS = {"hugeMaskVT", &twMaskTB, &maskParams[3], 1};

class ConvertTest : public ::testing::Test {
protected:
    void SetUp() override { useArgumentsSource(); }
    void TearDown() override
    {
        EXPECT_EQ(nullptr, twEx_StackV);
        EXPECT_EQ(nullptr, twExErrV) << "an error was left pending";
    }
};

TEST_F(ConvertTest, IntegersAndEnumerationsPassTheWordForEveryStockPair)
{
    twTypeSpec *integers[] = {&twIntTS, &twPositiveIntTS, &twUnsignedIntTS, &twCharTS};
    twTypeSpec *enums[] = {&twYesNoTS,   &twOnOffTS,     &twTrueFalseTS, &twErrSevTS,
                           &twErrCntxTS, &twErrActionTS, &twErrStyleTS};
    for (twTypeSpec *i : integers)
        for (twTypeSpec *e : enums) {
            EXPECT_EQ("1", convert(i, e, word(1))) << i->name << " -> " << e->name;
            EXPECT_EQ("1", convert(e, i, word(1))) << e->name << " -> " << i->name;
        }
    // The two-valued ones share their index without a parse (which "?7?"
    // would fail).
    for (twTypeSpec *a : {&twYesNoTS, &twOnOffTS, &twTrueFalseTS})
        for (twTypeSpec *b : {&twYesNoTS, &twOnOffTS, &twTrueFalseTS})
            for (const char *v : {"0", "1", "7"}) EXPECT_EQ(v, convert(a, b, word(atol(v))));
}

TEST_F(ConvertTest, BuiltInRulesRefuseWordsOutsideTheTargetWith1401AndItsBounds)
{
    struct {
        const twTypeSpec *from, *to;
        long value;
        const char *expected;
    } cases[] = {
        {&twIntTS, &twYesNoTS, 3, "2/1401: 3|0|1"},
        {&twIntTS, &twYesNoTS, -1, "2/1401: -1|0|1"},
        {&twIntTS, &twErrSevTS, 7, "2/1401: 7|0|6"},
        {&twYesNoTS, &twPositiveIntTS, 0, "2/1401: 0|1|2147483647"},
        {&twIntTS, &maskTS, 5, "5"},
        {&twIntTS, &maskTS, 8, "2/1401: 8|0|7"},
        {&twIntTS, &maskTS, -1, "2/1401: -1|0|7"},
        {&maskTS, &twCharTS, 7, "7"},
        {&wideMaskTS, &twIntTS, 1L << 35, "2/1401: 34359738368|-2147483647|2147483647"},
        {&twIntTS, &fullMaskTS, LONG_MAX, "9223372036854775807"},
        {&twIntTS, &fullMaskTS, LONG_MIN, "2/1401: -9223372036854775808|0|9223372036854775807"},
        {&twIntTS, &hugeMaskTS, LONG_MIN, "-9223372036854775808"},
    };
    for (const auto &k : cases)
        EXPECT_EQ(k.expected, convert(k.from, k.to, word(k.value))) << k.from->name << " -> " << k.to->name;
}

TEST_F(ConvertTest, OtherPairsGoThroughTheSourcesTextAndTheTargetsParse)
{
    struct {
        const twTypeSpec *from;
        const char *text;
        const twTypeSpec *to;
        const char *expected;
    } cases[] = {
        {&twIntTS, "42", &twFloatTS, "42"},
        {&twFloatTS, "3.9", &twIntTS, "3"},
        {&twFloatTS, "-2.5", &twUnsignedIntTS, "2/1401: -2.5|0|2147483647"},
        {&twStringTS, "2k", &twIntTS, "2000"},
        {&twStringTS, "abc", &twIntTS, "2/1400: #"},
        {&twInt64TS, "1099511627776", &twIntTS, "2/1401: 1099511627776|-2147483647|2147483647"},
        {&twStringTS, "o", &twOnOffTS, "2/1405: #"},
        {&twYesNoTS, "Yes", &twErrStyleTS, "2/1404: #"},
        {&twErrSevTS, "warning", &twStringUpperTS, "WARNING"},
        {&maskTS, "a|c", &twStringTS, "A + C"},
        {&twStringTS, "C + a", &maskTS, "A + C"},
        {&twStrArrayTS, "one two", &twStringTS, "one two"},
        {&twIntTS, "42", &twByteBlockTS, "2 bytes: 42..."},
    };
    for (const auto &k : cases)
        EXPECT_EQ(k.expected, viaText(k.from, k.text, k.to)) << k.from->name << " -> " << k.to->name;
}

TEST_F(ConvertTest, PairsWithoutAWayAreRefusedWith1409)
{
    EXPECT_EQ("2/1409: twErrVT|twIntVT|42", convert(&twIntTS, &twErrTS, word(42)));
    EXPECT_EQ("2/1409: twAnyVT|twIntVT|42", convert(&twIntTS, &twAnyTS, word(42)));
    // A source without behaviour used to be formatted through its missing table.
    EXPECT_EQ("2/1409: twIntVT|twAnyVT|<null>", convert(&twAnyTS, &twIntTS, word(42)));
    EXPECT_EQ("2/1409: <null>|<null>|<null>", convert(nullptr, nullptr, word(42)));
    twTypeReturnDataV = word(99);
    twTypeConvert(&twIntTS, &twVoidTS, nullptr);
    EXPECT_EQ(99, twTypeReturnDataV.l) << "a void target does nothing";
}

void *parseRefusing(const char *)
{
    twExThrow2(TW_EX_USER3, "test", TW_SEV_WARNING, "no such thing");
}
void printNothing(void *, twTypeEmitFn, void *) {}
void freeNothing(void *) {}
twTypePointer4Params refusingParams = {printNothing, [](void *v) { return v; }, freeNothing, parseRefusing};
twTypeSpec refusingTS = {"refusingVT", &twPointer4TB, &refusingParams, 1};

TEST_F(ConvertTest, ARaiseFromTheTargetsParsePassesOnUnchanged)
{
    EXPECT_EQ("40000/0: no such thing", convert(&twIntTS, &refusingTS, word(5)));
}

twTypeIntParams digitRange = {0, 9};
twTypeSpec digitTS = {"digitVT", &twIntTB, &digitRange, 1};
void addHundred(const twTypeSpec *, const twTypeSpec *, const twTypedata *v)
{
    twTypeReturnDataV = word(v->l + 100);
}
void doubleOrRefuse(const twTypeSpec *, const twTypeSpec *, const twTypedata *v)
{
    if (v->l == 3) twExThrow2(TW_EX_USER2, "test", TW_SEV_ERROR, "three");
    twTypeReturnDataV = word(v->l * 2);
}

TEST_F(ConvertTest, ARegisteredConverterComesFirstAndALaterOneReplacesIt)
{
    twTypeAddConverter(addHundred, &digitTS, &twYesNoTS);
    EXPECT_EQ("105", convert(&digitTS, &twYesNoTS, word(5))) << "before the rules";
    twTypeAddConverter(doubleOrRefuse, &digitTS, &twYesNoTS);
    EXPECT_EQ("10", convert(&digitTS, &twYesNoTS, word(5)));
    EXPECT_EQ("20000/0: three", convert(&digitTS, &twYesNoTS, word(3)));
    EXPECT_EQ("1", convert(&twYesNoTS, &digitTS, word(1))) << "for the ordered pair only";
    twTypeAddConverter(addHundred, &digitTS, &twOnOffTS);
    EXPECT_EQ("8", convert(&digitTS, &twYesNoTS, word(4))) << "pairs told apart by target";
    volatile int refused = 0;
    TW_TRY(TW_EX_PRECOND) {
        twTypeAddConverter(nullptr, &digitTS, &twYesNoTS);
    } TW_CATCH {
        refused = twErrNum(twExErrV);
        TW_EX_SWALLOW();
    } TW_END_TRY;
    EXPECT_EQ(1155, refused);
}

TEST_F(ConvertTest, CheckValParsesTheValuesTextAgainQuietly)
{
    twExErrV = twErrCreate2("test", TW_SEV_ERROR, "older");
    twTypeReturnDataV = word(77);
    struct {
        const twTypeSpec *spec;
        long value;
        int expected;
    } words[] = {
        {&twPositiveIntTS, 0, 0}, {&twPositiveIntTS, 5, 1}, {&twIntTS, 1L << 40, 0},
        {&twYesNoTS, 2, 0},       {&maskTS, 5, 1},          {&maskTS, 8, 0} /* its text would be empty */,
        {&twInt64TS, 0, 1},       {nullptr, 0, 1},
    };
    for (const auto &k : words) {
        twTypedata v = word(k.value);
        EXPECT_EQ(k.expected, twTypeCheckVal(k.spec, &v))
            << (k.spec ? k.spec->name : "null") << " " << k.value;
    }
    char lower[] = "abc";
    twTypedata v = twTypePtrToTypedata(lower);
    EXPECT_EQ(1, twTypeCheckVal(&twStringUpperTS, &v));
    EXPECT_STREQ("abc", lower) << "the checked value is not rewritten";
    v = twTypePtrToTypedata(nullptr);
    EXPECT_EQ(1, twTypeCheckVal(&twStringNotEmptyTS, &v)) << "a null text is checked as one blank";
    twtest::TempDir dir;
    v = twTypePtrToTypedata(const_cast<char *>(dir.path().c_str()));
    EXPECT_EQ(1, twTypeCheckVal(&twDirTS, &v));
    EXPECT_EQ(0, twTypeCheckVal(&twIntTS, nullptr));

    EXPECT_EQ(77, twTypeReturnDataV.l) << "the caller's result word is given back";
    ASSERT_NE(nullptr, twExErrV);
    EXPECT_STREQ("older", twErrText(twExErrV)) << "only the checks' own errors go";
    EXPECT_EQ(nullptr, twExErrV->next);
    twErrDestroy(twExErrV);
    twExErrV = nullptr;
}

// A typical use of the module, byte blocks included.
void typicalUse()
{
    useArgumentsSource();
    twTypeAddConverter(addHundred, &digitTS, &twYesNoTS);
    twTypeAddConverter(doubleOrRefuse, &digitTS, &twYesNoTS);
    printf("%s %s ", convert(&digitTS, &twYesNoTS, word(4)).c_str(),
           viaText(&twIntTS, "7", &twStringTS).c_str());
    printf("%s|%s ", convert(&twIntTS, &twErrTS, word(1)).c_str(),
           viaText(&twStringTS, "x", &twIntTS).c_str());
    twTypedata v = word(3);
    printf("%d %d ", twTypeCheckVal(&twPositiveIntTS, &v), twTypeCheckVal(&twYesNoTS, &v));
    twByteBlock *b = twByteBlockCreate("bytes", 5);
    twByteBlockFree(twByteBlockCopy(b));
    twByteBlockFree(b);
    printf("%s\n", viaText(&twStringTS, "abc", &twByteBlockTS).c_str());
}

TEST(ConvertSweepTest, RefusedAllocationsEndCleanly)
{
    long made = twtest::sweepAllocationFailures(typicalUse, [](const twtest::ForkResult &r) {
        EXPECT_EQ("8 7 2/1409: twErrVT|twIntVT|1|2/1400: # 1 0 3 bytes: abc...\n", r.out);
    });
    EXPECT_GT(made, 0);
}

void countBlock(void *count, void *)
{
    ++*static_cast<long *>(count);
}

// Run in a process of its own with TW_MEMDBG set: the buffer of a refused
// conversion, replaced converters, byte blocks and, through the exit
// handlers, the table and the check buffer all go back.
TEST(ConvertMemDebugEnv, NothingIsLeftBehind)
{
    if (!getenv("TW_MEMDBG")) GTEST_SKIP() << "needs TW_MEMDBG";
    auto live = [](const char *tag) {
        long n = 0;
        twMem_DbgCallFuncForStr(tag, countBlock, &n);
        return n;
    };
    typicalUse();
    long buffers = live("twStrBuf");
    EXPECT_EQ(1, live("Type Converter"));
    for (int round = 0; round < 3; round++) {
        EXPECT_EQ("40000/0: no such thing", convert(&twIntTS, &refusingTS, word(5)));
        EXPECT_EQ("2/1402: #", viaText(&twStringTS, "12abc", &twFloatTS));
    }
    EXPECT_EQ(buffers, live("twStrBuf"));
    EXPECT_EQ(0, live("twByteBlock") + live("twByteBlockID"));
    twOnExitCall();
    EXPECT_EQ(0, live("Type Converter"));
    EXPECT_EQ(0, live("twStrBuf")) << "the check buffer went too";
}

TW_ENV_SUITE(ConvertMemDebugEnv, MemDebug, "TW_MEMDBG=1");

}  // namespace
