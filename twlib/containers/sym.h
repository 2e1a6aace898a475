/* sym.h - twSym, the chained hash table of one-word keys and values.
 *
 * Key behaviour (hash, equality, copy in, free) is fixed at creation by
 * four callbacks; values are opaque words the table never interprets.
 * A dynamic table grows by itself to prime slot counts.
 */
#ifndef TWLIB_CONTAINERS_SYM_H
#define TWLIB_CONTAINERS_SYM_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct twSymTable twSymTable;

typedef uint32_t (*twSymHashFn)(const void *key);
/* Nonzero when equal; the stored key is the first argument. */
typedef int (*twSymCmpFn)(const void *stored, const void *probe);
typedef void *(*twSymCopyFn)(const void *key);
typedef void (*twSymFreeFn)(void *word);
typedef void (*twSymFreeAddrFn)(void **valueAddr);
typedef void *(*twSymCopyValueFn)(void *value);
/* Walks stop when the callback returns 0. */
typedef int (*twSymLoopFn)(void *value, void *key, void *a, void *b);
typedef int (*twSymLoopAddrFn)(void **value, void *key, void *a, void *b);
typedef int (*twSymLoopAddr2Fn)(void **value, void **key, void *a, void *b);
/* Ordering of keys for twSymTableToArray; (twSymOrderFn)twDummyProc keeps
 * iteration order. */
typedef int (*twSymOrderFn)(const void *keyA, const void *keyB);

twSymTable *twSymCreate(uint32_t slotCount, twSymHashFn hash, twSymCmpFn compare,
                        twSymCopyFn copyKey, twSymFreeFn freeKey);
void twSymNotFoundValue(twSymTable *t, void *value);
void twSymDynamic(twSymTable *t, double loadLimit, double growFactor);
void twSymResize(twSymTable *t, uint32_t newSlotCount);
uint32_t twSymSize(const twSymTable *t);

void *twSymStore(twSymTable *t, const void *key, void *value);
void *twSymFetch(const twSymTable *t, const void *key);
void **twSymFetchAddr(const twSymTable *t, const void *key);
void *twSymRemove(twSymTable *t, const void *key);

void twSymClear(twSymTable *t, twSymFreeFn freeValue);
void twSymClearAddr(twSymTable *t, twSymFreeAddrFn freeValueAt);
void twSymDestroy(twSymTable *t, twSymFreeFn freeValue);
int twSymMoveAll(twSymTable *dst, twSymTable *src, twSymFreeFn freeValue);
int twSymCopyAll(twSymTable *dst, twSymTable *src, twSymCopyValueFn copyValue,
                 twSymFreeFn freeValue);
void **twSymTableToArray(const twSymTable *t, void **array, twSymOrderFn order);

int twSymLoop(const twSymTable *t, twSymLoopFn fn, void *a, void *b);
int twSymLoopAddr(twSymTable *t, twSymLoopAddrFn fn, void *a, void *b);
int twSymLoopAddr2(twSymTable *t, twSymLoopAddr2Fn fn, void *a, void *b);
int twSymLoopResume(const twSymTable *t, twSymLoopFn fn, const void *resumeKey,
                    void *a, void *b);

/* Stock callbacks. String keys: twSymStHash (or twSymStIhash), twSymStEqu
 * (twStrEqu in the callback's type), twSymStCpy, twSymStFree. Pointer keys:
 * twSymPtrHash, twSymPtrCmp, twSymReturn, twSymDummy. */
uint32_t twSymStHash(const void *key);
uint32_t twSymStIhash(const void *key);
int twSymStEqu(const void *stored, const void *probe);
void *twSymStCpy(const void *key);
void twSymStFree(void *key);
uint32_t twSymPtrHash(const void *key);
int twSymPtrCmp(const void *stored, const void *probe);
void *twSymReturn(const void *key);
void twSymDummy(void *word);

void twSymDump(const twSymTable *t);
void twSymStrDump(const twSymTable *t);
void twSymAnalyze(const twSymTable *t, int maxLength);

#ifdef __cplusplus
}
#endif

#endif
