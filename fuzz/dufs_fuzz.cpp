/* dufs_fuzz.cpp - arbitrary bytes read as a binary stream and as text.
 *
 * The first byte of the input chooses how the values are read (the low
 * three bits a type, the next bit sign extension, the top bits how many at
 * a time); the rest is the file, descriptor first. Each integer value read
 * is checked against the value the file's bytes hold, worked out here with
 * 128-bit arithmetic: it must come back exact when it fits the reader's
 * size and raise 1320 when it does not. A descriptor the stream refuses
 * must raise, never crash. The same bytes are then read as text lines.
 */
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tslib/dufs.h"
#include "twlib/err/error.h"
#include "twlib/err/except.h"

namespace {

using i128 = __int128;
using u128 = unsigned __int128;

const uint8_t *fileBytes;
size_t fileLength;

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "dufs fuzz: %s\n", what);
    std::abort();
}

int fileSizeOf(unsigned flags, int type)
{
    switch (type) {
    case TW_DUFSB_SHORT: return (flags & 16) ? 4 : 2;
    case TW_DUFSB_INT:
    case TW_DUFSB_INT2: return 2 << ((flags >> 2) & 3);
    case TW_DUFSB_LONG: return (flags & 2) ? 8 : 4;
    default: return 0;
    }
}

// Whether the file's value at 'at' fits the reader's rs bytes, and what it
// reads as (the reader's bytes taken as a signed or unsigned number).
bool expected(unsigned flags, size_t at, int fs, int rs, bool signExtend, i128 *value)
{
    u128 magnitude = 0;
    for (int i = 0; i < fs; ++i) {
        int k = (flags & 1) ? i : fs - 1 - i;  // most significant first
        magnitude = (magnitude << 8) | fileBytes[at + k];
    }
    bool negative = signExtend && (fileBytes[at + ((flags & 1) ? 0 : fs - 1)] & 0x80);
    int bits = 8 * rs;
    if (!signExtend) {
        if (fs > rs && (magnitude >> bits) != 0) return false;
        *value = static_cast<i128>(magnitude);
        return true;
    }
    i128 v;
    if (negative) {
        // Two's complement of fs bytes: magnitude - 2^(8 fs), done without
        // overflowing for 16-byte values.
        u128 complement = fs == 16 ? ~magnitude + 1 : (u128{1} << (8 * fs)) - magnitude;
        v = -static_cast<i128>(complement - 1) - 1;
    } else {
        v = static_cast<i128>(magnitude);
    }
    i128 low = -(i128{1} << (bits - 1)), high = (i128{1} << (bits - 1)) - 1;
    if (v < low || v > high) return false;
    *value = v;
    return true;
}

i128 readerValue(const unsigned char *p, int rs, bool signExtend)
{
    if (rs == 2) {
        int16_t v;
        std::memcpy(&v, p, 2);
        return signExtend ? i128{v} : i128{static_cast<uint16_t>(v)};
    }
    int32_t v;
    std::memcpy(&v, p, 4);
    return signExtend ? i128{v} : i128{static_cast<uint32_t>(v)};
}

void readIntegers(twDufsB *b, unsigned flags, int type, bool signExtend, int step)
{
    int fs = fileSizeOf(flags, type);
    int rs = type == TW_DUFSB_SHORT ? 2 : 4;
    unsigned char out[64 * 4];
    for (;;) {
        long before = twDufsBFtell(b);
        size_t at = static_cast<size_t>(before) + 2;
        volatile int got = 0;
        volatile int raised = 0;
        TW_TRY(TW_EX_ALL) {
            got = twDufsBRead(b, out, step, type, signExtend);
        } TW_CATCH {
            if (twExTagV != TW_EX_POSTCOND) fail("a conversion raised with the wrong tag");
            raised = 1;
            TW_EX_SWALLOW();
        } TW_END_TRY;
        size_t whole = (fileLength - at) / static_cast<size_t>(fs);
        size_t want = whole < static_cast<size_t>(step) ? whole : static_cast<size_t>(step);
        for (size_t i = 0; i < want; ++i) {
            i128 v;
            if (!expected(flags, at + i * fs, fs, rs, signExtend, &v)) {
                // The values before it are stored; where the stream stands
                // inside the block is not told, so this file is done.
                if (!raised) fail("a value that does not fit was read");
                return;
            }
            if (readerValue(out + i * rs, rs, signExtend) != v) fail("a value read differs from the file's");
        }
        if (raised) fail("raised for values that all fit");
        if (static_cast<size_t>(got) != want) fail("a count differs from the values the file holds");
        if (want < static_cast<size_t>(step)) return;
    }
}

void readOther(twDufsB *b, int type, int step)
{
    unsigned char out[64 * 8 + 256];
    for (int rounds = 0; rounds < 4096; ++rounds) {
        volatile int got = 0;
        TW_TRY(TW_EX_ALL) {
            got = twDufsBRead(b, out, step, type, 0);
        } TW_CATCH {
            fail("reading bytes, floats, doubles or strings raised");
        } TW_END_TRY;
        if (type == TW_DUFSB_STRING && got == 1 && std::strlen(reinterpret_cast<char *>(out)) > 255)
            fail("a counted string longer than 255 bytes");
        if (got < (type == TW_DUFSB_STRING ? 1 : step)) return;
    }
}

void readText(const uint8_t *data, size_t size)
{
    FILE *f = fmemopen(const_cast<uint8_t *>(data), size, "rb");
    if (!f) return;
    size_t total = 0;
    while (const char *line = twDufsFgetline(f)) total += std::strlen(line) + 1;
    if (total > 2 * size + 2) fail("more text than bytes");
    twDufsFseek(f, static_cast<long>(size / 2), SEEK_SET);
    while (twDufsFgetc(f) != EOF) {
    }
    std::fclose(f);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1) return 0;
    unsigned control = data[0];
    fileBytes = data + 1;
    fileLength = size - 1;
    int type = static_cast<int>(control & 7);
    bool signExtend = (control & 8) != 0;
    int step = 1 + static_cast<int>(control >> 4) * 4;  // 1 to 61 values a call

    static uint8_t none[1];
    FILE *f = fmemopen(fileLength ? const_cast<uint8_t *>(fileBytes) : none, fileLength ? fileLength : 1, "rb");
    if (!f) return 0;
    if (!fileLength) std::fgetc(f);  // an empty file: nothing left to read
    twDufsB *volatile b = nullptr;
    volatile int refused = 0;
    TW_TRY(TW_EX_ALL) {
        b = twDufsBSetup(f, "r");
    } TW_CATCH {
        refused = 1;
        TW_EX_SWALLOW();
    } TW_END_TRY;
    bool acceptable = fileLength >= 2 && fileBytes[0] == 1 && (fileBytes[1] & 128) &&
                      !(fileBytes[1] & (32 | 64));
    if (refused != (fileLength >= 2 && !acceptable)) fail("a descriptor was judged wrongly");
    if (b) {
        unsigned flags = fileBytes[1];
        if (type >= TW_DUFSB_SHORT && type <= TW_DUFSB_LONG)
            readIntegers(b, flags, type, signExtend, step);
        else
            readOther(b, type, step);
        twDufsBFclose(b);
    } else {
        std::fclose(f);
    }
    readText(data, size);
    return 0;
}
