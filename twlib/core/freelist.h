/* freelist.h - size-class free lists for small fixed-size records.
 *
 * Pieces of up to 160 bytes are carved from large blocks and recycled by
 * size class (multiples of 8). Under TW_MEMDBG, TW_MEMFLDISABLE or
 * TW_PURIFY every request is an ordinary tagged allocation instead.
 */
#ifndef TWLIB_CORE_FREELIST_H
#define TWLIB_CORE_FREELIST_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct twMemFl twMemFl; /* a named free list of one exact size */

/* A piece of at least size bytes; the tag is used only when the request
 * goes to the memory manager. Never null. */
void *twMemFlAlloc(uint32_t size, const char *tag);
/* Releases a piece; size must be of the class it was requested with. */
void twMemFlFree(void *piece, uint32_t size);
/* The purge routine of the free lists; gives nothing back. Returns 1. */
int twMemFlPurge(void);

twMemFl *twMemFlCreate(uint32_t size, const char *name);
void *twMemFlAlloc2(twMemFl *list);
void twMemFlFree2(twMemFl *list, void *piece);
void twMemFlDestroy(twMemFl *list);

#ifdef __cplusplus
}
#endif

#endif
