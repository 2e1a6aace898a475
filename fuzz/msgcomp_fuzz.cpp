/* msgcomp_fuzz.cpp - arbitrary bytes compiled as a message header.
 *
 * Every input must compile or stop with one of the compiler's codes, and
 * the stop must have been reported with that code (so the user sees a clear
 * error); a compilation that succeeds must leave a well-formed message file
 * holding exactly the messages reported compiled. Leaks show through the
 * sanitizer's leak check.
 */
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "../tests/twlib/err/tmb_reader.h"
#include "tslib/dufs.h"
#include "twlib/err/msgcomp.h"

namespace {

struct Seen {
    int last = 1;
    std::set<int> compiled;  // message numbers reported compiled
    bool duplicate = false;
};

int note(int code, int, int number, const char *text, void *data)
{
    auto *seen = static_cast<Seen *>(data);
    if (!text) abort();
    seen->last = code;
    if (code == TW_MSGCOMP_COMPILED && number > 0) seen->compiled.insert(number);
    if (code == TW_MSGCOMP_DUPLICATE) seen->duplicate = true;
    // Odd lengths ask to stop at a problem, even ones to go on.
    return code < 0 && (strlen(text) & 1);
}

std::string readAll(FILE *f)
{
    std::string bytes;
    char buffer[4096];
    rewind(f);
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FILE *header = fmemopen(const_cast<uint8_t *>(data), size, "r");
    if (size == 0 || !header) {
        if (header) fclose(header);
        return 0;
    }
    FILE *raw = tmpfile();
    twDufsB *out = raw ? twDufsBSetup(raw, "w+") : nullptr;
    if (!out) abort();
    Seen seen;
    int result = twMsgCompCompile(header, out, note, &seen);
    fclose(header);
    if (result != 0) {
        if (result != seen.last || result > -1 || result < -10) abort();
    } else {
        twtest::TmbFile f = twtest::readTmb(readAll(twDufsBGetFD(out)));
        if (!f.problem.empty()) abort();
        std::set<int> indexed(f.order.begin(), f.order.end());
        if (indexed != seen.compiled) abort();
        if (!seen.duplicate && indexed.size() != f.order.size()) abort();
    }
    twDufsBFclose(out);
    return 0;
}
