/* strtok.cpp - string tokenizers over strings in memory.
 *
 * The caller keeps the position: every call returns the place from which
 * the next call goes on. The plain forms stop at the separator that ended
 * the token; the quoting forms also step over the separators that follow,
 * so that the returned position is at the next token or at the end.
 *
 * Quoted form, as twStrTokQuote reads it and twStrBufUntokQuote writes it:
 * a token that begins with a double quote runs to the next unescaped double
 * quote (separators inside belong to it); "\"" and "\\" stand for the second
 * character, a backslash before anything else is kept as it is. In an
 * unquoted token a separator ends the token even where it is a backslash.
 */
#include "twlib/text/strtok.h"

#include <cstring>

#include "twlib/text/strbuf.h"

namespace {

bool isSep(const char *seps, char c)
{
    return c != '\0' && seps != nullptr && std::strchr(seps, c) != nullptr;
}

const char *skipSeps(const char *p, const char *seps)
{
    while (isSep(seps, *p)) p++;
    return p;
}

// Stores into a caller's fixed buffer: at most size-1 characters, the rest
// of a longer token is dropped.
class FixedSink {
public:
    FixedSink(char *buf, int size) : buf_(buf && size > 0 ? buf : nullptr), cap_(buf_ ? size - 1 : 0)
    {
        if (buf_) buf_[0] = '\0';
    }
    void put(char c)
    {
        if (len_ < cap_) buf_[len_++] = c;
    }
    void putRun(const char *s, size_t n)
    {
        size_t room = static_cast<size_t>(cap_ - len_);
        if (n > room) n = room;
        if (n) std::memcpy(buf_ + len_, s, n);
        len_ += static_cast<int>(n);
    }
    void finish()
    {
        if (buf_) buf_[len_] = '\0';
    }

private:
    char *buf_;  // null when there is nowhere to store (no buffer, size <= 0)
    int cap_;    // characters that fit before the terminating NUL
    int len_ = 0;
};

// Stores into a string buffer, without limit.
class BufSink {
public:
    explicit BufSink(twStrBuf *buf) : buf_(buf)
    {
        if (buf_) twStrBufClear(buf_);
    }
    void put(char c)
    {
        if (buf_) twStrBufAppendChar(buf_, static_cast<unsigned char>(c));
    }
    void putRun(const char *s, size_t n)
    {
        if (buf_ && n) twStrBufAppendN(buf_, s, static_cast<int>(n));
    }
    void finish() {}

private:
    twStrBuf *buf_;
};

template <class Sink> const char *plainTok(const char *s, Sink &sink, const char *seps)
{
    if (s == nullptr || *s == '\0') {
        sink.finish();
        return nullptr;
    }
    const char *p = skipSeps(s, seps);
    if (*p == '\0') {
        sink.finish();
        return nullptr;
    }
    const char *start = p;
    while (*p != '\0' && !isSep(seps, *p)) p++;
    sink.putRun(start, static_cast<size_t>(p - start));
    sink.finish();
    return p;
}

template <class Sink> const char *quoteTok(const char *s, Sink &sink, const char *seps)
{
    if (s == nullptr) {
        sink.finish();
        return nullptr;
    }
    const char *p = skipSeps(s, seps);
    if (*p == '\0') {
        sink.finish();
        return nullptr;
    }
    const bool quoted = *p == '"';
    if (quoted) p++;
    for (;;) {
        char c = *p;
        if (c == '\0') break;
        if (quoted && c == '"') {
            p++;
            break;
        }
        if (!quoted && isSep(seps, c)) break;
        if (c != '\\') {
            sink.put(c);
            p++;
            continue;
        }
        char n = p[1];
        if (n == '"' || n == '\\') {
            sink.put(n);
            p += 2;
            continue;
        }
        sink.put('\\');
        p++;
        // A backslash at the end, or before the separator that ends an
        // unquoted token, stands for itself alone.
        if (n == '\0' || (!quoted && isSep(seps, n))) continue;
        sink.put(n);
        p++;
    }
    p = skipSeps(p, seps);
    sink.finish();
    return p;
}

}  // namespace

const char *twStrTok(const char *s, char *buf, int size, const char *seps)
{
    FixedSink sink(buf, size);
    return plainTok(s, sink, seps);
}

const char *twStrBufTok(const char *s, twStrBuf *buf, const char *seps)
{
    BufSink sink(buf);
    return plainTok(s, sink, seps);
}

const char *twStrTokQuote(const char *s, char *buf, int size, const char *seps)
{
    FixedSink sink(buf, size);
    return quoteTok(s, sink, seps);
}

const char *twStrBufTokQuote(const char *s, twStrBuf *buf, const char *seps)
{
    BufSink sink(buf);
    return quoteTok(s, sink, seps);
}

void twStrBufUntokQuote(const char *s, twStrBuf *buf, int flags, const char *seps)
{
    if (buf == nullptr) return;
    if (s == nullptr) s = "";
    const bool quote = (flags & TW_UNTOK_QUOTE) != 0;
    const bool dollar = (flags & TW_UNTOK_DOLLAR) != 0;
    bool enclose = false;
    if (quote) {
        // Also enclose text whose escapes would begin with a separator: the
        // reader skips separators before it looks for a token.
        const bool escapeIsSep = isSep(seps, '\\');
        enclose = *s == '\0';
        for (const char *p = s; !enclose && *p; p++) enclose = isSep(seps, *p) || (escapeIsSep && *p == '"');
    }
    if (enclose) twStrBufAppendChar(buf, '"');
    // Copy runs of plain characters in one append each.
    const char *run = s;
    for (const char *p = s;; p++) {
        char c = *p;
        bool special = c == '\0' || (quote && (c == '"' || c == '\\')) || (dollar && c == '$');
        if (!special) continue;
        if (p > run) twStrBufAppendN(buf, run, static_cast<int>(p - run));
        if (c == '\0') break;
        twStrBufAppendChar(buf, c == '$' ? '$' : '\\');
        twStrBufAppendChar(buf, static_cast<unsigned char>(c));
        run = p + 1;
    }
    if (enclose) twStrBufAppendChar(buf, '"');
}
