/* types.cpp - type specifications: the record, the stock behaviours
 * (numbers, strings, enumerations, masks, pointers) and the stock
 * specifications other than the file ones (typefile.cpp).
 *
 * A parse raises only after it has released what it made, so a refusal
 * leaves nothing behind and twTypeReturnDataV as it was. Texts a refusal
 * needs beyond the caller's (the joined names of an enumeration) are kept
 * in one module buffer, since the raise does not come back to free them.
 */
#include "twlib/pref/types.h"

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "twlib/core/exit.h"
#include "twlib/core/freelist.h"
#include "twlib/core/mem.h"
#include "twlib/cvt/eng.h"
#include "twlib/err/error.h"
#include "twlib/err/errstream.h"
#include "twlib/err/except.h"
#include "twlib/text/str.h"
#include "twlib/text/strtok.h"

twTypedata twTypeReturnDataV;

twTypedata twTypePtrToTypedata(void *p)
{
    twTypedata d;
    d.p = p;
    return d;
}

twTypedata twTypeLongToTypedata(long l)
{
    twTypedata d;
    d.l = l;
    return d;
}

namespace {

[[noreturn]] void refuse(int number, ...)
{
    va_list ap;
    va_start(ap, number);
    twExThrowBuildVa(TW_EX_POSTCOND, nullptr, twEx_LibraryMessageFile("twlib"), number, ap);
}

void deliver(twTypedata value)
{
    twTypeReturnDataV = value;
}

void emitText(twTypeEmitFn emit, void *emitArg, const char *text)
{
    emit(emitArg, text);
}

// The text of the refusal 1404: the names joined by ", ". Kept until the
// next refusal; released by an exit handler under memory checking.
twStrBuf *namesText;

void releaseNamesText(void *)
{
    twStrBufDestroy(namesText);
    namesText = nullptr;
}

const char *joinedNames(const twTypeEnumParams *e)
{
    if (!namesText) {
        namesText = twStrBufCreate(64);
        twOnExitAdd(releaseNamesText, nullptr);
    }
    twStrBufClear(namesText);
    for (int i = 0; i < e->count; ++i) {
        if (i > 0) twStrBufAppend(namesText, ", ");
        twStrBufAppend(namesText, e->names[i]);
    }
    return twStrBufString(namesText);
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// A decimal number (leading blanks, an optional sign, digits, trailing
// blanks only) in *out; false for anything else, also when it overflows.
bool readDecimal(const char *text, long *out)
{
    const char *p = text;
    while (isBlank(*p)) ++p;
    const char *digits = (*p == '-' || *p == '+') ? p + 1 : p;
    if (*digits < '0' || *digits > '9') return false;
    errno = 0;
    char *end;
    long v = strtol(p, &end, 10);
    if (errno == ERANGE) return false;
    while (isBlank(*end)) ++end;
    if (*end) return false;
    *out = v;
    return true;
}

} // namespace

/* ---- the record ---- */

twTypeSpec *twTypeTSCopy(twTypeSpec *spec)
{
    if (spec) ++spec->refCount;
    return spec;
}

void twTypeTSFree(twTypeSpec *spec)
{
    if (!spec || spec->refCount == 0) return;
    if (--spec->refCount > 0) return;
    // A created enumeration holds its params right behind the record in one
    // block, and its name and names are the caller's.
    if (spec->params == static_cast<void *>(spec + 1)) {
        twMemFree(spec);
        return;
    }
    if (spec->behaviour && spec->behaviour->freeParams) spec->behaviour->freeParams(spec);
    twStrFree(const_cast<char *>(spec->name));
    twMemFree(spec);
}

twTypeSpec *twTypeCreateEnum(const char *name, const char **names, int count)
{
    if (count < 0 || (count > 0 && !names))
        twExThrow2(TW_EX_PRECOND, "twlib", TW_SEV_ERROR, "twTypeCreateEnum: a negative count, or names missing");
    struct Block {
        twTypeSpec spec;
        twTypeEnumParams params;
    };
    static_assert(offsetof(Block, params) == sizeof(twTypeSpec));
    Block *b = static_cast<Block *>(twMemMalloc(sizeof(Block), "twTsEnum"));
    b->params.count = count;
    b->params.names = names;
    b->spec.name = name;
    b->spec.behaviour = &twEnumTB;
    b->spec.params = &b->params;
    b->spec.refCount = 1;
    return &b->spec;
}

double *twTypeAllocDouble(double value)
{
    double *p = static_cast<double *>(twMemFlAlloc(sizeof(double), "Double"));
    *p = value;
    return p;
}

void twTypeFreeDouble(double *block)
{
    twMemFlFree(block, sizeof(double));
}

twInt64 *twTypeAllocInt64(twInt64 value)
{
    twInt64 *p = static_cast<twInt64 *>(twMemFlAlloc(sizeof(twInt64), "twInt64T"));
    *p = value;
    return p;
}

void twTypeFreeInt64(twInt64 *block)
{
    twMemFlFree(block, sizeof(twInt64));
}

char **twTypeStrArrayCopy(char *const *array)
{
    if (!array) return nullptr;
    size_t n = 0;
    while (array[n]) ++n;
    char **copy = static_cast<char **>(twMemMalloc(static_cast<uint32_t>((n + 1) * sizeof(char *)), "twStrArray"));
    for (size_t i = 0; i < n; ++i) copy[i] = twStrCpy(array[i]);
    copy[n] = nullptr;
    return copy;
}

void twTypeStrArrayFree(char **array)
{
    if (!array) return;
    for (char **p = array; *p; ++p) twStrFree(*p);
    twMemFree(array);
}

twTypedata twTypeReturnArg(twTypedata value)
{
    return value;
}

twTypedata twTypeReturnArg2(twTypedata value, void *)
{
    return value;
}

void twNullTypedataProc(const char *, void *)
{
    deliver(twTypePtrToTypedata(nullptr));
}

void twTypeNullFree(twTypedata, void *) {}

void twTypeNullFreeParams(twTypeSpec *) {}

/* ---- conveniences ---- */

twTypedata twTypeParse(const twTypeSpec *spec, const char *text)
{
    if (!spec || !spec->behaviour) {
        deliver(twTypePtrToTypedata(nullptr));
    } else {
        spec->behaviour->parse(text ? text : "", spec->params);
    }
    return twTypeReturnDataV;
}

namespace {

void appendPiece(void *buf, const char *text)
{
    if (text) twStrBufAppend(static_cast<twStrBuf *>(buf), text);
}

} // namespace

int twTypeAppendText(const twTypeSpec *spec, const twTypedata *value, twStrBuf *buf)
{
    if (!spec || !spec->behaviour || !value || !buf) return 0;
    spec->behaviour->format(value, spec->params, appendPiece, buf);
    return 1;
}

twTypedata twTypeCopyValue(const twTypeSpec *spec, twTypedata value)
{
    if (!spec || !spec->behaviour) return value;
    if (spec->behaviour->storage == TW_TYPE_STORAGE && !value.p) return value;
    return spec->behaviour->copyValue(value, spec->params);
}

void twTypeFreeValue(const twTypeSpec *spec, twTypedata value)
{
    if (!spec || !spec->behaviour || spec->behaviour->storage != TW_TYPE_STORAGE || !value.p) return;
    spec->behaviour->freeValue(value, spec->params);
}

/* ---- behaviours ---- */

namespace {

void freeParamsBlock(twTypeSpec *spec)
{
    twMemFree(spec->params);
}

// Integers: engineering-unit text, truncated toward zero.
void intParse(const char *text, void *params)
{
    const twTypeIntParams *r = static_cast<const twTypeIntParams *>(params);
    char *end;
    double v = twCvtUstrtod(text, &end);
    if (*end) refuse(1400, text);
    // NaN compares false with everything: refuse it as out of range.
    if (!(v >= r->minimum && v <= r->maximum)) refuse(1401, text, static_cast<long>(r->minimum), static_cast<long>(r->maximum));
    deliver(twTypeLongToTypedata(static_cast<long>(std::trunc(v))));
}

void intFormat(const twTypedata *value, void *, twTypeEmitFn emit, void *emitArg)
{
    emitText(emit, emitArg, twCvtLongStr(value->l));
}

// 64-bit integers: base 10. The reader wraps past the range, so the digits
// are checked against it separately.
bool int64Overflows(const char *text)
{
    const char *p = text;
    while (isBlank(*p)) ++p;
    bool negative = *p == '-';
    if (negative) ++p;
    uint64_t limit = negative ? uint64_t{1} << 63 : INT64_MAX;
    uint64_t v = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        uint64_t d = static_cast<uint64_t>(*p - '0');
        if (v > (limit - d) / 10) return true;
        v = v * 10 + d;
    }
    return false;
}

void int64Parse(const char *text, void *params)
{
    const twTypeInt64Params *r = static_cast<const twTypeInt64Params *>(params);
    char *end;
    twInt64 v = twInt64CvtFromStr(text, &end, 10);
    if (*end) refuse(1400, text);
    if (int64Overflows(text) || v < r->minimum || v > r->maximum) {
        char minimum[32], maximum[32];
        strcpy(minimum, twInt64CvtToStr(r->minimum, 10));
        strcpy(maximum, twInt64CvtToStr(r->maximum, 10));
        refuse(1420, text, minimum, maximum);
    }
    deliver(twTypePtrToTypedata(twTypeAllocInt64(v)));
}

void int64Format(const twTypedata *value, void *, twTypeEmitFn emit, void *emitArg)
{
    const twInt64 *p = static_cast<const twInt64 *>(value->p);
    emitText(emit, emitArg, p ? twInt64CvtToStr(*p, 10) : nullptr);
}

void int64Free(twTypedata value, void *)
{
    twTypeFreeInt64(static_cast<twInt64 *>(value.p));
}

twTypedata int64Copy(twTypedata value, void *)
{
    const twInt64 *p = static_cast<const twInt64 *>(value.p);
    return twTypePtrToTypedata(p ? twTypeAllocInt64(*p) : nullptr);
}

// Doubles: engineering-unit text.
void floatParse(const char *text, void *params)
{
    const twTypeFloatParams *r = static_cast<const twTypeFloatParams *>(params);
    if (!*text) refuse(1402, text);
    char *end;
    double v = twCvtUstrtod(text, &end);
    if (*end) refuse(1402, text);
    if (!(v >= r->minimum && v <= r->maximum)) refuse(1403, text, r->minimum, r->maximum);
    deliver(twTypePtrToTypedata(twTypeAllocDouble(v)));
}

void floatFormat(const twTypedata *value, void *, twTypeEmitFn emit, void *emitArg)
{
    const double *p = static_cast<const double *>(value->p);
    emitText(emit, emitArg, p ? twCvtDtostr(*p, 0, 6, 0.0) : nullptr);
}

void floatFree(twTypedata value, void *)
{
    twTypeFreeDouble(static_cast<double *>(value.p));
}

twTypedata floatCopy(twTypedata value, void *)
{
    const double *p = static_cast<const double *>(value.p);
    return twTypePtrToTypedata(p ? twTypeAllocDouble(*p) : nullptr);
}

// Strings: the check works on a private copy, which becomes the value.
void stringParse(const char *text, void *params)
{
    const twTypeStringParams *s = static_cast<const twTypeStringParams *>(params);
    if (!s->check) {
        deliver(twTypePtrToTypedata(twStrCpy(text)));
        return;
    }
    // The pool's empty string is shared and read-only: an empty text is
    // checked in a buffer of our own.
    char empty[1] = "";
    char *copy = *text ? twStrCpy(text) : nullptr;
    volatile int accepted = 0;
    TW_TRY(TW_EX_ALL) {
        accepted = s->check(copy ? copy : empty);
    } TW_CATCH {
        twStrFree(copy);
        TW_EX_RETHROW();
    } TW_END_TRY;
    if (!accepted) {
        twStrFree(copy);
        refuse(1408, s->typeName ? s->typeName : "", text);
    }
    deliver(twTypePtrToTypedata(copy ? copy : twStrCpy("")));
}

void stringFormat(const twTypedata *value, void *, twTypeEmitFn emit, void *emitArg)
{
    emitText(emit, emitArg, static_cast<const char *>(value->p));
}

void stringFree(twTypedata value, void *)
{
    twStrFree(static_cast<char *>(value.p));
}

twTypedata stringCopy(twTypedata value, void *)
{
    return twTypePtrToTypedata(twStrCpy(static_cast<const char *>(value.p)));
}

// Enumerations and masks.
void freeNamedParams(twTypeSpec *spec)
{
    twTypeEnumParams *e = static_cast<twTypeEnumParams *>(spec->params);
    if (!e) return;
    for (int i = 0; i < e->count; ++i) twStrFree(const_cast<char *>(e->names[i]));
    twMemFree(e->names);
    twMemFree(e);
}

// The index of the name 'word' stands for: exact (ignoring case) or the
// only one it begins; -2 ambiguous, -1 none.
int lookupName(const twTypeEnumParams *e, const char *word)
{
    return twStrIindex(word, e->names, e->count);
}

void enumParse(const char *text, void *params)
{
    const twTypeEnumParams *e = static_cast<const twTypeEnumParams *>(params);
    char *trimmed = twStrTrimAlloc(text);
    int index = lookupName(e, trimmed);
    twStrFree(trimmed);
    if (index == -2) refuse(1405, text);
    if (index == -1) {
        long n;
        if (!readDecimal(text, &n) || n < 0 || n >= e->count) refuse(1404, text, joinedNames(e));
        index = static_cast<int>(n);
    }
    deliver(twTypeLongToTypedata(index));
}

void enumFormat(const twTypedata *value, void *params, twTypeEmitFn emit, void *emitArg)
{
    const twTypeEnumParams *e = static_cast<const twTypeEnumParams *>(params);
    if (value->l >= 0 && value->l < e->count) {
        emitText(emit, emitArg, e->names[value->l]);
    } else {
        char text[48];
        snprintf(text, sizeof text, "?%ld?", value->l);
        emitText(emit, emitArg, text);
    }
}

void maskParse(const char *text, void *params)
{
    const twTypeEnumParams *e = static_cast<const twTypeEnumParams *>(params);
    const char *seps = " \t\n\f|+";
    unsigned long mask = 0;
    char word[101];
    const char *p = text;
    while ((p = twStrTok(p, word, sizeof word, seps)) != nullptr) {
        if (!word[0]) continue;
        if (strspn(word, "0123456789") == strlen(word)) {
            errno = 0;
            unsigned long n = strtoul(word, nullptr, 10);
            mask |= errno == ERANGE ? ~0ul : n;
            continue;
        }
        int index = lookupName(e, word);
        if (index == -2) refuse(1405, word);
        if (index == -1) refuse(1404, word, joinedNames(e));
        if (index >= 64) refuse(1407, text);  // a bit the mask word cannot hold
        mask |= 1ul << index;
    }
    if (e->count < 64 && (mask >> e->count) != 0) refuse(1407, text);
    deliver(twTypeLongToTypedata(static_cast<long>(mask)));
}

void maskFormat(const twTypedata *value, void *params, twTypeEmitFn emit, void *emitArg)
{
    const twTypeEnumParams *e = static_cast<const twTypeEnumParams *>(params);
    unsigned long mask = static_cast<unsigned long>(value->l);
    bool first = true;
    for (int i = 0; i < e->count && i < 64; ++i) {
        if (!(mask & (1ul << i))) continue;
        if (!first) emitText(emit, emitArg, " + ");
        emitText(emit, emitArg, e->names[i]);
        first = false;
    }
}

// Pointers: the value functions come from the params.
void pointerToStringFormat(const twTypedata *value, void *params, twTypeEmitFn emit, void *emitArg)
{
    const twTypePointerParams *f = static_cast<const twTypePointerParams *>(params);
    emitText(emit, emitArg, f->toString ? f->toString(value->p) : nullptr);
}

void pointerPrintFormat(const twTypedata *value, void *params, twTypeEmitFn emit, void *emitArg)
{
    const twTypePointer4Params *f = static_cast<const twTypePointer4Params *>(params);
    if (f->print) f->print(value->p, emit, emitArg);
}

void pointerFree(twTypedata value, void *params)
{
    const twTypePointerParams *f = static_cast<const twTypePointerParams *>(params);
    if (f->free && value.p) f->free(value.p);
}

twTypedata pointerCopy(twTypedata value, void *params)
{
    const twTypePointerParams *f = static_cast<const twTypePointerParams *>(params);
    return twTypePtrToTypedata(f->copy && value.p ? f->copy(value.p) : value.p);
}

void pointer4Free(twTypedata value, void *params)
{
    const twTypePointer4Params *f = static_cast<const twTypePointer4Params *>(params);
    if (f->free && value.p) f->free(value.p);
}

twTypedata pointer4Copy(twTypedata value, void *params)
{
    const twTypePointer4Params *f = static_cast<const twTypePointer4Params *>(params);
    return twTypePtrToTypedata(f->copy && value.p ? f->copy(value.p) : value.p);
}

void pointer4Parse(const char *text, void *params)
{
    const twTypePointer4Params *f = static_cast<const twTypePointer4Params *>(params);
    deliver(twTypePtrToTypedata(f->parse ? f->parse(text) : nullptr));
}

} // namespace

const twTypeBehaviour twIntTB = {TW_TYPE_IMMEDIATE, intParse, intFormat, twTypeNullFree, twTypeReturnArg2,
                                 freeParamsBlock};
const twTypeBehaviour twInt64TB = {TW_TYPE_STORAGE, int64Parse, int64Format, int64Free, int64Copy, freeParamsBlock};
const twTypeBehaviour twFloatTB = {TW_TYPE_STORAGE, floatParse, floatFormat, floatFree, floatCopy, freeParamsBlock};
const twTypeBehaviour twStringTB = {TW_TYPE_STORAGE, stringParse, stringFormat, stringFree, stringCopy,
                                    freeParamsBlock};
const twTypeBehaviour twEnumTB = {TW_TYPE_IMMEDIATE, enumParse, enumFormat, twTypeNullFree, twTypeReturnArg2,
                                  freeNamedParams};
const twTypeBehaviour twMaskTB = {TW_TYPE_IMMEDIATE, maskParse, maskFormat, twTypeNullFree, twTypeReturnArg2,
                                  freeNamedParams};
const twTypeBehaviour twPointerNoAllocTB = {TW_TYPE_STORAGE,   twNullTypedataProc, pointerToStringFormat,
                                            twTypeNullFree,    twTypeReturnArg2,   twTypeNullFreeParams};
const twTypeBehaviour twPointerTB = {TW_TYPE_STORAGE, twNullTypedataProc, pointerToStringFormat,
                                     pointerFree,     pointerCopy,        twTypeNullFreeParams};
const twTypeBehaviour twPointer3TB = {TW_TYPE_STORAGE, twNullTypedataProc, pointerPrintFormat,
                                      pointer4Free,    pointer4Copy,       twTypeNullFreeParams};
const twTypeBehaviour twPointerNoAlloc1TB = {TW_TYPE_STORAGE, twNullTypedataProc, pointerPrintFormat,
                                             twTypeNullFree,  twTypeReturnArg2,   twTypeNullFreeParams};
const twTypeBehaviour twPointer4TB = {TW_TYPE_STORAGE, pointer4Parse, pointerPrintFormat,
                                      pointer4Free,    pointer4Copy,  twTypeNullFreeParams};

/* ---- the stock specifications ---- */

namespace {

#define STOCK(var, name, behaviour, params) twTypeSpec var = {name, behaviour, const_cast<void *>(static_cast<const void *>(params)), 1}

twTypeIntParams intRange = {-2147483647, 2147483647};
twTypeIntParams positiveIntRange = {1, 2147483647};
twTypeIntParams unsignedIntRange = {0, 2147483647};
twTypeIntParams charRange = {0, 1023};
twTypeInt64Params int64Range = {INT64_MIN, INT64_MAX};
twTypeFloatParams floatRange = {-DBL_MAX, DBL_MAX};
twTypeFloatParams positiveFloatRange = {0.0, DBL_MAX};

int upperCheck(char *text)
{
    twStrUpc(text);
    return 1;
}

int lowerCheck(char *text)
{
    twStrLoc(text);
    return 1;
}

int notEmptyCheck(char *text)
{
    return text[0] != '\0';
}

twTypeStringParams anyString = {nullptr, "twStringVT"};
twTypeStringParams upperString = {upperCheck, "twStringUpperVT"};
twTypeStringParams lowerString = {lowerCheck, "twStringLowerVT"};
twTypeStringParams restString = {nullptr, "twStringRestOfLineVT"};
twTypeStringParams rest1String = {nullptr, "twStringRestOfLine1VT"};
twTypeStringParams constString = {nullptr, "twStringConstVT"};
twTypeStringParams notEmptyString = {notEmptyCheck, "twStringNotEmptyVT"};

const char *yesNoNames[] = {"No", "Yes"};
const char *onOffNames[] = {"Off", "On"};
const char *trueFalseNames[] = {"False", "True"};
const char *sevNames[] = {"Error", "Status", "Note", "Warning", "Fatal", "Internal", "Disabled"};
const char *cntxNames[] = {"Stderr", "StatusLine", "AlertBox", "LogFile"};
const char *actionNames[] = {"statusLine", "alertBox", "disabled"};
const char *styleNames[] = {"terse", "verbose"};
twTypeEnumParams yesNo = {2, yesNoNames};
twTypeEnumParams onOff = {2, onOffNames};
twTypeEnumParams trueFalse = {2, trueFalseNames};
twTypeEnumParams sev = {7, sevNames};
twTypeEnumParams cntx = {4, cntxNames};
twTypeEnumParams action = {3, actionNames};
twTypeEnumParams style = {2, styleNames};

// Specifications as values: printed by name.
void typespecPrint(void *value, twTypeEmitFn emit, void *emitArg)
{
    const twTypeSpec *spec = static_cast<const twTypeSpec *>(value);
    emit(emitArg, spec ? spec->name : nullptr);
}

void *typespecCopy(void *value)
{
    return twTypeTSCopy(static_cast<twTypeSpec *>(value));
}

void typespecFree(void *value)
{
    twTypeTSFree(static_cast<twTypeSpec *>(value));
}

twTypePointer3Params typespecFunctions = {typespecPrint, typespecCopy, typespecFree, nullptr};

// String arrays: words that a quoted word may hold blanks in.
const char *const arraySeps = " \n\t";

void *strArrayParse(const char *text)
{
    // Counted first, then collected: the array is made at its final size.
    twStrBuf *word = twStrBufCreate(32);
    size_t n = 0;
    for (const char *p = text; (p = twStrBufTokQuote(p, word, arraySeps)) != nullptr;) ++n;
    char **array = static_cast<char **>(twMemMalloc(static_cast<uint32_t>((n + 1) * sizeof(char *)), "twStrArray"));
    size_t i = 0;
    for (const char *p = text; i < n && (p = twStrBufTokQuote(p, word, arraySeps)) != nullptr;)
        array[i++] = twStrCpy(twStrBufString(word));
    array[i] = nullptr;
    twStrBufDestroy(word);
    return array;
}

void strArrayPrint(void *value, twTypeEmitFn emit, void *emitArg)
{
    char **array = static_cast<char **>(value);
    twStrBuf *line = twStrBufCreate(64);
    for (char **p = array; p && *p; ++p) {
        if (p != array) twStrBufAppendChar(line, ' ');
        twStrBufUntokQuote(*p, line, TW_UNTOK_QUOTE, arraySeps);
    }
    // The emit may raise: the line is copied to a place the raise cannot
    // strand. The pool string goes back right after.
    char *text = twStrCpy(twStrBufString(line));
    twStrBufDestroy(line);
    TW_TRY(TW_EX_ALL) {
        emit(emitArg, text);
    } TW_CATCH {
        twStrFree(text);
        TW_EX_RETHROW();
    } TW_END_TRY;
    twStrFree(text);
}

void *strArrayCopy(void *value)
{
    return twTypeStrArrayCopy(static_cast<char **>(value));
}

void strArrayFree(void *value)
{
    twTypeStrArrayFree(static_cast<char **>(value));
}

twTypePointer4Params strArrayFunctions = {strArrayPrint, strArrayCopy, strArrayFree, strArrayParse};

// Error chains and streams.
const char *errToString(void *value)
{
    return twErrString(static_cast<const twErr *>(value), TW_ERR_CNTX_STDERR);
}

void *errCopy(void *value)
{
    return twErrCopy(static_cast<twErr *>(value));
}

void errFree(void *value)
{
    twErrDestroy(static_cast<twErr *>(value));
}

twTypePointerParams errFunctions = {errToString, errCopy, errFree};

void errStreamPrint(void *value, twTypeEmitFn emit, void *emitArg)
{
    twErrStream_TSPrint(value, emit, emitArg);
}

twTypePointer3Params errStreamFunctions = {errStreamPrint, twErrStream_TSCopy, twErrStream_TSFree, nullptr};

} // namespace

STOCK(twIntTS, "twIntVT", &twIntTB, &intRange);
STOCK(twPositiveIntTS, "twPositiveIntVT", &twIntTB, &positiveIntRange);
STOCK(twUnsignedIntTS, "twUnsignedIntVT", &twIntTB, &unsignedIntRange);
STOCK(twCharTS, "twCharVT", &twIntTB, &charRange);
STOCK(twInt64TS, "twInt64VT", &twInt64TB, &int64Range);
STOCK(twFloatTS, "twFloatVT", &twFloatTB, &floatRange);
STOCK(twPositiveFloatTS, "twPositiveFloatVT", &twFloatTB, &positiveFloatRange);
STOCK(twStringTS, "twStringVT", &twStringTB, &anyString);
STOCK(twStringUpperTS, "twStringUpperVT", &twStringTB, &upperString);
STOCK(twStringLowerTS, "twStringLowerVT", &twStringTB, &lowerString);
STOCK(twRestTS, "twStringRestOfLineVT", &twStringTB, &restString);
STOCK(twRest1TS, "twStringRestOfLine1VT", &twStringTB, &rest1String);
STOCK(twStringConstTS, "twStringConstVT", &twStringTB, &constString);
STOCK(twStringNotEmptyTS, "twStringNotEmptyVT", &twStringTB, &notEmptyString);
STOCK(twYesNoTS, "twYesNoVT", &twEnumTB, &yesNo);
STOCK(twOnOffTS, "twOnOffVT", &twEnumTB, &onOff);
STOCK(twTrueFalseTS, "twTrueFalseVT", &twEnumTB, &trueFalse);
STOCK(twVoidTS, "twVoidVT", nullptr, nullptr);
STOCK(twCallbackTS, "twCallbackVT", nullptr, nullptr);
STOCK(twAnyTS, "twAnyVT", nullptr, nullptr);
STOCK(twTypespecTS, "twTypespecVT", &twPointer3TB, &typespecFunctions);
STOCK(twStrArrayTS, "twStrArrayVT", &twPointer4TB, &strArrayFunctions);
STOCK(twErrTS, "twErrVT", &twPointerTB, &errFunctions);
STOCK(twErrStreamTS, "twErrStreamVT", &twPointer3TB, &errStreamFunctions);
STOCK(twErrSevTS, "twErrSevVT", &twEnumTB, &sev);
STOCK(twErrCntxTS, "twErrCntxVT", &twEnumTB, &cntx);
STOCK(twErrActionTS, "twErrActionVT", &twEnumTB, &action);
STOCK(twErrStyleTS, "twErrStyleVT", &twEnumTB, &style);
