/* types_fuzz.cpp - arbitrary text parsed by every stock type specification,
 * and by a mask and a created enumeration.
 *
 * Each parse runs under a catch frame: a refusal is an exception that is
 * caught and swallowed. An accepted value is printed, copied and freed, so
 * that a leak or a bad release is a sanitizer report. Properties checked:
 * the text of an accepted value parses again to a value with the same
 * text (numbers, names and string arrays settle after one reading), and
 * the engineering reader never ends outside its text. Of the file types
 * only those that look at a path without opening it (name, directory) are
 * fuzzed: the read check opens whatever a path names, device files
 * included, and the write checks create and delete probe files wherever a
 * path points.
 */
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "twlib/cvt/eng.h"
#include "twlib/err/error.h"
#include "twlib/err/except.h"
#include "twlib/pref/types.h"
#include "twlib/text/strbuf.h"

namespace {

void check(bool ok, const char *what, const char *spec, const char *text)
{
    if (ok) return;
    std::fprintf(stderr, "property failed: %s for %s [%s]\n", what, spec, text);
    std::abort();
}

const char *maskNames[] = {"Read", "Write", "Execute", "Rest"};
twTypeEnumParams maskParams = {4, maskNames};
twTypeSpec maskTS = {"maskVT", &twMaskTB, &maskParams, 1};

// The value's text in 'buf' (emptied first); false without a text form.
bool textOf(const twTypeSpec *spec, twTypedata value, twStrBuf *buf)
{
    twStrBufClear(buf);
    return twTypeAppendText(spec, &value, buf) != 0;
}

// Parses under a catch frame; true (value in *out) when it was accepted.
bool tryParse(const twTypeSpec *spec, const char *text, twTypedata *out)
{
    volatile bool accepted = false;
    TW_TRY(TW_EX_ALL) {
        *out = twTypeParse(spec, text);
        accepted = true;
    } TW_CATCH {
        TW_EX_SWALLOW();
    } TW_END_TRY;
    return accepted;
}

// Numbers and names settle after one reading; strings and the rest are
// their own text.
bool settles(const twTypeSpec *spec)
{
    return spec->behaviour != &twFileTB;
}

void fuzzOne(const twTypeSpec *spec, const char *text, twStrBuf *first, twStrBuf *second)
{
    twTypedata v;
    if (!tryParse(spec, text, &v)) return;
    twTypedata copy = twTypeCopyValue(spec, v);
    bool printable = textOf(spec, v, first);
    if (printable && spec->behaviour->parse != twNullTypedataProc && settles(spec)) {
        twTypedata again;
        bool ok = tryParse(spec, twStrBufString(first), &again);
        check(ok, "its own text parses", spec->name, text);
        textOf(spec, again, second);
        check(strcmp(twStrBufString(first), twStrBufString(second)) == 0, "the text settles", spec->name, text);
        twTypeFreeValue(spec, again);
        textOf(spec, copy, second);
        check(strcmp(twStrBufString(first), twStrBufString(second)) == 0, "a copy prints the same", spec->name,
              text);
    }
    twTypeFreeValue(spec, v);
    twTypeFreeValue(spec, copy);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string text(reinterpret_cast<const char *>(data), size);
    const char *t = text.c_str();  // up to the first NUL, as every caller passes it

    char *end = nullptr;
    twCvtUstrtod(t, &end);
    check(end >= t && end <= t + strlen(t), "the reader ends inside its text", "twCvtUstrtod", t);
    twCvtUstrtod2(t, &end, size > 0 ? data[0] % 12 : 6, "volts");
    check(end >= t && end <= t + strlen(t), "the reader ends inside its text", "twCvtUstrtod2", t);

    static twTypeSpec *const stock[] = {
        &twIntTS,        &twPositiveIntTS,    &twUnsignedIntTS, &twCharTS,        &twInt64TS,
        &twFloatTS,      &twPositiveFloatTS,  &twStringTS,      &twStringUpperTS, &twStringLowerTS,
        &twRestTS,       &twRest1TS,          &twStringConstTS, &twStringNotEmptyTS,
        &twFileNameTS,   &twDirTS,            &twYesNoTS,       &twOnOffTS,
        &twTrueFalseTS,  &twVoidTS,           &twCallbackTS,    &twAnyTS,         &twTypespecTS,
        &twStrArrayTS,   &twErrTS,            &twErrStreamTS,   &twErrSevTS,      &twErrCntxTS,
        &twErrActionTS,  &twErrStyleTS,       &maskTS,
    };
    twStrBuf *first = twStrBufCreate(64);
    twStrBuf *second = twStrBufCreate(64);
    for (twTypeSpec *spec : stock) fuzzOne(spec, t, first, second);
    const char *names[] = {"alpha", "alps", "beta", "Gamma"};
    twTypeSpec *created = twTypeCreateEnum("createdVT", names, 4);
    fuzzOne(created, t, first, second);
    twTypeTSFree(created);
    twStrBufDestroy(first);
    twStrBufDestroy(second);
    return 0;
}
