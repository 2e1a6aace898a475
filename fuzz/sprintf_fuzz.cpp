/* sprintf_fuzz.cpp - arbitrary formats into the printf engine.
 *
 * Every format is parsed; each piece must lie inside the format or the
 * scratch area and a refused piece must end the parse. A format the parse
 * accepts and whose arguments are all strings, or all ints (stars
 * included), is then formatted with 99 such arguments into exact heap
 * buffers of several sizes: the output must be the same prefix of the
 * whole text at every size, and the length told must not change.
 */
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "twlib/text/sprintf.h"

namespace {

void check(bool ok, const char *what, const std::string &format)
{
    if (ok) return;
    std::fprintf(stderr, "property failed: %s for [%s]\n", what, format.c_str());
    std::abort();
}

struct Walk {
    const std::string *format;
    bool refused = false;
    bool strings = true;  // every argument a string
    bool ints = true;     // every argument an int
};

bool inside(const char *p, const char *start, size_t len)
{
    return p >= start && p <= start + len;
}

int visit(const twSpFmtDesc *d, void *user)
{
    auto *w = static_cast<Walk *>(user);
    const std::string &f = *w->format;
    check(!w->refused, "nothing follows a refused piece", f);
    check(inside(d->cursor, d->format, f.size()), "the cursor lies in the format", f);
    const char *text = twSpFmtDescStr(d);
    check(text != nullptr, "every piece has a text", f);
    int kind = twSpFmtDescIs(d);
    if (kind == TW_SPFMT_INVALID) {
        w->refused = true;
        return 1;
    }
    check(inside(d->work, d->text, static_cast<size_t>(d->scratchSize)),
          "the work pointer lies in the scratch", f);
    check(strlen(text) < static_cast<size_t>(d->scratchSize), "the text fits the scratch", f);
    if (kind == TW_SPFMT_CONV) {
        int code = twSpFmtArgIs(d) & 0xFF;
        bool stars = twSpFmtArgIs(d) & (TW_SPFMT_STAR_WIDTH | TW_SPFMT_STAR_PRECISION);
        check(text[0] == '%', "a specification starts with %", f);
        if (code != TW_SPARG_STRING || stars) w->strings = false;
        if (code != TW_SPARG_INT && code != TW_SPARG_CHAR) w->ints = false;
    }
    return 1;
}

#define ARGS10(a) a, a, a, a, a, a, a, a, a, a
#define ARGS99(a)                                                                                            \
    ARGS10(a), ARGS10(a), ARGS10(a), ARGS10(a), ARGS10(a), ARGS10(a), ARGS10(a), ARGS10(a), ARGS10(a), a, a, \
        a, a, a, a, a, a, a

int formatInto(char *buf, int size, int *needed, const char *format, bool strings)
{
    const char *s = "str";
    int i = 3;
    return strings ? twSprintf2(buf, size, needed, format, ARGS99(s))
                   : twSprintf2(buf, size, needed, format, ARGS99(i));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string format(reinterpret_cast<const char *>(data), size);
    format = format.c_str();  // up to the first NUL
    Walk w;
    w.format = &format;
    twSpFmtParse(format.c_str(), visit, &w);
    if (w.refused || !(w.strings || w.ints)) return 0;

    int needed = 0;
    std::unique_ptr<char[]> whole(new char[1]);
    formatInto(whole.get(), 1, &needed, format.c_str(), w.strings);
    if (needed > (1 << 20)) return 0;  // huge widths: counted, not worth writing
    whole.reset(new char[static_cast<size_t>(needed)]);
    int full = needed;
    check(formatInto(whole.get(), full, &needed, format.c_str(), w.strings) == 0, "fits in needed", format);
    for (int cut : {1, 2, full / 2, full - 1}) {
        if (cut < 1 || cut >= full) continue;
        std::unique_ptr<char[]> buf(new char[static_cast<size_t>(cut)]);
        int r = formatInto(buf.get(), cut, &needed, format.c_str(), w.strings);
        check(needed == full, "the length told does not depend on the buffer", format);
        check(r == -1, "a cut output is told", format);
        check(memcmp(buf.get(), whole.get(), static_cast<size_t>(cut - 1)) == 0 && buf[cut - 1] == '\0',
              "a cut output is a prefix of the whole", format);
    }
    return 0;
}
