/* path_fuzz.cpp - arbitrary bytes into every path operation that leaves
 * the file system alone, and into the string tokenizers.
 *
 * Every output is an exact TS_PATH_SIZE-byte heap block, so a write past
 * a path buffer is an address-sanitizer report. Quoted text written with
 * TW_UNTOK_QUOTE must read back unchanged.
 */
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

struct Heap {
    std::unique_ptr<char[]> p;
    explicit Heap(size_t n) : p(new char[n]) { std::memset(p.get(), 'U', n); }
    Heap(const std::string &s, size_t n) : Heap(n)
    {
        size_t k = std::min(s.size(), n - 1);
        std::memcpy(p.get(), s.data(), k);
        p[k] = '\0';
    }
    char *get() { return p.get(); }
};

// An exact-size heap copy of a text, NUL included.
Heap exact(const std::string &s) { return Heap(s, s.size() + 1); }

Heap pathBuf(const std::string &s = "") { return Heap(s, TS_PATH_SIZE); }

void check(bool ok, const char *what, const std::string &text)
{
    if (ok) return;
    std::fprintf(stderr, "property failed: %s for [%s]\n", what, text.c_str());
    std::abort();
}

void fuzzTokenizers(const std::string &seps, const std::string &text)
{
    // Plain tokens into small and exact buffers, to the end.
    for (int size : {1, 3, int{TS_PATH_SIZE}}) {
        Heap buf(static_cast<size_t>(size));
        Heap in = exact(text);
        int guard = 0;
        for (const char *p = in.get(); (p = twStrTok(p, buf.get(), size, seps.c_str())) && guard < 4096;)
            guard++;
        guard = 0;
        for (const char *p = in.get(); (p = twStrTokQuote(p, buf.get(), size, seps.c_str())) && guard < 4096;)
            guard++;
    }
    twStrBuf *sb = twStrBufCreate(0);
    Heap in = exact(text);
    for (const char *p = in.get(); (p = twStrBufTok(p, sb, seps.c_str()));) {}
    for (const char *p = in.get(); (p = twStrBufTokQuote(p, sb, seps.c_str()));) {}

    // Round trip: write quoted, read back the same text as one token. A
    // separator set holding the double quote itself cannot carry quotes.
    twStrBuf *w = twStrBufCreate(0);
    twStrBufUntokQuote(text.c_str(), w, TW_UNTOK_QUOTE, seps.c_str());
    std::string written = twStrBufString(w);
    if (seps.find('"') == std::string::npos) {
        Heap wIn = exact(written);
        const char *p = twStrBufTokQuote(wIn.get(), sb, seps.c_str());
        check(p != nullptr, "quoted text gives a token", text);
        check(text == twStrBufString(sb), "quoted text reads back", text);
        check(twStrBufTokQuote(p, sb, seps.c_str()) == nullptr, "quoted text is one token", text);
        if (text.size() < TS_PATH_SIZE) {
            Heap fixed(TS_PATH_SIZE);
            p = twStrTokQuote(wIn.get(), fixed.get(), TS_PATH_SIZE, seps.c_str());
            check(p != nullptr && text == fixed.get(), "quoted text reads back into a buffer", text);
        }
    }
    twStrBufClear(w);
    twStrBufUntokQuote(text.c_str(), w, TW_UNTOK_DOLLAR | TW_UNTOK_QUOTE, seps.c_str());
    twStrBufDestroy(w);
    twStrBufDestroy(sb);
}

void fuzzPaths(const std::vector<std::string> &parts, const std::string &whole)
{
    Heap in = exact(whole);
    Heap node = pathBuf(), dir = pathBuf(), base = pathBuf(), ext = pathBuf(), file = pathBuf();
    int rc = tsParse(in.get(), node.get(), dir.get(), base.get(), ext.get());
    tsParse2(in.get(), node.get(), dir.get(), file.get());
    if (rc == 0) {
        // Split and joined again, a path comes back without its white space
        // and never longer.
        Heap joined = pathBuf();
        if (tsMerge(joined.get(), node.get(), dir.get(), base.get(), ext.get()[0] ? ext.get() : nullptr) == 0)
            check(std::strlen(joined.get()) <= whole.size(), "join is no longer than the path", whole);
    }

    Heap out = pathBuf("previous");
    tsMerge(out.get(), parts[0].c_str(), parts[1].c_str(), parts[2].c_str(), parts[3].c_str());
    tsMerge(out.get(), nullptr, parts[1].c_str(), parts[2].c_str(), nullptr);

    Heap d = pathBuf(parts[0]);
    tsDnpath(d.get(), parts[1].c_str());

    tsConvPath(in.get(), out.get());
    rc = tsAbsPath2(in.get(), out.get());
    if (rc == 0) check(out.get()[0] == '/', "absolute form begins at the root", whole);
    tsAbsSysPath2(in.get(), out.get());
    tsRelPath2(in.get(), out.get());
    Heap inPlace = pathBuf(whole);
    tsAbsPath(inPlace.get());
    Heap rel = pathBuf(whole);
    tsRelPath(rel.get());

    tsValidFile(in.get());
    tsValidExt(in.get());
    tsValidSpec(in.get());
    for (int restricted : {0, 1}) {
        tcZrFnamesCompatibleV = restricted;
        Heap f = exact(whole);
        tsMakeValidFile(f.get());
        if (f.get()[0]) check(tsValidFile(f.get()) == 1, "a name made valid is valid", whole);
        Heap e = exact(whole);
        tsMakeValidExt(e.get());
        // The path stays in its own buffer: the valid form is never longer.
        Heap s = exact(whole);
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
    all = all.c_str(); // NUL-terminated copy: stops at an embedded NUL

    // First byte: how many of the next bytes form the separator set.
    std::string seps, text = all;
    if (!all.empty()) {
        size_t k = static_cast<unsigned char>(all[0]) % 5;
        seps = all.substr(1, k);
        text = all.size() > 1 + k ? all.substr(1 + k) : std::string();
    }
    fuzzTokenizers(seps, text);

    // Parts for the joins, separated by \x01; HOME from the second one.
    std::vector<std::string> parts(4);
    size_t at = 0;
    for (int i = 0; i < 4; i++) {
        size_t end = i < 3 ? all.find('\x01', at) : std::string::npos;
        parts[i] = all.substr(std::min(at, all.size()), end == std::string::npos ? std::string::npos : end - at);
        if (end == std::string::npos) {
            at = all.size();
        } else {
            at = end + 1;
        }
    }
    if (!parts[1].empty() && parts[1][0] == '/')
        setenv("HOME", parts[1].c_str(), 1);
    else
        unsetenv("HOME");
    fuzzPaths(parts, all);
    return 0;
}
