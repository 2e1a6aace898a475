/* mem.h - tagged memory manager, purge routines and byte utilities.
 *
 * Every allocation names a tag: a constant string that says what the block
 * is for. In normal mode the tag costs nothing and the calls go straight to
 * the raw layer, which never returns null: an exhausted heap runs the purge
 * routines, retries twice and then ends the process with "Out of memory.".
 * With TW_MEMDBG set (and TW_PURIFY not) at the first tagged call, every
 * block is guarded, counted per tag and reported at exit.
 */
#ifndef TWLIB_CORE_MEM_H
#define TWLIB_CORE_MEM_H

#include "twlib/core/base.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Receives one line of the usage report (no newline); the text is valid
 * only during the call. */
typedef void (*twMemLineFn)(const char *line);

/* Out-of-memory handler: gets the 0-based number of the failed attempt of
 * one allocation; when it returns, the allocation is tried again. It may end
 * the process instead (twMemExit does on the third attempt). */
typedef int (*twMemOutFn)(int attempt);

/* Tagged layer. 'tag' is a constant string that must outlive the block (it
 * is kept, never copied). None of these returns null: when memory runs out
 * the out-of-memory protocol runs and may end the process with
 * "Out of memory." (status 3). The caller owns the block and releases it
 * with twMemFree. A size of 0 gives a block of its own. */
void *twMemMalloc(uint32_t size, const char *tag);
/* Zero-filled; count * size is computed without wrapping (a product beyond
 * the memory manager's sizes is exhausted memory). */
void *twMemCalloc(uint32_t count, uint32_t size, const char *tag);
/* Moves the block to one of 'size' bytes, keeping the contents up to the
 * smaller size; the old pointer is invalid afterwards. A null pointer makes
 * this twMemMalloc(size, tag); the block takes the new tag. */
void *twMemRealloc(void *ptr, uint32_t size, const char *tag);
/* Releases the block and returns the pointer passed in (no longer valid).
 * Normal mode: null is ignored. Debug mode: a pointer that is not a live
 * block (null included) or a block with a damaged guard is a fatal internal
 * error that ends the process with a report. */
void *twMemFree(void *ptr);

/* Debug path, taken without looking at the mode; debug mode must be on. */
void *twMem_DbgMalloc(uint32_t size, const char *tag);
void *twMem_DbgCalloc(uint32_t count, uint32_t size, const char *tag);
void *twMem_DbgRealloc(void *ptr, uint32_t size, const char *tag);
void *twMem_DbgFree(void *ptr);
/* Checks the guards of every live block; returns only if all are intact. */
void twMem_DbgTestMemory(void);
/* Calls f(arg, block) for every live block whose tag equals 'tag'. */
void twMem_DbgCallFuncForStr(const char *tag, void (*f)(void *arg, void *block), void *arg);
/* Report of unfreed pool strings (tag "twString") on standard output. */
void twMem_DbgPrintStrings(void);

/* Usage report, one line per call of out; (twMemLineFn)twDummyProc prints
 * each line and a newline on standard output. Debug mode only. */
void twMemPrintUsage(twMemLineFn out);
void twMemPrintUsageStdout(void);

/* The library's stock do-nothing procedure: returns 1. */
int twDummyProc(void);

/* Raw layer, untagged and untracked: never null (the out-of-memory protocol
 * as above). A size of 0 is taken as 1. Blocks are released with
 * twMem_FastFree only. */
void *twMem_FastMalloc(size_t size);
void *twMem_FastCalloc(size_t count, size_t size);
void *twMem_FastRealloc(void *ptr, size_t size);
void twMem_FastFree(void *ptr); /* null is ignored */

/* The out-of-memory handler in force; initially twMemExit. */
extern twMemOutFn twMemOutV;
/* Default handler: purges and returns 1 for attempts 0 and 1; for the third
 * attempt (or inside a purge) prints "Out of memory." and calls twAbort(0). */
int twMemExit(int attempt);
/* Registers a routine that gives memory back when an allocation fails; it is
 * called during the failed allocation, so it must not rely on getting
 * memory itself (an allocation that fails there ends the process). */
void twAddPurgeRoutine(twProc routine);
/* Calls every registered purge routine once, newest first. */
void twMemPurge(void);

/* Copies count bytes; correct for overlapping areas. */
void twMemMove(void *dst, const void *src, uint32_t count);
/* The last of the count bytes equal to c, or null. */
void *twMemRchr(const void *buf, int c, uint32_t count);

#ifdef __cplusplus
}
#endif

#endif
