/* strutil.cpp - the plain string utilities: case conversion, comparisons
 * that accept null pointers, searching, trimming, the number test, wildcard
 * matching, keyword lookup and the cursor lexer.
 *
 * None of these makes pool strings; only twStrISearch takes a tagged
 * scratch block, for long patterns, and gives it back before it returns.
 * White space is the C space class (blank, tab, newline, vertical tab, form
 * feed, carriage return) whatever the locale, and case conversion is plain
 * ASCII.
 */
#include "twlib/text/strutil.h"

#include <cstring>

#include "twlib/core/mem.h"
#include "twlib/core/sizecheck.h"
#include "twlib/text/chars.h"

const char *twStrWhitespaceV = " \n\t";
const char *twStrWildcardV = "*";

namespace {

inline unsigned char upper(unsigned char c)
{
    return c >= 'a' && c <= 'z' ? c - 32 : c;
}

inline unsigned char lower(unsigned char c)
{
    return c >= 'A' && c <= 'Z' ? c + 32 : c;
}

inline unsigned char same(unsigned char c)
{
    return c;
}

// Wildcard match of the whole string. When a later "*" is reached, any
// earlier "*" can only lose alternatives, so only the most recent one is
// kept for backtracking: at most O(pattern x string) steps, whatever the
// number of stars.
template <unsigned char (*Fold)(unsigned char)> int wildMatch(const char *p, const char *s)
{
    const char *starP = nullptr;  // pattern just after the latest "*"
    const char *starS = nullptr;  // where that "*" currently stops matching
    for (;;) {
        if (*p == '*') {
            while (*p == '*') p++;
            if (*p == '\0') return 1;
            starP = p;
            starS = s;
            continue;
        }
        if (*s != '\0' && *p != '\0' &&
            (*p == '?' || Fold(static_cast<unsigned char>(*p)) == Fold(static_cast<unsigned char>(*s)))) {
            p++;
            s++;
            continue;
        }
        if (*p == '\0' && *s == '\0') return 1;
        // Mismatch: let the latest "*" swallow one more character.
        if (!starP || *starS == '\0') return 0;
        p = starP;
        s = ++starS;
    }
}

// Is 'entry' equal to 'word' / does it begin with 'word', under the given
// character fold (applied to both sides).
template <unsigned char (*Fold)(unsigned char)> bool foldEqual(const char *entry, const char *word)
{
    for (; *word; word++, entry++)
        if (Fold(static_cast<unsigned char>(*entry)) != Fold(static_cast<unsigned char>(*word))) return false;
    return *entry == '\0';
}

template <unsigned char (*Fold)(unsigned char)> bool foldPrefix(const char *entry, const char *word)
{
    for (; *word; word++, entry++)
        if (Fold(static_cast<unsigned char>(*entry)) != Fold(static_cast<unsigned char>(*word))) return false;
    return true;
}

// Exact lookup compares each entry with the lower-cased word, so tables are
// written in lower case; the case-insensitive lookup folds both sides.
template <bool Insensitive> int lookup(const char *word, const char *const *table, int count)
{
    if (!word || !table) return -1;
    int matches = 0;
    int last = -1;
    for (int i = 0; i < count && table[i]; i++) {
        const char *e = table[i];
        bool equal, prefix;
        if (Insensitive) {
            equal = foldEqual<upper>(e, word);
            prefix = equal || foldPrefix<upper>(e, word);
        } else {
            // The entry as written against the word lower-cased.
            const char *w = word;
            const char *x = e;
            while (*w && static_cast<unsigned char>(*x) == lower(static_cast<unsigned char>(*w))) {
                w++;
                x++;
            }
            prefix = *w == '\0';
            equal = prefix && *x == '\0';
        }
        if (equal) return i;
        if (prefix) {
            matches++;
            last = i;
        }
    }
    if (matches == 1) return last;
    return matches > 1 ? -2 : -1;
}

const char *lexCursor;  // the string twStrLex is walking

}  // namespace

char *twStrncpyNullTerm(char *dst, const char *src, size_t n)
{
    if (n == 0) return dst;
    if (!src) {
        dst[0] = '\0';
        return dst;
    }
    strncpy(dst, src, n);
    dst[n - 1] = '\0';
    return dst;
}

char *twStrLoc(char *s)
{
    if (s)
        for (char *p = s; *p; p++) *p = char(lower(static_cast<unsigned char>(*p)));
    return s;
}

char *twStrUpc(char *s)
{
    if (s)
        for (char *p = s; *p; p++) *p = char(upper(static_cast<unsigned char>(*p)));
    return s;
}

int twStrIcmp(const char *a, const char *b)
{
    if (a == b) return 0;
    if (!a) return -1;
    if (!b) return 1;
    for (;; a++, b++) {
        int ca = upper(static_cast<unsigned char>(*a));
        int cb = upper(static_cast<unsigned char>(*b));
        if (ca != cb) return ca - cb;
        if (ca == 0) return 0;
    }
}

int twStrNicmp(const char *a, const char *b, int n)
{
    if (a == b) return 0;
    if (!a) return -1;
    if (!b) return 1;
    int i = 0;
    for (; i < n && a[i] && b[i]; i++) {
        int ca = upper(static_cast<unsigned char>(a[i]));
        int cb = upper(static_cast<unsigned char>(b[i]));
        if (ca != cb) return ca - cb;
    }
    if (i >= n) return 0;
    if (a[i] && !b[i]) return 1;
    if (!a[i] && !b[i]) return 0;
    return -1;
}

int twStrEqu(const char *a, const char *b)
{
    if (a == b) return 1;
    if (!a || !b) return 0;
    return strcmp(a, b) == 0;
}

int twStrIequ(const char *a, const char *b)
{
    return twStrIcmp(a, b) == 0;
}

char *twStrBlk(const char *s)
{
    if (!s) return nullptr;
    while (tw_IsWhite(*s)) s++;
    return const_cast<char *>(s);
}

char *twStrBrk(const char *s, const char *set)
{
    if (!s || !set) return nullptr;
    return const_cast<char *>(strpbrk(s, set));
}

char *twStrChr(const char *s, int c)
{
    if (!s) return nullptr;
    return const_cast<char *>(strchr(s, c));
}

char *twStrRch(const char *s, int c)
{
    if (!s) return nullptr;
    return const_cast<char *>(strrchr(s, c));
}

char *twStrSearch(const char *s, const char *pattern)
{
    if (!s || !pattern) return nullptr;
    return const_cast<char *>(strstr(s, pattern));
}

// Knuth-Morris-Pratt over case-folded characters, so a long pattern against
// a long text stays linear. The failure table of a short pattern lives in
// the frame; a longer one is a tagged block, released before returning
// (nothing in between calls out, so nothing can jump past the release).
char *twStrISearch(const char *s, const char *pattern)
{
    constexpr size_t kFrameTable = 64;
    if (!s || !pattern) return nullptr;
    size_t m = strlen(pattern);
    if (m == 0) return const_cast<char *>(s);
    // A text shorter than the pattern cannot hold it; checking first also
    // keeps an absurdly long pattern from asking for a table.
    if (strnlen(s, m) < m) return nullptr;
    size_t frameTable[kFrameTable];
    size_t *fail = frameTable;
    if (m > kFrameTable)
        fail = static_cast<size_t *>(twMemMalloc(tw_CheckArraySize(m, sizeof(size_t)), "twStrISearch"));
    fail[0] = 0;
    for (size_t i = 1, k = 0; i < m; i++) {
        unsigned char c = upper(static_cast<unsigned char>(pattern[i]));
        while (k > 0 && upper(static_cast<unsigned char>(pattern[k])) != c) k = fail[k - 1];
        if (upper(static_cast<unsigned char>(pattern[k])) == c) k++;
        fail[i] = k;
    }
    const char *found = nullptr;
    size_t k = 0;
    for (const char *p = s; *p; p++) {
        unsigned char c = upper(static_cast<unsigned char>(*p));
        while (k > 0 && upper(static_cast<unsigned char>(pattern[k])) != c) k = fail[k - 1];
        if (upper(static_cast<unsigned char>(pattern[k])) == c) k++;
        if (k == m) {
            found = p + 1 - m;
            break;
        }
    }
    if (fail != frameTable) twMemFree(fail);
    return const_cast<char *>(found);
}

char *twStrTrim(char *s)
{
    if (!s || !*s) return s;
    size_t len = strlen(s);
    while (len > 1 && tw_IsWhite(s[len - 1])) s[--len] = '\0';
    return twStrBlk(s);
}

int twStrIsnum(const char *s)
{
    if (!s || !*s) return 0;
    bool signOk = true, pointOk = true, expOk = true;
    for (const char *p = s; *p; p++) {
        char c = *p;
        if (tw_IsDigit(c)) {
            signOk = false;
        } else if (c == '.' && pointOk) {
            pointOk = false;
            signOk = false;
        } else if ((c == 'e' || c == 'E') && expOk && p != s && p[1]) {
            pointOk = false;
            expOk = false;
            signOk = true;
        } else if (signOk && (c == '+' || c == '-') && p[1]) {
            signOk = false;
        } else {
            return 0;
        }
    }
    return 1;
}

int twStrMat(const char *pattern, const char *s)
{
    if (!pattern || !s) return !pattern && !s;
    return wildMatch<same>(pattern, s);
}

int twStrIMat(const char *pattern, const char *s)
{
    if (!pattern || !s) return !pattern && !s;
    return wildMatch<upper>(pattern, s);
}

int twStrIndex(const char *word, const char *const *table, int count)
{
    return lookup<false>(word, table, count);
}

int twStrIindex(const char *word, const char *const *table, int count)
{
    return lookup<true>(word, table, count);
}

char *twStrLex(const char *s, char *buf, int size, const char *delims, const char *skip)
{
    if (s) lexCursor = s;
    // A token needs room for one character and its NUL; a smaller buffer
    // would make the walk stand still.
    if (!lexCursor || !buf || size < 2) return nullptr;
    if (skip) lexCursor += strspn(lexCursor, skip);
    if (*lexCursor == '\0') return nullptr;
    // The scan stops at the buffer's room, so a long token read in pieces
    // is not scanned again in full for every piece.
    bool isDelim[256] = {};
    if (delims)
        for (const char *d = delims; *d; d++) isDelim[static_cast<unsigned char>(*d)] = true;
    size_t room = size_t(size - 1);
    size_t len = 0;
    while (len < room && lexCursor[len] && !isDelim[static_cast<unsigned char>(lexCursor[len])]) len++;
    if (len == 0) {
        buf[0] = *lexCursor++;
        buf[1] = '\0';
        return buf;
    }
    memcpy(buf, lexCursor, len);
    buf[len] = '\0';
    lexCursor += len;
    return buf;
}

// Steps the lexer back onto the delimiter c: characters of 'set' (the skip
// set, typically) just before the cursor are stepped over first, never
// before 'start'. Returns 1 when the cursor moved onto c, else 0 with the
// cursor unchanged.
int twStrUnlexdelim(const char *start, int c, const char *set)
{
    if (!lexCursor || !start || lexCursor <= start) return 0;
    const char *p = lexCursor;
    if (set)
        while (p > start && p[-1] != '\0' && strchr(set, p[-1])) p--;
    if (p == start || p[-1] != char(c)) return 0;
    lexCursor = p - 1;
    return 1;
}
