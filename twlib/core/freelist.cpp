/* freelist.cpp - size-class free lists for small fixed-size records.
 *
 * Pieces are cut from the front of large carve blocks and recycled through
 * one list per size class (multiples of 8 up to 160), linked through their
 * first word; there is no header per piece. Carve blocks are never given
 * back. Every carve amount and the block size are multiples of 8, so every
 * piece is 8-byte aligned and every leftover is itself a class size.
 *
 * Under TW_MEMDBG, TW_MEMFLDISABLE or TW_PURIFY the lists step aside and
 * every request is an ordinary tagged allocation, tracked by the memory
 * manager.
 */
#include "twlib/core/freelist.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "twlib/core/exit.h"
#include "twlib/core/mem.h"
#include "twlib/core/sizecheck.h"

// Named free list: one exact piece size, its own chain of free pieces.
struct twMemFl {
    void *head;
    uintptr_t size;   // bytes per piece, exactly as requested
    char *name;       // pool string
    const char *tag;  // tag of the pieces when disabled (see permanentTag)
};

namespace {

constexpr uint32_t kMaxClass = 160;
constexpr uint32_t kClassCount = kMaxClass / 8 + 1;  // entry 0 unused
constexpr int32_t kDefaultBlockSize = 32000;

struct FreePiece {
    FreePiece *next;
};

// Carve blocks are never given back; this chain keeps them reachable (a leak
// checker would otherwise report every block the carve pointer has left).
struct CarveBlock {
    CarveBlock *next;
    void *block;
};

struct TagCopy {
    TagCopy *next;
    char *text;  // stored right behind the record
};

}  // namespace

static bool initialized;
// Starts set so that a release before any allocation goes to the memory
// manager.
static bool disabled = true;
static int32_t blockSize = kDefaultBlockSize;
static FreePiece **classTable;  // null after the teardown
static unsigned char *carvePtr;
static int32_t carveRemaining;
static TagCopy *tagCopies;  // permanent copies of named-list tags
static CarveBlock *carveBlocks;

/* Reads TW_BLOCKSIZE like a "%d" scan (leading blanks, sign, digits, the
 * rest ignored). A value that does not scan, does not fit an int or is not
 * positive gives the default; a smaller value than the largest class is
 * raised to it; any other value is rounded down to a multiple of 8 so that
 * pieces stay aligned and leftovers stay class sizes. */
static int32_t readBlockSize()
{
    const char *s = getenv("TW_BLOCKSIZE");
    if (!s) return kDefaultBlockSize;
    char *end = nullptr;
    errno = 0;
    long v = strtol(s, &end, 10);
    if (end == s || errno == ERANGE || v > INT_MAX || v < INT_MIN) return kDefaultBlockSize;
    if (v <= 0) return kDefaultBlockSize;
    if (v < static_cast<long>(kMaxClass)) return kMaxClass;
    return static_cast<int32_t>(v & ~7L);
}

// Exit handler: gives the class table back so that it does not show as a
// leak. Pieces handed out before stay valid: afterwards requests are carved
// and releases of small pieces leave them in their carve blocks.
static void teardown(void *)
{
    if (disabled || !classTable) return;
    twMemFree(classTable);
    classTable = nullptr;
}

static void initialize()
{
    initialized = true;
    disabled = getenv("TW_MEMDBG") != nullptr || getenv("TW_MEMFLDISABLE") != nullptr ||
               getenv("TW_PURIFY") != nullptr;
    if (disabled) return;
    blockSize = readBlockSize();
    classTable = static_cast<FreePiece **>(twMemCalloc(kClassCount, sizeof(FreePiece *), "twMemFlMemBlock"));
    twAddPurgeRoutine(twMemFlPurge);
    twOnExitAdd(teardown, nullptr);
}

static inline void ensureInit()
{
    if (!initialized) initialize();
}

// Size class of a request: rounded up to a multiple of 8, 0 counted as 8.
static inline uint64_t sizeClass(uint32_t n)
{
    if (n == 0) return 8;
    return (static_cast<uint64_t>(n) + 7) & ~static_cast<uint64_t>(7);
}

static inline void push(FreePiece **head, void *piece)
{
    auto *p = static_cast<FreePiece *>(piece);
    p->next = *head;
    *head = p;
}

static inline void *pop(FreePiece **head)
{
    FreePiece *p = *head;
    *head = p->next;
    return p;
}

// Cuts k bytes from the current carve block, which has room for them.
static inline void *cutPiece(int32_t k)
{
    void *piece = carvePtr;
    carvePtr += k;
    carveRemaining -= k;
    return piece;
}

// Cuts k bytes (a multiple of 8) from the current carve block, starting a
// new block when the current one cannot hold them.
static void *carve(uint32_t k)
{
    if (k > static_cast<uint32_t>(blockSize)) {
        // Only named lists ask for more than a block holds: such a piece
        // gets a block of its own.
        return twMemMalloc(k, "twMemFlBlock");
    }
    if (carveRemaining < static_cast<int32_t>(k)) {
        if (carveRemaining > 0 && carveRemaining <= static_cast<int32_t>(kMaxClass) && classTable)
            push(&classTable[carveRemaining / 8], carvePtr);
        carvePtr =
            static_cast<unsigned char *>(twMemMalloc(static_cast<uint32_t>(blockSize), "twMemFlBlock"));
        carveRemaining = blockSize;
        auto *link = static_cast<CarveBlock *>(twMem_FastMalloc(sizeof(CarveBlock)));
        link->block = carvePtr;
        link->next = carveBlocks;
        carveBlocks = link;
    }
    return cutPiece(static_cast<int32_t>(k));
}

// A piece of class k (at most 160): popped from its list or carved.
static void *classPiece(uint32_t k)
{
    if (classTable && classTable[k / 8]) return pop(&classTable[k / 8]);
    return carve(k);
}

// List index of a request of n bytes, n >= 1: its class size / 8. For n = 0
// the unsigned wrap gives an index far beyond the table, so that the fast
// paths leave it to the slow ones, which count it as 8.
static inline uint32_t fastIndex(uint32_t n)
{
    return ((n - 1) >> 3) + 1;
}

// Everything but a pop from a listed class: first use, the lists off or
// torn down, a size of 0 or above 160, an empty list.
[[gnu::noinline]] static void *allocSlow(uint32_t size, const char *tag)
{
    ensureInit();
    uint64_t k = sizeClass(size);
    if (disabled || k > kMaxClass) {
        // A class beyond 32 bits cannot be asked for; the request itself
        // is at least as large as what was wanted.
        return twMemMalloc(k > UINT32_MAX ? size : static_cast<uint32_t>(k), tag);
    }
    return classPiece(static_cast<uint32_t>(k));
}

[[gnu::noinline]] static void freeSlow(void *piece, uint32_t size)
{
    uint64_t k = sizeClass(size);
    if (!disabled && k <= kMaxClass) {
        if (piece && classTable) push(&classTable[k / 8], piece);
        return;
    }
    twMemFree(piece);
}

// The class table exists only while the lists are on, so testing it stands
// for the mode checks on the common path. The piece that becomes the head
// of its list is fetched into the cache ahead of the next request of its
// class, which will read its link.
void *twMemFlAlloc(uint32_t size, const char *tag)
{
    FreePiece **table = classTable;
    uint32_t i = fastIndex(size);
    if (table && i < kClassCount) {
        FreePiece *p = table[i];
        if (p) {
            table[i] = p->next;
            __builtin_prefetch(p->next);
            return p;
        }
        // An empty class is served from the carve block while it lasts.
        int32_t k = int32_t(i * 8);
        if (carveRemaining >= k) return cutPiece(k);
    }
    return allocSlow(size, tag);
}

void twMemFlFree(void *piece, uint32_t size)
{
    FreePiece **table = classTable;
    uint32_t i = fastIndex(size);
    if (table && i < kClassCount && piece) {
        push(&table[i], piece);
        return;
    }
    freeSlow(piece, size);
}

int twMemFlPurge(void)
{
    return 1;
}

/* ------------------------------------------------------------------ */
/* Named lists                                                         */
/* ------------------------------------------------------------------ */

// Tags must outlive every block made under them (the memory manager keeps
// a pointer to the text for its reports), but a list's name goes away with
// the list. Each distinct name therefore gets one copy that is never freed.
static const char *permanentTag(const char *name)
{
    if (!name) return nullptr;
    for (TagCopy *t = tagCopies; t; t = t->next)
        if (strcmp(t->text, name) == 0) return t->text;
    size_t len = strlen(name);
    auto *t = static_cast<TagCopy *>(twMem_FastMalloc(sizeof(TagCopy) + len + 1));
    t->text = reinterpret_cast<char *>(t + 1);
    memcpy(t->text, name, len + 1);
    t->next = tagCopies;
    tagCopies = t;
    return t->text;
}

// Bytes carved per piece of a named list: its size made a multiple of 8, so
// that the carve pointer stays aligned.
static inline uint32_t namedCarveSize(const twMemFl *list)
{
    uint64_t k = sizeClass(static_cast<uint32_t>(list->size));
    return k > UINT32_MAX ? static_cast<uint32_t>(list->size) : static_cast<uint32_t>(k);
}

static char *plainNameCopy(const char *name)
{
    if (!name) return nullptr;
    uint32_t n = tw_CheckSize(strlen(name) + 1);
    return static_cast<char *>(memcpy(twMemMalloc(n, "twFreelist name"), name, n));
}

static void plainNameFree(char *name)
{
    twMemFree(name);
}

static twMemFlNameCopyFn nameCopy = plainNameCopy;
static twMemFlNameFreeFn nameFree = plainNameFree;

void twMemFl_SetNameHooks(twMemFlNameCopyFn copy, twMemFlNameFreeFn release)
{
    nameCopy = copy ? copy : plainNameCopy;
    nameFree = release ? release : plainNameFree;
}

twMemFl *twMemFlCreate(uint32_t size, const char *name)
{
    ensureInit();
    twMemFl *list;
    if (disabled)
        list = static_cast<twMemFl *>(twMemMalloc(sizeof(twMemFl), "twFreelist"));
    else
        list = static_cast<twMemFl *>(classPiece(static_cast<uint32_t>(sizeClass(sizeof(twMemFl)))));
    list->head = nullptr;
    list->size = size;
    list->name = nameCopy(name);
    list->tag = disabled ? permanentTag(name) : nullptr;
    return list;
}

void *twMemFlAlloc2(twMemFl *list)
{
    ensureInit();
    if (disabled) return twMemMalloc(static_cast<uint32_t>(list->size), list->tag);
    if (list->head) return pop(reinterpret_cast<FreePiece **>(&list->head));
    return carve(namedCarveSize(list));
}

void twMemFlFree2(twMemFl *list, void *piece)
{
    if (disabled) {
        twMemFree(piece);
        return;
    }
    if (piece) push(reinterpret_cast<FreePiece **>(&list->head), piece);
}

void twMemFlDestroy(twMemFl *list)
{
    if (!list) return;
    if (list->name) nameFree(list->name);
    if (disabled) {
        twMemFree(list);
        return;
    }
    // The list's free pieces stay inside their carve blocks, unless they are
    // too large for one and were blocks of their own.
    if (namedCarveSize(list) > static_cast<uint32_t>(blockSize)) {
        while (list->head) twMemFree(pop(reinterpret_cast<FreePiece **>(&list->head)));
    }
    twMemFlFree(list, sizeof(twMemFl));
}
