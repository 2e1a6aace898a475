/* strbuf.h - growable, always NUL-terminated text.
 *
 * The text is a pool string, the record a free-list piece, so a buffer
 * follows the pool's mode. Growth doubles the needed length, so appending n
 * characters one by one is O(n); the text never shrinks. No operation
 * reports an error: when memory runs out, or a text would exceed
 * INT_MAX - 1 characters, the process ends with "Out of memory.". None of
 * them calls back into the caller. An append may take the buffer's own text
 * (or a part of it) as its argument.
 */
#ifndef TWLIB_TEXT_STRBUF_H
#define TWLIB_TEXT_STRBUF_H

#include "twlib/core/base.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct twStrBuf twStrBuf;

/* A new empty buffer with room for 'capacity' characters (a negative one
 * counts as 0), owned by the caller, who releases it with twStrBufDestroy. */
twStrBuf *twStrBufCreate(int capacity);
/* Releases the buffer and its text; null is ignored. Texts returned by
 * twStrBufString are invalid afterwards. */
void twStrBufDestroy(twStrBuf *buf);
/* Appends s; a null s changes nothing. */
void twStrBufAppend(twStrBuf *buf, const char *s);
/* Appends the first min(n, strlen(s)) characters of s, reading no more
 * than n bytes of it; n <= 0 or a null s changes nothing. */
void twStrBufAppendN(twStrBuf *buf, const char *s, int n);
/* Appends the character c (converted to char; 0 is stored like any other
 * and ends the text as C sees it). Returns the new length. */
int twStrBufAppendChar(twStrBuf *buf, int c);
/* Appends every string of the argument list up to the terminating null
 * pointer, in order, growing at most once. Returns buf. */
twStrBuf *twStrBufAppendStrings(twStrBuf *buf, ...);
/* The number of characters in the text. */
int twStrBufLength(const twStrBuf *buf);
/* The text, owned by the buffer: valid until the next append that grows it
 * or the destruction. The caller may change characters before the NUL. */
char *twStrBufString(const twStrBuf *buf);
/* Empties the text; the capacity stays. */
void twStrBufClear(twStrBuf *buf);
/* Removes the last n characters (all of them when n >= the length);
 * n <= 0 changes nothing. */
void twStrBufRemoveN(twStrBuf *buf, int n);

#ifdef __cplusplus
}
#endif

#endif
