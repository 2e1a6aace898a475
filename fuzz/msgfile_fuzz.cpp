/* msgfile_fuzz.cpp - arbitrary bytes loaded as a message file.
 *
 * The input is served as the compiled-in copy of the catalogue "fuzzed"
 * (no such file is on disk, so the search finds none), opened without and
 * with expectations, and every message number from 0 to 64 and a few
 * others are looked up. Everything runs in a catch frame: a damaged file
 * must end in an exception with its message, never in a crash, a read past
 * the input or an allocation the input cannot back. Leaks show through the
 * sanitizer's leak check.
 */
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "twlib/err/except.h"
#include "twlib/err/msgfile.h"

namespace {

const uint8_t *input;
size_t inputSize;
twMsgBuiltinFn library;  // the library's own catalogues, for the errors

const unsigned char *fuzzedCatalogue(const char *name, size_t *size)
{
    if (std::strcmp(name, "fuzzed") != 0) return library ? library(name, size) : nullptr;
    *size = inputSize;
    return input;
}

int measure(void *data, const char *text)
{
    *static_cast<size_t *>(data) += std::strlen(text);
    return 0;
}

void lookUp(twMsgFileHandle *file, int number)
{
    size_t seen = 0;
    TW_TRY(TW_EX_ALL) {
        twMsgText(file, number, measure, &seen);
    } TW_CATCH {
        TW_EX_SWALLOW();
    } TW_END_TRY;
}

void openAndRead(const char *owner, const char *minVersion, const char *maxVersion)
{
    twMsgFileHandle *volatile file = nullptr;
    TW_TRY(TW_EX_ALL) {
        file = twMsgFileOpen("fuzzed", owner, nullptr, minVersion, maxVersion);
    } TW_CATCH {
        TW_EX_SWALLOW();
    } TW_END_TRY;
    if (!file) return;
    for (int number = 0; number <= 64; number++) lookUp(file, number);
    for (int number : {-1, 1000, 65535, 1 << 20, INT32_MAX, INT32_MIN}) lookUp(file, number);
    // The cache must not hand these texts to the next input's handle.
    twMsgFileClose(file);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static bool installed = false;
    if (!installed) {
        installed = true;
        library = twMsg_SetBuiltinCatalogues(fuzzedCatalogue);
    }
    input = data;
    inputSize = size;
    openAndRead(nullptr, nullptr, nullptr);
    openAndRead("twlib", "1.0.0", "9.9.9");
    return 0;
}
