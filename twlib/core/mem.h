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

/* Receives one line of the usage report (no newline). */
typedef void (*twMemLineFn)(const char *line);

/* Out-of-memory handler: gets the 0-based number of the failed attempt. */
typedef int (*twMemOutFn)(int attempt);

/* Tagged layer. None of these returns null. */
void *twMemMalloc(uint32_t size, const char *tag);
void *twMemCalloc(uint32_t count, uint32_t size, const char *tag);
/* A null pointer makes this twMemMalloc(size, tag); the block takes the new tag. */
void *twMemRealloc(void *ptr, uint32_t size, const char *tag);
/* Returns the pointer passed in. Debug mode: a pointer that is not a live
 * block (null included) is a fatal internal error. */
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

/* Raw layer: never null. A size of 0 is taken as 1. */
void *twMem_FastMalloc(size_t size);
void *twMem_FastCalloc(size_t count, size_t size);
void *twMem_FastRealloc(void *ptr, size_t size);
void twMem_FastFree(void *ptr); /* null is ignored */

/* The out-of-memory handler in force; initially twMemExit. */
extern twMemOutFn twMemOutV;
/* Default handler: purges and returns 1 for attempts 0 and 1; for the third
 * attempt (or inside a purge) prints "Out of memory." and calls twAbort(0). */
int twMemExit(int attempt);
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
