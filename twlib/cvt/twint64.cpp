/* twint64.cpp - signed 64-bit integers: power, reading and writing.
 *
 * All arithmetic runs on uint64_t, where wrapping is defined; a value
 * becomes signed again only at the end (modulo 2^64, as C++20 defines it).
 * The writer assembles sign, prefix, zeros, digits and padding straight into
 * its one result buffer, which grows and never shrinks.
 */
#include "twlib/cvt/twint64.h"

#include <cstring>

#include "twlib/core/exit.h"
#include "twlib/core/fault.h"
#include "twlib/core/mem.h"

const twInt64Range twInt64FullRange = {INT64_MIN, INT64_MAX};

// The writer's result. Its exit handler frees it and forgets it, so a call
// after the handlers have run (twOnExitCall) starts a new buffer instead of
// writing into the freed one.
static char *resultBuf;
static size_t resultCap;

static void freeResultBuf(void *buf)
{
    twMemFree(buf);
    if (buf == resultBuf) {
        resultBuf = nullptr;
        resultCap = 0;
    }
}

static char *resultRoom(size_t need)
{
    if (need > resultCap) {
        char *old = resultBuf;
        resultBuf = static_cast<char *>(twMemRealloc(old, static_cast<uint32_t>(need), "twStaticBuffer"));
        resultCap = need;
        if (old) twOnExitRemove(freeResultBuf, old);
        twOnExitAdd(freeResultBuf, resultBuf);
    }
    return resultBuf;
}

twInt64 twInt64Pow(twInt64 base, twInt64 exponent)
{
    if (exponent < 0) tw_AssertFail("twint64", 228, "Negative number poassed to twInt64Pow");
    uint64_t b = static_cast<uint64_t>(base);
    uint64_t result = 1;
    for (uint64_t e = static_cast<uint64_t>(exponent); e > 0; e >>= 1) {
        if (e & 1) result *= b;
        b *= b;
    }
    return static_cast<twInt64>(result);
}

static bool isSpace(unsigned char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The digit value of c, or a value no base accepts.
static int digitValue(unsigned char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return 99;
}

twInt64 twInt64CvtFromStr(const char *text, char **end, int base)
{
    if (!text) {
        if (end) *end = nullptr;
        return 0;
    }
    const unsigned char *p = reinterpret_cast<const unsigned char *>(text);
    while (isSpace(*p)) p++;
    bool negative = false;
    if (*p == '-') {
        negative = true;
        p++;
    }
    if ((base == 0 || base == 16) && *p == '0') {
        p++;
        if (*p == 'x') {
            p++;
            base = 16;
        } else if (base == 0) {
            base = 8;
        }
    } else if (base == 0) {
        base = 10;
    }
    uint64_t value = 0;
    for (;;) {
        int d = digitValue(*p);
        // Letters count only in bases above 10, so base 10 stops at 'a'
        // even though its value would pass a larger base.
        if (d >= base || (d >= 10 && base <= 10)) break;
        value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
        p++;
    }
    if (end) *end = const_cast<char *>(reinterpret_cast<const char *>(p));
    return static_cast<twInt64>(negative ? 0 - value : value);
}

char *twInt64CvtToStrEx(twInt64 value, int base, int width, int precision, long flags)
{
    if (base < 2 || base > 16) tw_AssertFailF("twint64", 412, "Base %d not in range 2..16", base);
    if (width < 0) width = 0;
    if (precision < 0) precision = 0;

    // Room for the widest field and for the longest number: 64 binary
    // digits or 'precision' zeros, with a sign and a two-character prefix.
    size_t need = 75;
    if (static_cast<size_t>(width) + 2 > need) need = static_cast<size_t>(width) + 2;
    if (static_cast<size_t>(precision) + 4 > need) need = static_cast<size_t>(precision) + 4;
    char *out = resultRoom(need);

    bool isUnsigned = flags & TW_INT64_UNSIGNED;
    bool negative = !isUnsigned && value < 0;
    uint64_t mag = static_cast<uint64_t>(value);
    if (negative) mag = 0 - mag;

    char sign = 0;
    long signField = flags & TW_INT64_SIGN;
    if (negative)
        sign = '-';
    else if (!isUnsigned && signField == TW_INT64_PLUS)
        sign = '+';
    else if (!isUnsigned && signField == TW_INT64_BLANK)
        sign = ' ';

    const char *prefix = "";
    if (flags & TW_INT64_ALT) {
        if (base == 8)
            prefix = "0";
        else if (base == 16)
            prefix = (flags & TW_INT64_UPPER) ? "0X" : "0x";
    }
    size_t prefixLen = strlen(prefix);

    const char *digitSet = (flags & TW_INT64_UPPER) ? "0123456789ABCDEF" : "0123456789abcdef";
    char digits[64];
    size_t nDigits = 0;
    for (uint64_t m = mag; m != 0; m /= static_cast<unsigned>(base))
        digits[nDigits++] = digitSet[m % static_cast<unsigned>(base)];

    size_t nZeros = 0;
    if (static_cast<size_t>(precision) > nDigits) nZeros = static_cast<size_t>(precision) - nDigits;
    long justify = flags & TW_INT64_JUSTIFY;
    size_t fixed = (sign ? 1 : 0) + prefixLen;
    if (justify == TW_INT64_ZEROFILL && nZeros + nDigits + fixed < static_cast<size_t>(width))
        nZeros = static_cast<size_t>(width) - nDigits - fixed;

    size_t textLen = fixed + nZeros + nDigits;
    size_t padLen = textLen < static_cast<size_t>(width) ? static_cast<size_t>(width) - textLen : 0;
    char *p = out;
    if (justify == TW_INT64_RIGHT) {
        memset(p, ' ', padLen);
        p += padLen;
    }
    if (sign) *p++ = sign;
    memcpy(p, prefix, prefixLen);
    p += prefixLen;
    memset(p, '0', nZeros);
    p += nZeros;
    while (nDigits > 0) *p++ = digits[--nDigits];
    if (justify == TW_INT64_LEFT) {
        memset(p, ' ', padLen);
        p += padLen;
    }
    *p = '\0';
    return out;
}

char *twInt64CvtToStr(twInt64 value, int base)
{
    return twInt64CvtToStrEx(value, base, 0, 1, 0);
}
