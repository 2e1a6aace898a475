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
#include <string>
#include <vector>

#include "tslib/fileops.h"
#include "tslib/path.h"
#include "twlib/text/strbuf.h"
#include "twlib/text/strtok.h"

namespace {

// A heap block of exactly n bytes holding (the start of) a text.
struct Heap {
    std::unique_ptr<char[]> p;
    Heap(const std::string &s, size_t n) : p(new char[n])
    {
        std::memset(p.get(), 'U', n);
        size_t k = std::min(s.size(), n - 1);
        std::memcpy(p.get(), s.data(), k);
        p[k] = '\0';
    }
    char *get() { return p.get(); }
};

Heap exact(const std::string &s) { return Heap(s, s.size() + 1); }
Heap pathBuf(const std::string &s = "") { return Heap(s, TS_PATH_SIZE); }

void check(bool ok, const char *what, const std::string &text)
{
    if (ok) return;
    std::fprintf(stderr, "property failed: %s for [%s]\n", what, text.c_str());
    std::abort();
}

// Reads every token of the text; each call must move on.
template <typename Next> void readAll(const Heap &in, const std::string &text, Next next)
{
    for (const char *p = in.p.get(), *q; (q = next(p)); p = q) check(q > p, "the tokenizer moves on", text);
}

void fuzzTokenizers(const std::string &seps, const std::string &text)
{
    Heap in = exact(text);
    const char *sp = seps.c_str();
    for (int size : {1, 3, int{TS_PATH_SIZE}}) {
        Heap buf("", static_cast<size_t>(size));
        readAll(in, text, [&](const char *p) { return twStrTok(p, buf.get(), size, sp); });
        readAll(in, text, [&](const char *p) { return twStrTokQuote(p, buf.get(), size, sp); });
    }
    twStrBuf *sb = twStrBufCreate(0), *w = twStrBufCreate(0);
    readAll(in, text, [&](const char *p) { return twStrBufTok(p, sb, sp); });
    readAll(in, text, [&](const char *p) { return twStrBufTokQuote(p, sb, sp); });

    // Round trip: write quoted, read back the same text as one token. A
    // separator set holding the double quote itself cannot carry quotes.
    twStrBufUntokQuote(text.c_str(), w, TW_UNTOK_QUOTE, sp);
    Heap written = exact(twStrBufString(w));
    if (seps.find('"') == std::string::npos) {
        const char *p = twStrBufTokQuote(written.get(), sb, sp);
        check(p != nullptr && text == twStrBufString(sb), "quoted text reads back", text);
        check(twStrBufTokQuote(p, sb, sp) == nullptr, "quoted text is one token", text);
        Heap fixed = pathBuf();
        p = twStrTokQuote(written.get(), fixed.get(), TS_PATH_SIZE, sp);
        check(text.size() >= TS_PATH_SIZE || (p && text == fixed.get()), "quoted text reads back into a buffer", text);
    }
    twStrBufUntokQuote(text.c_str(), w, TW_UNTOK_DOLLAR | TW_UNTOK_QUOTE, sp);
    twStrBufDestroy(w);
    twStrBufDestroy(sb);
}

void fuzzPaths(const std::vector<std::string> &parts, const std::string &whole)
{
    Heap in = exact(whole), node = pathBuf(), dir = pathBuf(), base = pathBuf(), ext = pathBuf(), out = pathBuf();
    tsParse2(in.get(), node.get(), dir.get(), out.get());
    if (tsParse(in.get(), node.get(), dir.get(), base.get(), ext.get()) == 0 &&
        tsMerge(out.get(), node.get(), dir.get(), base.get(), ext.get()[0] ? ext.get() : nullptr) == 0)
        check(std::strlen(out.get()) <= whole.size(), "split and joined, a path is no longer", whole);
    tsMerge(out.get(), parts[0].c_str(), parts[1].c_str(), parts[2].c_str(), parts[3].c_str());
    Heap d = pathBuf(parts[0]);
    tsDnpath(d.get(), parts[1].c_str());

    tsConvPath(in.get(), out.get());
    if (tsAbsPath2(in.get(), out.get()) == 0) check(out.get()[0] == '/', "absolute form begins at the root", whole);
    tsAbsSysPath2(in.get(), out.get());
    tsRelPath2(in.get(), out.get());
    Heap inPlace = pathBuf(whole), rel = pathBuf(whole);
    tsAbsPath(inPlace.get());
    tsRelPath(rel.get());

    tsValidExt(in.get());
    tsValidSpec(in.get());
    for (int restricted : {0, 1}) {
        tcZrFnamesCompatibleV = restricted;
        // Names are made valid in their own exact blocks: never longer.
        Heap f = exact(whole), e = exact(whole), s = exact(whole);
        tsMakeValidFile(f.get());
        if (f.get()[0]) check(tsValidFile(f.get()) == 1, "a name made valid is valid", whole);
        tsMakeValidExt(e.get());
        tsMakeValidSpec(s.get());
    }
    tcZrFnamesCompatibleV = 0;
    tsSetorigin(in.get());
    tsGetorigin();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string all(reinterpret_cast<const char *>(data), size);
    all = all.c_str(); // stops at an embedded NUL

    // First byte: how many of the next bytes form the separator set.
    size_t k = all.empty() ? 0 : static_cast<unsigned char>(all[0]) % 5;
    fuzzTokenizers(all.substr(all.empty() ? 0 : 1, k), all.substr(std::min(1 + k, all.size())));

    // Parts for the joins, separated by \x01; HOME from the second one.
    std::vector<std::string> parts;
    for (size_t at = 0; parts.size() < 4;) {
        size_t end = parts.size() < 3 ? all.find('\x01', at) : std::string::npos;
        parts.push_back(all.substr(at, end - at));
        at = end == std::string::npos ? all.size() : end + 1;
    }
    parts[1].starts_with("/") ? setenv("HOME", parts[1].c_str(), 1) : unsetenv("HOME");
    fuzzPaths(parts, all);
    return 0;
}
