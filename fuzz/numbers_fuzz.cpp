/* numbers_fuzz.cpp - arbitrary bytes into the 64-bit reader and writer, the
 * literal decoders and encoders, and the 4-state radix conversions.
 *
 * The first bytes choose bases, widths, precisions and flags; the rest is
 * the text. Every output buffer is an exact heap block of the size the
 * interface promises to stay within, so an overrun is an address-sanitizer
 * report. Properties checked: the writer's text reads back to its value and
 * is exactly as wide as asked; encoding then decoding a literal gives the
 * text back; decimal, octal and hexadecimal bits written back come out the
 * same digits; bits of up to 64 give the decimal value the platform prints.
 */
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "twlib/cvt/radix.h"
#include "twlib/cvt/twint64.h"
#include "twlib/text/literal.h"
#include "twlib/text/strbuf.h"

namespace {

void check(bool ok, const char *what, const std::string &text)
{
    if (ok) return;
    std::fprintf(stderr, "property failed: %s for [%s]\n", what, text.c_str());
    std::abort();
}

struct Heap {
    std::unique_ptr<char[]> p;
    explicit Heap(size_t n) : p(new char[n]) { std::memset(p.get(), 'U', n); }
    operator char *() const { return p.get(); }
};

void int64s(const uint8_t *data, size_t size, const std::string &text)
{
    int readBase = size > 0 ? data[0] % 40 : 0;
    char *end = nullptr;
    twInt64 v = twInt64CvtFromStr(text.c_str(), &end, readBase);
    check(end >= text.c_str() && end <= text.c_str() + text.size(), "end inside the text", text);

    int base = size > 1 ? 2 + data[1] % 15 : 10;
    int width = size > 2 ? data[2] % 100 : 0;
    int precision = size > 3 ? data[3] % 90 - 5 : 1;
    long flags = size > 5 ? data[4] | (data[5] << 8) : 0;
    std::string s = twInt64CvtToStrEx(v, base, width, precision, flags);
    long justify = flags & TW_INT64_JUSTIFY;
    if (justify == TW_INT64_RIGHT || justify == TW_INT64_LEFT || justify == TW_INT64_ZEROFILL)
        check(s.size() >= static_cast<size_t>(width), "at least as wide as asked", text);
    // Strip the padding and prefix, then read the digits back.
    size_t a = s.find_first_not_of(' ');
    std::string body = a == std::string::npos ? "" : s.substr(a, s.find_last_not_of(' ') - a + 1);
    bool neg = !body.empty() && body[0] == '-';
    if (!body.empty() && (body[0] == '-' || body[0] == '+' || body[0] == ' ')) body.erase(0, 1);
    if ((flags & TW_INT64_ALT) && base == 16) body.erase(0, 2);
    twInt64 back = twInt64CvtFromStr(body.c_str(), nullptr, base);
    check((neg ? 0 - static_cast<uint64_t>(back) : static_cast<uint64_t>(back)) == static_cast<uint64_t>(v),
          "written value reads back", text);
}

void literals(const uint8_t *data, size_t size, const std::string &text)
{
    int room = size > 0 ? data[0] % 64 + 1 : 1;
    int open = size > 1 && data[1] % 3 == 0 ? '"' : 0;
    int close = size > 1 && data[1] % 3 == 1 ? ';' : 0;
    Heap dst(static_cast<size_t>(room));
    const char *r = twStrCvtFromLiteral(text.c_str(), dst, room, open, close);
    check(!r || (r >= text.c_str() && r <= text.c_str() + text.size()), "result inside the text", text);

    twStrBuf *enc = twStrCvtToAsciiAlloc(text.c_str());
    twStrBuf *dec = twStrCvtFromLiteralAlloc(twStrBufString(enc));
    check(text == twStrBufString(dec), "encoding decodes to the text", text);
    Heap fixed(static_cast<size_t>(room));
    twStrCvtToAscii(text.c_str(), fixed, room);
    check(std::strncmp(fixed, twStrBufString(enc), std::strlen(fixed)) == 0,
          "a short encoding is a prefix of the whole", text);
    twStrBufDestroy(enc);
    twStrBufDestroy(dec);
    twStrBufDestroy(twStrCvtFromLiteralAlloc(text.c_str()));
}

void radix(const std::string &text)
{
    size_t n = text.size();
    Heap bits(4 * n + 33 + 3);
    int kind = twCvtStrBin(text.c_str(), bits);
    check(kind == 0 || twCvtIsBinary(bits), "a converted value is a bit string", text);
    twCvtHexBin(text.c_str(), Heap(4 * n + 1));
    twCvtOctBin(text.c_str(), Heap(3 * n + 1));
    twCvtDecBin(text.c_str(), Heap((n > 32 ? n : 32) + 1));

    Heap oct(n + 4), hex(n + 4), dec(n + 4);
    twCvtBinOct(text.c_str(), oct, 1);
    twCvtBinHex(text.c_str(), hex, 1);
    twCvtBinDec(text.c_str(), dec, 1);
    if (n > 0 && n <= 64 && text.find_first_not_of("01") == std::string::npos) {
        uint64_t value = 0;
        for (char c : text) value = value * 2 + (c == '1');
        std::string d = static_cast<char *>(dec);
        d = d.substr(0, d.size() - 2);  // the mark
        size_t nz = d.find_first_not_of('0');
        check(d.substr(nz == std::string::npos ? d.size() - 1 : nz) == std::to_string(value),
              "bits to decimal", text);
    }
    if (kind == 16 && n < 40) {
        Heap back(n + 3);
        twCvtBinHex(bits, back, 0);
        std::string digits = text.substr(0, n - 2);
        for (char &c : digits)
            if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
        bool states = digits.find_first_of("xXzZ") != std::string::npos;
        check(states || digits == static_cast<char *>(back), "hexadecimal digits come back", text);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    size_t skip = size < 6 ? size : 6;
    std::string text(reinterpret_cast<const char *>(data) + skip, size - skip);
    text = text.c_str();  // up to the first NUL: these are C strings
    int64s(data, size, text);
    literals(data, size, text);
    radix(text);
    return 0;
}
