/* strhash.h - the stock hash of a zero-terminated string.
 *
 * One home for the sum that the hash tables' stock string hash and the
 * memory manager's tag table both use: each byte, taken unsigned, shifted
 * left by (7 * i) mod 16 and added with 32-bit wrap-around. Its values are
 * part of the tables' documented behaviour (chain order), so they never
 * change.
 */
#ifndef TWLIB_CORE_STRHASH_H
#define TWLIB_CORE_STRHASH_H

#include "twlib/core/base.h"

#ifdef __cplusplus
extern "C" {
#endif

/* 0 for a null string. Cannot fail. */
static inline uint32_t tw_HashText(const char *text)
{
    const unsigned char *s = (const unsigned char *)text;
    uint32_t h = 0;
    unsigned shift = 0;
    if (!s) return 0;
    for (; *s; s++, shift = (shift + 7) & 15) h += (uint32_t)*s << shift;
    return h;
}

#ifdef __cplusplus
}
#endif

#endif
