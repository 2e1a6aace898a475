/* strbuf.cpp - growable, always NUL-terminated text.
 *
 * The record is a free-list piece and the text a pool string, so a buffer
 * follows the pool's mode. When an append does not fit, the capacity becomes
 * twice the length needed; text never shrinks.
 */
#include "twlib/text/strbuf.h"

#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstring>

#include "twlib/core/freelist.h"
#include "twlib/core/sizecheck.h"
#include "twlib/text/str.h"

struct twStrBuf {
    int32_t capacity;  // characters the text can hold, NUL not counted
    int32_t length;    // 0 <= length <= capacity
    char *text;        // pool string of capacity + 1 bytes; text[length] == 0
};

namespace {

// The text is a pool string of capacity + 1 bytes, and pool sizes are ints.
// A text that would outgrow this is treated as exhausted memory rather than
// silently cut short.
constexpr int32_t kMaxCapacity = INT_MAX - 1;

// Makes room for 'add' more characters. When the text had to be replaced,
// returns the old one, which the caller releases only after copying the new
// characters in: they may come from the old text itself.
// 'fresh' asks for a new text even when the old one has room.
char *reserve(twStrBuf *b, size_t add, bool fresh = false)
{
    if (add > size_t(kMaxCapacity - b->length)) tw_SizeExhausted();
    int32_t need = b->length + int32_t(add);
    if (need <= b->capacity && !fresh) return nullptr;
    int32_t cap = need <= b->capacity ? b->capacity : need > kMaxCapacity / 2 ? kMaxCapacity : need * 2;
    char *text = twStrAlloc(cap + 1);
    memcpy(text, b->text, size_t(b->length));
    char *old = b->text;
    b->text = text;
    b->capacity = cap;
    return old;
}

void appendBytes(twStrBuf *b, const char *s, size_t n)
{
    char *old = reserve(b, n);
    memmove(b->text + b->length, s, n);
    b->length += int32_t(n);
    b->text[b->length] = '\0';
    if (old) twStrFree(old);
}

}  // namespace

twStrBuf *twStrBufCreate(int capacity)
{
    if (capacity < 0) capacity = 0;
    if (capacity > kMaxCapacity) capacity = kMaxCapacity;
    auto *b = static_cast<twStrBuf *>(twMemFlAlloc(sizeof(twStrBuf), "twStrBuf"));
    b->capacity = capacity;
    b->length = 0;
    b->text = twStrAlloc(capacity + 1);
    b->text[0] = '\0';
    return b;
}

void twStrBufDestroy(twStrBuf *buf)
{
    if (!buf) return;
    twStrFree(buf->text);
    twMemFlFree(buf, sizeof(twStrBuf));
}

void twStrBufAppend(twStrBuf *buf, const char *s)
{
    if (!s) return;
    appendBytes(buf, s, strlen(s));
}

void twStrBufAppendN(twStrBuf *buf, const char *s, int n)
{
    if (n <= 0 || !s) return;
    appendBytes(buf, s, strnlen(s, size_t(n)));
}

int twStrBufAppendChar(twStrBuf *buf, int c)
{
    char ch = char(c);
    appendBytes(buf, &ch, 1);
    return buf->length;
}

twStrBuf *twStrBufAppendStrings(twStrBuf *buf, ...)
{
    va_list ap;
    va_start(ap, buf);
    // A string taken from this buffer's own text would be overwritten by
    // the strings before it; such a call builds into a new text and reads
    // the old one, intact, until the end.
    uintptr_t lo = uintptr_t(buf->text), hi = lo + uintptr_t(buf->capacity);
    bool aliased = false;
    size_t total = 0;
    while (const char *s = va_arg(ap, const char *)) {
        total += strlen(s);
        if (total > size_t(kMaxCapacity)) tw_SizeExhausted();
        aliased = aliased || (uintptr_t(s) >= lo && uintptr_t(s) <= hi);
    }
    va_end(ap);

    char *old = reserve(buf, total, aliased);
    va_start(ap, buf);
    while (const char *s = va_arg(ap, const char *)) {
        size_t n = strlen(s);
        memmove(buf->text + buf->length, s, n);
        buf->length += int32_t(n);
    }
    va_end(ap);
    buf->text[buf->length] = '\0';
    if (old) twStrFree(old);
    return buf;
}

int twStrBufLength(const twStrBuf *buf)
{
    return buf->length;
}

char *twStrBufString(const twStrBuf *buf)
{
    return buf->text;
}

void twStrBufClear(twStrBuf *buf)
{
    buf->length = 0;
    buf->text[0] = '\0';
}

void twStrBufRemoveN(twStrBuf *buf, int n)
{
    if (n <= 0) return;
    buf->length = n >= buf->length ? 0 : buf->length - n;
    buf->text[buf->length] = '\0';
}
