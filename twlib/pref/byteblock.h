/* byteblock.h - reference-counted byte blocks, a value type of their own.
 *
 * A block holds a private copy of some bytes (no terminating zero is added)
 * and a count of its holders. Copying a block adds a holder; the last free
 * releases the bytes and the record. Values of the type specification
 * twByteBlockTS (twlib/pref/types.h) are byte blocks: they parse from text
 * (the text's characters) and print as "<size> bytes: <first bytes>...".
 */
#ifndef TWLIB_PREF_BYTEBLOCK_H
#define TWLIB_PREF_BYTEBLOCK_H

#include "twlib/core/base.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct twByteBlock twByteBlock;

/* A new block holding a copy of the 'size' bytes at 'bytes', with one
 * holder (the caller, who releases it with twByteBlockFree). 'bytes' may be
 * null only when 'size' is 0. A negative size, or null bytes with a
 * positive size, raises the library's precondition error 1155
 * (TW_EX_PRECOND) and allocates nothing. Never returns null. */
twByteBlock *twByteBlockCreate(const void *bytes, int size);
/* Adds a holder and returns the same block; the caller releases its
 * reference with twByteBlockFree. Null gives null. */
twByteBlock *twByteBlockCopy(twByteBlock *block);
/* Drops one holder; the last one releases the bytes and the record, after
 * which the block and its data are invalid. Null is ignored. */
void twByteBlockFree(twByteBlock *block);
/* The number of bytes; 0 for null. */
int twByteBlockGetSize(const twByteBlock *block);
/* The bytes, owned by the block (no terminating zero); null for null. */
void *twByteBlockGetData(const twByteBlock *block);

#ifdef __cplusplus
}
#endif

#endif
