/* eng.cpp - engineering-unit numbers and number text.
 *
 * Scaling by a magnitude multiplies by 10^k for positive k and divides by
 * 10^-k for negative k: both powers are exact doubles, so 4.7m reads as the
 * double nearest 0.0047 rather than 4.7 times an inexact 1e-3.
 *
 * The digits of twCvtDtostr come from "%.*e", which rounds correctly and
 * always gives exactly the digits asked for (the platform's ecvt can hand
 * back one digit more, or a wrong exponent, when a value rounds up to the
 * next power of ten).
 */
#include "twlib/cvt/eng.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "twlib/err/except.h"

namespace {

// The magnitude table: letters as written and read one at a time, and the
// decimal exponent of each row.
const char *const magLetters[TW_CVT_MAG_COUNT] = {"a", "f", "p", "n", "u", "m", "", "k", "M", "G", "T"};
const int16_t magExponents[TW_CVT_MAG_COUNT] = {-18, -15, -12, -9, -6, -3, 0, 3, 6, 9, 12};

// Exact powers of ten 1e0 .. 1e18 (every one of them is a double exactly).
const double tenPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8, 1e9,
                            1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18};

double scaleBy(double value, int exponent)
{
    if (exponent >= 0) return value * tenPowers[exponent];
    return value / tenPowers[-exponent];
}

// The number of leading characters of 'text' that agree with 'word',
// ignoring case; stops at the first difference or the end of either.
size_t agreeing(const char *text, const char *word)
{
    size_t n = 0;
    while (text[n] && word[n] &&
           tolower(static_cast<unsigned char>(text[n])) == tolower(static_cast<unsigned char>(word[n])))
        ++n;
    return n;
}

struct MagWord {
    const char *word;
    int exponent;
};

// The magnitude word chosen by the first letter of 'text'; null word when
// the letter is none of them.
MagWord magnitudeWord(const char *text)
{
    switch (tolower(static_cast<unsigned char>(text[0]))) {
    case 'a':
        return {"atto", -18};
    case 'f':
        return {"femto", -15};
    case 'p':
        return {"pico", -12};
    case 'n':
        return {"nano", -9};
    case 'u':
        return {"u", -6};
    case 'm':
        if (tolower(static_cast<unsigned char>(text[1])) == 'e') return {"meg", 6};
        return {"milli", -3};
    case 'k':
        return {"kilo", 3};
    case 'g':
        return {"giga", 9};
    case 't':
        return {"tera", 12};
    default:
        return {nullptr, 0};
    }
}

// Consumes a unit of the fixed list at 'text'; returns the characters used.
size_t fixedUnit(const char *text)
{
    switch (tolower(static_cast<unsigned char>(text[0]))) {
    case 'a':
        return agreeing(text, "amps");
    case 'f':
        return agreeing(text, "farads");
    case 'o':
        return agreeing(text, "ohms");
    case 's':
        return agreeing(text, "seconds");
    case 'v':
        return agreeing(text, "volts");
    case 'h': {
        size_t hz = agreeing(text, "hz");
        size_t henries = agreeing(text, "henries");
        return hz > henries ? hz : henries;
    }
    default:
        return 0;
    }
}

// The magnitude at 'rest', if any: scales *value and returns the characters
// used.
size_t readMagnitude(const char *rest, double *value)
{
    MagWord m = magnitudeWord(rest);
    if (!m.word) return 0;
    *value = scaleBy(*value, m.exponent);
    return agreeing(rest, m.word);
}

// Shared static text of the small number texts: "%f" of -DBL_MAX needs 317
// characters.
char numberBuf[400];
char dtostrBuf[128];
char timeBuf[32];
// The Static formatter's text: the integer digits of any double, a point,
// at most 30 decimals, a sign, an exponent or letter.
char dformatBuf[400];

}  // namespace

double twCvtUstrtod(const char *text, char **end)
{
    if (!text) {
        if (end) *end = nullptr;
        return 0.0;
    }
    char *after;
    double value = strtod(text, &after);
    if (after == text) {
        if (end) *end = const_cast<char *>(text);
        return value;
    }
    const char *p = after;
    p += readMagnitude(p, &value);
    p += fixedUnit(p);
    if (end) *end = const_cast<char *>(p);
    return value;
}

double twCvtUstrtod2(const char *text, char **end, int defaultMag, const char *unit)
{
    if (!text) {
        if (end) *end = nullptr;
        return 0.0;
    }
    char *after;
    double value = strtod(text, &after);
    const char *p = after;
    if (p == text) {
        // no number: nothing consumed
    } else if (*p == '\0') {
        if (defaultMag >= 0 && defaultMag < TW_CVT_MAG_COUNT)
            value = scaleBy(value, magExponents[defaultMag]);
    } else if (unit && agreeing(p, unit) == strlen(p)) {
        p += strlen(p);
    } else {
        p += readMagnitude(p, &value);
        p += unit ? agreeing(p, unit) : fixedUnit(p);
    }
    if (end) *end = const_cast<char *>(p);
    return value;
}

int twCvtUstrtomag(const char *letter)
{
    if (letter) {
        for (int i = 0; i < TW_CVT_MAG_COUNT; ++i)
            if (magLetters[i][0] == letter[0]) return i;
    }
    twExThrowBuild(TW_EX_POSTCOND, nullptr, twEx_LibraryMessageFile("twlib"), 1201, letter ? letter : "");
}

namespace {

// The significant digits of |value| (finite, not zero unless asked):
// 'digits' gets exactly ndigit digits, the result is the decimal-point
// position (digits before the point).
int decimalDigits(double value, int ndigit, char *digits)
{
    char text[64];
    snprintf(text, sizeof text, "%.*e", ndigit - 1, fabs(value));
    // d[.ddd]e(+|-)xx
    int n = 0;
    const char *p = text;
    for (; *p && *p != 'e'; ++p)
        if (*p != '.') digits[n++] = *p;
    digits[n] = '\0';
    return atoi(p + 1) + 1;
}

// Appends text to the result under construction.
struct Out {
    char *buf;
    size_t len;
    size_t cap;
    void put(const char *s, size_t n)
    {
        // The sizes used never reach the end; past it, text is dropped.
        for (size_t i = 0; i < n && s[i] && len + 1 < cap; ++i) buf[len++] = s[i];
        buf[len] = '\0';
    }
    void put(const char *s) { put(s, SIZE_MAX); }
    void zeros(int n)
    {
        for (int i = 0; i < n; ++i) put("0", 1);
    }
};

// The mantissa of modes 2 and 3: r + 1 digits before the point.
void engMantissa(Out &out, const char *d, int n, int r)
{
    if (n > r + 1) {
        out.put(d, static_cast<size_t>(r + 1));
        out.put(".");
        out.put(d + r + 1);
    } else {
        out.put(d);
        out.zeros(r + 1 - n);
    }
}

int floorMod3(int e)
{
    int r = e % 3;
    return r < 0 ? r + 3 : r;
}

}  // namespace

const char *twCvtDtostr(double value, int mode, int ndigit, double tolerance)
{
    if (-tolerance <= value && value <= tolerance) return (mode == 1 || mode == 2) ? "0e0" : "0";
    if (mode < 0 || mode > 3) twEx_PreCond("twCvtDtostr", twEx_LibraryMessageFile("twlib"), 1200);
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    if (ndigit < 1) ndigit = 1;
    if (ndigit > 17) ndigit = 17;

    char d[32];
    int point = decimalDigits(value, ndigit, d);
    int n = static_cast<int>(strlen(d));
    if (strspn(d, "0") < static_cast<size_t>(n))  // digits of only zeros stay as they are
        while (d[n - 1] == '0') d[--n] = '\0';
    int sign = std::signbit(value) ? 1 : 0;

    Out out{dtostrBuf, 0, sizeof dtostrBuf};
    dtostrBuf[0] = '\0';
    if (sign) out.put("-");
    int e = point - 1;
    int r = floorMod3(e);
    switch (mode) {
    case 0: {
        int plain = point < 1 ? sign + n - point + 2 : point >= n ? point + sign : sign + n + 1;
        int scientific = sign + n + 1 + static_cast<int>(strlen(twCvtIntStr(point))) + 2;
        if (plain <= scientific) {
            if (point < 1) {
                out.put("0.");
                out.zeros(-point);
                out.put(d);
            } else if (n > point) {
                out.put(d, static_cast<size_t>(point));
                out.put(".");
                out.put(d + point);
            } else {
                out.put(d);
                out.zeros(point - n);
            }
            break;
        }
        [[fallthrough]];
    }
    case 1:
        out.put(d, 1);
        if (n > 1) {
            out.put(".");
            out.put(d + 1);
        }
        out.put("e");
        out.put(twCvtIntStr(e));
        break;
    case 2:
        engMantissa(out, d, n, r);
        out.put("e");
        out.put(twCvtIntStr(e - r));
        break;
    case 3: {
        engMantissa(out, d, n, r);
        int k = e - r;
        if (k >= -18 && k <= 12) {
            out.put(magLetters[(k + 18) / 3]);
        } else {
            out.put("e");
            out.put(twCvtIntStr(k));
        }
        break;
    }
    }
    return dtostrBuf;
}

const char *twCvtIntStr(int value)
{
    snprintf(numberBuf, sizeof numberBuf, "%d", value);
    return numberBuf;
}

const char *twCvtLongStr(long value)
{
    snprintf(numberBuf, sizeof numberBuf, "%ld", value);
    return numberBuf;
}

namespace {

// Drops trailing zeros after a point, then the point itself.
void trimZeros(char *text)
{
    char *point = strchr(text, '.');
    if (!point) return;
    char *last = text + strlen(text);
    while (last > point + 1 && last[-1] == '0') --last;
    if (last == point + 1) --last;
    *last = '\0';
}

}  // namespace

const char *twCvtFloatStr(double value)
{
    snprintf(numberBuf, sizeof numberBuf, "%f", value);
    trimZeros(numberBuf);
    return numberBuf;
}

const char *twCvtTimeStr(long hundredths)
{
    // The magnitude as unsigned, so that LONG_MIN has one too.
    unsigned long t = hundredths < 0 ? 0ul - static_cast<unsigned long>(hundredths)
                                     : static_cast<unsigned long>(hundredths);
    snprintf(timeBuf, sizeof timeBuf, "%s%02lu:%02lu:%02lu.%02lu", hundredths < 0 ? "-" : "", t / 360000,
             t % 360000 / 6000, t % 6000 / 100, t % 100);
    return timeBuf;
}

namespace {

bool isLeap(long long year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int clampInt(long long v)
{
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return static_cast<int>(v);
}

}  // namespace

int twCvtTime(long seconds, int *month, int *day, int *year, int *hour, int *minute, int *second)
{
    long long days = seconds / 86400;
    long long rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    long long y = 1970;
    // Whole 400-year cycles (146097 days) first, so that a far date does
    // not walk year by year; 1970 + 400k keeps the leap pattern.
    const long long cycle = 146097;
    long long cycles = days / cycle;
    if (days % cycle < 0) --cycles;
    days -= cycles * cycle;
    y += cycles * 400;
    while (days >= 366) {
        days -= isLeap(y) ? 366 : 365;
        ++y;
    }
    if (days == 365 && !isLeap(y)) {
        ++y;
        days = 0;
    }
    int lengths[12] = {31, isLeap(y) ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int m = 0;
    while (m < 11 && days >= lengths[m]) days -= lengths[m++];
    if (month) *month = m + 1;
    if (day) *day = static_cast<int>(days) + 1;
    if (year) *year = clampInt(y);
    if (hour) *hour = static_cast<int>(rest / 3600);
    if (minute) *minute = static_cast<int>(rest % 3600 / 60);
    if (second) *second = static_cast<int>(rest % 60);
    return 1;
}

uint32_t twCvtUHexTol(const char *text, char **end)
{
    if (!text) {
        if (end) *end = nullptr;
        return 0;
    }
    const char *p = text;
    while (*p && !isxdigit(static_cast<unsigned char>(*p))) ++p;
    if (!*p) {
        if (end) *end = const_cast<char *>(text);
        return 0;
    }
    uint32_t value = 0;
    for (int i = 0; i < 8 && isxdigit(static_cast<unsigned char>(*p)); ++i, ++p) {
        int c = tolower(static_cast<unsigned char>(*p));
        value = value * 16 + static_cast<uint32_t>(c <= '9' ? c - '0' : c - 'a' + 10);
    }
    if (end) *end = const_cast<char *>(p);
    return value;
}

namespace {

// Formats into 'out' (room for any double: see dformatBuf) and returns the
// length.
int dformat(char *out, size_t size, double value, int ndigit, int flags, int magIndex)
{
    if (magIndex == -1) flags |= TW_CVT_DF_AUTO;
    if (ndigit < 0) ndigit = 0;
    if (ndigit > 30) ndigit = 30;
    if (!std::isfinite(value))
        return snprintf(out, size, "%s", std::isnan(value) ? "nan" : value < 0 ? "-inf" : "inf");

    int k;  // the exponent of the grouping
    if (flags & TW_CVT_DF_AUTO) {
        k = 0;
        if (value != 0.0) {
            char text[64];
            snprintf(text, sizeof text, "%.16e", fabs(value));
            k = atoi(strchr(text, 'e') + 1);
            k -= floorMod3(k);
        }
    } else {
        if (magIndex < 0 || magIndex >= TW_CVT_MAG_COUNT) magIndex = TW_CVT_MAG_UNIT;
        k = magExponents[magIndex];
    }
    for (int pass = 0; pass < 2; ++pass) {
        // Dividing by 10^k in steps keeps the scaled value exact where the
        // power itself would overflow or underflow.
        double scaled = value;
        int left = k;
        while (left > 18) scaled /= tenPowers[18], left -= 18;
        while (left < -18) scaled *= tenPowers[18], left += 18;
        scaled = scaleBy(scaled, -left);
        if (flags & TW_CVT_DF_PLAIN)
            snprintf(out, size, "%g", scaled);
        else
            snprintf(out, size, "%.*f", ndigit, scaled);
        // Rounding 999.96 to one decimal reaches the next group: take it.
        if (pass == 0 && (flags & TW_CVT_DF_AUTO) && !(flags & TW_CVT_DF_PLAIN) &&
            fabs(strtod(out, nullptr)) >= 1000.0) {
            k += 3;
            continue;
        }
        break;
    }
    if (flags & TW_CVT_DF_TRIM) trimZeros(out);
    size_t len = strlen(out);
    if (k >= -18 && k <= 12 && k % 3 == 0)
        snprintf(out + len, size - len, "%s", magLetters[(k + 18) / 3]);
    else
        snprintf(out + len, size - len, "e%d", k);
    return static_cast<int>(strlen(out));
}

}  // namespace

int twCvtDformatStrBuf(twStrBuf *buf, double value, int ndigit, int flags, int magIndex)
{
    if (!buf) return 0;
    char text[sizeof dformatBuf];
    int len = dformat(text, sizeof text, value, ndigit, flags, magIndex);
    twStrBufAppend(buf, text);
    return len;
}

const char *twCvtDformatStatic(double value, int ndigit, int flags, int magIndex)
{
    dformat(dformatBuf, sizeof dformatBuf, value, ndigit, flags, magIndex);
    return dformatBuf;
}
