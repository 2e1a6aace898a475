#include "twlib/text/tklex.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "support/oom_sweep.h"
#include "twlib/containers/list.h"
#include "twlib/core/mem.h"
#include "twlib/text/str.h"

namespace {

// A stream over a copy of the text, closed with the fixture.
class TklexTest : public ::testing::Test {
protected:
    FILE *stream = nullptr;
    std::string text;
    char buf[80] = "unchanged";

    void open(const std::string &t)
    {
        if (stream) fclose(stream);
        text = t;
        // fmemopen refuses an empty buffer; /dev/null serves an empty input.
        stream = text.empty() ? fopen("/dev/null", "r") : fmemopen(text.data(), text.size(), "r");
        ASSERT_NE(nullptr, stream);
    }
    void TearDown() override
    {
        if (stream) fclose(stream);
    }
    // Reads one token; returns the code and the token (or "-" at the end).
    std::string next(const char *delims, const char *skips, const twTklexKey *keys = nullptr, int len = 80)
    {
        int code = twTklex(stream, buf, len, delims, skips, keys);
        return std::to_string(code) + ":" + (code < 0 ? "-" : buf);
    }
};

TEST_F(TklexTest, DelimitersEndTokensOrAreTokensOfTheirOwn)
{
    open("  abc{{x  y");
    EXPECT_EQ("0:abc", next(" \t\n{}", " \t\n")) << "the brace ending abc is pushed back";
    EXPECT_EQ("0:{", next(" {", " "));
    EXPECT_EQ("0:{", next("{", "")) << "a delimiter met first is consumed";
    EXPECT_EQ("0:x", next(" ", " "));
    EXPECT_EQ("0:y", next(" ", " ")) << "a character in both sets is skipped";
    EXPECT_EQ("-1:-", next(" ", " "));
    EXPECT_STREQ("y", buf) << "end of input leaves the buffer unchanged";
}

TEST_F(TklexTest, LongTokenIsTruncatedNotSplit)
{
    open(std::string(100, 'a') + " b");
    EXPECT_EQ("0:" + std::string(79, 'a'), next(" ", " "));
    EXPECT_EQ("0: ", next(" ", "")) << "the delimiter after the dropped characters is pushed back";
    EXPECT_EQ("0:b", next(" ", " "));
    open("xyz");
    EXPECT_EQ("0:x", next(" ", " ", nullptr, 2)) << "the smallest buffer holds one character";
    EXPECT_EQ("-1:-", next(" ", " ", nullptr, 2));
}

TEST_F(TklexTest, OnlySkipCharactersOrNothingIsEndOfInput)
{
    open(" \t\n ");
    EXPECT_EQ("-1:-", next(" ", " \t\n"));
    EXPECT_STREQ("unchanged", buf);
    open("");
    EXPECT_EQ("-1:-", next(" ", " "));
}

TEST_F(TklexTest, KeywordsMatchWholeTokensOnly)
{
    char begin[] = "begin", other[] = "begin", b[] = "b", quote[] = "\"";
    twTklexKey second{nullptr, other, 5, 9};
    twTklexKey first{&second, begin, 5, 7};
    twTklexKey shortKey{nullptr, b, 1, 3};
    twTklexKey quoteKey{nullptr, quote, 1, 4};
    open("begin beginning beg b\"");
    EXPECT_EQ("7:begin", next(" ", " ", &first)) << "the first matching record wins";
    EXPECT_EQ("0:beginning", next(" ", " ", &first));
    EXPECT_EQ("0:beg", next(" ", " ", &first));
    EXPECT_EQ("3:b", next(" \"", " ", &shortKey));
    EXPECT_EQ("4:\"", next("\"", "", &quoteKey)) << "an empty quoted string after its opening quote";
    EXPECT_EQ(0, twTklexMatch("b", nullptr));
    EXPECT_EQ(3, twTklexMatch("b", &shortKey));
    char empty[] = "";
    twTklexKey emptyKey{nullptr, empty, 0, 8};
    EXPECT_EQ(8, twTklexMatch("", &emptyKey)) << "an empty token equals an empty keyword";
    EXPECT_EQ(0, twTklexMatch("", &shortKey));
    EXPECT_EQ(0, twTklexMatch("b", &emptyKey));
}

// A record whose code is 0 still ends the search when it matches.
TEST_F(TklexTest, MatchingRecordWithCodeZeroStopsTheSearch)
{
    char x1[] = "x", x2[] = "x";
    twTklexKey later{nullptr, x2, 1, 5};
    twTklexKey zero{&later, x1, 1, 0};
    open("x");
    EXPECT_EQ("0:x", next(" ", " ", &zero));
}

// A buffer of one byte used to receive a delimiter token and its NUL.
TEST_F(TklexTest, TooSmallBufferOrNoStreamReadsNothing)
{
    open("{x");
    auto one = std::make_unique<char[]>(1);
    one[0] = 'u';
    EXPECT_EQ(-1, twTklex(stream, one.get(), 1, "{", "", nullptr));
    EXPECT_EQ(-1, twTklexRead(stream, one.get(), 0, "{", ""));
    EXPECT_EQ('u', one[0]);
    EXPECT_EQ(-1, twTklex(stream, nullptr, 80, "{", "", nullptr));
    EXPECT_EQ(-1, twTklex(nullptr, buf, sizeof buf, "{", "", nullptr));
    EXPECT_EQ("0:{", next("{", "")) << "nothing was read";
    twTklexKey key{nullptr, buf, 1, 5};
    EXPECT_EQ(0, twTklexMatch(nullptr, &key));
}

// A set is taken by its contents at each call, even when the caller reuses
// one buffer for different sets: on the stack, or in the program's own
// writable data, beside the constant sets that are known by address.
TEST_F(TklexTest, ReusedSetBufferIsReadAnewEachCall)
{
    static char programData[4];
    char onStack[4];
    for (char *delims : {onStack, programData}) {
        open("a,b;c d;e f");
        strcpy(delims, ",");
        EXPECT_EQ("0:a", next(delims, ""));
        EXPECT_EQ("0:,", next(delims, ""));
        strcpy(delims, ";");
        EXPECT_EQ("0:b", next(delims, "")) << "',' no longer ends a token";
        EXPECT_EQ("0:;", next(delims, ""));
        strcpy(delims, "; ");
        EXPECT_EQ("0:c", next(delims, ""));
        delims[1] = '\0';
        EXPECT_EQ("0: d", next(delims, "")) << "a shortened set";
        std::string longSet = std::string("!#$%&()*+-./0123456789:;<=>?@") + " ";
        EXPECT_EQ("0:;", next(longSet.c_str(), ""));
        EXPECT_EQ("0:e", next(longSet.c_str(), "")) << "a set longer than any kept one";
        strcpy(delims, " ");
        EXPECT_EQ("0:f", next(";", delims)) << "a reused skip set";
    }
}

// The token ends at a NUL byte read from the input as far as its keyword
// match is concerned.
TEST_F(TklexTest, NulByteInTokenEndsItsText)
{
    char b[] = "b";
    twTklexKey key{nullptr, b, 1, 3};
    open(std::string("b\0c x", 5));
    EXPECT_EQ(3, twTklex(stream, buf, sizeof buf, " ", " ", &key));
    EXPECT_EQ(0, memcmp(buf, "b\0c", 4));
}

// Tokens, the caller's own reads and push-backs share one stream position,
// whatever the stream's buffering: a pipe, an unbuffered file and a file
// whose buffer is smaller than a token.
TEST(TklexStreamTest, TokensInterleaveWithTheCallersReadsUnderAnyBuffering)
{
    const std::string input = "alpha  beta{gamma}\n  delta{epsilon";
    auto readAll = [](FILE *in) {
        std::string seen;
        char tok[80];
        while (twTklex(in, tok, sizeof tok, " {}\n", " \n", nullptr) == 0) {
            seen += std::string(tok) + "|";
            int c = getc(in);  // the caller peeks at the next character
            if (c == EOF) break;
            ungetc(c == 'e' ? 'E' : c, in);  // and may push back another one
        }
        return seen;
    };
    const std::string expected = "alpha|beta|{|gamma|}|delta|{|Epsilon|";

    int fds[2];
    ASSERT_EQ(0, pipe(fds));
    ASSERT_EQ((ssize_t)input.size(), write(fds[1], input.data(), input.size()));
    close(fds[1]);
    FILE *piped = fdopen(fds[0], "r");
    EXPECT_EQ(expected, readAll(piped));
    fclose(piped);

    char path[] = "/tmp/tklex-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ((ssize_t)input.size(), write(fd, input.data(), input.size()));
    close(fd);
    for (int mode : {_IONBF, _IOFBF}) {
        // stdio takes a size only together with a buffer of the caller's.
        char buffer[3];
        FILE *in = fopen(path, "r");
        setvbuf(in, buffer, mode, sizeof buffer);
        EXPECT_EQ(expected, readAll(in)) << "buffering mode " << mode;
        fclose(in);
    }
    unlink(path);
}

// The tokenizer as the simplest reading of its contract: getc, ungetc and
// strchr. The real one must agree with it token for token.
int32_t referenceTklex(FILE *in, char *buf, int length, const char *delims, const char *skips,
                       const twTklexKey *keys)
{
    auto member = [](const char *set, int c) { return c != EOF && c != 0 && set && strchr(set, c); };
    int c = getc(in);
    while (member(skips, c)) c = getc(in);
    if (c == EOF) return -1;
    int stored = 0;
    while (c != EOF && !member(delims, c)) {
        if (stored < length - 1) buf[stored++] = (char)c;
        c = getc(in);
    }
    if (stored == 0)
        buf[stored++] = (char)c;
    else if (c != EOF)
        ungetc(c, in);
    buf[stored] = '\0';
    size_t n = strlen(buf);
    for (const twTklexKey *k = keys; k; k = k->next)
        if (n >= k->length && strncmp(buf, k->text, n) == 0) return k->code;
    return 0;
}

TEST(TklexStreamTest, AgreesWithAPlainReadingOfItsContractOnRandomInput)
{
    const char alphabet[] = {'a', 'b', ' ', '\n', '{', '}', '"', '\0', '\xff', '|'};
    char brace[] = "{", quote[] = "\"", ab[] = "ab";
    twTklexKey abKey{nullptr, ab, 2, 6};
    twTklexKey quoteKey{&abKey, quote, 1, 4};
    twTklexKey braceKey{&quoteKey, brace, 1, 1};
    const char *const sets[] = {"", " \n", "{}\"| \n", "\"", "a", "\xff ", nullptr};
    uint32_t seed = 12345;
    auto next = [&seed](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % n;
    };
    for (int round = 0; round < 300; ++round) {
        std::string input;
        for (uint32_t i = 0, n = 1 + next(200); i < n; ++i) input += alphabet[next(sizeof alphabet)];
        FILE *ours = fmemopen(input.data(), input.size(), "r");
        FILE *theirs = fmemopen(input.data(), input.size(), "r");
        ASSERT_TRUE(ours && theirs);
        char buffer[16];
        setvbuf(ours, buffer, _IOFBF, 1 + next(16));  // refills inside tokens
        for (int step = 0; step < 400; ++step) {
            SCOPED_TRACE("round " + std::to_string(round) + " step " + std::to_string(step));
            const char *delims = sets[next(7)], *skips = sets[next(7)];
            int length = 2 + (int)next(6);
            char a[8] = "", b[8] = "";
            int32_t got = twTklex(ours, a, length, delims, skips, &braceKey);
            int32_t want = referenceTklex(theirs, b, length, delims, skips, &braceKey);
            ASSERT_EQ(want, got);
            if (want < 0) break;
            ASSERT_EQ(0, memcmp(a, b, (size_t)length));
            if (next(4) == 0) {  // the caller reads a character and pushes back another
                int c1 = getc(ours), c2 = getc(theirs);
                ASSERT_EQ(c2, c1);
                if (c1 != EOF) {
                    ungetc(c1 == 'a' ? 'b' : c1, ours);
                    ungetc(c2 == 'a' ? 'b' : c2, theirs);
                }
            }
        }
        EXPECT_EQ(ftell(theirs), ftell(ours));
        fclose(ours);
        fclose(theirs);
    }
}

// A typical reader: every token kept as a pool string in a list of tagged
// records, keywords classified on the way.
struct Word {
    Word *next;
    char *text;
    int32_t code;
};

void releaseWord(void *record)
{
    twStrFree(static_cast<Word *>(record)->text);
    twMemFree(record);
}

TEST(TklexSweepTest, RefusedAllocationsEndAsOutOfMemoryOrAreSurvived)
{
    std::string input;
    for (int i = 0; i < 4; i++)
        input += "menu m" + std::to_string(i) + " { 1 2 \"label " + std::to_string(i) + "\" &next }\n";
    auto work = [&input] {
        FILE *in = fmemopen(input.data(), input.size(), "r");
        char menu[] = "menu", open[] = "{";
        twTklexKey braceKey{nullptr, open, 1, 2};
        twTklexKey menuKey{&braceKey, menu, 4, 1};
        char token[64];
        Word *words = nullptr, *last = nullptr;
        int32_t code, codes = 0;
        while ((code = twTklex(in, token, sizeof token, " \n{}\"", " \n", &menuKey)) >= 0) {
            auto *w = static_cast<Word *>(twMemMalloc(sizeof(Word), "test word"));
            w->text = twStrCpy(token);
            w->code = code;
            codes += code;
            words = static_cast<Word *>(twListSins(w, last, words));
            last = w;
        }
        fclose(in);
        printf("%u %d %s\n", twListSize(words), codes, last->text);
        twListFreeGeneral(words, releaseWord);
    };
    long made = twtest::sweepAllocationFailures(
        work, [](const twtest::ForkResult &r) { EXPECT_EQ("44 12 }\n", r.out); });
    EXPECT_GT(made, 0);
}

}  // namespace
