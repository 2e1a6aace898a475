/* sym.h - twSym, the chained hash table of one-word keys and values.
 *
 * Key behaviour (hash, equality, copy in, free) is fixed at creation by
 * four callbacks; values are opaque words the table never interprets and
 * never copies or frees except through a value callback an operation takes.
 * A dynamic table grows by itself to prime slot counts.
 *
 * No operation reports an error: when memory runs out the process ends with
 * "Out of memory.". The table owns its records, its slot array and (through
 * copyKey and freeKey) its kept keys; the caller owns the values.
 *
 * Callbacks and raises. A raise (a non-local jump) out of a callback leaves
 * nothing of an operation behind.
 * - Key callbacks must not change the table. A raise from copyKey or
 *   freeKey, or from hash or compare in a lookup or a removal, leaves the
 *   table consistent (a key being released may be lost). A raise from hash
 *   while the table grows (a resize, or a store into a dynamic table)
 *   leaves it at its old slot count with every entry.
 * - Value callbacks of the bulk operations (freeValue, freeValueAt,
 *   copyValue) may raise: every table involved stays consistent with right
 *   counts; a clear has removed the entries handled so far, a move has taken
 *   the pairs handled so far out of the source into the destination and
 *   left the others where they were.
 * - Loop callbacks (twSymLoop and its forms) may raise, which ends the
 *   walk; may remove their own entry (twSymRemove of its key), after which
 *   its key and value addresses are no longer valid; and may store: a
 *   store of a new key may or may not be visited later in the walk, and
 *   when it makes a dynamic table grow, the rest of the walk may visit some
 *   entries twice and miss others. They must not remove other entries,
 *   clear, destroy, resize, or move into or out of the table.
 */
#ifndef TWLIB_CONTAINERS_SYM_H
#define TWLIB_CONTAINERS_SYM_H

#include "twlib/core/base.h"

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
/* Ordering of keys for twSymTableToArray: negative, zero or positive as
 * keyA sorts before, with or after keyB. (twSymOrderFn)twDummyProc keeps
 * iteration order. */
typedef int (*twSymOrderFn)(const void *keyA, const void *keyB);

/* A new empty fixed-size table of exactly slotCount chains, owned by the
 * caller (release with twSymDestroy); not-found value 0. A null hash or
 * compare means the pointer forms, a null copyKey keeps the caller's key,
 * a null freeKey releases nothing; twStrEqu, twStrCpy, twStrFree, twMemFree
 * and twDummyProc are accepted in place of their stock counterparts. A
 * table of 0 slots gets its first slot at its first store. */
twSymTable *twSymCreate(uint32_t slotCount, twSymHashFn hash, twSymCmpFn compare, twSymCopyFn copyKey,
                        twSymFreeFn freeKey);
/* Sets what twSymFetch and twSymRemove return for an absent key. */
void twSymNotFoundValue(twSymTable *t, void *value);
/* Makes the table grow by itself: after a store, once it holds more than
 * loadLimit entries per slot, it is rehashed into the first prime number of
 * slots at or above growFactor times its entry count (made odd). A second
 * call replaces the two numbers. Applies the test at once. Unless
 * growFactor * loadLimit is above 1, a grown table is again over its limit
 * at the next store and every store rehashes: 2.0 and 2.0 is the usual
 * pair. */
void twSymDynamic(twSymTable *t, double loadLimit, double growFactor);
/* Rehashes every entry into newSlotCount chains (0: the current count, a
 * plain rehash). Keys are neither copied nor released. Every key is hashed
 * before any entry moves (in a scratch array of a word per entry). */
void twSymResize(twSymTable *t, uint32_t newSlotCount);
/* The number of entries. */
uint32_t twSymSize(const twSymTable *t);

/* Stores value under key. An existing entry keeps its place, gets the
 * value and a new kept key copyKey(key) (the old kept key is released after
 * the copy, so key may be the kept key itself), and its old value is
 * returned; otherwise a new entry is made and the not-found value is
 * returned. The table never releases a replaced value: the caller gets it
 * back. */
void *twSymStore(twSymTable *t, const void *key, void *value);
/* The value stored under key, or the not-found value. */
void *twSymFetch(const twSymTable *t, const void *key);
/* A hint that key will soon be fetched, stored or removed: starts loading
 * the slot its chain begins at and returns at once. It changes nothing and
 * costs a call of the table's hash. In a table much larger than the cache,
 * a loop that passes each key here a few keys before it fetches it hides
 * most of the wait for the slot. */
void twSymPrefetch(const twSymTable *t, const void *key);
/* The address of the value word stored under key, for reading or writing
 * in place (valid until the entry is removed), or null when absent: this
 * tells a stored value equal to the not-found value from absence. */
void **twSymFetchAddr(const twSymTable *t, const void *key);
/* Removes the entry of key, releasing its kept key, and returns its value
 * (now the caller's); the not-found value when absent (nothing changes). */
void *twSymRemove(twSymTable *t, const void *key);

/* Removes every entry: freeKey(key) and freeValue(value) for each (a null
 * freeValue releases no value). The slots and the table stay. */
void twSymClear(twSymTable *t, twSymFreeFn freeValue);
/* As twSymClear, but freeValueAt gets the address of a word holding the
 * value (the entry itself is already gone). */
void twSymClearAddr(twSymTable *t, twSymFreeAddrFn freeValueAt);
/* twSymClear, then releases the slots and the table; null is ignored.
 * Callers that own no values pass twSymDummy. Should freeValue raise, the
 * table is not released (it holds the entries not yet handled). */
void twSymDestroy(twSymTable *t, twSymFreeFn freeValue);
/* Empties src into dst: every pair is stored as twSymStore does (dst's
 * copyKey makes dst's key, dst may grow), src's kept key is released, and a
 * value displaced in dst goes to freeValue (unless it equals src's
 * not-found value). src stays usable and empty. dst == src changes
 * nothing. Returns 0. */
int twSymMoveAll(twSymTable *dst, twSymTable *src, twSymFreeFn freeValue);
/* As twSymMoveAll but src is left as it is and dst gets copyValue(value)
 * (a null copyValue stores the value itself). Returns 0. */
int twSymCopyAll(twSymTable *dst, twSymTable *src, twSymCopyValueFn copyValue, twSymFreeFn freeValue);
/* The values in a null-terminated array: 'array' when given (room for
 * twSymSize + 1 words), else a new tagged block ("twSymArray") that the
 * caller releases with twMemFree. In iteration order when order is null or
 * twDummyProc, else sorted by order on the keys (an in-place heap sort;
 * order may use this operation itself and must not change the table). A
 * raise from order releases an array made here; a given array's words
 * are then unspecified. */
void **twSymTableToArray(const twSymTable *t, void **array, twSymOrderFn order);

/* Call fn(value, key, a, b) for every entry, slot 0 upwards and each chain
 * from its head, until fn returns 0; then return 0, else 1. What fn may do
 * is said at the top of this header. */
int twSymLoop(const twSymTable *t, twSymLoopFn fn, void *a, void *b);
/* As twSymLoop with the address of the value word: fn may replace the
 * value. */
int twSymLoopAddr(twSymTable *t, twSymLoopAddrFn fn, void *a, void *b);
/* As twSymLoop with the addresses of the value and the kept-key words: fn
 * may replace either (a replaced key must hash and compare as the old one). */
int twSymLoopAddr2(twSymTable *t, twSymLoopAddr2Fn fn, void *a, void *b);
/* As twSymLoop, but visits only the entries after the one whose key
 * equals resumeKey; with no such key visits nothing and returns 1. After a
 * walk stopped early, this goes on where it stopped if the table was not
 * changed in between. */
int twSymLoopResume(const twSymTable *t, twSymLoopFn fn, const void *resumeKey, void *a, void *b);

/* Stock callbacks. String keys: twSymStHash (or twSymStIhash, or
 * twSymStrongHash for large tables), twSymStEqu (twStrEqu in the callback's
 * type), twSymStCpy, twSymStFree. Pointer keys: twSymPtrHash, twSymPtrCmp,
 * twSymReturn, twSymDummy. None of them raises. */
/* The sum of each byte (unsigned) shifted left by (7 * i) mod 16, with
 * 32-bit wrap-around (tw_HashText); 0 for null. */
uint32_t twSymStHash(const void *key);
/* A hash of a string for tables with many string keys: spreads keys over
 * all 32 bits, short identifier-like keys and long ones alike (the stock
 * twSymStHash gives few distinct values, so large tables walk long chains).
 * 0 for null. Equal strings give equal values, wherever they lie; nothing
 * past the NUL is read. The values are not part of any stored format or
 * documented chain order: they may differ between releases and between
 * platforms (byte order), so nothing may keep them. Use it with twSymStEqu
 * and a string copyKey as twSymStHash is used. Cannot fail. */
uint32_t twSymStrongHash(const void *key);
/* The sum of each byte (signed, an upper-case letter counted as its
 * lower-case form) shifted left by i mod 8; 0 for null. */
uint32_t twSymStIhash(const void *key);
/* twStrEqu: nonzero when the two strings are equal. */
int twSymStEqu(const void *stored, const void *probe);
/* twStrCpy of the key: a pool string (null for null). */
void *twSymStCpy(const void *key);
/* twStrFree of the key; null is ignored. */
void twSymStFree(void *key);
/* The low 32 bits of the key word. */
uint32_t twSymPtrHash(const void *key);
/* 1 when the two words are equal, else 0. */
int twSymPtrCmp(const void *stored, const void *probe);
/* Its argument. */
void *twSymReturn(const void *key);
/* Nothing. */
void twSymDummy(void *word);

/* Diagnostics on standard output. twSymDump: each non-empty slot as
 * "\n<slot>:\t" and one "*" per entry, then "\n". twSymStrDump: the same
 * with the keys as strings, for tables hashed by twSymStHash or
 * twSymStrongHash only (others get "Only tables which use twSymStHash are
 * accepted.\n"). twSymAnalyze: "<length>: <slots>\n" for each chain length
 * 0..maxLength, longer chains counted as maxLength; a negative maxLength
 * prints nothing. */
void twSymDump(const twSymTable *t);
void twSymStrDump(const twSymTable *t);
void twSymAnalyze(const twSymTable *t, int maxLength);

#ifdef __cplusplus
}
#endif

#endif
