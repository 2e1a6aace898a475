/* dufs.cpp - buffered text and binary file streams (module twdufsb).
 *
 * Binary streams: a record keeps the writer's layout, read from the 2-byte
 * descriptor, and twDufsBRead turns each value into this machine's layout.
 * Values are handled as byte strings, most significant byte first, so that
 * any of the file's sizes (up to 16-byte ints) meets any reader size without
 * a wider integer type. Nothing here holds memory across a raise: every
 * check that can raise runs before the record or its name exist, or after
 * they are gone.
 */
#include "tslib/dufs.h"

#include <bit>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "tslib/fileops.h"
#include "twlib/core/exit.h"
#include "twlib/core/fault.h"
#include "twlib/core/mem.h"
#include "twlib/err/error.h"
#include "twlib/err/except.h"
#include "twlib/text/str.h"

namespace {

constexpr uint32_t kValidMarker = 0x1234567;
constexpr long kDataStart = 2;     // the descriptor takes bytes 0 and 1
constexpr int kMaxValueSize = 16;  // the widest value a file may hold (16-byte ints)
constexpr int kStringMax = 255;    // a counted string's length is one byte
constexpr const char *kUnnamed = "(stream)";
constexpr bool kHostBigEndian = std::endian::native == std::endian::big;

enum : unsigned {
    kFlagBigEndian = 1,
    kFlagLong8 = 2,
    kIntSizeShift = 2,
    kIntSizeMask = 3u << kIntSizeShift,
    kFlagShort4 = 16,
    kFlagFloat8 = 32,
    kFlagDouble16 = 64,
    kFlagValid = 128,
};

enum { kModeRead = 1, kModeWrite = 2, kModeUpdate = 3 };

}  // namespace

// Fields in the order of the design; the sizes are the file's.
struct twDufsB {
    FILE *stream;
    char *name;           // pool copy of the file name; null for twDufsBSetup
    uint32_t marker;      // kValidMarker while the record lives
    int needsConversion;  // set when any of the flags below is
    int reverse;          // the file's byte order is not this machine's
    int longSize;
    int longIs8;
    int intSize;
    int intNot4;
    int shortSize;
    int shortIs4;
    int floatSize;
    int floatIs8;  // always 0: refused when opening
    int doubleSize;
    int doubleIs16;  // always 0: refused when opening
    int valid;
    int mode;  // kModeRead, kModeWrite or kModeUpdate
};

namespace {

// The library's own message file cannot describe its own read failures:
// looking the message up would read the very file that failed.
bool isOwnMessageFile(const char *name)
{
    if (!name) return false;
    const char *slash = std::strrchr(name, '/');
    return strcasecmp(slash ? slash + 1 : name, "twlib.tmb") == 0;
}

// Raises message 'number' of the library's file with 'tag' at the routine's
// location; 'file' (may be null) names the stream concerned.
[[noreturn]] void raiseMessage(uint32_t tag, const char *routine, const char *file, int number, ...)
{
    char location[96];
    std::snprintf(location, sizeof location, "in call to routine %s()", routine);
    if (isOwnMessageFile(file)) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "TWLIB Error %d: Error %d occured while trying to open or read the binary "
                      "message file %s.%s!\n",
                      1008, number, "twlib", "tmb");
        twExThrow(tag, twErrCreate(location, "twlib", 1008, 4, text));
    }
    va_list ap;
    va_start(ap, number);
    twExThrowBuildVa(tag, location, twEx_LibraryMessageFile("twlib"), number, ap);
}

const char *shownName(const twDufsB *b)
{
    return b->name ? b->name : kUnnamed;
}

twDufsB *checked(twDufsB *b, const char *routine)
{
    if (!b || b->marker != kValidMarker) raiseMessage(TW_EX_PRECOND, routine, nullptr, 1310);
    return b;
}

int modeCode(const char *mode)
{
    if (std::strcmp(mode, "r") == 0) return kModeRead;
    if (std::strcmp(mode, "w") == 0) return kModeWrite;
    if (std::strcmp(mode, "w+") == 0) return kModeUpdate;
    return 0;
}

// The checks of a descriptor read from a file, in the order of the design:
// the number of the message that refuses it, or 0.
int refusal(unsigned version, unsigned flags)
{
    if (version != TW_DUFSB_VERSION) return 1300;
    if (!(flags & kFlagValid)) return 1301;
    if (flags & (kFlagFloat8 | kFlagDouble16)) return 1302;
    return 0;
}

[[noreturn]] void raiseRefusal(int number, const char *routine, unsigned version, const char *name)
{
    const char *shown = name ? name : kUnnamed;
    if (number == 1300) raiseMessage(TW_EX_POSTCOND, routine, name, 1300, static_cast<int>(version), shown);
    if (number == 1301) raiseMessage(TW_EX_POSTCOND, routine, name, 1301);
    raiseMessage(TW_EX_POSTCOND, routine, name, 1302, shown);
}

// A record for a descriptor that passed the checks. Cannot raise.
twDufsB *makeRecord(FILE *stream, int mode, unsigned flags, const char *name)
{
    auto *b = static_cast<twDufsB *>(twMemMalloc(sizeof(twDufsB), "twdufsb"));
    b->stream = stream;
    b->name = name ? twStrCpy(name) : nullptr;
    b->reverse = ((flags & kFlagBigEndian) != 0) != kHostBigEndian;
    b->longIs8 = (flags & kFlagLong8) != 0;
    b->longSize = b->longIs8 ? 8 : 4;
    b->intSize = 2 << ((flags & kIntSizeMask) >> kIntSizeShift);
    b->intNot4 = b->intSize != 4;
    b->shortIs4 = (flags & kFlagShort4) != 0;
    b->shortSize = b->shortIs4 ? 4 : 2;
    b->floatIs8 = 0;
    b->floatSize = 4;
    b->doubleIs16 = 0;
    b->doubleSize = 8;
    b->needsConversion = b->reverse || b->longIs8 || b->intNot4 || b->shortIs4;
    b->valid = 1;
    b->mode = mode;
    b->marker = kValidMarker;
    return b;
}

unsigned char ownFlags()
{
    return kHostBigEndian ? TW_DUFSB_FLAGS_BIG : TW_DUFSB_FLAGS_LITTLE;
}

// Reads or writes the descriptor at the stream's start. True on success;
// a read leaves the two bytes in 'version' and 'flags'.
bool exchangeDescriptor(FILE *stream, int mode, unsigned *version, unsigned *flags)
{
    std::fseek(stream, 0, SEEK_SET);  // a stream that cannot seek is read where it stands
    unsigned char d[2] = {TW_DUFSB_VERSION, ownFlags()};
    if (mode == kModeRead) {
        errno = 0;
        if (std::fread(d, 1, 2, stream) != 2) return false;
    } else if (std::fwrite(d, 1, 2, stream) != 2 || std::fflush(stream) != 0) {
        return false;
    }
    *version = d[0];
    *flags = d[1];
    return true;
}

// The reader's size of a value type, and the file's.
int readerSize(int type)
{
    static const int sizes[] = {1, 2, 4, 4, 4, 4, 8};
    return sizes[type];
}

int fileSize(const twDufsB *b, int type)
{
    switch (type) {
    case TW_DUFSB_SHORT:
        return b->shortSize;
    case TW_DUFSB_INT:
    case TW_DUFSB_INT2:
        return b->intSize;
    case TW_DUFSB_LONG:
        return b->longSize;
    case TW_DUFSB_FLOAT:
        return b->floatSize;
    case TW_DUFSB_DOUBLE:
        return b->doubleSize;
    default:
        return 1;
    }
}

void reverseBytes(unsigned char *p, int n)
{
    for (int i = 0, j = n - 1; i < j; ++i, --j) {
        unsigned char t = p[i];
        p[i] = p[j];
        p[j] = t;
    }
}

// Converts one value of the file (fs bytes at 'in') to the reader's size
// (rs bytes at 'out', this machine's order). False when it does not fit.
bool convertValue(const twDufsB *b, const unsigned char *in, int fs, unsigned char *out, int rs,
                  bool signExtend)
{
    unsigned char v[kMaxValueSize];  // the file's value, most significant byte first
    std::memcpy(v, in, static_cast<size_t>(fs));
    bool fileBig = (b->reverse != 0) != kHostBigEndian;
    if (!fileBig) reverseBytes(v, fs);
    unsigned char fill = (signExtend && (v[0] & 0x80)) ? 0xFF : 0x00;
    unsigned char r[kMaxValueSize];
    if (fs <= rs) {
        std::memset(r, fill, static_cast<size_t>(rs - fs));
        std::memcpy(r + (rs - fs), v, static_cast<size_t>(fs));
    } else {
        int dropped = fs - rs;
        for (int i = 0; i < dropped; ++i)
            if (v[i] != fill) return false;
        // The kept part must carry the same sign, or a signed value such as
        // 2^31 in eight bytes would come out as the smallest 4-byte value.
        if (signExtend && (v[dropped] & 0x80) != (fill & 0x80)) return false;
        std::memcpy(r, v + dropped, static_cast<size_t>(rs));
    }
    if (!kHostBigEndian) reverseBytes(r, rs);
    std::memcpy(out, r, static_cast<size_t>(rs));
    return true;
}

int readString(twDufsB *b, char *dst)
{
    int length = std::fgetc(b->stream);
    if (length == EOF) {
        dst[0] = '\0';
        return 0;
    }
    size_t got = std::fread(dst, 1, static_cast<size_t>(length), b->stream);
    dst[got] = '\0';
    return got == static_cast<size_t>(length) ? 1 : 0;
}

// The line buffer of twDufsFgetline; its release runs as an exit handler.
char *lineBuffer;
uint32_t lineSize;
constexpr uint32_t kLineStart = 100;
constexpr uint32_t kLineLimit = UINT32_MAX / 2;  // the memory manager takes 32-bit sizes

void releaseLineBuffer(void *)
{
    twMemFree(lineBuffer);
    lineBuffer = nullptr;
    lineSize = 0;
}

}  // namespace

/* ------------------------------------------------------------------ */
/* Text streams                                                        */
/* ------------------------------------------------------------------ */

int twDufsFgetc(FILE *stream)
{
    int c = std::getc(stream);
    if (c != '\r') return c;
    int next = std::getc(stream);
    if (next == '\n') return '\n';
    if (next != EOF) std::ungetc(next, stream);
    return '\r';
}

char *twDufsFgets(char *buffer, int size, FILE *stream)
{
    if (size < 1) return nullptr;
    if (!std::fgets(buffer, size, stream)) return nullptr;
    size_t n = std::strlen(buffer);
    if (n >= 2 && buffer[n - 2] == '\r' && buffer[n - 1] == '\n') {
        buffer[n - 2] = '\n';
        buffer[n - 1] = '\0';
    } else if (n > 0 && n == static_cast<size_t>(size) - 1 && buffer[n - 1] == '\r') {
        int c = std::getc(stream);
        if (c == '\n')
            buffer[n - 1] = '\n';
        else if (c != EOF)
            std::ungetc(c, stream);
    }
    return buffer;
}

char *twDufsFgetline(FILE *stream)
{
    if (!lineBuffer) {
        lineBuffer = static_cast<char *>(twMemMalloc(kLineStart, "twStaticBuffer"));
        lineSize = kLineStart;
        twOnExitAdd2(releaseLineBuffer);
    }
    // Character by character rather than with the platform's line read, so
    // that a zero byte inside a line cannot hide where the line ends: the
    // whole line is always consumed.
    uint32_t used = 0;
    for (;;) {
        if (used == lineSize - 1) {
            // A line of two gigabytes comes back in pieces rather than
            // overflow the buffer's size.
            if (lineSize > kLineLimit) break;
            lineSize = 2 * lineSize - 2;
            lineBuffer = static_cast<char *>(twMemRealloc(lineBuffer, lineSize, "twStaticBuffer"));
        }
        int c = twDufsFgetc(stream);
        if (c == EOF) {
            if (used == 0) return nullptr;
            break;
        }
        lineBuffer[used++] = static_cast<char>(c);
        if (c == '\n') break;
    }
    lineBuffer[used] = '\0';
    return lineBuffer;
}

namespace {

// Characters (a carriage-return/line-feed pair counting once) among the
// next 'bytes' bytes of the stream, or among all of them when 'bytes' is
// negative; -1 on a read error.
long countCharacters(FILE *stream, long bytes)
{
    long chars = 0;
    int previous = EOF;
    for (long i = 0; bytes < 0 || i < bytes; ++i) {
        int c = std::getc(stream);
        if (c == EOF) break;
        if (!(c == '\n' && previous == '\r')) ++chars;
        previous = c;
    }
    return std::ferror(stream) ? -1 : chars;
}

}  // namespace

int twDufsFseek(FILE *stream, long offset, int whence)
{
    if (whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END) return 2;
    long base = 0;
    if (whence != SEEK_SET) {
        long here = whence == SEEK_CUR ? std::ftell(stream) : -1;
        if (whence == SEEK_CUR && here < 0) return 2;
        if (std::fseek(stream, 0, SEEK_SET) != 0) return 2;
        base = countCharacters(stream, here);
        if (base < 0) return 2;
    }
    long target;
    if (__builtin_add_overflow(base, offset, &target)) target = offset < 0 ? 0 : LONG_MAX;
    if (std::fseek(stream, 0, SEEK_SET) != 0) return 2;
    for (long i = 0; i < target; ++i)
        if (twDufsFgetc(stream) == EOF) break;
    return std::ferror(stream) ? 2 : 0;
}

/* ------------------------------------------------------------------ */
/* Binary streams                                                      */
/* ------------------------------------------------------------------ */

twDufsB *twDufsBFopen(const char *name, const char *mode)
{
    if (!name || !mode) raiseMessage(TW_EX_PRECOND, "twDufsBFopen", nullptr, 1311);
    // The mode is checked before the file is touched: "a" would otherwise
    // append a descriptor to a file it then refuses.
    int code = modeCode(mode);
    if (!code) raiseMessage(TW_EX_PRECOND, "twDufsBFopen", name, 1306, name, mode);
    char platformMode[4];
    std::snprintf(platformMode, sizeof platformMode, "%sb", mode);
    FILE *stream = std::fopen(name, platformMode);
    if (!stream) return nullptr;
    unsigned version = 0, flags = 0;
    if (!exchangeDescriptor(stream, code, &version, &flags)) {
        int saved = errno;
        std::fclose(stream);
        if (code != kModeRead) tsDelete(name, TS_KIND_FILE);
        errno = saved;
        return nullptr;
    }
    if (int number = refusal(version, flags)) {
        // Only a read descriptor can be refused, so there is nothing to delete.
        std::fclose(stream);
        raiseRefusal(number, "twDufsBFopen", version, name);
    }
    return makeRecord(stream, code, flags, name);
}

twDufsB *twDufsBSetup(FILE *stream, const char *mode)
{
    if (!stream || !mode) raiseMessage(TW_EX_PRECOND, "twDufsBSetup", nullptr, 1311);
    int code = modeCode(mode);
    if (!code) raiseMessage(TW_EX_PRECOND, "twDufsBSetup", nullptr, 1306, kUnnamed, mode);
    unsigned version = 0, flags = 0;
    if (!exchangeDescriptor(stream, code, &version, &flags)) return nullptr;
    if (int number = refusal(version, flags)) raiseRefusal(number, "twDufsBSetup", version, nullptr);
    return makeRecord(stream, code, flags, nullptr);
}

int twDufsBRead(twDufsB *stream, void *destination, int count, int type, int signExtend)
{
    twDufsB *b = checked(stream, "twDufsBRead");
    if (type < TW_DUFSB_BYTES || type > TW_DUFSB_STRING) return 0;
    if (!destination) raiseMessage(TW_EX_PRECOND, "twDufsBRead", nullptr, 1311);
    auto *dst = static_cast<unsigned char *>(destination);
    if (type == TW_DUFSB_STRING) return readString(b, reinterpret_cast<char *>(dst));
    if (count < 1) return 0;
    int rs = readerSize(type);
    int fs = fileSize(b, type);
    if (fs == rs) {
        size_t got = std::fread(dst, static_cast<size_t>(rs), static_cast<size_t>(count), b->stream);
        if (b->reverse && rs > 1)
            for (size_t i = 0; i < got; ++i) reverseBytes(dst + i * rs, rs);
        return static_cast<int>(got);
    }
    // Sizes differ: convert a block of values at a time.
    constexpr int kBlock = 256;
    unsigned char in[kBlock * kMaxValueSize];
    int done = 0;
    while (done < count) {
        int want = count - done < kBlock ? count - done : kBlock;
        size_t got = std::fread(in, static_cast<size_t>(fs), static_cast<size_t>(want), b->stream);
        for (size_t i = 0; i < got; ++i, ++done) {
            if (!convertValue(b, in + i * fs, fs, dst + static_cast<size_t>(done) * rs, rs, signExtend != 0))
                raiseMessage(TW_EX_POSTCOND, "twDufsBRead", b->name, 1320, shownName(b), fs, rs);
        }
        if (got < static_cast<size_t>(want)) break;
    }
    return done;
}

int twDufsBWrite(twDufsB *stream, const void *source, int count, int size)
{
    twDufsB *b = checked(stream, "twDufsBWrite");
    if (count < 1 || size < 1) return 0;
    if (!source) raiseMessage(TW_EX_PRECOND, "twDufsBWrite", nullptr, 1311);
    return static_cast<int>(
        std::fwrite(source, static_cast<size_t>(size), static_cast<size_t>(count), b->stream));
}

int twDufsBWriteString(twDufsB *stream, const char *string)
{
    twDufsB *b = checked(stream, "twDufsBWriteString");
    if (!string) string = "";
    size_t n = strnlen(string, kStringMax + 1);
    if (n > kStringMax) {
        size_t whole = n + std::strlen(string + n);
        int shown = whole > INT_MAX ? INT_MAX : static_cast<int>(whole);
        raiseMessage(TW_EX_PRECOND, "twDufsBWriteString", b->name, 1312, shownName(b), shown, kStringMax);
    }
    if (std::fputc(static_cast<int>(n), b->stream) == EOF) return 0;
    return std::fwrite(string, 1, n, b->stream) == n ? 1 : 0;
}

int twDufsBFclose(twDufsB *stream)
{
    twDufsB *b = checked(stream, "twDufsBFclose");
    b->marker = 0;  // a second close of the same record is refused
    int rc = std::fclose(b->stream);
    if (b->name) twStrFree(b->name);
    twMemFree(b);
    return rc == 0 ? 0 : EOF;
}

long twDufsBFtell(twDufsB *stream)
{
    twDufsB *b = checked(stream, "twDufsBFtell");
    long at = std::ftell(b->stream);
    return at < 0 ? -1 : at - kDataStart;
}

int twDufsBFseek(twDufsB *stream, long offset, int whence)
{
    twDufsB *b = checked(stream, "twDufsBFseek");
    long target;
    if (whence == SEEK_SET) {
        if (__builtin_add_overflow(offset, kDataStart, &target)) {
            errno = EINVAL;
            return -1;
        }
        if (target < kDataStart) {
            errno = EINVAL;
            return -1;
        }
        return std::fseek(b->stream, target, SEEK_SET);
    }
    long here = std::ftell(b->stream);
    if (here < 0) return std::fseek(b->stream, offset, whence);  // as the platform would
    if (std::fseek(b->stream, offset, whence) != 0) return -1;
    long now = std::ftell(b->stream);
    if (now >= kDataStart) return 0;
    std::fseek(b->stream, here, SEEK_SET);
    errno = EINVAL;
    return -1;
}

void twDufsBRewind(twDufsB *stream)
{
    twDufsB *b = checked(stream, "twDufsBRewind");
    std::fseek(b->stream, kDataStart, SEEK_SET);
    std::clearerr(b->stream);
}

FILE *twDufsBGetFD(twDufsB *stream)
{
    return checked(stream, "twDufsBGetFD")->stream;
}
