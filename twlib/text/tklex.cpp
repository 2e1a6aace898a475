/* tklex.cpp - stream tokenizer.
 *
 * One character at a time through the stream's own buffering, with a single
 * character of push-back; nothing is allocated. The library is
 * single-threaded, so characters are read without taking the stream's lock.
 * Between calls only the maps of recently used character sets are kept: a
 * lexer passes the same few sets for every token, and building a map costs
 * more than reading a short token.
 */
#include "twlib/text/tklex.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

// A character set as a 256-bit map, so that testing a character costs the
// same whatever the size of the set.
class CharSet {
public:
    CharSet() = default;
    // From a NUL-terminated set; the NUL itself is never a member.
    explicit CharSet(const char *set)
    {
        for (const char *p = set; *p; ++p) {
            auto c = (unsigned char)*p;
            bits_[c >> 6] |= uint64_t{1} << (c & 63);
        }
    }
    // c is a character as getc returns it (EOF is never a member).
    bool has(int c) const { return c >= 0 && ((bits_[(unsigned)c >> 6] >> (c & 63)) & 1); }

private:
    uint64_t bits_[4] = {};
};

// Recently used sets of one role (skips or delimiters): recognised by
// address, confirmed by text, so a buffer whose contents changed since is
// never taken for its old set. Entries are replaced in turn.
class SetCache {
public:
    // The map of a set, valid until the next lookup.
    const CharSet &lookup(const char *set)
    {
        if (set == nullptr || *set == '\0') return empty_;
        for (const Entry &entry : entries_)
            if (entry.address == set && strcmp(set, entry.text) == 0) return entry.map;
        CharSet map(set);
        size_t length = strlen(set);
        if (length >= sizeof(Entry::text)) return unkept_ = map;
        Entry &entry = entries_[next_];
        next_ = (next_ + 1) % kEntries;
        memcpy(entry.text, set, length + 1);
        entry.map = map;
        entry.address = set;
        return entry.map;
    }

private:
    struct Entry {
        const char *address = nullptr;
        char text[24];  // NUL-terminated copy of the set
        CharSet map;
    };
    static constexpr uint32_t kEntries = 4;
    Entry entries_[kEntries];
    uint32_t next_ = 0;
    CharSet empty_;
    CharSet unkept_;  // the last set too long to keep
};

SetCache skipSets, delimiterSets;

#if defined(__GLIBC__)
// glibc's getc_unlocked reads the stream's buffer in place: the next
// character is *_IO_read_ptr++ while the buffer holds one, and __uflow
// refills it otherwise. This reader does the same with the position held in
// a local variable while a token is scanned, and stores it back when done.
// Pushing back the character just read steps the position back over it,
// which is what ungetc does with such a character.
class StreamReader {
public:
    explicit StreamReader(FILE *stream) : stream_(stream) { load(); }
    int get() { return next_ < end_ ? *next_++ : refill(); }
    // Only directly after a get() that returned a character.
    void unget(int) { --next_; }
    void finish() { stream_->_IO_read_ptr = (char *)next_; }

private:
    void load()
    {
        next_ = (const unsigned char *)stream_->_IO_read_ptr;
        end_ = (const unsigned char *)stream_->_IO_read_end;
    }
    int refill()
    {
        finish();
        int c = __uflow(stream_);
        load();
        return c;
    }

    FILE *stream_;
    const unsigned char *next_;
    const unsigned char *end_;
};
#else
class StreamReader {
public:
    explicit StreamReader(FILE *stream) : stream_(stream) {}
    int get() { return getc_unlocked(stream_); }
    void unget(int c) { ungetc(c, stream_); }
    void finish() {}

private:
    FILE *stream_;
};
#endif

}  // namespace

// Reads a token as twTklexRead does; the token's length as a string (a NUL
// byte read from the input ends it there), or -1 when the input ended before
// a token began.
static int readToken(FILE *stream, char *buf, int length, const char *delimiters, const char *skips)
{
    // The smallest token is one character and its NUL; a smaller buffer
    // would be written past its end.
    if (stream == nullptr || buf == nullptr || length < 2) return -1;
    const CharSet &skipSet = skipSets.lookup(skips);
    const CharSet &delimiterSet = delimiterSets.lookup(delimiters);
    StreamReader in(stream);
    int c = in.get();
    while (skipSet.has(c)) c = in.get();
    if (c == EOF) {
        in.finish();
        return -1;
    }

    // A long token is truncated, never split: characters past the buffer
    // are read and dropped.
    int stored = 0;
    int textLength = -1;  // where the first stored NUL byte ends the text
    while (c != EOF && !delimiterSet.has(c)) {
        if (stored < length - 1) {
            if (c == 0 && textLength < 0) textLength = stored;
            buf[stored++] = (char)c;
        }
        c = in.get();
    }
    if (stored == 0) {
        // The first character was a delimiter: it is the whole token.
        buf[stored++] = (char)c;
    } else if (c != EOF) {
        in.unget(c);
    }
    in.finish();
    buf[stored] = '\0';
    return textLength < 0 ? stored : textLength;
}

int32_t twTklexRead(FILE *stream, char *buf, int length, const char *delimiters, const char *skips)
{
    return readToken(stream, buf, length, delimiters, skips) < 0 ? -1 : 0;
}

// n is strlen(token). Comparing token-length characters includes the text's
// terminator when the token is longer, so a match means equality. Most
// tokens differ from every keyword in their first character, which settles
// the comparison without a call.
static bool matches(const char *token, size_t n, const twTklexKey *key)
{
    const char *text = key->text;
    if (text == nullptr || n < key->length) return false;
    if (n == 0) return true;
    return token[0] == text[0] && (n == 1 || strncmp(token + 1, text + 1, n - 1) == 0);
}

int32_t twTklexMatch(const char *token, const twTklexKey *key)
{
    return (key != nullptr && token != nullptr && matches(token, strlen(token), key)) ? key->code : 0;
}

int32_t twTklex(FILE *stream, char *buf, int length, const char *delimiters, const char *skips,
                const twTklexKey *keywords)
{
    int n = readToken(stream, buf, length, delimiters, skips);
    if (n < 0) return -1;
    for (const twTklexKey *k = keywords; k != nullptr; k = k->next)
        if (matches(buf, (size_t)n, k)) return k->code;
    return 0;
}
