/* literal.cpp - source-style literals and the character-set selector.
 *
 * Bytes are handled as unsigned char throughout, so a byte from 128 up is
 * escaped by its value 128..255 and a delimiter above 127 matches.
 */
#include "twlib/text/literal.h"

#include <climits>
#include <cstring>

int twStrCvtChrsetIs = 1;

int twStrCvtChrset(int set)
{
    if (set != 1 && set != 2) return 0;
    twStrCvtChrsetIs = set;
    return 1;
}

namespace {

constexpr int kNothing = -1;  // a line continuation produces no byte

// Decodes the escape whose first character after the backslash is at p (not
// the end of the text). Stores the byte, or kNothing, in *out and returns
// how many characters the escape took after the backslash.
size_t decodeEscape(const unsigned char *p, int *out)
{
    static const char letters[] = "ntbrfv", bytes[] = "\n\t\b\r\f\v";
    if (*p == '\n') {
        *out = kNothing;
        return 1;
    }
    if (const char *l = strchr(letters, *p)) {
        *out = bytes[l - letters];
        return 1;
    }
    if (*p < '0' || *p > '7') {
        *out = *p;
        return 1;
    }
    unsigned value = *p - '0';
    size_t n = 1;
    // A third digit, or a second one, that would pass 255 stays text: \400
    // is the byte 32 and then the character 0.
    while (n < 3 && p[n] >= '0' && p[n] <= '7' && value * 8 + (p[n] - '0') <= 255) {
        value = value * 8 + (p[n] - '0');
        n++;
    }
    *out = static_cast<int>(value);
    return n;
}

// The escape of c into piece (no terminator); returns its length, 1 for a
// character that stands for itself.
size_t encodeByte(unsigned char c, char piece[4])
{
    static const char bytes[] = "\b\t\n\v\f\r\"\\", letters[] = "btnvfr\"\\";
    if (const char *b = c ? strchr(bytes, c) : nullptr) {
        piece[0] = '\\';
        piece[1] = letters[b - bytes];
        return 2;
    }
    if (c < 32 || c >= 127) {
        piece[0] = '\\';
        piece[1] = static_cast<char>('0' + (c >> 6));
        piece[2] = static_cast<char>('0' + ((c >> 3) & 7));
        piece[3] = static_cast<char>('0' + (c & 7));
        return 4;
    }
    piece[0] = static_cast<char>(c);
    return 1;
}

// Appends n bytes in pieces the string buffer's int count can take.
void appendRun(twStrBuf *buf, const char *s, size_t n)
{
    while (n > 0) {
        int part = n > INT_MAX / 2 ? INT_MAX / 2 : static_cast<int>(n);
        twStrBufAppendN(buf, s, part);
        s += part;
        n -= static_cast<size_t>(part);
    }
}

}  // namespace

const char *twStrCvtFromLiteral(const char *src, char *dst, int size, int openQuote, int closeChar)
{
    if (!src || !dst || size < 1) return nullptr;
    const auto *p = reinterpret_cast<const unsigned char *>(src);
    int close = -1;  // the closing delimiter, or -1 for the end of src
    auto open = static_cast<unsigned char>(openQuote);
    auto closing = static_cast<unsigned char>(closeChar);
    if (open) {
        const char *q = strchr(src, open);
        if (!q) {
            dst[0] = '\0';
            return nullptr;
        }
        p = reinterpret_cast<const unsigned char *>(q) + 1;
        close = open;
    } else if (closing) {
        close = closing;
    } else if (*p == '"' || *p == '\'') {
        close = *p++;
    }

    size_t room = static_cast<size_t>(size) - 1;
    char *d = dst;
    for (;;) {
        // The end and the closing delimiter are met even when the room has
        // run out, so a literal that fits exactly is consumed whole.
        if (*p == '\0') {
            *d = '\0';
            return close < 0 ? reinterpret_cast<const char *>(p) : nullptr;
        }
        if (*p == close) {
            *d = '\0';
            return reinterpret_cast<const char *>(p + 1);
        }
        if (room == 0) {
            *d = '\0';
            return reinterpret_cast<const char *>(p);
        }
        room--;
        if (*p != '\\') {
            *d++ = static_cast<char>(*p++);
            continue;
        }
        p++;
        if (*p == '\0') {  // a final backslash: a NUL byte, then the end
            *d++ = '\0';
            continue;
        }
        int byte;
        p += decodeEscape(p, &byte);
        if (byte != kNothing) *d++ = static_cast<char>(byte);
    }
}

twStrBuf *twStrCvtFromLiteralAlloc(const char *src)
{
    if (!src) return nullptr;
    twStrBuf *buf = twStrBufCreate(16);
    const auto *p = reinterpret_cast<const unsigned char *>(src);
    for (;;) {
        const char *slash = strchr(reinterpret_cast<const char *>(p), '\\');
        size_t run = slash ? static_cast<size_t>(slash - reinterpret_cast<const char *>(p))
                           : strlen(reinterpret_cast<const char *>(p));
        appendRun(buf, reinterpret_cast<const char *>(p), run);
        if (!slash || slash[1] == '\0') break;
        p = reinterpret_cast<const unsigned char *>(slash) + 1;
        int byte;
        p += decodeEscape(p, &byte);
        if (byte != kNothing) twStrBufAppendChar(buf, byte);
    }
    return buf;
}

char *twStrCvtToAscii(const char *src, char *dst, int size)
{
    if (!src || !dst || size < 1) return nullptr;
    size_t room = static_cast<size_t>(size) - 1;  // the terminator always fits
    char *d = dst;
    for (const char *s = src; *s; s++) {
        char piece[4];
        size_t n = encodeByte(static_cast<unsigned char>(*s), piece);
        if (n > room) break;
        memcpy(d, piece, n);
        d += n;
        room -= n;
    }
    *d = '\0';
    return dst;
}

twStrBuf *twStrCvtToAsciiAlloc(const char *src)
{
    if (!src) return nullptr;
    twStrBuf *buf = twStrBufCreate(16);
    const char *run = src;  // plain characters not yet appended
    const char *s = src;
    for (; *s; s++) {
        char piece[4];
        size_t n = encodeByte(static_cast<unsigned char>(*s), piece);
        if (n == 1) continue;
        appendRun(buf, run, static_cast<size_t>(s - run));
        appendRun(buf, piece, n);
        run = s + 1;
    }
    appendRun(buf, run, static_cast<size_t>(s - run));
    return buf;
}
