/* convert.cpp - value conversion, quiet value checks.
 *
 * Registered converters live in a hash table keyed by the pair record
 * itself; the record is both key and value, so replacing a pair's
 * converter hands the old record back to be freed. Text conversions and
 * checks format into a string buffer and parse it under a catch frame: the
 * frame releases what the conversion holds before the exception goes on.
 */
#include "twlib/pref/convert.h"

#include <limits.h>
#include <stdio.h>

#include "twlib/containers/sym.h"
#include "twlib/core/exit.h"
#include "twlib/core/mem.h"
#include "twlib/err/error.h"
#include "twlib/err/except.h"
#include "twlib/text/strbuf.h"

namespace {

// One registered pair (three words, tag "Type Converter").
struct Converter {
    const twTypeSpec *from;
    const twTypeSpec *to;
    twTypeConverterFn function;
};
static_assert(sizeof(Converter) == 3 * sizeof(void *));

const char kConverterTag[] = "Type Converter";

// Made by the first registration; released by an exit handler.
twSymTable *converters;

// The text of the value under check, shared by every check and emptied
// before each; made by the first check, released by an exit handler.
twStrBuf *twTypeErrBuf;

enum { kConvertBufferSize = 100 };

const char kMissing[] = "<null>";

uint32_t hashPair(const void *key)
{
    const twTypeSpec *from = static_cast<const Converter *>(key)->from;
    uint32_t a = (uint32_t)(uintptr_t)from;
    return a ^ (2u * a);
}

int samePair(const void *stored, const void *probe)
{
    const auto *s = static_cast<const Converter *>(stored);
    const auto *p = static_cast<const Converter *>(probe);
    return s->from == p->from && s->to == p->to;
}

void freeConverter(void *record)
{
    twMemFree(record);
}

void releaseConverters(void *)
{
    twSymDestroy(converters, freeConverter);
    converters = nullptr;
}

void releaseCheckBuffer(void *)
{
    twStrBufDestroy(twTypeErrBuf);
    twTypeErrBuf = nullptr;
}

void appendPiece(void *buf, const char *text)
{
    twStrBufAppend(static_cast<twStrBuf *>(buf), text);
}

// A check writes a piece without text as one blank, so that the parse
// still sees something where the value stood.
void appendPieceOrBlank(void *buf, const char *text)
{
    twStrBufAppend(static_cast<twStrBuf *>(buf), text ? text : " ");
}

const char *nameOf(const twTypeSpec *spec)
{
    return spec && spec->name ? spec->name : kMissing;
}

bool canFormat(const twTypeSpec *spec)
{
    return spec && spec->behaviour && spec->behaviour->format;
}

bool canParse(const twTypeSpec *spec)
{
    return spec && spec->behaviour && spec->behaviour->parse && spec->behaviour->parse != twNullTypedataProc;
}

bool isTwoValued(const twTypeSpec *spec)
{
    return spec == &twYesNoTS || spec == &twOnOffTS || spec == &twTrueFalseTS;
}

bool isChecked(const twTypeBehaviour *b)
{
    return b == &twIntTB || b == &twStringTB || b == &twFileTB || b == &twEnumTB || b == &twFloatTB ||
           b == &twMaskTB;
}

[[noreturn]] void refuseRange(long value, long minimum, long maximum)
{
    char text[24];
    snprintf(text, sizeof text, "%ld", value);
    twExThrowBuild(TW_EX_POSTCOND, nullptr, twEx_LibraryMessageFile("twlib"), 1401, text, minimum, maximum);
}

void passWithin(const twTypedata *value, long minimum, long maximum)
{
    if (value->l < minimum || value->l > maximum) refuseRange(value->l, minimum, maximum);
    twTypeReturnDataV = *value;
}

constexpr int32_t kWordBits = (int32_t)(sizeof(long) * CHAR_BIT);

// A mask of 'count' names takes the words without a bit at or above
// position count.
bool fitsMask(long word, int32_t count)
{
    if (count >= kWordBits) return true;
    return ((unsigned long)word >> (count < 0 ? 0 : count)) == 0;
}

void passAsMask(const twTypedata *value, int32_t count)
{
    if (!fitsMask(value->l, count)) {
        long maximum = count >= kWordBits - 1 ? LONG_MAX : count <= 0 ? 0 : (1L << count) - 1;
        refuseRange(value->l, 0, maximum);
    }
    twTypeReturnDataV = *value;
}

// The built-in rules; false when none applies.
bool convertByRule(const twTypeSpec *from, const twTypeSpec *to, const twTypedata *value)
{
    const twTypeBehaviour *fb = from ? from->behaviour : nullptr;
    const twTypeBehaviour *tb = to ? to->behaviour : nullptr;
    if ((fb == &twEnumTB || fb == &twMaskTB) && tb == &twIntTB) {
        const auto *range = static_cast<const twTypeIntParams *>(to->params);
        passWithin(value, range->minimum, range->maximum);
        return true;
    }
    if (fb == &twIntTB && tb == &twMaskTB) {
        passAsMask(value, static_cast<const twTypeEnumParams *>(to->params)->count);
        return true;
    }
    if (fb == &twIntTB && tb == &twEnumTB) {
        passWithin(value, 0, (long)static_cast<const twTypeEnumParams *>(to->params)->count - 1);
        return true;
    }
    if (isTwoValued(from) && isTwoValued(to)) {
        twTypeReturnDataV = *value;
        return true;
    }
    return false;
}

void convertByText(const twTypeSpec *from, const twTypeSpec *to, const twTypedata *value)
{
    twStrBuf *const buf = twStrBufCreate(kConvertBufferSize);
    TW_TRY(TW_EX_ALL) {
        from->behaviour->format(value, from->params, appendPiece, buf);
        to->behaviour->parse(twStrBufString(buf), to->params);
    } TW_CATCH {
        twStrBufDestroy(buf);
        TW_EX_RETHROW();
    } TW_END_TRY;
    twStrBufDestroy(buf);
}

[[noreturn]] void refuseConversion(const twTypeSpec *from, const twTypeSpec *to, const twTypedata *value)
{
    twStrBuf *const buf = twStrBufCreate(kConvertBufferSize);
    twErr *volatile error = nullptr;
    TW_TRY(TW_EX_ALL) {
        const char *text = kMissing;
        if (canFormat(from)) {
            from->behaviour->format(value, from->params, appendPiece, buf);
            text = twStrBufString(buf);
        }
        error = twErrBuild(nullptr, twEx_LibraryMessageFile("twlib"), 1409, nameOf(to), nameOf(from), text);
    } TW_CATCH {
        twStrBufDestroy(buf);
        TW_EX_RETHROW();
    } TW_END_TRY;
    twStrBufDestroy(buf);
    twExThrow(TW_EX_POSTCOND, error);
}

}  // namespace

void twTypeConvert(const twTypeSpec *fromSpec, const twTypeSpec *toSpec, const twTypedata *valueAddress)
{
    if (toSpec == &twVoidTS) return;
    twExPrecond(valueAddress == nullptr, nullptr, 0);
    if (converters) {
        Converter probe = {fromSpec, toSpec, nullptr};
        const auto *found = static_cast<const Converter *>(twSymFetch(converters, &probe));
        if (found) {
            found->function(fromSpec, toSpec, valueAddress);
            return;
        }
    }
    if (convertByRule(fromSpec, toSpec, valueAddress)) return;
    // Both ends must have a behaviour: a source without one has no text to
    // give, and formatting through its missing table would crash.
    if (canParse(toSpec) && canFormat(fromSpec)) {
        convertByText(fromSpec, toSpec, valueAddress);
        return;
    }
    refuseConversion(fromSpec, toSpec, valueAddress);
}

void twTypeAddConverter(twTypeConverterFn function, const twTypeSpec *fromSpec, const twTypeSpec *toSpec)
{
    twExPrecond(!function || !fromSpec || !toSpec, nullptr, 0);
    if (!converters) {
        converters = twSymCreate(11, hashPair, samePair, nullptr, nullptr);
        twSymDynamic(converters, 2.0, 2.0);
        twOnExitAdd(releaseConverters, nullptr);
    }
    auto *record = static_cast<Converter *>(twMemMalloc(sizeof(Converter), kConverterTag));
    *record = {fromSpec, toSpec, function};
    // The new record becomes the kept key too; the old one comes back.
    void *replaced = twSymStore(converters, record, record);
    if (replaced) twMemFree(replaced);
}

int twTypeCheckVal(const twTypeSpec *spec, const twTypedata *valueAddress)
{
    if (!spec || !isChecked(spec->behaviour)) return 1;
    if (!valueAddress) return 0;
    // A mask's text names only the bits below its count, so bits above it
    // would vanish in the text and pass: the word itself tells.
    if (spec->behaviour == &twMaskTB &&
        !fitsMask(valueAddress->l, static_cast<const twTypeEnumParams *>(spec->params)->count))
        return 0;
    if (!twTypeErrBuf) {
        twTypeErrBuf = twStrBufCreate(kConvertBufferSize);
        twOnExitAdd(releaseCheckBuffer, nullptr);
    }
    twStrBufClear(twTypeErrBuf);
    // The parse below leaves its value in the result word, and the value is
    // freed before returning: give the caller's word back rather than leave
    // a released pointer there.
    const twTypedata saved = twTypeReturnDataV;
    const twTypeBehaviour *const b = spec->behaviour;
    volatile int accepted = 0;
    TW_TRY(TW_EX_ALL) {
        b->format(valueAddress, spec->params, appendPieceOrBlank, twTypeErrBuf);
        b->parse(twStrBufString(twTypeErrBuf), spec->params);
        accepted = 1;
    } TW_CATCH {
        TW_EX_SWALLOW();
    } TW_END_TRY;
    if (accepted && b->storage == TW_TYPE_STORAGE && twTypeReturnDataV.p)
        b->freeValue(twTypeReturnDataV, spec->params);
    twTypeReturnDataV = saved;
    return accepted;
}
