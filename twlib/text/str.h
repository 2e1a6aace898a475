/* str.h - the string pool.
 *
 * A pool string is a NUL-terminated copy made by twStrCpy or twStrAlloc and
 * released only by twStrFree. A header byte in front of it tells the pool
 * how it is stored: 1 the shared empty string, 0 a large string of its own,
 * 4 to 63 a chunk of that many bytes inside a shared 4088-byte block.
 * TW_STRDISABLE or TW_PURIFY, read at the first pool operation, turn the
 * pool off: every string is then a tagged block "twString" without header.
 *
 * No pool operation reports an error or returns null for a non-null
 * request: when memory runs out (or a size exceeds what the memory manager
 * can hold) the process ends with "Out of memory.". None of them calls back
 * into the caller.
 *
 * The plain string utilities have their own header, included here so that
 * callers of either find both.
 */
#ifndef TWLIB_TEXT_STR_H
#define TWLIB_TEXT_STR_H

#include "twlib/core/base.h"
#include "twlib/text/strutil.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A new pool string equal to s, owned by the caller (release with
 * twStrFree); null for a null s. "" gives the pool's shared empty string,
 * which must not be written to. */
char *twStrCpy(const char *s);
/* A pool string with room for n - 1 characters and the NUL, contents
 * undefined, owned by the caller (release with twStrFree). n <= 1 gives the
 * shared empty string (read-only) while the pool is on, a one-byte block
 * holding "" while it is off. */
char *twStrAlloc(int n);
/* Releases a pool string; null and the shared empty string are ignored.
 * Anything else that is not a live pool string made since the pool was last
 * switched on or off is undefined behaviour (debug mode reports a large or
 * pool-off string released twice). A released string with room for 7 or
 * more characters holds the link to the next one released at its size, so
 * writing to it afterwards corrupts the pool: run with TW_STRDISABLE to
 * have a memory checker see such writes. */
void twStrFree(char *s);
/* Gives every string block and the free lists back and switches the pool
 * off for good: later strings are plain "twString" blocks. Pool strings
 * made before must not be used or released afterwards. Called by the
 * orderly end of the process; a second call does nothing. */
void twStrTerminate(void);
/* A plain tagged copy of s ("twStrCpy", no header), owned by the caller,
 * who releases it with twMemFree; null for null. */
char *twStrOldCopy(const char *s);
/* A new pool string holding a followed by b (a null counts as ""), owned
 * by the caller. */
char *twStrCatAlloc(const char *a, const char *b);
/* A new pool string holding s without its leading and trailing white space
 * (the C space class), owned by the caller; null for null; s is not
 * changed. */
char *twStrTrimAlloc(const char *s);
/* a followed by b (a null counts as "") in a buffer owned by the function,
 * valid until the next call; a and b may be an earlier result. The buffers
 * are released by the exit handlers under memory checking and by
 * twStrTerminate; a later call makes new ones. Not reentrant. */
const char *twStrCat(const char *a, const char *b);

#ifdef __cplusplus
}
#endif

#endif
