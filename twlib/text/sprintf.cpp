/* sprintf.cpp - the library's printf engine.
 *
 * A format is walked by the parser, which matches one regular expression at
 * every "%" (other than "%%") and hands literal text and conversion
 * specifications to a callback. The formatter is one such callback: it
 * lays out c, s and the 64-bit conversions itself and has the platform
 * format every other conversion on its own, then appends the piece. The
 * append counts every character but copies only what fits, so a call never
 * writes past the caller's buffer and still knows the whole length.
 *
 * Positional formats take two passes over the format: the first records the
 * type of every position and fetches the arguments in position order, the
 * second formats from the fetched values.
 *
 * The static and alloc formatters build their text in a work buffer and only
 * then copy it to the result buffer, so an argument may be an earlier
 * result. Those buffers, the single-conversion buffer and the compiled
 * expression live for the process and are released by exit handlers.
 */
#include "twlib/text/sprintf.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include "twlib/core/exit.h"
#include "twlib/core/fault.h"
#include "twlib/core/freelist.h"
#include "twlib/core/mem.h"
#include "twlib/cvt/twint64.h"
#include "twlib/regexp/regexp.h"
#include "twlib/text/str.h"

/* ------------------------------------------------------------------ */
/* Module state                                                        */
/* ------------------------------------------------------------------ */

// One conversion specification, anchored at its "%". Groups: 1 "n$", 2 n,
// 3 flags, 4 width, 5 "." and precision, 6 precision, 7 conversion.
static const char kSpecPattern[] =
    "^%(([1-9][0-9]?)\\$)?([-+ #0]*)?([0-9]*|\\*|\\*[1-9][0-9]?\\$)?"
    "(\\.([0-9]*|\\*|\\*[1-9][0-9]?\\$))?([hlL]?[diouxX]|[hl]n|l?[eEfgG]|[csp])";

enum {
    kMaxPosition = 128,    // positions are kept in a 128-bit set
    kMaxSpecPrefix = 128,  // longest run of flags, digits, "$*." we match
    kLocalScratch = 512,   // parse scratch on the stack up to this size
    kMinWorkSize = 512,    // the static work buffer never starts smaller
    kMinConvSize = 128
};

// Compiled at the first parse; an exit handler destroys and forgets it.
static twRegexpT *specExpr;

// The static formatters' buffers and the single-conversion buffer. Sizes
// stay below INT_MAX, so that they pass as the int size of twSprintfVa2.
static char *workBuf;
static uint32_t workSize;
static char *resultBuf;
static uint32_t resultSize;
static char *convBuf;
static uint32_t convSize;

// Both exit handlers free and forget, so that the engine works again after
// twOnExitCall has run them; they run late, with the other frees.
static void forgetSpecExpr(void *)
{
    twRegexpDestroy(specExpr);
    specExpr = nullptr;
}

static void releaseStaticBuffers(void *)
{
    char **bufs[] = {&workBuf, &resultBuf, &convBuf};
    for (char **b : bufs) {
        if (*b) twMemFree(*b);
        *b = nullptr;
    }
    workSize = resultSize = convSize = 0;
}

static void registerExitHandler(twExitFn fn)
{
    twOnExitAdd2(fn);
    twOnExitSetOrder(fn, 90);
}

static const twRegexpT *specExpression()
{
    if (!specExpr) {
        specExpr = twRegexpCompile(kSpecPattern);
        registerExitHandler(forgetSpecExpr);
    }
    return specExpr;
}

static void growStatic(char **buf, uint32_t *size, uint32_t want)
{
    if (*size >= want) return;
    *buf = static_cast<char *>(twMemRealloc(*buf, want, "twStaticBuffer"));
    *size = want;
    registerExitHandler(releaseStaticBuffers);
}

/* ------------------------------------------------------------------ */
/* Parsing                                                             */
/* ------------------------------------------------------------------ */

// Argument type of a conversion ("d", "hn", "Lx", "lf", ...).
static int argCode(const char *conv)
{
    size_t len = strlen(conv);
    char c = conv[len - 1];
    char size = len > 1 ? conv[0] : '\0';
    switch (c) {
    case 'n':
        return size == 'h' ? TW_SPARG_NSHORT : size == 'l' ? TW_SPARG_NLONG : TW_SPARG_NINT;
    case 'e':
    case 'E':
    case 'f':
    case 'g':
    case 'G':
        return TW_SPARG_DOUBLE;
    case 'c':
        return TW_SPARG_CHAR;
    case 's':
        return TW_SPARG_STRING;
    case 'p':
        return TW_SPARG_POINTER;
    default:
        return size == 'h'   ? TW_SPARG_SHORT
               : size == 'l' ? TW_SPARG_LONG
               : size == 'L' ? TW_SPARG_INT64
                             : TW_SPARG_INT;
    }
}

// Arguments of one class are fetched the same way: everything passed as
// int shares a class, every other code is its own.
static int argClass(int code)
{
    return (code == TW_SPARG_SHORT || code == TW_SPARG_CHAR) ? TW_SPARG_INT : code;
}

struct ParseState {
    twSpFmtDesc d;
    twSpFmtParseFn fn;
    void *user;
    char *scratch;
    bool sequential;                      // a specification without n$ seen
    bool positional;                      // one with n$ seen
    int highest;                          // highest position referenced
    uint64_t used[2];                     // positions referenced, bit n-1
    unsigned char cls[kMaxPosition + 1];  // argument class per position
};

static void resetDesc(ParseState *ps, uint32_t kind, const char *cursor)
{
    twSpFmtDesc *d = &ps->d;
    d->cursor = cursor;
    d->text = nullptr;
    d->work = ps->scratch;
    d->flags = nullptr;
    d->conv = nullptr;
    d->kind = kind;
    d->position = -1;
    d->width = -1;
    d->precision = -1;
}

static int emitText(ParseState *ps, const char *cursor, size_t len)
{
    resetDesc(ps, TW_SPFMT_TEXT, cursor);
    ps->scratch[len] = '\0';
    ps->d.text = ps->scratch;
    ps->d.work = ps->scratch + len + 1;
    return ps->fn(&ps->d, ps->user);
}

static int emitInvalid(ParseState *ps, const char *cursor)
{
    resetDesc(ps, TW_SPFMT_INVALID, cursor);
    return ps->fn(&ps->d, ps->user);
}

static bool groupSet(const twRegexpMatch &m, int i)
{
    return m.start[i] && m.end[i];
}

static size_t groupLen(const twRegexpMatch &m, int i)
{
    return groupSet(m, i) ? static_cast<size_t>(m.end[i] - m.start[i]) : 0;
}

// Decimal digits to an int; -1 when the number does not fit one.
static int readNumber(const char *s, size_t len)
{
    long long v = 0;
    for (size_t i = 0; i < len; ++i) {
        v = v * 10 + (s[i] - '0');
        if (v > INT_MAX) return -1;
    }
    return static_cast<int>(v);
}

// Reads a width or precision group: digits, "*" or "*m$". Sets *star and
// returns the number, m, or -1 (plain "*"); returns -2 for digits that do
// not fit an int.
static int readAmount(const twRegexpMatch &m, int group, bool *star, int absent)
{
    *star = false;
    size_t len = groupLen(m, group);
    if (len == 0) return absent;
    const char *s = m.start[group];
    if (s[0] == '*') {
        *star = true;
        return len > 1 ? readNumber(s + 1, len - 2) : -1;
    }
    int v = readNumber(s, len);
    return v < 0 ? -2 : v;
}

// Notes a reference to position n with argument class cls; false when the
// position is out of range or was referenced with another class.
static bool usePosition(ParseState *ps, int n, int cls)
{
    if (n < 1 || n > kMaxPosition) return false;
    if (ps->cls[n] && ps->cls[n] != cls) return false;
    ps->cls[n] = static_cast<unsigned char>(cls);
    ps->used[(n - 1) / 64] |= uint64_t{1} << ((n - 1) % 64);
    if (n > ps->highest) ps->highest = n;
    return true;
}

// Matches the specification at p (a "%"), checks it and hands it on.
// Returns where the walk goes on, or null when the parse ends with *result.
static const char *parseSpec(ParseState *ps, const char *p, int *result)
{
    // Everything the expression takes before the conversion is one of these
    // characters and the conversion has at most two, so the match is made on
    // a bounded copy: a long format costs no more per "%" than a short one.
    size_t run = strspn(p + 1, "0123456789$-+ #*.");
    if (run > kMaxSpecPrefix) {
        *result = emitInvalid(ps, p);
        return nullptr;
    }
    char subject[kMaxSpecPrefix + 4];
    size_t n = 1 + run;
    memcpy(subject, p, n);
    for (int extra = 0; extra < 2 && p[n]; ++extra, ++n) subject[n] = p[n];
    subject[n] = '\0';

    twRegexpMatch m;
    if (!twRegexpExec(specExpression(), &m, subject) || m.start[0] != subject) {
        *result = emitInvalid(ps, p);
        return nullptr;
    }
    size_t specLen = static_cast<size_t>(m.end[0] - m.start[0]);

    int position = groupLen(m, 2) ? readNumber(m.start[2], groupLen(m, 2)) : -1;
    bool widthStar;
    int width = readAmount(m, 4, &widthStar, -1);
    bool hasPrecision = groupSet(m, 5);
    bool precStar = false;
    int precision = hasPrecision ? readAmount(m, 6, &precStar, 0) : -1;
    size_t flagsLen = groupLen(m, 3);
    const char *flags = flagsLen ? m.start[3] : "";
    size_t convLen = groupLen(m, 7);
    char conv[3] = {};
    memcpy(conv, m.start[7], convLen);
    int code = argCode(conv);

    bool ok = width != -2 && precision != -2;
    // Sequential and positional references do not mix, not even within one
    // specification: "%1$*d" and "%*1$d" are refused too.
    bool seqStar = (widthStar && width < 1) || (precStar && precision < 1);
    bool posStar = (widthStar && width >= 1) || (precStar && precision >= 1);
    if (position > 0) {
        ok = ok && !ps->sequential && !seqStar;
        ps->positional = true;
        ok = ok && usePosition(ps, position, argClass(code));
        if (ok && widthStar) ok = usePosition(ps, width, TW_SPARG_INT);
        if (ok && precStar) ok = usePosition(ps, precision, TW_SPARG_INT);
    } else {
        ok = ok && !ps->positional && !posStar;
        ps->sequential = true;
    }
    if (ok && memchr(flags, '#', flagsLen)) ok = strpbrk(conv, "oxXeEfgG") != nullptr;
    if (ok && hasPrecision) ok = strpbrk(conv, "diouxXeEfgGs") != nullptr;
    if (!ok) {
        *result = emitInvalid(ps, p);
        return nullptr;
    }

    resetDesc(ps, TW_SPFMT_CONV, p);
    twSpFmtDesc *d = &ps->d;
    char *w = ps->scratch;
    d->text = w;
    memcpy(w, p, specLen);
    w += specLen;
    *w++ = '\0';
    d->flags = w;
    memcpy(w, flags, flagsLen);
    w += flagsLen;
    *w++ = '\0';
    d->conv = w;
    memcpy(w, conv, convLen + 1);
    w += convLen + 1;
    d->work = w;
    if (widthStar) d->kind |= TW_SPFMT_STAR_WIDTH;
    if (precStar) d->kind |= TW_SPFMT_STAR_PRECISION;
    d->position = position;
    d->width = width;
    d->precision = precision;
    *result = ps->fn(d, ps->user);
    return *result ? p + specLen : nullptr;
}

// Every position from 1 to the highest must have been referenced.
static bool positionsComplete(const ParseState *ps)
{
    for (int n = 1; n <= ps->highest; ++n)
        if (!(ps->used[(n - 1) / 64] & (uint64_t{1} << ((n - 1) % 64)))) return false;
    return true;
}

static void releaseScratch(void *block)
{
    twMemFree(block);
}

int twSpFmtParse(const char *format, twSpFmtParseFn fn, void *user)
{
    if (!format || !fn) return 0;
    ParseState ps = {};
    ps.fn = fn;
    ps.user = user;
    ps.d.format = format;

    // Literal text never outgrows the format, and a specification's text,
    // flags and conversion together take less than twice its length + 3.
    size_t len = strlen(format);
    if (len > (UINT32_MAX - 3) / 2 - 1) {
        char none[1] = {};
        ps.scratch = none;
        ps.d.scratchSize = 1;
        return emitInvalid(&ps, format);
    }
    size_t need = (len + 1) * 2 + 3;
    char local[kLocalScratch];
    ps.scratch = need <= sizeof local
                     ? local
                     : static_cast<char *>(twMemMalloc(static_cast<uint32_t>(need), "twSpFmtParse"));
    ps.d.scratchSize = need > INT_MAX ? INT_MAX : static_cast<int>(need);
    // A callback that raises takes the parse with it: the scratch block goes
    // on the way out.
    twUnwind unwind;
    if (ps.scratch != local) tw_UnwindPush(&unwind, releaseScratch, ps.scratch);

    int result = 1;
    if (!*format) {
        result = emitText(&ps, format, 0);
    } else {
        const char *p = format;
        const char *textStart = format;
        size_t textLen = 0;
        bool going = true;
        while (going && *p) {
            if (*p != '%') {
                ps.scratch[textLen++] = *p++;
            } else if (p[1] == '%') {
                ps.scratch[textLen++] = '%';
                p += 2;
            } else {
                if (textLen) {
                    result = emitText(&ps, textStart, textLen);
                    textLen = 0;
                    if (!result) {
                        going = false;
                        break;
                    }
                }
                p = parseSpec(&ps, p, &result);
                going = p != nullptr;
                textStart = p;
            }
        }
        if (going) {
            if (ps.positional && !positionsComplete(&ps))
                result = emitInvalid(&ps, format);
            else if (textLen && result)
                result = emitText(&ps, textStart, textLen);
        }
    }
    if (ps.scratch != local) {
        tw_UnwindPop(&unwind);
        twMemFree(ps.scratch);
    }
    return result;
}

/* ------------------------------------------------------------------ */
/* Descriptor accessors                                                */
/* ------------------------------------------------------------------ */

static bool isConv(const twSpFmtDesc *desc)
{
    return desc && (desc->kind & TW_SPFMT_KIND) == TW_SPFMT_CONV;
}

int twSpFmtDescIs(const twSpFmtDesc *desc)
{
    return desc ? static_cast<int>(desc->kind & TW_SPFMT_KIND) : 0;
}

const char *twSpFmtOrigStr(const twSpFmtDesc *desc)
{
    return desc ? desc->format : nullptr;
}

const char *twSpFmtDescStr(const twSpFmtDesc *desc)
{
    if (!desc) return nullptr;
    return (desc->kind & TW_SPFMT_KIND) == TW_SPFMT_INVALID ? desc->cursor : desc->text;
}

int twSpFmtArgIs(const twSpFmtDesc *desc)
{
    if (!isConv(desc)) return 0;
    return argCode(desc->conv) |
           static_cast<int>(desc->kind & (TW_SPFMT_STAR_WIDTH | TW_SPFMT_STAR_PRECISION));
}

const char *twSpFmtArgFlags(const twSpFmtDesc *desc)
{
    return isConv(desc) ? desc->flags : nullptr;
}

const char *twSpFmtArgConv(const twSpFmtDesc *desc)
{
    return isConv(desc) ? desc->conv : nullptr;
}

int twSpFmtArgPosition(const twSpFmtDesc *desc)
{
    return isConv(desc) ? desc->position : -1;
}

int twSpFmtArgWidth(const twSpFmtDesc *desc)
{
    return isConv(desc) ? desc->width : -1;
}

int twSpFmtArgPrecision(const twSpFmtDesc *desc)
{
    if (!isConv(desc)) return -1;
    if (desc->precision == 0 && !(desc->kind & TW_SPFMT_STAR_PRECISION) && strpbrk(desc->conv, "gG"))
        return 1;
    return desc->precision;
}

/* ------------------------------------------------------------------ */
/* Formatting                                                          */
/* ------------------------------------------------------------------ */

union ArgValue {
    int i;
    long l;
    double d;
    const void *p;
    int64_t *q;  // a free-list piece, released when the call ends
};

// The state of one formatting call; plain data only, on the caller's stack.
struct FormatState {
    char *out;
    int64_t capacity;  // size - 1
    int64_t produced;  // counts also what did not fit
    bool overflow;
    int pass;  // positional formats: 0 collects, 1 formats
    bool positional;
    bool refused;  // raise 1600 once the parse is back
    int highest;
    int fetched;  // positions 1..fetched hold their values
    va_list ap;
    unsigned char type[kMaxPosition + 1];
    ArgValue value[kMaxPosition + 1];
};

// Past this, a length cannot be told anyway; saturating keeps the sum of
// many huge widths from overflowing.
static const int64_t kProducedCap = int64_t{INT_MAX} * 4;

static void countOut(FormatState *st, int64_t len)
{
    st->produced = len > kProducedCap - st->produced ? kProducedCap : st->produced + len;
    if (st->produced > st->capacity) st->overflow = true;
}

static int64_t room(const FormatState *st)
{
    return st->overflow ? 0 : st->capacity - st->produced;
}

static void append(FormatState *st, const char *text, int64_t len)
{
    int64_t n = len < room(st) ? len : room(st);
    if (n > 0) memcpy(st->out + st->produced, text, static_cast<size_t>(n));
    countOut(st, len);
}

static void appendFill(FormatState *st, char c, int64_t count)
{
    if (count <= 0) return;
    int64_t n = count < room(st) ? count : room(st);
    if (n > 0) memset(st->out + st->produced, c, static_cast<size_t>(n));
    countOut(st, count);
}

static ArgValue fetchArg(FormatState *st, int code)
{
    ArgValue v;
    switch (code) {
    case TW_SPARG_LONG:
        v.l = va_arg(st->ap, long);
        break;
    case TW_SPARG_DOUBLE:
        v.d = va_arg(st->ap, double);
        break;
    case TW_SPARG_STRING:
        v.p = va_arg(st->ap, const char *);
        break;
    case TW_SPARG_POINTER:
        v.p = va_arg(st->ap, void *);
        break;
    case TW_SPARG_NINT:
        v.p = va_arg(st->ap, int *);
        break;
    case TW_SPARG_NSHORT:
        v.p = va_arg(st->ap, short *);
        break;
    case TW_SPARG_NLONG:
        v.p = va_arg(st->ap, long *);
        break;
    case TW_SPARG_INT64:
        v.q = static_cast<int64_t *>(twMemFlAlloc(sizeof(int64_t), "twprint-64t"));
        *v.q = va_arg(st->ap, int64_t);
        break;
    default:
        v.i = va_arg(st->ap, int);
        break;
    }
    return v;
}

static void releaseArgs(FormatState *st)
{
    for (int n = 1; n <= st->fetched; ++n)
        if (st->type[n] == TW_SPARG_INT64 && st->value[n].q) twMemFlFree(st->value[n].q, sizeof(int64_t));
    st->fetched = 0;
}

// A fault raised while formatting (a bad string pointer caught as a
// segmentation violation) leaves by a jump: the fetched 64-bit arguments go
// then.
static void releaseArgsOnRaise(void *st)
{
    releaseArgs(static_cast<FormatState *>(st));
}

// First pass of a positional format: note the types this specification
// gives and fetch, in position order, every argument whose type is known.
static void collect(FormatState *st, const twSpFmtDesc *d, int code)
{
    st->type[d->position] = static_cast<unsigned char>(code);
    int highest = d->position;
    if (d->kind & TW_SPFMT_STAR_WIDTH) {
        st->type[d->width] = TW_SPARG_INT;
        if (d->width > highest) highest = d->width;
    }
    if (d->kind & TW_SPFMT_STAR_PRECISION) {
        st->type[d->precision] = TW_SPARG_INT;
        if (d->precision > highest) highest = d->precision;
    }
    if (highest > st->highest) st->highest = highest;
    while (st->fetched < st->highest && st->type[st->fetched + 1]) {
        ++st->fetched;
        st->value[st->fetched] = fetchArg(st, st->type[st->fetched]);
    }
}

// A width or precision given as "*" or "*m$"; a negative one counts as 0.
static int starAmount(FormatState *st, int position)
{
    int v = position >= 1 ? st->value[position].i : va_arg(st->ap, int);
    return v < 0 ? 0 : v;
}

static void formatText(FormatState *st, const char *flags, const char *text, int64_t len, int width)
{
    int64_t pad = width > len ? width - len : 0;
    bool left = strchr(flags, '-') != nullptr;
    if (!left) appendFill(st, ' ', pad);
    append(st, text, len);
    if (left) appendFill(st, ' ', pad);
}

// The writer gives the digits; sign, prefix, zeros and padding are laid out
// here as C lays out %lld, so that %Ld and %lld print alike.
static void formatInt64(FormatState *st, const char *flags, char conv, int64_t v, int width, int precision)
{
    bool isSigned = conv == 'd' || conv == 'i';
    int base = conv == 'o' ? 8 : (conv == 'x' || conv == 'X') ? 16 : 10;
    bool negative = isSigned && v < 0;
    uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    const char *digits = "";
    if (magnitude != 0 || precision != 0)
        digits = twInt64CvtToStrEx(static_cast<twInt64>(magnitude), base, 0, 1,
                                   TW_INT64_UNSIGNED | (conv == 'X' ? TW_INT64_UPPER : 0));
    int64_t ndigits = static_cast<int64_t>(strlen(digits));
    int64_t zeros = precision > ndigits ? precision - ndigits : 0;

    const char *sign = negative                         ? "-"
                       : isSigned && strchr(flags, '+') ? "+"
                       : isSigned && strchr(flags, ' ') ? " "
                                                        : "";
    const char *prefix = "";
    if (strchr(flags, '#')) {
        if (base == 8 && zeros == 0 && digits[0] != '0') zeros = 1;
        if (base == 16 && magnitude != 0) prefix = conv == 'X' ? "0X" : "0x";
    }
    bool left = strchr(flags, '-') != nullptr;
    int64_t body = static_cast<int64_t>(strlen(sign) + strlen(prefix)) + zeros + ndigits;
    if (!left && precision < 0 && strchr(flags, '0') && width > body) {
        zeros += width - body;
        body = width;
    }
    int64_t pad = width > body ? width - body : 0;
    if (!left) appendFill(st, ' ', pad);
    append(st, sign, static_cast<int64_t>(strlen(sign)));
    append(st, prefix, static_cast<int64_t>(strlen(prefix)));
    appendFill(st, '0', zeros);
    append(st, digits, ndigits);
    if (left) appendFill(st, ' ', pad);
}

static int platformFormat(char *buf, size_t size, const char *format, int code, ArgValue v)
{
    switch (code) {
    case TW_SPARG_SHORT:
        return snprintf(buf, size, format, static_cast<int>(static_cast<short>(v.i)));
    case TW_SPARG_LONG:
        return snprintf(buf, size, format, v.l);
    case TW_SPARG_DOUBLE:
        return snprintf(buf, size, format, v.d);
    case TW_SPARG_POINTER:
        return snprintf(buf, size, format, static_cast<unsigned long>(reinterpret_cast<uintptr_t>(v.p)));
    default:
        return snprintf(buf, size, format, v.i);
    }
}

// Every other conversion: rebuilt as a single-conversion format for the
// platform, which writes only as much as the caller's buffer can still take
// (the length of the rest is only counted).
static void formatPlatform(FormatState *st, const twSpFmtDesc *d, int code, ArgValue v, int width,
                           int precision)
{
    char format[kMaxSpecPrefix + 32];
    char *f = format;
    *f++ = '%';
    size_t flagsLen = strlen(d->flags);
    memcpy(f, d->flags, flagsLen);
    f += flagsLen;
    bool pointer = code == TW_SPARG_POINTER;
    if (pointer && !strchr(d->flags, '#')) *f++ = '#';
    if (width >= 1) f += snprintf(f, 12, "%d", width);
    if (precision >= 0) f += snprintf(f, 13, ".%d", precision);
    strcpy(f, pointer ? "lx" : d->conv);

    growStatic(&convBuf, &convSize, kMinConvSize);
    int n = platformFormat(convBuf, convSize, format, code, v);
    if (n < 0) {
        st->refused = true;
        return;
    }
    int64_t keep = n < room(st) ? n : room(st);
    if (keep >= static_cast<int64_t>(convSize)) {
        growStatic(&convBuf, &convSize, static_cast<uint32_t>(keep + 1));
        platformFormat(convBuf, convSize, format, code, v);
    }
    append(st, convBuf, n);
}

// %n and its kin store the count of characters produced so far.
static void storeCount(const FormatState *st, int code, const void *target)
{
    if (!target) return;
    int64_t count = st->produced < INT_MAX ? st->produced : INT_MAX;
    if (code == TW_SPARG_NSHORT)
        *static_cast<short *>(const_cast<void *>(target)) = static_cast<short>(count);
    else if (code == TW_SPARG_NLONG)
        *static_cast<long *>(const_cast<void *>(target)) = static_cast<long>(st->produced);
    else
        *static_cast<int *>(const_cast<void *>(target)) = static_cast<int>(count);
}

static void formatConversion(FormatState *st, const twSpFmtDesc *d)
{
    int code = argCode(d->conv);
    bool byPosition = d->position >= 1;
    int width = (d->kind & TW_SPFMT_STAR_WIDTH) ? starAmount(st, d->width) : d->width;
    int precision = (d->kind & TW_SPFMT_STAR_PRECISION) ? starAmount(st, d->precision) : d->precision;

    ArgValue v{};
    int64_t wide = 0;
    if (byPosition) {
        v = st->value[d->position];
        if (code == TW_SPARG_INT64) wide = *v.q;
    } else if (code == TW_SPARG_INT64) {
        wide = va_arg(st->ap, int64_t);
    } else {
        v = fetchArg(st, code);
    }

    switch (code) {
    case TW_SPARG_CHAR: {
        char c = static_cast<char>(static_cast<unsigned char>(v.i));
        formatText(st, d->flags, &c, 1, width);
        break;
    }
    case TW_SPARG_STRING: {
        const char *s = v.p ? static_cast<const char *>(v.p) : "";
        size_t len = precision >= 0 ? strnlen(s, static_cast<size_t>(precision)) : strlen(s);
        formatText(st, d->flags, s, static_cast<int64_t>(len), width);
        break;
    }
    case TW_SPARG_INT64:
        formatInt64(st, d->flags, d->conv[strlen(d->conv) - 1], wide, width, precision);
        break;
    case TW_SPARG_NINT:
    case TW_SPARG_NSHORT:
    case TW_SPARG_NLONG:
        storeCount(st, code, v.p);
        break;
    default:
        formatPlatform(st, d, code, v, width, precision);
        break;
    }
}

static int formatPiece(const twSpFmtDesc *d, void *user)
{
    auto *st = static_cast<FormatState *>(user);
    switch (d->kind & TW_SPFMT_KIND) {
    case TW_SPFMT_TEXT:
        // Once positional references start, the first pass only collects.
        if (!(st->pass == 0 && st->positional)) append(st, d->text, static_cast<int64_t>(strlen(d->text)));
        return 1;
    case TW_SPFMT_CONV:
        if (st->pass == 0 && d->position >= 1) {
            st->positional = true;
            collect(st, d, argCode(d->conv));
        } else {
            formatConversion(st, d);
        }
        return st->refused ? 0 : 1;
    default:
        // Raised by the caller once the parse has let go of its scratch.
        st->refused = true;
        return 0;
    }
}

int twSprintfVa2(char *buf, int size, int *needed, const char *format, va_list ap)
{
    if (!buf || size < 1 || !format) return -1;
    FormatState st;
    memset(&st, 0, sizeof st);
    st.out = buf;
    st.capacity = size - 1;
    va_copy(st.ap, ap);
    twUnwind unwind;
    tw_UnwindPush(&unwind, releaseArgsOnRaise, &st);
    twSpFmtParse(format, formatPiece, &st);
    if (!st.refused && st.positional) {
        st.pass = 1;
        st.produced = 0;
        st.overflow = false;
        twSpFmtParse(format, formatPiece, &st);
    }
    tw_UnwindPop(&unwind);
    va_end(st.ap);
    releaseArgs(&st);
    buf[st.produced < st.capacity ? st.produced : st.capacity] = '\0';
    if (st.refused) tw_RaiseBuild(2, "twSprintf", "twlib", 1600, format);
    if (needed) *needed = st.produced < INT_MAX ? static_cast<int>(st.produced + 1) : INT_MAX;
    return st.produced > st.capacity ? -1 : 0;
}

int twSprintf2(char *buf, int size, int *needed, const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    int r = twSprintfVa2(buf, size, needed, format, ap);
    va_end(ap);
    return r;
}

int twSprintfVa(char *buf, int size, const char *format, va_list ap)
{
    return twSprintfVa2(buf, size, nullptr, format, ap);
}

int twSprintf(char *buf, int size, const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    int r = twSprintfVa2(buf, size, nullptr, format, ap);
    va_end(ap);
    return r;
}

char *twSprintfStaticVa(const char *format, va_list ap)
{
    if (!format) return nullptr;
    growStatic(&workBuf, &workSize, kMinWorkSize);
    int needed = 0;
    for (int tries = 1;;) {
        va_list copy;
        va_copy(copy, ap);
        int r = twSprintfVa2(workBuf, static_cast<int>(workSize), &needed, format, copy);
        va_end(copy);
        if (r == 0) break;
        if (needed == INT_MAX) tw_RaiseBuild(2, "twSprintf", "twlib", 1600, format);
        // Room for a few more of the same, so that a caller growing its
        // text bit by bit does not reallocate every time.
        uint64_t n = static_cast<uint64_t>(needed);
        if (n * static_cast<uint64_t>(tries) > workSize) {
            uint64_t want = n * static_cast<uint64_t>(tries + 1);
            growStatic(&workBuf, &workSize, static_cast<uint32_t>(want < INT_MAX ? want : INT_MAX));
            tries += 2;
        } else {
            tries += 1;
        }
    }
    growStatic(&resultBuf, &resultSize, workSize);
    memcpy(resultBuf, workBuf, static_cast<size_t>(needed));
    return resultBuf;
}

char *twSprintfStatic(const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    char *s = twSprintfStaticVa(format, ap);
    va_end(ap);
    return s;
}

char *twSprintfAllocVa(const char *format, va_list ap)
{
    char *s = twSprintfStaticVa(format, ap);
    return s ? twStrCpy(s) : nullptr;
}

char *twSprintfAlloc(const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    char *s = twSprintfAllocVa(format, ap);
    va_end(ap);
    return s;
}

int twSprintf_FormatVa(char *buf, size_t size, const char *format, va_list ap)
{
    if (!format) {
        if (buf && size) buf[0] = '\0';
        return -1;
    }
    char none[1];
    if (!buf || size == 0) {
        buf = none;
        size = 1;
    }
    int needed = 0;
    twSprintfVa2(buf, size > INT_MAX ? INT_MAX : static_cast<int>(size), &needed, format, ap);
    return needed == INT_MAX ? -1 : needed - 1;
}
