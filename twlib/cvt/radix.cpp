/* radix.cpp - 4-state logic values between binary and octal, hexadecimal
 * and decimal text.
 *
 * Grouping into octal and hexadecimal digits is aligned to the least
 * significant end, so the leftmost group may be short. Bits to decimal of
 * more than 32 bits runs on base-10^9 limbs, taking 32 bits per pass.
 */
#include "twlib/cvt/radix.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "twlib/core/mem.h"
#include "twlib/text/str.h"

namespace {

bool isState(char c)
{
    return c == '0' || c == '1' || c == 'X' || c == 'x' || c == 'Z' || c == 'z';
}

bool isZ(char c)
{
    return c == 'Z' || c == 'z';
}

bool isBit(char c)
{
    return c == '0' || c == '1';
}

// Appends "\<letter>" when asked to mark with exactly 1.
void markOutput(char *end, int mark, char letter)
{
    if (mark == 1) {
        end[0] = '\\';
        end[1] = letter;
        end += 2;
    }
    *end = '\0';
}

// Digits of the largest value of n bits: ceil(n log10 2).
size_t decimalDigits(size_t n)
{
    return static_cast<size_t>(std::ceil(static_cast<double>(n) * 0.3010299956639812));
}

// Writes one group of 'width' bits per digit (3 or 4) for every character
// of 'digits', as twCvtHexBin and twCvtOctBin describe.
int digitsToBits(const char *digits, char *out, int width)
{
    if (!digits || !out) return 0;
    int ok = 1;
    char *o = out;
    for (const char *p = digits; *p; p++) {
        char c = *p;
        int value = -1;
        if (c >= '0' && c <= '9')
            value = c - '0';
        else if (width == 4 && c >= 'a' && c <= 'f')
            value = c - 'a' + 10;
        else if (width == 4 && c >= 'A' && c <= 'F')
            value = c - 'A' + 10;
        if (value >= (1 << width)) value = -1;  // 8 and 9 in octal
        if (value >= 0) {
            for (int b = width - 1; b >= 0; b--) *o++ = ((value >> b) & 1) ? '1' : '0';
            continue;
        }
        char fill = 'X';
        if (c == 'X' || c == 'x' || isZ(c))
            fill = c;
        else
            ok = 0;
        for (int b = 0; b < width; b++) *o++ = fill;
    }
    *o = '\0';
    return ok;
}

// Writes the bit string grouped into octal (3) or hexadecimal (4) digits.
void bitsToGroups(const char *bits, char *out, int group)
{
    size_t n = strlen(bits);
    size_t count = (n + group - 1) / group;
    bool allZ = true;
    for (size_t i = 0; i < n && allZ; i++) allZ = isZ(bits[i]);
    if (allZ) {
        memset(out, 'Z', count);
        out[count] = '\0';
        return;
    }
    size_t first = n % group ? n % group : group;
    const char *g = bits;
    for (size_t d = 0; d < count; d++) {
        size_t len = d == 0 ? first : group;
        bool z = true, binary = true;
        unsigned value = 0;
        for (size_t i = 0; i < len; i++) {
            z = z && isZ(g[i]);
            binary = binary && isBit(g[i]);
            value = value * 2 + (g[i] == '1');
        }
        out[d] = z ? 'Z' : binary ? "0123456789abcdef"[value] : 'X';
        g += len;
    }
    out[count] = '\0';
}

// Writes the pure-binary string of n bits (n > 32) as exactly 'digits'
// decimal digits, or more should the value need them.
char *bigBinaryToDecimal(const char *bits, size_t n, size_t digits, char *out)
{
    constexpr uint32_t kLimb = 1000000000;  // nine decimal digits per limb
    // Every limb but the top one holds more than 29 bits of the value, so
    // n / 29 + 2 limbs hold it, whatever the rounding of 'digits'.
    size_t cap = n / 29 + 2;
    auto *limbs = static_cast<uint32_t *>(twMem_FastMalloc(cap * sizeof(uint32_t)));
    size_t count = 0;  // limbs in use, least significant first
    for (size_t i = 0; i < n;) {
        // Shift in up to 32 bits at a time: limb * 2^32 + carry < 2^64.
        size_t take = n - i < 32 ? n - i : 32;
        uint64_t carry = 0;
        for (size_t k = 0; k < take; k++) carry = carry * 2 + (bits[i + k] == '1');
        i += take;
        for (size_t l = 0; l < count; l++) {
            uint64_t v = (static_cast<uint64_t>(limbs[l]) << take) + carry;
            limbs[l] = static_cast<uint32_t>(v % kLimb);
            carry = v / kLimb;
        }
        for (; carry; carry /= kLimb) limbs[count++] = static_cast<uint32_t>(carry % kLimb);
    }
    // The top limb without its leading zeros, then nine digits per limb.
    char top[10];
    size_t topLen = 0;
    for (uint32_t v = count ? limbs[count - 1] : 0; v; v /= 10)
        top[topLen++] = static_cast<char>('0' + v % 10);
    size_t used = topLen + (count ? 9 * (count - 1) : 0);
    size_t pad = used < digits ? digits - used : 0;
    char *o = out;
    memset(o, '0', pad);
    o += pad;
    while (topLen > 0) *o++ = top[--topLen];
    for (size_t l = count - (count ? 1 : 0); l-- > 0; o += 9) {
        uint32_t v = limbs[l];
        for (int k = 8; k >= 0; k--, v /= 10) o[k] = static_cast<char>('0' + v % 10);
    }
    twMem_FastFree(limbs);
    return o;
}

}  // namespace

int twCvtIsBinary(const char *bits)
{
    if (!bits) return 0;
    for (const char *p = bits; *p; p++)
        if (!isState(*p)) return 0;
    return 1;
}

int twCvtHexBin(const char *digits, char *out)
{
    return digitsToBits(digits, out, 4);
}

int twCvtOctBin(const char *digits, char *out)
{
    return digitsToBits(digits, out, 3);
}

int twCvtDecBin(const char *text, char *out)
{
    if (!text || !out) return 0;
    size_t len = strlen(text);
    if (twStrIsnum(text) && !strchr(text, '.')) {
        // The number test lets exponents through ("1e3", even "+e5"); the
        // integer reading would stop at the 'e' and give the bits of 1, so
        // only a text that is an integer throughout is taken.
        errno = 0;
        char *end;
        long long whole = strtoll(text, &end, 10);
        if (end == text || *end != '\0' || errno == ERANGE) return 0;
        double real = strtod(text, nullptr);
        if (real > 4294967295.0 || real < -2147483648.0) return 0;
        if (whole > 4294967295LL || whole < -2147483648LL) return 0;
        // 32 bits of the value; 2147483648..4294967295 take their unsigned pattern.
        uint32_t pattern = static_cast<uint32_t>(whole);
        static const int widths[] = {4, 7, 10, 14, 17, 20, 24, 27, 30};
        int width = len <= 9 ? widths[len - 1] : 32;
        char *o = out;
        bool one = false;
        for (int b = 31; b >= 0; b--) {
            bool bit = (pattern >> b) & 1;
            one = one || bit;
            if (one || b < width) *o++ = bit ? '1' : '0';
        }
        *o = '\0';
        return 1;
    }
    char first = text[0];
    if (first != 'X' && first != 'x' && !isZ(first)) return 0;
    for (const char *p = text; *p; p++)
        if (*p != first) return 0;
    memcpy(out, text, len + 1);
    return 1;
}

int twCvtStrBin(const char *text, char *out)
{
    if (!text || !out) return 0;
    size_t len = strlen(text);
    if (len >= 3 && text[len - 2] == '\\') {
        if (len - 1 > INT_MAX) return 0;
        char *body = twStrAlloc(static_cast<int>(len - 1));
        memcpy(body, text, len - 2);
        body[len - 2] = '\0';
        int result = 0;
        switch (text[len - 1]) {
        case 'H':
        case 'h':
            result = twCvtHexBin(body, out) == 1 ? 16 : 0;
            break;
        case 'O':
        case 'o':
            result = twCvtOctBin(body, out) == 1 ? 8 : 0;
            break;
        case 'D':
        case 'd':
            result = twCvtDecBin(body, out) ? 10 : 0;
            break;
        case 'B':
        case 'b':
            if (twCvtIsBinary(body)) {
                memcpy(out, body, len - 1);
                result = 1;
            }
            break;
        default:
            break;
        }
        twStrFree(body);
        return result;
    }
    if (!twCvtIsBinary(text)) return 0;
    memcpy(out, text, len + 1);
    return 1;
}

int twCvtBinOct(const char *bits, char *out, int mark)
{
    if (!bits || !out) return 0;
    bitsToGroups(bits, out, 3);
    markOutput(out + strlen(out), mark, 'O');
    return twCvtIsBinary(bits);
}

int twCvtBinHex(const char *bits, char *out, int mark)
{
    if (!bits || !out) return 0;
    bitsToGroups(bits, out, 4);
    markOutput(out + strlen(out), mark, 'H');
    twStrUpc(out);
    return twCvtIsBinary(bits);
}

int twCvtBinDec(const char *bits, char *out, int mark)
{
    if (!bits || !out) return 0;
    size_t n = strlen(bits);
    size_t digits = decimalDigits(n);
    bool binary = true, allZ = true;
    for (size_t i = 0; i < n; i++) {
        binary = binary && isBit(bits[i]);
        allZ = allZ && isZ(bits[i]);
    }
    char *end;
    if (!binary) {
        memset(out, allZ ? 'Z' : 'X', digits);
        end = out + digits;
    } else if (n <= 32) {
        uint32_t value = 0;
        for (size_t i = 0; i < n; i++) value = value * 2 + (bits[i] == '1');
        char text[11];
        int len = 0;
        do {
            text[len++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value);
        size_t pad = digits > static_cast<size_t>(len) ? digits - len : 0;
        memset(out, '0', pad);
        end = out + pad;
        while (len > 0) *end++ = text[--len];
    } else {
        end = bigBinaryToDecimal(bits, n, digits, out);
    }
    markOutput(end, mark, 'D');
    return binary ? 1 : twCvtIsBinary(bits);
}
