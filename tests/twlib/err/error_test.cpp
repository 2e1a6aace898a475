#include "twlib/err/error.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "support/child.h"
#include "support/oom_sweep.h"
#include "support/raised.h"
#include "twlib/core/exit.h"
#include "twlib/err/except.h"
#include "twlib/err/report.h"
#include "twlib/text/sprintf.h"
#include "twlib/text/str.h"

namespace {

std::string str(const char *s)
{
    return s ? s : "(null)";
}

// The verbose text of a chain, which the test then destroys.
std::string take(twErr *e, int style = TW_ERR_VERBOSE)
{
    std::string s = twErr_String(e, style);
    twErrDestroy(e);
    return s;
}

TEST(ErrorTest, CreateCopiesItsStringsAndAccessorsReadTheHead)
{
    char app[] = "app", text[] = "text";
    twErr *e = twErrCreate("where", app, 12, TW_SEV_WARNING, text);
    app[0] = text[0] = 'X';
    EXPECT_EQ("app", str(twErrApp(e)));
    EXPECT_EQ("where", str(twErrLocation(e)));
    EXPECT_EQ("text", str(twErrText(e)));
    EXPECT_EQ(12, twErrNum(e));
    EXPECT_EQ(TW_SEV_WARNING, twErrSeverity(e));
    EXPECT_EQ(1, e->refCount);
    EXPECT_EQ(nullptr, e->next);
    twErrDestroy(e);

    e = twErrCreate2(nullptr, TW_SEV_NOTE, nullptr);
    EXPECT_EQ(nullptr, twErrApp(e));
    EXPECT_EQ(nullptr, twErrLocation(e));
    EXPECT_EQ(nullptr, twErrText(e));
    EXPECT_EQ(0, twErrNum(e));
    twErrAppendText(e, "first");
    twErrAppendText(e, nullptr);
    twErrAppendText(e, "second");
    EXPECT_EQ("first\nsecond", str(twErrText(e)));
    twErrDestroy(e);
    twErrDestroy(nullptr);

    EXPECT_EQ(nullptr, twErrApp(nullptr));
    EXPECT_EQ(nullptr, twErrText(nullptr));
    EXPECT_EQ(0, twErrNum(nullptr));
    EXPECT_EQ(TW_SEV_ERROR, twErrSeverity(nullptr));
}

// The text of what 'call' raised, which must be a refusal.
std::string refused(void (*call)())
{
    twtest::Raised r = twtest::raised(call);
    EXPECT_EQ(uint32_t{TW_EX_PRECOND}, r.tag);
    return r.text;
}

TEST(ErrorTest, NullArgumentsThatWouldBeFollowedAreRefused)
{
    EXPECT_EQ("twErrAppend: no error record given", refused([] { twErrAppend(nullptr, nullptr); }));
    EXPECT_EQ("twErrAppendText: no error record given",
              refused([] { twErrAppendText(nullptr, "x"); }));
    EXPECT_EQ("twErrReadErrorFile: no stream or no function given",
              refused([] { twErrReadErrorFile(nullptr, [](twErr *, void *) { return 1; }, nullptr); }));
    EXPECT_EQ(nullptr, twExErrV);
}

TEST(ErrorTest, ChainsAppendLoopAndRefuseToCloseALoop)
{
    twErr *a = twErrCreate2("a", 0, "A");
    twErr *b = twErrCreate2("b", 0, "B");
    twErr *c = twErrCreate2("c", 0, "C");
    EXPECT_EQ(a, twErrAppend(a, nullptr));
    EXPECT_EQ(a, twErrAppend(a, twErrAppend(b, c)));
    EXPECT_EQ(b, a->next);
    EXPECT_EQ(c, b->next);

    // Appending a chain to itself, or a part of it, would make every walk
    // run forever.
    EXPECT_EQ(a, twErrAppend(a, a));
    EXPECT_EQ(a, twErrAppend(a, b));
    EXPECT_EQ(c, twErrAppend(c, a));
    EXPECT_EQ(nullptr, c->next);

    std::string seen;
    auto collect = [](twErr *r, void *d) {
        *static_cast<std::string *>(d) += r->text;
        return r->text[0] != 'B' ? 1 : 0;
    };
    EXPECT_EQ(0, twErrLoop(a, collect, &seen));
    EXPECT_EQ("AB", seen) << "stops at the first call that returns 0";
    EXPECT_EQ(1, twErrLoop(c, collect, &seen));
    EXPECT_EQ(1, twErrLoop(nullptr, collect, &seen));
    int calls = 0;
    auto count2 = [](twErr *, void *n, void *limit) {
        return ++*static_cast<int *>(n) < *static_cast<int *>(limit) ? 1 : 0;
    };
    int limit = 9;
    EXPECT_EQ(1, twErrLoop2(a, count2, &calls, &limit));
    EXPECT_EQ(3, calls);
    twErrDestroy(a);
}

TEST(ErrorTest, CountsArePerRecordAndDestroyTopKeepsTheOlderChain)
{
    twErr *old = twErrAppend(twErrCreate2("o1", 0, "O1"), twErrCreate2("o2", 0, "O2"));
    twErr *chain = twErrAppend(twErrCreate2("n", 0, "N"), old);
    // A copy and a destroy leave every record with the count it had.
    twErrCopy(old);
    EXPECT_EQ(1, chain->refCount);
    EXPECT_EQ(2, old->refCount);
    EXPECT_EQ(2, old->next->refCount);
    twErrDestroy(twErrCopy(chain));
    EXPECT_EQ(1, chain->refCount);
    EXPECT_EQ(2, old->refCount);
    EXPECT_EQ(nullptr, twErrCopy(nullptr));

    // The records stacked on top of 'old' go; 'old' keeps both references,
    // the chain's now held through p.
    twErr *p = chain;
    twErrDestroyTop(&p, old);
    EXPECT_EQ(old, p);
    EXPECT_EQ(2, old->refCount);
    EXPECT_EQ("o1: Error: O1\n+o2: Error: O2", std::string(twErr_String(p, TW_ERR_VERBOSE)));

    // A stop that is not in the chain: everything goes.
    twErr *other = twErrCreate2("x", 0, "X");
    twErrDestroyTop(&p, other);
    EXPECT_EQ(nullptr, p);
    EXPECT_EQ(1, old->refCount);
    twErrDestroyTop(&p, other);
    twErrDestroy(other);
    twErrDestroy(old);
}

TEST(ErrorTest, TextFormsInBothStyles)
{
    EXPECT_EQ("twlib: Warning 1120: T", take(twErrCreate(nullptr, "twlib", 1120, 3, "T")));
    EXPECT_EQ("twlib-W-1120: T", take(twErrCreate(nullptr, "twlib", 1120, 3, "T"), TW_ERR_TERSE));
    EXPECT_EQ("twlib: Note: T", take(twErrCreate2("twlib", 2, "T"))) << "number 0 is not printed";
    EXPECT_EQ("twlib-I: T", take(twErrCreate2("twlib", 2, "T"), TW_ERR_TERSE));
    EXPECT_EQ("app: Internal Error 5: here: T", take(twErrCreate("here", "app", 5, 5, "T")));
    EXPECT_EQ("app-Z-5: here: T", take(twErrCreate("here", "app", 5, 5, "T"), TW_ERR_TERSE));
    EXPECT_EQ("app: Error: T", take(twErrCreate("", "app", 0, 99, "T"))) << "empty location";
    EXPECT_EQ("app-E: T", take(twErrCreate("", "app", 0, -1, "T"), TW_ERR_TERSE));
    EXPECT_EQ("as it stands", take(twErrCreate("loc", "USER_FORMATTED", 7, 3, "as it stands")));
    EXPECT_EQ("as it stands", take(twErrCreate("loc", "USER_FORMATTED", 7, 3, "as it stands"),
                                   TW_ERR_TERSE));
    EXPECT_EQ(": Error: ", take(twErrCreate2(nullptr, 0, nullptr)));
    EXPECT_EQ("", std::string(twErr_String(nullptr, TW_ERR_VERBOSE)));

    twErr *chain = twErrAppend(twErrCreate("L", "a", 1, 0, "first"),
                               twErrAppend(twErrCreate2("USER_FORMATTED", 0, "plain"),
                                           twErrCreate2("b", 1, "third")));
    EXPECT_EQ("a: Error 1: L: first\n+plain\n+b: Status: third",
              std::string(twErrString(chain, TW_ERR_CNTX_STDERR)));
    EXPECT_EQ("a-E-1: L: first\n+plain\n+b-S: third",
              std::string(twErrString(chain, TW_ERR_CNTX_STATUSLINE)));
    char *copy = twErrStringAlloc(chain, TW_ERR_CNTX_LOGFILE);
    twStrCat("overwrites", "the static text");
    EXPECT_EQ("a: Error 1: L: first\n+plain\n+b: Status: third", std::string(copy));
    twStrFree(copy);
    twErrStyleV[TW_ERR_CNTX_STDERR] = TW_ERR_TERSE;
    EXPECT_EQ('a', twErrString(chain, TW_ERR_CNTX_STDERR)[0]);
    EXPECT_EQ(std::string::npos, std::string(twErrString(chain, 0)).find("Error 1"));
    twErrStyleV[TW_ERR_CNTX_STDERR] = TW_ERR_VERBOSE;
    EXPECT_EQ(take(chain), "a: Error 1: L: first\n+plain\n+b: Status: third");
}

TEST(ErrorTest, SeverityConversionsFallBackToError)
{
    const char *names[] = {"Error", "Status", "Note", "Warning", "Fatal", "Internal Error", "Disabled"};
    const char letters[] = "ESIWFZD";
    for (int i = 0; i < TW_SEV_COUNT; i++) {
        EXPECT_STREQ(names[i], twErrSeverityToString(i));
        EXPECT_EQ(letters[i], twErrSeverityToChar(i));
        EXPECT_EQ(i, twErrStringToSeverity(names[i]));
        EXPECT_EQ(i, twErrCharToSeverity(letters[i]));
        EXPECT_EQ(i, twErrCharToSeverity(letters[i] | 0x20)) << "lower case";
    }
    EXPECT_STREQ("Error", twErrSeverityToString(7));
    EXPECT_STREQ("Error", twErrSeverityToString(-1));
    EXPECT_EQ('E', twErrSeverityToChar(100));
    EXPECT_EQ(TW_SEV_WARNING, twErrStringToSeverity("wARNING"));
    EXPECT_EQ(TW_SEV_INTERNAL, twErrStringToSeverity("internal")) << "the severity type's name";
    EXPECT_EQ(0, twErrStringToSeverity("Warn"));
    EXPECT_EQ(0, twErrStringToSeverity(""));
    EXPECT_EQ(0, twErrStringToSeverity(nullptr));
    EXPECT_EQ(0, twErrCharToSeverity('Q'));
    EXPECT_EQ(0, twErrCharToSeverity(0));
    EXPECT_EQ(0, twErrCharToSeverity(-3));
    EXPECT_EQ(0, twErrCharToSeverity(0x1e4));
}

// Parses a line and returns its fields, or "null".
std::string parse(const char *line)
{
    twErr *e = twErrCreateFromString(line);
    if (!e) return "null";
    std::string s = str(e->app) + "|" + std::to_string(e->severity) + "|" +
                    std::to_string(e->number) + "|" + str(e->location) + "|" + str(e->text);
    EXPECT_EQ(nullptr, e->next);
    twErrDestroy(e);
    return s;
}

TEST(ErrorTest, VerboseLinesParseBack)
{
    EXPECT_EQ("twlib|3|0|(null)|T", parse("twlib: Warning: T"));
    EXPECT_EQ("twlib|2|7|L|a: b: c", parse("twlib: Note 7: L: a: b: c"));
    EXPECT_EQ("twlib|2|7|L|a: b: c", parse("  +twlib:   Note   7  : L: a: b: c"));
    EXPECT_EQ("app|0|0|(null)|x:y", parse("app: Bogus: x:y")) << "unknown severity reads as Error";
    EXPECT_EQ("app|1|0|(null)|T", parse("app: status nine: T")) << "a word that is no number";
    EXPECT_EQ("app|0|2147483647|(null)|T", parse("app: Error 99999999999: T"));
    // The verbose form writes Internal Error as two words, the number third.
    EXPECT_EQ("app|5|12|here|T", parse("app: Internal Error 12: here: T"));
    EXPECT_EQ("app|5|0|(null)|T", parse("app: Internal Error: T"));
    for (const char *bad : {"", "   \t", "app: Warning", "app: Warning:  ", "app: : T", "no fields"})
        EXPECT_EQ("null", parse(bad)) << '"' << bad << '"';
    EXPECT_EQ("null", parse(nullptr));

    // Fields keep 511 characters; the rest of a longer one is skipped.
    std::string longApp(700, 'a');
    std::string fields = parse((longApp + ": Note: T").c_str());
    EXPECT_EQ(std::string(511, 'a') + "|2|0|(null)|T", fields);

    // Every record the library prints reads back as it was.
    twErr *e = twErrCreate("in call to routine f()", "tslib", 1320, TW_SEV_INTERNAL, "it: broke");
    twErr *back = twErrCreateFromString(twErr_String(e, TW_ERR_VERBOSE));
    ASSERT_NE(nullptr, back);
    EXPECT_EQ(std::string(twErr_String(e, TW_ERR_VERBOSE)), take(back));
    twErrDestroy(e);
}

// A message source over a table of texts, formatted with the library's
// printf engine; the file handle is the table's index + 1.
const char *const *messages;
int textCalls;
bool problemsRaise; // the library's problem messages cannot be found
const char *tableText(twMsgFileHandle *file, int number, va_list ap)
{
    static char buf[256];
    textCalls++;
    if (problemsRaise && number > 1100) twExThrow2(TW_EX_POSTCOND, "msg", 0, "no such message");
    twSprintfVa(buf, sizeof buf, messages[number % 100], ap);
    (void)file;
    return buf;
}
const char *tableName(twMsgFileHandle *file)
{
    return reinterpret_cast<uintptr_t>(file) == 1 ? "twlib" : "app";
}
twMsgFileHandle *tableLibrary()
{
    return reinterpret_cast<twMsgFileHandle *>(uintptr_t{1});
}
const twErrMessageSource tableSource = {tableText, tableName, tableLibrary};
twMsgFileHandle *const appFile = reinterpret_cast<twMsgFileHandle *>(uintptr_t{2});
twMsgFileHandle *const libFile = tableLibrary();

class BuildTest : public ::testing::Test {
protected:
    const twErrMessageSource *saved = twErr_SetMessageSource(&tableSource);
    void SetUp() override { textCalls = 0; }
    void TearDown() override { twErr_SetMessageSource(saved); }
    void use(std::vector<const char *> table) { table_ = std::move(table); messages = table_.data(); }
    std::vector<const char *> table_;
};

TEST_F(BuildTest, TheMessageGivesSeverityAndText)
{
    use({"[W]count %d of %s", "[ i ]spaced", "[q]unknown letter", "]]x"});
    twErr *e = twErrBuild("where", appFile, 100, 3, "three");
    EXPECT_EQ("app|3|100|where|count 3 of three", str(e->app) + "|" + std::to_string(e->severity) +
                                                      "|" + std::to_string(e->number) + "|" +
                                                      str(e->location) + "|" + str(e->text));
    twErrDestroy(e);
    e = twErrBuild(nullptr, appFile, 101);
    EXPECT_EQ(TW_SEV_NOTE, e->severity) << "the first non-blank character of the token";
    EXPECT_EQ("spaced", str(e->text));
    EXPECT_EQ(nullptr, e->location);
    twErrDestroy(e);
    EXPECT_EQ("app: Error 102: unknown letter", take(twErrBuild(nullptr, appFile, 102)));
}

TEST_F(BuildTest, AMalformedMessageBecomesAnErrorAboutItWithTheErrorBehind)
{
    // 0: 1101, 4: 1104, 7: 1107 of the library's own file; 50: the text of
    // an application message.
    std::vector<const char *> t(100, "");
    t[1] = "[E]no leading bracket";
    t[4] = "[F]unclosed bracket";
    t[7] = "[E]nothing after";
    t[50] = "plain text %s";
    t[51] = "[E]";
    t[52] = "[W";
    t[53] = "[]]";
    use(t);
    EXPECT_EQ("twlib: Error 1101: no leading bracket\n+app: Error 50: here: plain text x",
              take(twErrBuild("here", appFile, 50, "x")));
    EXPECT_EQ("twlib: Error 1107: nothing after\n+app: Error 51: [E]",
              take(twErrBuild(nullptr, appFile, 51)));
    // The severity read from the token stays with the error as first built.
    twErr *e = twErrBuild(nullptr, appFile, 51);
    EXPECT_EQ(TW_SEV_ERROR, e->next->severity);
    twErrDestroy(e);
    EXPECT_EQ("twlib: Fatal 1104: unclosed bracket\n+app: Error 52: [W",
              take(twErrBuild(nullptr, appFile, 52)));
    EXPECT_EQ("twlib: Fatal 1104: unclosed bracket\n+app: Error 53: []]",
              take(twErrBuild(nullptr, appFile, 53)));
}

TEST_F(BuildTest, ProblemsOfTheLibrarysOwnMessagesUseTheFixedText)
{
    std::vector<const char *> t(100, "broken");
    use(t);
    const std::string fixed =
        "twlib: Error: in call to routine twErrBuildVa(): Problem building internal Error Handling "
        "message.  Perhaps someone should not have alterned the twlib message file.";
    // A problem message of the library's own file that is itself malformed.
    EXPECT_EQ(fixed + "\n+twlib: Error 1105: broken", take(twErrBuild(nullptr, libFile, 1105)));
    // Any other malformed message whose problem message is malformed too:
    // the fixed text once, then the two messages; no building again.
    textCalls = 0;
    EXPECT_EQ(fixed + "\n+twlib: Error 1101: broken\n+app: Error 7: broken",
              take(twErrBuild(nullptr, appFile, 7)));
    EXPECT_EQ(2, textCalls);
    // Without a source a message reads "message N" and has no file name.
    twErr_SetMessageSource(nullptr);
    EXPECT_EQ(fixed + "\n+: Error 1101: message 1101\n+: Error 9: message 9",
              take(twErrBuild(nullptr, appFile, 9)));
}

// Reads 'content' as an error file; each delivered chain is one string.
struct Reading {
    std::vector<std::string> chains;
    int stopAfter = 1000;
};
int collectChain(twErr *chain, void *data)
{
    auto *r = static_cast<Reading *>(data);
    r->chains.push_back(twErr_String(chain, TW_ERR_VERBOSE));
    twErrDestroy(chain);
    return static_cast<int>(r->chains.size()) < r->stopAfter;
}
int readText(const std::string &content, Reading &r)
{
    FILE *f = tmpfile();
    fwrite(content.data(), 1, content.size(), f);
    rewind(f);
    int result = twErrReadErrorFile(f, collectChain, &r);
    fclose(f);
    return result;
}

TEST(ErrorTest, ErrorFilesReadBackIntoChains)
{
    Reading r;
    EXPECT_EQ(1, readText("  : continuation without a chain is dropped\n"
                          "+a: Warning 3: starts a chain\n"
                          "  : more text\n"
                          "\t: and more\r\n"
                          "+b: Note: second record\n"
                          "c: Error 1: L: new chain\n"
                          "not an error line\n"
                          "d: Status: T\n"
                          "e: Bogus:T\n"          // no blank after the colon: not an error line
                          "+f: Note: after a line that ended the chain\n"
                          "g: Fatal: last, without a line end",
                          r));
    std::vector<std::string> want = {
        "a: Warning 3: starts a chain\n  : more text\n\t: and more\n+b: Note: second record",
        "c: Error 1: L: new chain",
        "d: Status: T",
        "f: Note: after a line that ended the chain",
        "g: Fatal: last, without a line end",
    };
    EXPECT_EQ(want, r.chains);

    Reading stop;
    stop.stopAfter = 2;
    EXPECT_EQ(0, readText("a: Note: 1\nb: Note: 2\nc: Note: 3\n", stop));
    EXPECT_EQ(2u, stop.chains.size());
    Reading last;
    last.stopAfter = 1;
    EXPECT_EQ(0, readText("a: Note: 1\n  : tail\n", last));
    EXPECT_EQ(std::vector<std::string>{"a: Note: 1\n  : tail"}, last.chains);
    Reading none;
    EXPECT_EQ(1, readText("", none));
    EXPECT_TRUE(none.chains.empty());

    // A long run of continuation lines goes in whole.
    std::string many = "a: Note: head\n";
    for (int i = 0; i < 20000; i++) many += " : line\n";
    Reading big;
    EXPECT_EQ(1, readText(many, big));
    ASSERT_EQ(1u, big.chains.size());
    EXPECT_EQ(std::string("a: Note: head").size() + 20000 * 8, big.chains[0].size());
}

TEST(ErrorTest, ReadingAnErrorFileFromTheFunctionIsSafe)
{
    // The function reads another file, which reuses the line buffer, while
    // the outer read still has to build the error of the line that ended
    // the chain.
    static FILE *inner;
    inner = tmpfile();
    fputs("inner: Note: x\n", inner);
    auto nested = [](twErr *chain, void *data) {
        rewind(inner);
        Reading r;
        twErrReadErrorFile(inner, collectChain, &r);
        static_cast<std::vector<std::string> *>(data)->push_back(twErr_String(chain, 1));
        twErrDestroy(chain);
        return 1;
    };
    FILE *f = tmpfile();
    fputs("a: Note: 1\nb: Warning 2: second\n", f);
    rewind(f);
    std::vector<std::string> got;
    EXPECT_EQ(1, twErrReadErrorFile(f, nested, &got));
    EXPECT_EQ((std::vector<std::string>{"a: Note: 1", "b: Warning 2: second"}), got);
    fclose(f);
    fclose(inner);
}

// Raising from the function of an error-file read, and from a message
// source while a malformed message is being built, leaves nothing behind
// for the leak report.
TEST(ErrorChildEnv, Run)
{
    CHILD_ONLY();
    FILE *f = tmpfile();
    fputs("a: Note: 1\n+b: Note: 2\nc: Note: 3\n", f);
    rewind(f);
    auto raise = [](twErr *chain, void *) -> int {
        twErrDestroy(chain);
        twExThrow2(TW_EX_USER1, "test", 0, "from the function");
    };
    TW_TRY(TW_EX_USER1) {
        twErrReadErrorFile(f, raise, nullptr);
    } TW_CATCH {
        printf("caught %s\n", twErrText(twExErrV));
        TW_EX_SWALLOW();
    } TW_END_TRY;
    fclose(f);

    static const char *table[100] = {};
    table[5] = "malformed";
    messages = table;
    problemsRaise = true;
    twErr_SetMessageSource(&tableSource);
    TW_TRY(TW_EX_POSTCOND) {
        twErrBuild(nullptr, appFile, 5);
    } TW_CATCH {
        printf("caught %s\n", twErrText(twExErrV));
        TW_EX_SWALLOW();
    } TW_END_TRY;
    twErr_SetMessageSource(nullptr);
    fflush(stdout);
    twExit(0);
}
TW_CHILD_SUITE(ErrorChildEnv);

TEST(ErrorTest, ARaiseThroughTheReaderLeavesNothingBehind)
{
    twtest::ProcessResult r = twtest::runChild("ErrorChildEnv.Run", "raise", {"TW_MEMDBG=1"});
    EXPECT_EQ(0, r.status) << r.out << r.err;
    EXPECT_NE(std::string::npos, r.out.find("caught from the function")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("caught no such message")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("current memory usage=0")) << r.out;
    EXPECT_EQ(std::string::npos, r.out.find("errorObject")) << r.out;
}

TEST(ErrorTest, RefusedAllocationsEndCleanly)
{
    long made = twtest::sweepAllocationFailures(
        [] {
            twErr *e = twErrAppend(twErrCreate("loc", "app", 3, TW_SEV_WARNING, "text"),
                                   twErrCreateFromString("b: Note 2: L: t"));
            twErrAppendText(e, "more");
            char *s = twErrStringAlloc(e, 0);
            puts(s);
            twStrFree(s);
            static const char *table[100] = {"[W]ok", "[E]", "broken"};
            messages = table;
            twErr_SetMessageSource(&tableSource);
            twErrDestroy(twErrBuild("here", appFile, 1));
            twErrDestroy(twErrBuild(nullptr, appFile, 100));
            FILE *f = tmpfile();
            fputs("a: Note: 1\n : c\n+b: Note: 2\n", f);
            rewind(f);
            twErrReadErrorFile(f, [](twErr *c, void *) { twErrDestroy(c); return 1; }, nullptr);
            fclose(f);
            twErrDestroy(e);
        },
        [](const twtest::ForkResult &r) {
            EXPECT_EQ("app: Warning 3: loc: text\nmore\n+b: Note 2: L: t\n", r.out);
        });
    EXPECT_GT(made, 0);
}

}  // namespace
