/* strutil.h - the plain string utilities: case conversion, comparisons that
 * accept null pointers, searching, trimming, the number test, wildcard
 * matching, keyword lookup and the cursor lexer.
 *
 * None of them makes pool strings, raises or reports. White space is the C
 * space class (blank, tab, newline, vertical tab, form feed, carriage
 * return) whatever the locale; case conversion and case-insensitive
 * comparison are plain ASCII (a lower-case letter minus 32 is its upper-case
 * form; every other byte is its own case).
 */
#ifndef TWLIB_TEXT_STRUTIL_H
#define TWLIB_TEXT_STRUTIL_H

#include "twlib/core/base.h"

#ifdef __cplusplus
extern "C" {
#endif

/* " \n\t" (blank, newline, tab): the default separators of the string
 * tokenizers and the option parser. Read-only. */
extern const char *twStrWhitespaceV;
/* "*": the wildcard of twStrMat. Read-only. */
extern const char *twStrWildcardV;

/* Copies at most n bytes of src into dst (n bytes of room), as strncpy
 * does, then always stores a NUL at dst[n - 1]; a null src makes dst "".
 * n == 0 writes nothing. Returns dst. */
char *twStrncpyNullTerm(char *dst, const char *src, size_t n);

/* Lower-case / upper-case s in place. Return s (null for null). */
char *twStrLoc(char *s);
char *twStrUpc(char *s);

/* Case-insensitive comparison: 0 when the pointers are equal (both null
 * included), -1 when only a is null, 1 when only b is null, else
 * upper(a[i]) - upper(b[i]) at the first difference and 0 when both end
 * together. */
int twStrIcmp(const char *a, const char *b);
/* As twStrIcmp for at most n characters (n <= 0 compares none and gives 0),
 * but when one string ends first the result is 0 after n characters, else
 * 1 when only b ended, 0 when both ended, -1 when only a ended. */
int twStrNicmp(const char *a, const char *b, int n);
/* 1 when the texts are equal (equal pointers, both null included), 0 when
 * they differ or only one is null. */
int twStrEqu(const char *a, const char *b);
/* 1 when twStrIcmp(a, b) is 0, else 0. */
int twStrIequ(const char *a, const char *b);

/* The first character of s that is not white space (the terminator when
 * there is none); null for null. */
char *twStrBlk(const char *s);
/* The first character of s that is in 'set'; null when there is none or
 * either argument is null. */
char *twStrBrk(const char *s, const char *set);
/* The first / last occurrence of c (taken as a char) in s; c == 0 finds
 * the terminator. Null when absent or s is null. */
char *twStrChr(const char *s, int c);
char *twStrRch(const char *s, int c);
/* Where 'pattern' first occurs in s; s itself for an empty pattern; null
 * when it does not occur (a pattern longer than s never does) or either is
 * null. */
char *twStrSearch(const char *s, const char *pattern);
/* As twStrSearch, with ASCII case folding. Linear in the lengths of s and
 * pattern. A pattern of more than 64 characters takes a scratch block from
 * the memory manager (tag "twStrISearch") for the duration of the call. */
char *twStrISearch(const char *s, const char *pattern);

/* Overwrites the trailing white space of s with NULs (never its first
 * character) and returns a pointer past its leading white space. Null and
 * "" are returned unchanged. */
char *twStrTrim(char *s);

/* 1 when s is a decimal number: digits with at most one point, a sign
 * first or right after the exponent mark, and an exponent mark (e or E)
 * neither first nor last; "12", "-1.5e+3", "." and "+.5" are, "e5", "1e",
 * "1.2.3", "1e5.0" and "-" are not. 0 otherwise, also for null and "". */
int twStrIsnum(const char *s);

/* 1 when the wildcard pattern matches the whole of s, else 0: "*" matches
 * any run of characters (also none), "?" exactly one, anything else
 * itself. When either is null the result is 1 only when both are. Takes at
 * most about strlen(pattern) * strlen(s) steps; no allocation. */
int twStrMat(const char *pattern, const char *s);
/* twStrMat with ASCII case folding on both sides. */
int twStrIMat(const char *pattern, const char *s);

/* Index of 'word' in table[0 .. count), stopping early at a null entry.
 * The word is compared lower-cased, so entries are written in lower case.
 * An exact entry wins; otherwise an entry beginning with the word counts as
 * an abbreviation. Returns the index of the exact entry or of the only
 * abbreviated one; -2 when two or more entries begin with the word; -1
 * when none does, and for a null word or table. */
int twStrIndex(const char *word, const char *const *table, int count);
/* As twStrIndex, comparing both sides case-insensitively. */
int twStrIindex(const char *word, const char *const *table, int count);

/* The lexer. A non-null s becomes the cursor (one static cursor shared by
 * all callers, pointing into the caller's string, which must stay alive and
 * unchanged while it is walked); a null s goes on from the cursor. Skips
 * the characters of 'skip' (may be null), then copies the following
 * characters not in 'delims' (may be null), at most size - 1 of them, into
 * buf with a NUL; the rest of an over-long token comes with the next call.
 * When the first character is a delimiter, it is the token. Returns buf;
 * null at the end of the string, when there is no cursor, and for a null
 * buf or a size below 2. Not reentrant. */
char *twStrLex(const char *s, char *buf, int size, const char *delims, const char *skip);
/* Steps the lexer cursor back onto the delimiter c: characters of 'set'
 * (may be null) just before the cursor are stepped over first, never
 * before 'start' (the string the lexer was given). Returns 1 when the
 * cursor moved onto c; else 0, the cursor unchanged (also with no cursor,
 * a null start or a cursor at start). */
int twStrUnlexdelim(const char *start, int c, const char *set);

#ifdef __cplusplus
}
#endif

#endif
