/* tklex.cpp - stream tokenizer.
 *
 * One character at a time through the stream's own buffering, with a single
 * character of push-back; nothing is allocated and nothing is remembered
 * between calls. The library is single-threaded, so characters are read
 * without taking the stream's lock.
 */
#include "twlib/text/tklex.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

// A character set as a 256-bit map, built once per call so that testing a
// character costs the same whatever the size of the set.
class CharSet {
public:
    // From a NUL-terminated set; the NUL itself is never a member.
    explicit CharSet(const char *set)
    {
        for (const char *p = set ? set : ""; *p; ++p) {
            auto c = (unsigned char)*p;
            bits_[c >> 6] |= uint64_t{1} << (c & 63);
        }
    }
    // c is a character as getc returns it (EOF is never a member).
    bool has(int c) const { return c >= 0 && ((bits_[(unsigned)c >> 6] >> (c & 63)) & 1); }

private:
    uint64_t bits_[4] = {};
};

}  // namespace

int32_t twTklexRead(FILE *stream, char *buf, int length, const char *delimiters, const char *skips)
{
    // The smallest token is one character and its NUL; a smaller buffer
    // would be written past its end.
    if (stream == nullptr || buf == nullptr || length < 2) return -1;
    const CharSet skipSet(skips), delimiterSet(delimiters);
    int c = getc_unlocked(stream);
    while (skipSet.has(c)) c = getc_unlocked(stream);
    if (c == EOF) return -1;

    // A long token is truncated, never split: characters past the buffer
    // are read and dropped.
    int stored = 0;
    while (c != EOF && !delimiterSet.has(c)) {
        if (stored < length - 1) buf[stored++] = (char)c;
        c = getc_unlocked(stream);
    }
    if (stored == 0) {
        // The first character was a delimiter: it is the whole token.
        buf[stored++] = (char)c;
    } else if (c != EOF) {
        ungetc(c, stream);
    }
    buf[stored] = '\0';
    return 0;
}

// n is strlen(token). Comparing token-length characters includes the text's
// terminator when the token is longer, so a match means equality.
static bool matches(const char *token, size_t n, const twTklexKey *key)
{
    return key->text != nullptr && n >= key->length && strncmp(token, key->text, n) == 0;
}

int32_t twTklexMatch(const char *token, const twTklexKey *key)
{
    return (key != nullptr && token != nullptr && matches(token, strlen(token), key)) ? key->code : 0;
}

int32_t twTklex(FILE *stream, char *buf, int length, const char *delimiters, const char *skips,
                const twTklexKey *keywords)
{
    if (twTklexRead(stream, buf, length, delimiters, skips) < 0) return -1;
    size_t n = strlen(buf);
    for (const twTklexKey *k = keywords; k != nullptr; k = k->next)
        if (matches(buf, n, k)) return k->code;
    return 0;
}
