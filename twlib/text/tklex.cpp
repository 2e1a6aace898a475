/* tklex.cpp - stream tokenizer.
 *
 * A token is scanned over a window onto the stream's own buffer (where the C
 * library's stream layout is not known, a character at a time), and the
 * character that ends it stays unconsumed, as if pushed back; nothing is
 * allocated. The library is single-threaded, so the stream's lock is not
 * taken. Between calls only the maps of recently used character sets are
 * kept: a lexer passes the same few sets for every token, and building a map
 * costs more than reading a short token.
 */
#include "twlib/text/tklex.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>

#if defined(__GLIBC__)
#include <link.h>
#endif

namespace {

// A character set as a table of 256 flags, so that testing a character is
// one load whatever the size of the set. The NUL byte is never a member of
// a set given as a string; a map may mark it anyway, as a place where a
// scan must stop and look.
class CharSet {
public:
    CharSet() = default;
    CharSet(const char *set, bool markNul)
    {
        if (markNul) member_[0] = 1;
        for (const char *p = set; *p; ++p) member_[(unsigned char)*p] = 1;
    }
    bool has(unsigned char c) const { return member_[c] != 0; }

private:
    uint8_t member_[256] = {};
};

// Whether two strings are equal. The sets compared are a few characters
// long, too short for a call into the library's strcmp to pay.
inline bool sameText(const char *a, const char *b)
{
    for (;; ++a, ++b) {
        if (*a != *b) return false;
        if (*a == '\0') return true;
    }
}

// The segments of the program's own image that are mapped without write
// permission: its code and constant data, string literals included. Text
// there cannot change while the program runs, so a set found there is
// known by its address alone. Loaded libraries are left out, since one may
// be unloaded and another mapped at the same addresses.
class ReadOnlyImage {
public:
    ReadOnlyImage()
    {
#if defined(__GLIBC__)
        // The program itself is the first object listed.
        dl_iterate_phdr(
            [](dl_phdr_info *info, size_t, void *data) {
                auto *image = static_cast<ReadOnlyImage *>(data);
                for (int i = 0; i < info->dlpi_phnum; ++i) {
                    const auto &segment = info->dlpi_phdr[i];
                    if (segment.p_type != PT_LOAD || (segment.p_flags & PF_W) || image->count_ == kRanges)
                        continue;
                    uintptr_t begin = info->dlpi_addr + segment.p_vaddr;
                    image->ranges_[image->count_++] = Range{begin, begin + segment.p_memsz};
                }
                return 1;
            },
            this);
#endif
    }

    // Whether all of the n bytes at p lie in one read-only segment.
    bool holds(const void *p, size_t n) const
    {
        auto begin = reinterpret_cast<uintptr_t>(p);
        for (uint32_t i = 0; i < count_; ++i)
            if (begin >= ranges_[i].begin && begin < ranges_[i].end && n <= ranges_[i].end - begin)
                return true;
        return false;
    }

private:
    struct Range {
        uintptr_t begin, end;
    };
    static constexpr uint32_t kRanges = 8;
    std::array<Range, kRanges> ranges_{};
    uint32_t count_ = 0;
};

// Recently used sets of one role (skips or delimiters): recognised by
// address, confirmed by text, so a buffer whose contents changed since is
// never taken for its old set. A set in the program's read-only data needs
// no confirmation. Entries are replaced in turn.
class SetCache {
public:
    explicit SetCache(bool markNul) : markNul_(markNul), empty_("", markNul) {}

    // The map of a set (a null set is empty), valid until the next lookup.
    const CharSet &lookup(const char *set)
    {
        // A lexer passes the same set for most of its tokens.
        if (last_->address == set && last_->constant) return last_->map;
        if (set == nullptr || *set == '\0') return empty_;
        for (Entry &entry : entries_)
            if (entry.address == set && (entry.constant || sameText(set, entry.text))) {
                last_ = &entry;
                return entry.map;
            }
        CharSet map(set, markNul_);
        size_t length = strlen(set);
        if (length >= sizeof(Entry::text)) return unkept_ = map;
        Entry &entry = entries_[next_];
        next_ = (next_ + 1) % kEntries;
        memcpy(entry.text, set, length + 1);
        entry.map = map;
        entry.address = set;
        entry.constant = programImage().holds(set, length + 1);
        last_ = &entry;
        return entry.map;
    }

private:
    struct Entry {
        const char *address = nullptr;
        char text[24];          // NUL-terminated copy of the set
        bool constant = false;  // the set is in the program's read-only data
        CharSet map;
    };

    static const ReadOnlyImage &programImage()
    {
        static const ReadOnlyImage image;
        return image;
    }
    static constexpr uint32_t kEntries = 4;
    Entry entries_[kEntries];
    Entry *last_ = &entries_[0];  // the entry found last; no set until one is kept
    uint32_t next_ = 0;
    bool markNul_;
    CharSet empty_;
    CharSet unkept_;  // the last set too long to keep
};

// Skip maps are plain; delimiter maps mark NUL, so that the scan for the end
// of a token also stops at a NUL byte, whose position the token's length
// depends on.
SetCache skipSets(false), delimiterSets(true);

#if defined(__GLIBC__)
// A window onto the stream's buffer. glibc's getc_unlocked reads that buffer
// in place (the next character is *_IO_read_ptr++ while the buffer holds
// one; __uflow refills it otherwise), so a scan may run over the window and
// store the position back once, when it is done. A character left in the
// window is not consumed, as if it had been read and pushed back.
class Window {
public:
    explicit Window(FILE *stream) : stream_(stream) { load(); }
    const unsigned char *next, *end;
    // Consumes and returns the next character past an exhausted window, or
    // EOF.
    int refill()
    {
        finish();
        int c = __uflow(stream_);
        load();
        return c;
    }
    // Leaves the character refill returned unconsumed.
    void unread() { --next; }
    void finish() { stream_->_IO_read_ptr = (char *)next; }

private:
    void load()
    {
        next = (const unsigned char *)stream_->_IO_read_ptr;
        end = (const unsigned char *)stream_->_IO_read_end;
    }

    FILE *stream_;
};
#else
// The same window over any stdio: one character at a time, a character left
// unconsumed pushed back with ungetc.
class Window {
public:
    explicit Window(FILE *stream) : next(&held_), end(&held_), stream_(stream) {}
    const unsigned char *next, *end;
    int refill()
    {
        int c = getc_unlocked(stream_);
        if (c == EOF) return EOF;
        held_ = (unsigned char)c;
        next = end = &held_ + 1;
        return c;
    }
    void unread() { --next; }
    void finish()
    {
        if (next < end) ungetc(*next, stream_);
        next = end;
    }

private:
    unsigned char held_ = 0;
    FILE *stream_;
};
#endif

}  // namespace

// Reads a token as twTklexRead does; the token's length as a string (a NUL
// byte read from the input ends it there), or -1 when the input ended before
// a token began.
[[gnu::always_inline]] static inline int readToken(FILE *stream, char *buf, int length,
                                                   const char *delimiters, const char *skips)
{
    // The smallest token is one character and its NUL; a smaller buffer
    // would be written past its end.
    if (stream == nullptr || buf == nullptr || length < 2) return -1;
    const CharSet &skipSet = skipSets.lookup(skips);
    const CharSet &stopSet = delimiterSets.lookup(delimiters);
    Window in(stream);

    // Skip: the window ends at the first character that is not skipped.
    for (;;) {
        const unsigned char *p = in.next;
        while (p < in.end && skipSet.has(*p)) ++p;
        in.next = p;
        if (p < in.end) break;
        if (in.refill() == EOF) {
            in.finish();
            return -1;
        }
        in.unread();
    }

    // Collect runs of token characters up to a delimiter or the end of the
    // input. A long token is truncated, never split: characters past the
    // buffer are read and dropped.
    const int room = length - 1;
    int stored = 0;
    int textLength = -1;  // where the first stored NUL byte ends the text
    for (;;) {
        const unsigned char *q = in.next;
        for (; q < in.end && !stopSet.has(*q); ++q)
            if (stored < room) buf[stored++] = (char)*q;
        in.next = q;
        if (q < in.end) {
            if (*q != '\0') break;  // a delimiter, left unconsumed
            // A NUL byte is a token character.
            if (stored < room) {
                if (textLength < 0) textLength = stored;
                buf[stored++] = '\0';
            }
            in.next = q + 1;
            continue;
        }
        if (in.refill() == EOF) break;
        in.unread();
    }
    if (stored == 0) {
        // The first character was a delimiter (the first character is
        // always stored otherwise): it is the whole token.
        buf[stored++] = (char)*in.next++;
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
// tokens differ from every keyword in their first character, which is
// looked at first and settles the comparison without a call.
static bool matches(const char *token, size_t n, const twTklexKey *key)
{
    const char *text = key->text;
    if (text == nullptr || token[0] != text[0] || n < key->length) return false;
    return n <= 1 || strncmp(token + 1, text + 1, n - 1) == 0;
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
