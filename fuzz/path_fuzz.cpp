/* path_fuzz.cpp - arbitrary bytes into every path operation that leaves
 * the file system alone, and into the string tokenizers.
 *
 * Every output is an exact TS_PATH_SIZE-byte heap block, so a write past
 * a path buffer is an address-sanitizer report. Quoted text written with
 * TW_UNTOK_QUOTE must read back unchanged.
 */
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tslib/fileops.h"
#include "tslib/path.h"
#include "twlib/text/strbuf.h"
#include "twlib/text/strtok.h"

namespace {

using StrBuf = std::unique_ptr<twStrBuf, decltype(&twStrBufDestroy)>;

// A heap block of exactly n bytes (a path buffer by default) holding (the
// start of) a text; the bytes after its NUL are not zero.
struct Heap {
    std::unique_ptr<char[]> p;
    explicit Heap(const std::string &s = "", size_t n = TS_PATH_SIZE) : p(new char[n])
    {
        std::memset(p.get(), 'U', n);
        p[s.copy(p.get(), n - 1)] = '\0';
    }
    operator char *() const { return p.get(); }
};

Heap exact(const std::string &s)
{
    return Heap(s, s.size() + 1);
}

void check(bool ok, const char *what, const std::string &text)
{
    if (ok) return;
    std::fprintf(stderr, "property failed: %s for [%s]\n", what, text.c_str());
    std::abort();
}

// Reads every token of the text; each call must move on.
template <typename Next> void readAll(const Heap &in, const std::string &text, Next next)
{
    for (const char *p = in, *q; (q = next(p)); p = q) check(q > p, "the tokenizer moves on", text);
}

void fuzzTokenizers(const std::string &seps, const std::string &text)
{
    Heap in = exact(text);
    const char *sp = seps.c_str();
    for (int size : {1, 3, int{TS_PATH_SIZE}}) {
        Heap buf("", size);
        for (auto tok : {twStrTok, twStrTokQuote})
            readAll(in, text, [&](const char *p) { return tok(p, buf, size, sp); });
    }
    StrBuf sb(twStrBufCreate(0), twStrBufDestroy), w(twStrBufCreate(0), twStrBufDestroy);
    for (auto tok : {twStrBufTok, twStrBufTokQuote})
        readAll(in, text, [&](const char *p) { return tok(p, sb.get(), sp); });

    // Round trip: write quoted, read back the same text as one token. A
    // separator set holding the double quote itself cannot carry quotes.
    twStrBufUntokQuote(text.c_str(), w.get(), TW_UNTOK_QUOTE, sp);
    Heap written = exact(twStrBufString(w.get())), fixed;
    if (seps.find('"') == std::string::npos) {
        const char *p = twStrBufTokQuote(written, sb.get(), sp);
        check(p != nullptr && text == twStrBufString(sb.get()), "quoted text reads back", text);
        check(twStrBufTokQuote(p, sb.get(), sp) == nullptr, "quoted text is one token", text);
        p = twStrTokQuote(written, fixed, TS_PATH_SIZE, sp);
        check(text.size() >= TS_PATH_SIZE || (p && text == fixed.p.get()),
              "quoted text reads back into a buffer", text);
    }
    twStrBufUntokQuote(text.c_str(), w.get(), TW_UNTOK_DOLLAR | TW_UNTOK_QUOTE, sp);
}

void fuzzPaths(const std::vector<std::string> &parts, const std::string &whole)
{
    Heap in = exact(whole), node, dir, base, ext, out, inPlace(whole), rel(whole), d(parts[0]);
    tsParse2(in, node, dir, out);
    if (tsParse(in, node, dir, base, ext) == 0 && tsMerge(out, node, dir, base, ext[0] ? ext : nullptr) == 0)
        check(std::strlen(out) <= whole.size(), "split and joined, a path is no longer", whole);
    tsMerge(out, parts[0].c_str(), parts[1].c_str(), parts[2].c_str(), parts[3].c_str());
    tsDnpath(d, parts[1].c_str());
    tsConvPath(in, out);
    if (tsAbsPath2(in, out) == 0) check(out[0] == '/', "absolute form begins at the root", whole);
    tsAbsSysPath2(in, out);
    tsRelPath2(in, out);
    tsAbsPath(inPlace);
    tsRelPath(rel);
    tsValidExt(in);
    tsValidSpec(in);
    // Names are made valid in their own exact blocks: never longer. The
    // restricted rules go first, so that the default ones are left on.
    for (int restricted : {1, 0}) {
        tcZrFnamesCompatibleV = restricted;
        Heap f = exact(whole), e = exact(whole), s = exact(whole);
        tsMakeValidFile(f);
        if (f[0]) check(tsValidFile(f) == 1, "a name made valid is valid", whole);
        tsMakeValidExt(e);
        tsMakeValidSpec(s);
    }
    tsSetorigin(in);
    tsGetorigin();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string all = std::string(reinterpret_cast<const char *>(data), size).c_str();  // up to a NUL

    // First byte: how many of the next bytes form the separator set.
    size_t k = all.empty() ? 0 : static_cast<unsigned char>(all[0]) % 5;
    fuzzTokenizers(all.substr(all.empty() ? 0 : 1, k), all.substr(std::min(1 + k, all.size())));

    // Parts for the joins, separated by \x01; HOME from the second one.
    std::istringstream split(all);
    std::vector<std::string> parts(4);
    for (int i = 0; i < 3; i++) std::getline(split, parts[i], '\x01');
    std::getline(split, parts[3], '\0');  // the rest
    parts[1].starts_with("/") ? setenv("HOME", parts[1].c_str(), 1) : unsetenv("HOME");
    fuzzPaths(parts, all);
    return 0;
}
