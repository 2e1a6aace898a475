/* freelist.h - size-class free lists for small fixed-size records.
 *
 * Pieces of up to 160 bytes are carved from large blocks and recycled by
 * size class (multiples of 8). Under TW_MEMDBG, TW_MEMFLDISABLE or
 * TW_PURIFY every request is an ordinary tagged allocation instead.
 */
#ifndef TWLIB_CORE_FREELIST_H
#define TWLIB_CORE_FREELIST_H

#include "twlib/core/base.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct twMemFl twMemFl; /* a named free list of one exact size */

/* A piece of at least size bytes, owned by the caller until twMemFlFree.
 * The tag (a constant string) is used only when the request goes to the
 * memory manager. Never null: exhausted memory ends the process as the
 * memory manager does. */
void *twMemFlAlloc(uint32_t size, const char *tag);
/* Releases a piece; size must be of the class it was requested with. A
 * null piece is ignored. */
void twMemFlFree(void *piece, uint32_t size);
/* The purge routine of the free lists; gives nothing back. Returns 1. */
int twMemFlPurge(void);

/* A named list of pieces of exactly 'size' bytes, owned by the caller until
 * twMemFlDestroy; the name is copied. Never null. */
twMemFl *twMemFlCreate(uint32_t size, const char *name);
/* A piece of the list's size; never null. */
void *twMemFlAlloc2(twMemFl *list);
/* Gives a piece of this list back to it; null is ignored. */
void twMemFlFree2(twMemFl *list, void *piece);
/* Releases the list and its name; null is ignored. Pieces handed out stay
 * valid (they live in shared carve blocks) but must not be given back to
 * the destroyed list. */
void twMemFlDestroy(twMemFl *list);

/* How a named list keeps its name. The string pool installs its copy and
 * release when the library is loaded, so names are pool strings; without it
 * a name is a plain tagged copy ("twFreelist name"). Set before the first
 * twMemFlCreate; null restores the plain copy. */
typedef char *(*twMemFlNameCopyFn)(const char *name);
typedef void (*twMemFlNameFreeFn)(char *name);
void twMemFl_SetNameHooks(twMemFlNameCopyFn copy, twMemFlNameFreeFn release);

#ifdef __cplusplus
}
#endif

#endif
