/* The library's own catalogues against the code that raises their
 * messages: every numbered message the sources of twlib/ and tslib/ build
 * an error or a text from must exist in the catalogue it names, with as
 * many arguments as the call passes and, where the call shows an
 * argument's type (a literal, a cast), that type; the numbers the library's
 * design gives must exist with their arguments whether or not their module
 * has landed. */
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/process.h"
#include "twlib/err/msgcomp.h"
#include "twlib/err/msgfile.h"
#include "twlib/err/tmb_reader.h"
#include "twlib/text/sprintf.h"

namespace {

const std::string kSource = TW_SOURCE_DIR;

int problems(int code, int line, int number, const char *, void *data)
{
    if (code < 0)
        static_cast<std::vector<std::string> *>(data)->push_back(std::to_string(code) + " at line " +
                                                                 std::to_string(line) + " (message " +
                                                                 std::to_string(number) + ")");
    return 0;
}

// The bytes of the catalogue compiled here from its header.
std::string compiledBytes(const std::string &name)
{
    twtest::TempDir dir;
    std::string out = dir.path() + "/" + name + ".tmb";
    FILE *header = fopen((kSource + "/twlib/err/catalog/" + name + ".msg").c_str(), "r");
    EXPECT_NE(nullptr, header) << name;
    if (!header) return "";
    twDufsB *b = twDufsBFopen(out.c_str(), "w");
    std::vector<std::string> found;
    EXPECT_EQ(0, twMsgCompCompile(header, b, problems, &found));
    for (const std::string &p : found) ADD_FAILURE() << name << ".msg: " << p;
    fclose(header);
    twDufsBFclose(b);
    return twtest::readFile(out);
}

// The catalogue compiled here, read back byte by byte.
twtest::TmbFile catalogue(const std::string &name)
{
    twtest::TmbFile f = twtest::readTmb(compiledBytes(name));
    EXPECT_EQ("", f.problem) << name;
    return f;
}

// The library carries each catalogue exactly as its header compiles, for
// programs that find no message file.
TEST(CatalogTest, TheLibraryHoldsTheCompiledCatalogues)
{
    for (const char *name : {"twlib", "tslib"}) {
        size_t size = 1;
        const unsigned char *bytes = twMsg_BuiltinCatalogue(name, &size);
        ASSERT_NE(nullptr, bytes) << name;
        EXPECT_EQ(compiledBytes(name), std::string(reinterpret_cast<const char *>(bytes), size)) << name;
    }
    size_t size = 1;
    EXPECT_EQ(nullptr, twMsg_BuiltinCatalogue("pagelift", &size));
    EXPECT_EQ(0u, size);
    EXPECT_EQ(nullptr, twMsg_BuiltinCatalogue(nullptr, &size));
}

// Short and char travel as int.
int argClass(int code)
{
    return code == TW_SPARG_SHORT || code == TW_SPARG_CHAR ? TW_SPARG_INT : code;
}

const int s = TW_SPARG_STRING, d = TW_SPARG_INT, ld = TW_SPARG_LONG, g = TW_SPARG_DOUBLE;

struct Expected {
    const char *catalogue;
    int number;
    std::vector<int> args;
};

// The numbers of the library's design, with the arguments it gives them.
// 1002 is designed with the name and "tmb" but raised with the name alone:
// its text names the extension itself and takes one argument.
const std::vector<Expected> &designed()
{
    static const std::vector<Expected> all = {
        {"twlib", 1001, {s}},       {"twlib", 1002, {s}},       {"twlib", 1003, {s}},
        {"twlib", 1004, {s}},       {"twlib", 1005, {s}},       {"twlib", 1006, {s}},
        {"twlib", 1007, {s}},       {"twlib", 1020, {}},        {"twlib", 1021, {d, s}},
        {"twlib", 1022, {d, s}},    {"twlib", 1023, {d, s}},    {"twlib", 1101, {}},
        {"twlib", 1104, {}},        {"twlib", 1107, {}},        {"twlib", 1155, {}},
        {"twlib", 1200, {}},        {"twlib", 1201, {s}},       {"twlib", 1300, {d, s}},
        {"twlib", 1301, {}},        {"twlib", 1302, {s}},       {"twlib", 1306, {s, s}},
        {"twlib", 1310, {}},        {"twlib", 1311, {}},        {"twlib", 1312, {s, d, d}},
        {"twlib", 1320, {s, d, d}}, {"twlib", 1400, {s}},       {"twlib", 1401, {s, ld, ld}},
        {"twlib", 1402, {s}},       {"twlib", 1403, {s, g, g}}, {"twlib", 1404, {s, s}},
        {"twlib", 1405, {s}},       {"twlib", 1407, {s}},       {"twlib", 1408, {s, s}},
        {"twlib", 1409, {s, s, s}}, {"twlib", 1414, {s}},       {"twlib", 1415, {s}},
        {"twlib", 1416, {s}},       {"twlib", 1417, {s}},       {"twlib", 1418, {s}},
        {"twlib", 1419, {s}},       {"twlib", 1420, {s, s, s}}, {"twlib", 1500, {s, s, s}},
        {"twlib", 1501, {}},        {"twlib", 1502, {s, s}},    {"twlib", 1503, {}},
        {"twlib", 1504, {}},        {"twlib", 1600, {s}},       {"tslib", 1041, {s}},
    };
    return all;
}

// Help texts of preferences, printed as they stand: no severity, no
// arguments.
bool isHelpText(const std::string &catalogue, int number)
{
    return catalogue == "twlib" && number >= 1144 && number <= 1154;
}

bool hasSeverity(const std::string &text)
{
    return text.size() > 3 && text[0] == '[' && text[2] == ']' &&
           std::string("DSIWEFZ").find(text[1]) != std::string::npos;
}

TEST(CatalogTest, DesignedNumbersExistWithTheirArguments)
{
    std::map<std::string, twtest::TmbFile> files = {{"twlib", catalogue("twlib")},
                                                    {"tslib", catalogue("tslib")}};
    EXPECT_EQ("twlib", files["twlib"].owner);
    EXPECT_EQ("tslib", files["tslib"].owner);
    for (auto &[name, file] : files) {
        EXPECT_EQ("5.0", file.release) << name;
        EXPECT_EQ(5, file.header[1]) << name;
        for (auto &[number, m] : file.messages) {
            if (isHelpText(name, number)) {
                EXPECT_FALSE(m.text.empty()) << number;
                EXPECT_TRUE(m.args.empty()) << number;
                EXPECT_NE('[', m.text[0]) << number;
            } else {
                EXPECT_TRUE(hasSeverity(m.text)) << name << " " << number << ": " << m.text;
            }
        }
    }
    for (int n = 1144; n <= 1154; n++) EXPECT_EQ(1u, files["twlib"].messages.count(n)) << n;
    for (const Expected &e : designed()) {
        auto &messages = files[e.catalogue].messages;
        ASSERT_EQ(1u, messages.count(e.number)) << e.catalogue << " lacks " << e.number;
        EXPECT_EQ(e.args, messages[e.number].args) << e.catalogue << " " << e.number;
    }
}

/* ---- scanning the sources ---- */

// The arguments of the call whose "(" is at 'open', split at top-level
// commas, trimmed; false when the call does not close.
bool callArguments(const std::string &text, size_t open, std::vector<std::string> *args)
{
    int depth = 0;
    std::string current;
    for (size_t i = open; i < text.size(); i++) {
        char c = text[i];
        if (c == '"' || c == '\'') {
            size_t j = i + 1;
            while (j < text.size() && text[j] != c) j += text[j] == '\\' ? 2 : 1;
            if (depth >= 1) current += text.substr(i, j - i + 1);
            i = j;
            continue;
        }
        if (c == '(' || c == '[' || c == '{') {
            if (depth++ == 0) continue;
        } else if (c == ')' || c == ']' || c == '}') {
            if (--depth == 0) {
                args->push_back(current);
                for (std::string &a : *args) {
                    size_t b = a.find_first_not_of(" \t\n");
                    size_t e = a.find_last_not_of(" \t\n");
                    a = b == std::string::npos ? "" : a.substr(b, e - b + 1);
                }
                return true;
            }
        } else if (c == ',' && depth == 1) {
            args->push_back(current);
            current.clear();
            continue;
        }
        current += c;
    }
    return false;
}

// The type an argument shows, or 0 when it shows none.
int shownType(const std::string &a)
{
    if (a.empty()) return 0;
    if (a[0] == '"') return TW_SPARG_STRING;
    if (a[0] == '\'') return TW_SPARG_INT;
    auto startsWith = [&](const char *p) { return a.rfind(p, 0) == 0; };
    if (startsWith("(long)") || startsWith("static_cast<long>")) return TW_SPARG_LONG;
    if (startsWith("(int)") || startsWith("static_cast<int>")) return TW_SPARG_INT;
    if (startsWith("(double)") || startsWith("static_cast<double>")) return TW_SPARG_DOUBLE;
    if (startsWith("(int64_t)") || startsWith("static_cast<int64_t>") || startsWith("(twInt64)"))
        return TW_SPARG_INT64;
    if (a.find_first_not_of("-0123456789") == std::string::npos) return TW_SPARG_INT;
    if (a.find_first_not_of("-0123456789") == a.size() - 1 && (a.back() == 'L' || a.back() == 'l'))
        return TW_SPARG_LONG;
    if (a.find_first_not_of("-0123456789.e") == std::string::npos && a.find('.') != std::string::npos)
        return TW_SPARG_DOUBLE;
    return 0;
}

struct Call {
    std::string where;
    std::string catalogue;
    int number;
    std::vector<std::string> args;  // the message's arguments
    bool counted;                   // false: a va_list passes them
};

// Raising and building calls: where the message number stands, where the
// message file (or catalogue name) stands, and whether arguments follow.
struct CallForm {
    const char *name;
    int file;  // -1: the library's own catalogue
    int number;
    int firstArg;  // -1: no message arguments; -2: a va_list
};
const CallForm kForms[] = {
    {"tw_RaiseBuild", 2, 3, 4},
    {"tw_RaiseBuildVa", 2, 3, -2},
    {"twExThrowBuild", 2, 3, 4},
    {"twExThrowBuildVa", 2, 3, -2},
    {"twEx_PreCond", 1, 2, 3},
    {"twEx_PostCond", 1, 2, 3},
    {"twExPrecond", 1, 2, 3},
    {"twErrBuild", 1, 2, 3},
    {"twErrBuildVa", 1, 2, -2},
    {"twErrOutBuild", 2, 3, 4},
    {"twErrOutBuildVa", 2, 3, -2},
    {"twErrReportBuild", 2, 3, 4},
    {"twErrReportBuildVa", 2, 3, -2},
    {"twMsgAlloc", 0, 1, 2},
    {"twMsgStatic", 0, 1, 2},
    {"twMsgStaticVa", 0, 1, -2},
    {"twMsgBuffer", 0, 1, 4},
    {"twMsgGenerate", 0, 1, 4},
    {"twMsgGenerateVa", 0, 1, -2},
    {"twMsgText", 0, 1, -1},
    {"twPrefAdd2", 3, 4, -1},
    {"twPrefReplace2", 3, 4, -1},
    // Modules' own raising fronts over the library's catalogue (file -1):
    // the type parsers' refuse(number, ...) and the binary streams'
    // raiseMessage(tag, routine, file name, number, ...).
    {"refuse", -1, 0, 1},
    {"raiseMessage", -1, 3, 4},
};

bool identChar(char c)
{
    return isalnum(static_cast<unsigned char>(c)) || c == '_';
}

std::vector<Call> scan()
{
    std::vector<Call> calls;
    for (const char *top : {"twlib", "tslib"}) {
        for (const auto &entry : std::filesystem::recursive_directory_iterator(kSource + "/" + top)) {
            std::string path = entry.path().string();
            if (path.size() < 4 || path.compare(path.size() - 4, 4, ".cpp") != 0) continue;
            std::string text = twtest::readFile(path);
            for (const CallForm &form : kForms) {
                std::string name = form.name;
                for (size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + 1)) {
                    size_t open = at + name.size();
                    if ((at > 0 && identChar(text[at - 1])) || open >= text.size() || text[open] != '(')
                        continue;
                    std::vector<std::string> args;
                    if (!callArguments(text, open, &args)) continue;
                    if ((int)args.size() <= form.number) continue;  // a declaration or a macro
                    const std::string &n = args[form.number];
                    // Only literal numbers; 0 stands where no message is meant
                    // (twExPrecond(0, ...) of a condition that holds).
                    if (n.empty() || n.find_first_not_of("0123456789") != std::string::npos ||
                        std::stoi(n) == 0)
                        continue;
                    Call c;
                    c.where = path.substr(kSource.size() + 1) + " (" + name + ")";
                    const std::string file = form.file >= 0 ? args[form.file] : "";
                    c.catalogue =
                        file.find("tslib") != std::string::npos || file.find("tsMsgFile") != std::string::npos
                            ? "tslib"
                            : "twlib";
                    c.number = std::stoi(n);
                    c.counted = form.firstArg != -2;
                    if (form.firstArg >= 0)
                        c.args.assign(args.begin() + std::min<size_t>(form.firstArg, args.size()),
                                      args.end());
                    calls.push_back(c);
                }
            }
        }
    }
    return calls;
}

TEST(CatalogTest, EveryNumberRaisedInTheCodeExistsWithMatchingArguments)
{
    std::map<std::string, twtest::TmbFile> files = {{"twlib", catalogue("twlib")},
                                                    {"tslib", catalogue("tslib")}};
    std::vector<Call> calls = scan();
    // The code raises at least the numbers of the modules already in place.
    EXPECT_GE(calls.size(), 20u);
    for (const Call &c : calls) {
        auto &messages = files[c.catalogue].messages;
        auto it = messages.find(c.number);
        if (it == messages.end()) {
            ADD_FAILURE() << c.where << " uses " << c.catalogue << " " << c.number
                          << ", which the catalogue lacks";
            continue;
        }
        const twtest::TmbMessage &m = it->second;
        if (!isHelpText(c.catalogue, c.number)) {
            EXPECT_TRUE(hasSeverity(m.text)) << c.where << ": " << c.number << " has no severity";
        }
        if (!c.counted) continue;
        ASSERT_EQ(m.args.size(), c.args.size()) << c.where << " passes " << c.args.size() << " arguments to "
                                                << c.catalogue << " " << c.number << ": " << m.text;
        for (size_t i = 0; i < c.args.size(); i++) {
            int shown = shownType(c.args[i]);
            if (shown) {
                EXPECT_EQ(argClass(m.args[i]), argClass(shown))
                    << c.where << ": argument " << i + 1 << " (" << c.args[i] << ") of " << c.number << ": "
                    << m.text;
            }
        }
    }
}

// The scan itself must see a call, its catalogue and its arguments.
TEST(CatalogTest, ScanReadsCallsAsTheCodeWritesThem)
{
    std::vector<std::string> args;
    std::string text = "twEx_PreCond(\"f(,)\", twEx_LibraryMessageFile(\"tslib\"), 1041, a(b, c), 'x', 5L)";
    ASSERT_TRUE(callArguments(text, text.find('('), &args));
    ASSERT_EQ(6u, args.size());
    EXPECT_EQ("\"f(,)\"", args[0]);
    EXPECT_EQ("a(b, c)", args[3]);
    EXPECT_EQ(TW_SPARG_STRING, shownType(args[0]));
    EXPECT_EQ(0, shownType(args[3]));
    EXPECT_EQ(TW_SPARG_INT, shownType(args[4]));
    EXPECT_EQ(TW_SPARG_LONG, shownType(args[5]));
    EXPECT_EQ(TW_SPARG_LONG, shownType("(long)n"));
}

}  // namespace
