/* str.h - the string pool and the plain string utilities.
 *
 * A pool string is a NUL-terminated copy made by twStrCpy or twStrAlloc and
 * released only by twStrFree. A header byte in front of it tells the pool
 * how it is stored: 1 the shared empty string, 0 a large string of its own,
 * 4 to 63 a chunk of that many bytes inside a shared 4088-byte block.
 * TW_STRDISABLE or TW_PURIFY turn the pool off: every string is then a
 * tagged block "twString" without header.
 */
#ifndef TWLIB_TEXT_STR_H
#define TWLIB_TEXT_STR_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

extern const char *twStrWhitespaceV; /* " \n\t" */
extern const char *twStrWildcardV;   /* "*" */

/* Pool operations. */
char *twStrCpy(const char *s);          /* null for null */
char *twStrAlloc(int n);                /* room for n-1 characters; n <= 1: the shared "" */
void twStrFree(char *s);                /* s: a live pool string or null */
void twStrTerminate(void);              /* frees every block; the pool is off afterwards */
char *twStrOldCopy(const char *s);      /* twMemMalloc copy, tag "twStrCpy"; twMemFree it */
char *twStrCatAlloc(const char *a, const char *b);
char *twStrTrimAlloc(const char *s);    /* null for null */
/* a followed by b (null counts as empty) in a buffer owned by the function,
 * valid until the next call; a and b may be an earlier result. */
const char *twStrCat(const char *a, const char *b);

/* Plain utilities. */
char *twStrncpyNullTerm(char *dst, const char *src, size_t n);
char *twStrLoc(char *s);
char *twStrUpc(char *s);
int twStrIcmp(const char *a, const char *b);
int twStrNicmp(const char *a, const char *b, int n);
int twStrEqu(const char *a, const char *b);
int twStrIequ(const char *a, const char *b);
char *twStrBlk(const char *s);
char *twStrBrk(const char *s, const char *set);
char *twStrChr(const char *s, int c);
char *twStrRch(const char *s, int c);
char *twStrSearch(const char *s, const char *pattern);
char *twStrISearch(const char *s, const char *pattern);
char *twStrTrim(char *s);
int twStrIsnum(const char *s);
int twStrMat(const char *pattern, const char *s);
int twStrIMat(const char *pattern, const char *s);
/* Index of word in table[0..count); -1 none, -2 ambiguous prefix. */
int twStrIndex(const char *word, const char *const *table, int count);
int twStrIindex(const char *word, const char *const *table, int count);
/* Next token of the string held by a static cursor (null string: go on).
 * Null at the end, and for a buffer of fewer than 2 bytes. */
char *twStrLex(const char *s, char *buf, int size, const char *delims, const char *skip);
/* Steps the lexer cursor back onto the delimiter c, first over any
 * characters of 'set' just before it, never before 'start'. Returns 1 when
 * the cursor moved, else 0 and the cursor stays. */
int twStrUnlexdelim(const char *start, int c, const char *set);

#ifdef __cplusplus
}
#endif

#endif
