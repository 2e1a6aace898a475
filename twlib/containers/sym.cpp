/* sym.cpp - twSym, the chained hash table of one-word keys and values.
 *
 * Each slot heads a chain of entries; new entries go to the head of their
 * chain. Keys are hashed, compared, copied in and released only through the
 * four callbacks fixed at creation; values are never looked at. A dynamic
 * table grows after a store once it holds more than loadLimit entries per
 * slot, to the first prime at or above growFactor times its entry count.
 *
 * Table records and entries come from the free lists (they are small and
 * churn a lot); slot arrays come from the tagged memory manager.
 *
 * None of the functions that call back into the caller keep C++ objects
 * with destructors on the stack: a callback may leave by a non-local jump.
 * Where an operation changes the table around a callback, the table is made
 * consistent before the call, so such a jump leaves nothing half done.
 */
#include "twlib/containers/sym.h"

#include "twlib/core/fault.h"
#include "twlib/core/freelist.h"
#include "twlib/core/mem.h"
#include "twlib/core/sizecheck.h"
#include "twlib/core/strhash.h"
#include "twlib/text/str.h"
#include "twlib/text/strutil.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct SymEntry;

// A link in a chain (a slot's head or an entry's next): the address of an
// entry, or 0 at the end, with three bits of that entry's hash in the low
// bits its 8-byte alignment leaves free. A lookup passes over an entry whose
// bits differ from the probe's without reading its key, which in a table
// larger than the cache is a miss of its own.
using Link = uintptr_t;
constexpr Link kTagBits = 7;

inline SymEntry *entryOf(Link link)
{
    return reinterpret_cast<SymEntry *>(link & ~kTagBits);
}

// The bits a hash gives its links, taken from all of the hash's bits: the
// entries of one slot share their hash's remainder, and pointer hashes their
// low bits.
inline Link tagOf(uint32_t hash)
{
    return (hash * 0x9e3779b9u) >> 29;
}

inline Link linkTo(SymEntry *e, uint32_t hash)
{
    return reinterpret_cast<Link>(e) | tagOf(hash);
}

struct SymEntry {
    Link next;    // rest of the chain
    void *key;    // the word copyKey returned
    void *value;  // the caller's word
};
static_assert(sizeof(SymEntry) == 3 * sizeof(void *), "an entry is three words");
static_assert(alignof(SymEntry) > kTagBits, "entries leave the link's tag bits free");

struct SymDynamicInfo {
    double loadLimit;   // grow once entryCount > loadLimit * slotCount
    double growFactor;  // new slot count ~ growFactor * entryCount
};

// The largest slot count whose array still has a byte size that fits the
// memory manager's 32-bit sizes.
constexpr uint32_t kMaxSlots = UINT32_MAX / sizeof(SymEntry *);

const char *const kSlotsTag = "Hash Slots";
const char *const kEntryTag = "Hash Entry";
const char *const kTableTag = "Hash Table";
const char *const kDynamicTag = "Hash Dynamic Info";
const char *const kArrayTag = "twSymArray";
const char *const kResizeTag = "Hash Resize";

}  // namespace

struct twSymTable {
    twSymHashFn hash;
    twSymCmpFn compare;       // nonzero when equal; stored key first
    twSymCopyFn copyKey;      // makes the kept key on every store
    twSymFreeFn freeKey;      // releases a kept key
    void *notFoundValue;      // what Fetch and Remove return for absent keys
    uint32_t slotCount;       // number of chain heads
    uint32_t entryCount;      // entries over all chains
    SymDynamicInfo *dynamic;  // null for a fixed-size table
    Link *slots;              // slotCount heads (at least one allocated)
    uint64_t slotMagic;       // magicFor(slotCount), for the slot of a hash
};

namespace {

// Several library procedures are commonly handed over as table callbacks
// although their C types differ from the callback types (twStrEqu takes
// char pointers, twMemFree returns its argument, twDummyProc takes nothing).
// Calling them through the callback type would be a function-type mismatch,
// so they are recognised by address and replaced by type-correct
// equivalents; a null callback, or the do-nothing procedure, means "no
// action".

using AnyFn = void (*)(void);

// Compares addresses only; neither function is called through the other's
// type.
template <typename A, typename B> bool sameFn(A fn, B other)
{
    return reinterpret_cast<AnyFn>(fn) == reinterpret_cast<AnyFn>(other);
}

void memFreeWord(void *p)
{
    twMemFree(p);
}

void *strCopyValue(void *v)
{
    return twSymStCpy(v);
}

void *identityValue(void *v)
{
    return v;
}

twSymHashFn hashFn(twSymHashFn f)
{
    return f ? f : twSymPtrHash;
}

twSymCmpFn compareFn(twSymCmpFn f)
{
    if (!f) return twSymPtrCmp;
    if (sameFn(f, &twStrEqu)) return twSymStEqu;
    return f;
}

twSymCopyFn copyKeyFn(twSymCopyFn f)
{
    if (!f) return twSymReturn;
    if (sameFn(f, &twStrCpy)) return twSymStCpy;
    return f;
}

// Null when the release does nothing.
twSymFreeFn freeFn(twSymFreeFn f)
{
    if (!f || f == twSymDummy || sameFn(f, &twDummyProc)) return nullptr;
    if (sameFn(f, &twMemFree)) return memFreeWord;
    if (sameFn(f, &twStrFree)) return twSymStFree;
    return f;
}

twSymFreeAddrFn freeAddrFn(twSymFreeAddrFn f)
{
    if (!f || sameFn(f, &twDummyProc) || sameFn(f, &twSymDummy)) return nullptr;
    return f;
}

twSymCopyValueFn copyValueFn(twSymCopyValueFn f)
{
    if (!f || sameFn(f, &twSymReturn)) return identityValue;
    if (sameFn(f, &twStrCpy) || sameFn(f, &twSymStCpy)) return strCopyValue;
    return f;
}

inline void releaseKey(const twSymTable *t, void *key)
{
    if (t->freeKey) t->freeKey(key);
}

// What a resize holds while it hashes.
struct ResizeScratch {
    Link *fresh;
    uint32_t *hashes;
};

void releaseResizeScratch(void *arg)
{
    auto *r = static_cast<ResizeScratch *>(arg);
    twMemFree(r->fresh);
    twMemFree(r->hashes);
}

Link *allocSlots(uint32_t count)
{
    // A table created with no slots still gets one head's worth of memory,
    // so the array is always a real block.
    static_assert(sizeof(Link) == sizeof(SymEntry *), "a slot is one entry pointer");
    return static_cast<Link *>(twMemCalloc(count ? count : 1, sizeof(Link), kSlotsTag));
}

// The strong string hash. One strlen, then the text in 8-byte words, each
// folded into the state by one full 64 x 64 -> 128-bit multiply whose two
// halves are xored together, so every bit of a word reaches bits above and
// below it. The length is in the starting state and the last word is folded
// with a multiplier of its own, so a key of up to 8 bytes costs a single
// multiply and a look-up waits on as few of them as the text allows. Loads
// go through memcpy of fixed sizes (no unaligned access, nothing read past
// the NUL). A tail shorter than a word is not copied byte by byte into a
// padded word, which would stall the load that reads it back: a text of 8
// bytes or more takes its last word ending at the NUL (overlapping the word
// before), a shorter one is read in two overlapping pieces. With the length
// known, each form still tells every text from every other.
inline uint64_t load64(const char *p)
{
    uint64_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

inline uint64_t load32(const char *p)
{
    uint32_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

inline uint64_t foldMultiply(uint64_t x, uint64_t k)
{
    unsigned __int128 r = static_cast<unsigned __int128>(x) * k;
    return static_cast<uint64_t>(r >> 64) ^ static_cast<uint64_t>(r);
}

constexpr uint64_t kStrongSeed = 0xa0761d6478bd642fu;  // arbitrary odd constants with mixed bits
constexpr uint64_t kStrongStep = 0x9e3779b97f4a7c15u;
constexpr uint64_t kStrongLast = 0xbf58476d1ce4e5b9u;

inline uint32_t strongHash(const char *s)
{
    size_t len = std::strlen(s);
    uint64_t h = kStrongSeed ^ len;
    if (len >= 8) {
        for (size_t i = 0; i + 8 < len; i += 8) h = foldMultiply(h ^ load64(s + i), kStrongStep);
        h = foldMultiply(h ^ load64(s + len - 8), kStrongLast);
    } else if (len >= 4) {
        h = foldMultiply(h ^ (load32(s) | load32(s + len - 4) << 32), kStrongLast);
    } else {
        auto byte = [s](size_t i) { return static_cast<uint64_t>(static_cast<unsigned char>(s[i])); };
        h = foldMultiply(len ? h ^ (byte(0) | byte(len / 2) << 8 | byte(len - 1) << 16) : h, kStrongLast);
    }
    return static_cast<uint32_t>(h ^ (h >> 32));
}

// Equality through the table's compare. The string compare is by far the
// most common one and chains of string keys can be long, so it is done in
// line rather than through two calls.
inline bool keysEqual(const twSymTable *t, const void *stored, const void *probe)
{
    if (t->compare == twSymStEqu) {
        if (stored == probe) return true;
        const char *a = static_cast<const char *>(stored);
        const char *b = static_cast<const char *>(probe);
        return a && b && a[0] == b[0] && std::strcmp(a, b) == 0;
    }
    return t->compare(stored, probe) != 0;
}

// The table's hash of a key; the strong hash is called in line.
inline uint32_t hashOf(const twSymTable *t, const void *key)
{
    if (t->hash == twSymStrongHash) return key ? strongHash(static_cast<const char *>(key)) : 0;
    return t->hash(key);
}

// h mod count by two multiplies with magic = magicFor(count) instead of a
// division, which would be the slowest step of a lookup: the remainder is
// the high word of (the low 64 bits of magic * h) * count. Exact for every
// 32-bit h and count >= 1 (for count 1 the magic wraps to 0, giving 0).
inline uint64_t magicFor(uint32_t count)
{
    return count ? UINT64_MAX / count + 1 : 0;
}

inline uint32_t reduce(uint32_t h, uint64_t magic, uint32_t count)
{
    return static_cast<uint32_t>((static_cast<unsigned __int128>(magic * h) * count) >> 64);
}

inline uint32_t slotOf(const twSymTable *t, uint32_t hash)
{
    return reduce(hash, t->slotMagic, t->slotCount);
}

// The link in chain i that leads to the entry of key (whose hash is h), or
// the chain's closing null link when there is none.
[[gnu::always_inline]] inline Link *findLink(const twSymTable *t, uint32_t i, uint32_t h, const void *key)
{
    Link tag = tagOf(h);
    Link *link = &t->slots[i];
    while (*link && !((*link & kTagBits) == tag && keysEqual(t, entryOf(*link)->key, key)))
        link = &entryOf(*link)->next;
    return link;
}

[[gnu::always_inline]] inline SymEntry *findEntry(const twSymTable *t, const void *key)
{
    if (t->slotCount == 0) return nullptr;
    uint32_t h = hashOf(t, key);
    return entryOf(*findLink(t, slotOf(t, h), h, key));
}

// Integer square root, one result bit per round.
uint32_t isqrt(uint32_t n)
{
    uint32_t root = 0;
    uint32_t bit = 1u << 30;
    while (bit > n) bit >>= 2;
    while (bit) {
        if (n >= root + bit) {
            n -= root + bit;
            root = (root >> 1) + bit;
        } else {
            root >>= 1;
        }
        bit >>= 2;
    }
    return root;
}

bool isPrime(uint32_t n)
{
    for (uint32_t d = isqrt(n); d >= 2; d--)
        if (n % d == 0) return false;
    return true;
}

// The first prime at or above 'from' stepping by 2, or 0 when the search
// runs past the largest usable slot count.
uint32_t nextPrime(uint32_t from)
{
    for (uint64_t c = from; c <= kMaxSlots; c += 2)
        if (isPrime(static_cast<uint32_t>(c))) return static_cast<uint32_t>(c);
    return 0;
}

void growthTest(twSymTable *t)
{
    const SymDynamicInfo *d = t->dynamic;
    if (!d) return;
    if (!(d->loadLimit * static_cast<double>(t->slotCount) < static_cast<double>(t->entryCount))) return;
    double want = d->growFactor * static_cast<double>(t->entryCount);
    uint32_t target;
    if (!(want >= 0.0))  // negative or NaN factor
        target = 0;
    else if (want >= static_cast<double>(kMaxSlots))
        target = kMaxSlots;
    else
        target = static_cast<uint32_t>(want);
    if (target % 2 == 0) target++;
    uint32_t n = nextPrime(target);
    // Only ever grow: with odd parameters the formula can land at or below
    // the current count, and rehashing there would repeat on every store.
    if (n == 0 || n <= t->slotCount) return;
    twSymResize(t, n);
}

// Stores like twSymStore and tells whether the key was already present.
void *storeEntry(twSymTable *t, const void *key, void *value, bool *existed)
{
    if (t->slotCount == 0) twSymResize(t, 1);
    uint32_t h = hashOf(t, key);
    uint32_t i = slotOf(t, h);
    if (SymEntry *e = entryOf(*findLink(t, i, h, key))) {
        void *old = e->value;
        // Copy before releasing: the probe key may be the kept key itself.
        // The entry holds the copy before freeKey runs, so it never keeps a
        // released key.
        void *kept = t->copyKey(key);
        void *oldKey = e->key;
        e->key = kept;
        e->value = value;
        releaseKey(t, oldKey);
        *existed = true;
        growthTest(t);
        return old;
    }
    void *kept = t->copyKey(key);
    SymEntry *e = static_cast<SymEntry *>(twMemFlAlloc(sizeof(SymEntry), kEntryTag));
    e->key = kept;
    e->value = value;
    e->next = t->slots[i];
    t->slots[i] = linkTo(e, h);
    t->entryCount++;
    *existed = false;
    growthTest(t);
    return t->notFoundValue;
}

// An in-place heap sort of entries by their keys. It needs no memory and no
// global, so an ordering function may raise (nothing is held) or use this
// operation itself, and one that contradicts itself still cannot take the
// sort outside the array.
inline const void *keyAt(void *const *a, size_t i)
{
    return static_cast<const SymEntry *>(a[i])->key;
}

void siftDown(void **a, size_t root, size_t n, twSymOrderFn order)
{
    for (;;) {
        size_t child = 2 * root + 1;
        if (child >= n) return;
        if (child + 1 < n && order(keyAt(a, child), keyAt(a, child + 1)) < 0) child++;
        if (order(keyAt(a, root), keyAt(a, child)) >= 0) return;
        void *t = a[root];
        a[root] = a[child];
        a[child] = t;
        root = child;
    }
}

void sortEntries(void **a, size_t n, twSymOrderFn order)
{
    if (n < 2) return;
    for (size_t i = n / 2; i-- > 0;) siftDown(a, i, n, order);
    for (size_t end = n - 1; end > 0; end--) {
        void *t = a[0];
        a[0] = a[end];
        a[end] = t;
        siftDown(a, 0, end, order);
    }
}

void releaseArray(void *array)
{
    twMemFree(array);
}

}  // namespace

twSymTable *twSymCreate(uint32_t slotCount, twSymHashFn hash, twSymCmpFn compare, twSymCopyFn copyKey,
                        twSymFreeFn freeKey)
{
    twSymTable *t = static_cast<twSymTable *>(twMemFlAlloc(sizeof(twSymTable), kTableTag));
    t->hash = hashFn(hash);
    t->compare = compareFn(compare);
    t->copyKey = copyKeyFn(copyKey);
    t->freeKey = freeFn(freeKey);
    t->notFoundValue = nullptr;
    t->slotCount = slotCount;
    t->slotMagic = magicFor(slotCount);
    t->entryCount = 0;
    t->dynamic = nullptr;
    t->slots = allocSlots(slotCount);
    return t;
}

void twSymNotFoundValue(twSymTable *t, void *value)
{
    t->notFoundValue = value;
}

void twSymDynamic(twSymTable *t, double loadLimit, double growFactor)
{
    if (!t->dynamic)
        t->dynamic = static_cast<SymDynamicInfo *>(twMemMalloc(sizeof(SymDynamicInfo), kDynamicTag));
    t->dynamic->loadLimit = loadLimit;
    t->dynamic->growFactor = growFactor;
    growthTest(t);
}

void twSymResize(twSymTable *t, uint32_t newSlotCount)
{
    if (newSlotCount == 0) newSlotCount = t->slotCount;
    if (newSlotCount == 0) return;  // no slots means no entries: nothing to rehash
    // Every hash is taken before any entry moves, so a hash that raises
    // leaves the table as it was; only the scratch goes.
    ResizeScratch scratch{allocSlots(newSlotCount), nullptr};
    twUnwind unwind;
    tw_UnwindPush(&unwind, releaseResizeScratch, &scratch);
    uint32_t n = t->entryCount;
    scratch.hashes = static_cast<uint32_t *>(twMemMalloc(tw_CheckArraySize(n, sizeof(uint32_t)), kResizeTag));
    Link *old = t->slots;
    uint32_t k = 0;
    for (uint32_t i = 0; i < t->slotCount; i++)
        for (SymEntry *e = entryOf(old[i]); e && k < n; e = entryOf(e->next))
            scratch.hashes[k++] = hashOf(t, e->key);
    tw_UnwindPop(&unwind);
    Link *fresh = scratch.fresh;
    // Same walk, same order: entry k takes hash k.
    uint64_t magic = magicFor(newSlotCount);
    k = 0;
    for (uint32_t i = 0; i < t->slotCount; i++) {
        while (Link link = old[i]) {
            // A link keeps its tag: the entry's hash is the same.
            SymEntry *e = entryOf(link);
            old[i] = e->next;
            uint32_t j = reduce(k < n ? scratch.hashes[k++] : hashOf(t, e->key), magic, newSlotCount);
            e->next = fresh[j];
            fresh[j] = link;
        }
    }
    twMemFree(scratch.hashes);
    twMemFree(old);
    t->slots = fresh;
    t->slotCount = newSlotCount;
    t->slotMagic = magic;
}

uint32_t twSymSize(const twSymTable *t)
{
    return t->entryCount;
}

void *twSymStore(twSymTable *t, const void *key, void *value)
{
    bool existed;
    return storeEntry(t, key, value, &existed);
}

void *twSymFetch(const twSymTable *t, const void *key)
{
    const SymEntry *e = findEntry(t, key);
    return e ? e->value : t->notFoundValue;
}

void twSymPrefetch(const twSymTable *t, const void *key)
{
    if (t->slotCount == 0) return;
    __builtin_prefetch(&t->slots[slotOf(t, hashOf(t, key))]);
}

void **twSymFetchAddr(const twSymTable *t, const void *key)
{
    SymEntry *e = findEntry(t, key);
    return e ? &e->value : nullptr;
}

void *twSymRemove(twSymTable *t, const void *key)
{
    if (t->slotCount == 0) return t->notFoundValue;
    uint32_t h = hashOf(t, key);
    Link *link = findLink(t, slotOf(t, h), h, key);
    SymEntry *e = entryOf(*link);
    if (!e) return t->notFoundValue;
    *link = e->next;
    t->entryCount--;
    void *value = e->value;
    void *kept = e->key;
    twMemFlFree(e, sizeof(SymEntry));
    releaseKey(t, kept);
    return value;
}

void twSymClear(twSymTable *t, twSymFreeFn freeValue)
{
    twSymFreeFn fv = freeFn(freeValue);
    for (uint32_t i = 0; i < t->slotCount; i++) {
        // Each entry is unlinked before the callbacks see it, so the table
        // stays consistent whatever they do.
        while (SymEntry *e = entryOf(t->slots[i])) {
            t->slots[i] = e->next;
            t->entryCount--;
            void *key = e->key;
            void *value = e->value;
            twMemFlFree(e, sizeof(SymEntry));
            releaseKey(t, key);
            if (fv) fv(value);
        }
    }
    t->entryCount = 0;
}

void twSymClearAddr(twSymTable *t, twSymFreeAddrFn freeValueAt)
{
    twSymFreeAddrFn fv = freeAddrFn(freeValueAt);
    for (uint32_t i = 0; i < t->slotCount; i++) {
        while (SymEntry *e = entryOf(t->slots[i])) {
            t->slots[i] = e->next;
            t->entryCount--;
            void *key = e->key;
            void *value = e->value;
            twMemFlFree(e, sizeof(SymEntry));
            releaseKey(t, key);
            if (fv) fv(&value);
        }
    }
    t->entryCount = 0;
}

void twSymDestroy(twSymTable *t, twSymFreeFn freeValue)
{
    if (!t) return;
    twSymClear(t, freeValue);
    twMemFree(t->slots);
    if (t->dynamic) twMemFree(t->dynamic);
    twMemFlFree(t, sizeof(twSymTable));
}

int twSymMoveAll(twSymTable *dst, twSymTable *src, twSymFreeFn freeValue)
{
    if (dst == src) return 0;  // moving a table into itself leaves it as it is
    twSymFreeFn fv = freeFn(freeValue);
    for (uint32_t i = 0; i < src->slotCount; i++) {
        while (SymEntry *e = entryOf(src->slots[i])) {
            // A pair leaves src only once it is in dst, and the callbacks
            // releasing things run last, so a raise out of any callback
            // loses no pair.
            bool existed;
            void *displaced = storeEntry(dst, e->key, e->value, &existed);
            src->slots[i] = e->next;
            src->entryCount--;
            void *key = e->key;
            twMemFlFree(e, sizeof(SymEntry));
            releaseKey(src, key);
            // Only a value that was really in dst is released; dst's
            // not-found marker is no value of anyone's.
            if (existed && displaced != src->notFoundValue && fv) fv(displaced);
        }
    }
    src->entryCount = 0;
    return 0;
}

int twSymCopyAll(twSymTable *dst, twSymTable *src, twSymCopyValueFn copyValue, twSymFreeFn freeValue)
{
    if (dst == src) return 0;
    twSymCopyValueFn cv = copyValueFn(copyValue);
    twSymFreeFn fv = freeFn(freeValue);
    for (uint32_t i = 0; i < src->slotCount; i++) {
        for (SymEntry *e = entryOf(src->slots[i]); e; e = entryOf(e->next)) {
            void *copy = cv(e->value);
            bool existed;
            void *displaced = storeEntry(dst, e->key, copy, &existed);
            if (existed && displaced != src->notFoundValue && fv) fv(displaced);
        }
    }
    return 0;
}

void **twSymTableToArray(const twSymTable *t, void **array, twSymOrderFn order)
{
    uint32_t n = t->entryCount;
    void **own = nullptr;
    if (!array)
        array = own =
            static_cast<void **>(twMemMalloc(tw_CheckArraySize(size_t(n) + 1, sizeof(void *)), kArrayTag));
    bool sorted = order && !sameFn(order, &twDummyProc);
    uint32_t k = 0;
    for (uint32_t i = 0; i < t->slotCount; i++)
        for (SymEntry *e = entryOf(t->slots[i]); e; e = entryOf(e->next))
            array[k++] = sorted ? static_cast<void *>(e) : e->value;
    if (sorted) {
        // The array holds the entries while they are sorted, then each is
        // replaced by its value. An array made here goes if order raises.
        twUnwind unwind;
        if (own) tw_UnwindPush(&unwind, releaseArray, own);
        sortEntries(array, n, order);
        if (own) tw_UnwindPop(&unwind);
        for (uint32_t j = 0; j < n; j++) array[j] = static_cast<SymEntry *>(array[j])->value;
    }
    array[n] = nullptr;
    return array;
}

// Visits every entry in iteration order (slot 0 upwards, each chain from its
// head) until visit returns 0; then returns 0, else 1. The next entry is read
// before the visit, so a callback may remove its own entry.
template <typename Visit> static int walkEntries(const twSymTable *t, Visit visit)
{
    for (uint32_t i = 0; i < t->slotCount; i++) {
        for (SymEntry *e = entryOf(t->slots[i]); e;) {
            SymEntry *next = entryOf(e->next);
            if (!visit(e)) return 0;
            e = next;
        }
    }
    return 1;
}

int twSymLoop(const twSymTable *t, twSymLoopFn fn, void *a, void *b)
{
    return walkEntries(t, [&](SymEntry *e) { return fn(e->value, e->key, a, b); });
}

int twSymLoopAddr(twSymTable *t, twSymLoopAddrFn fn, void *a, void *b)
{
    return walkEntries(t, [&](SymEntry *e) { return fn(&e->value, e->key, a, b); });
}

int twSymLoopAddr2(twSymTable *t, twSymLoopAddr2Fn fn, void *a, void *b)
{
    return walkEntries(t, [&](SymEntry *e) { return fn(&e->value, &e->key, a, b); });
}

int twSymLoopResume(const twSymTable *t, twSymLoopFn fn, const void *resumeKey, void *a, void *b)
{
    bool passed = false;
    return walkEntries(t, [&](SymEntry *e) {
        if (!passed) {
            passed = keysEqual(t, e->key, resumeKey);
            return 1;
        }
        return fn(e->value, e->key, a, b);
    });
}

/* Stock callbacks. */

uint32_t twSymStHash(const void *key)
{
    return tw_HashText(static_cast<const char *>(key));
}

uint32_t twSymStrongHash(const void *key)
{
    return key ? strongHash(static_cast<const char *>(key)) : 0;
}

uint32_t twSymStIhash(const void *key)
{
    const unsigned char *s = static_cast<const unsigned char *>(key);
    uint32_t h = 0;
    if (!s) return 0;
    for (unsigned i = 0; *s; s++, i++) {
        int c = static_cast<signed char>(*s);  // bytes 0x80-0xFF count negative
        if (isupper(*s)) c += 32;
        h += static_cast<uint32_t>(c) << (i & 7);
    }
    return h;
}

int twSymStEqu(const void *stored, const void *probe)
{
    return twStrEqu(static_cast<const char *>(stored), static_cast<const char *>(probe));
}

void *twSymStCpy(const void *key)
{
    return twStrCpy(static_cast<const char *>(key));
}

void twSymStFree(void *key)
{
    if (key) twStrFree(static_cast<char *>(key));
}

uint32_t twSymPtrHash(const void *key)
{
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(key));
}

int twSymPtrCmp(const void *stored, const void *probe)
{
    return stored == probe;
}

void *twSymReturn(const void *key)
{
    return const_cast<void *>(key);
}

void twSymDummy(void *) {}

/* Diagnostics, on standard output. */

void twSymDump(const twSymTable *t)
{
    for (uint32_t i = 0; i < t->slotCount; i++) {
        const SymEntry *e = entryOf(t->slots[i]);
        if (!e) continue;
        printf("\n%d:\t", static_cast<int>(i));
        for (; e; e = entryOf(e->next)) putchar('*');
    }
    putchar('\n');
}

void twSymStrDump(const twSymTable *t)
{
    if (t->hash != twSymStHash && t->hash != twSymStrongHash) {
        printf("Only tables which use twSymStHash are accepted.\n");
        return;
    }
    for (uint32_t i = 0; i < t->slotCount; i++) {
        const SymEntry *e = entryOf(t->slots[i]);
        if (!e) continue;
        printf("\n%d:\t", static_cast<int>(i));
        for (; e; e = entryOf(e->next)) printf("%s ", e->key ? static_cast<const char *>(e->key) : "(null)");
    }
    putchar('\n');
}

void twSymAnalyze(const twSymTable *t, int maxLength)
{
    if (maxLength < 0) return;
    uint32_t *counts =
        static_cast<uint32_t *>(twMem_FastCalloc(static_cast<size_t>(maxLength) + 1, sizeof(uint32_t)));
    for (uint32_t i = 0; i < t->slotCount; i++) {
        int len = 0;
        for (const SymEntry *e = entryOf(t->slots[i]); e && len < maxLength; e = entryOf(e->next)) len++;
        counts[len]++;
    }
    for (int len = 0; len <= maxLength; len++) printf("%d: %d\n", len, static_cast<int>(counts[len]));
    twMem_FastFree(counts);
}
