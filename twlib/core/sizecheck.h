/* sizecheck.h - sizes too large for the memory manager (internal).
 *
 * The tagged layer takes 32-bit byte counts. A module that works out a
 * larger one (a huge string, a table of too many words) must not let it
 * wrap into a small block: such a request counts as the heap being
 * exhausted, and the process ends the way the out-of-memory protocol ends
 * it, with the usage report, the cleanup procedure, "Out of memory." on
 * standard error and exit status 3. Not part of the installed interface.
 */
#ifndef TWLIB_CORE_SIZECHECK_H
#define TWLIB_CORE_SIZECHECK_H

#include "twlib/core/exit.h"
#include "twlib/core/mem.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Ends the process as an exhausted heap does. Never returns. */
TW_NORETURN static inline void tw_SizeExhausted(void)
{
    /* The third failed attempt is the one that gives up. */
    twMemExit(2);
    twAbort(0);
}

/* n as a byte count of the tagged layer; when n exceeds UINT32_MAX the
 * process ends as above. */
static inline uint32_t tw_CheckSize(size_t n)
{
    if (n > UINT32_MAX) tw_SizeExhausted();
    return (uint32_t)n;
}

/* count * size as a byte count of the tagged layer; when the product
 * exceeds UINT32_MAX (or size_t) the process ends as above. */
static inline uint32_t tw_CheckArraySize(size_t count, size_t size)
{
    if (size != 0 && count > UINT32_MAX / size) tw_SizeExhausted();
    return (uint32_t)(count * size);
}

#ifdef __cplusplus
}
#endif

#endif
