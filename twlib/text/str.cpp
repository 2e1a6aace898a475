/* str.cpp - the string pool and the operations that allocate pool strings.
 *
 * Short strings are chunks carved one after another from 4080-byte data
 * areas of shared blocks; a chunk of k bytes (4 to 63) starts with the header
 * byte k, then the characters and the NUL, then slack. Longer strings are
 * tagged blocks of their own with header 0; the empty string is one static
 * pair of bytes with header 1. The header lets twStrFree release a string in
 * constant time without knowing its length.
 *
 * Released chunks wait in one list per chunk size and are reused newest
 * first, only by strings of exactly that chunk size. A released chunk keeps
 * its header byte. One that can hold a pointer after it is linked through
 * those bytes; a smaller one (4 to 8 bytes) cannot, and waits in a stack
 * that keeps the links outside the chunks.
 *
 * With TW_STRDISABLE or TW_PURIFY set at the first pool operation (and for
 * good after twStrTerminate) every string is a plain "twString" block without
 * header, so an outside memory checker sees each one.
 */
#include "twlib/text/str.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "twlib/core/exit.h"
#include "twlib/core/mem.h"
#include "twlib/core/sizecheck.h"
#include "twlib/text/chars.h"
#include "twlib/text/strbuf.h"

namespace {

constexpr int kDataSize = 4080;                        // data area of a block
constexpr int kMinChunk = 4;                           // smaller block tails are abandoned
constexpr int kMaxChunk = 63;                          // strings needing more are large strings
constexpr int kLinkedChunk = 1 + int(sizeof(char *));  // the smallest chunk a released one links through
constexpr int kExitOrder = 90;                         // string releases run after ordinary handlers

struct StrBlock {
    int32_t used;          // bytes of data handed out so far; <= kDataSize
    char data[kDataSize];  // chunks, back to back and unaligned
    StrBlock *previous;    // the block that was current before this one
};

// The released chunks of one size, newest on top, in a chain of segments:
// growing the stack never moves what it holds, and every segment below the
// top one is full. Segments are kept well below a page: were they as large
// as a block, the tops of the stacks of all chunk sizes would sit at much
// the same offset in their pages and contend for the same cache sets, which
// slows a busy pool by half.
constexpr size_t kSegmentSlots = 126;  // with the link, 1 KB

struct StackSegment {
    StackSegment *below;
    char *slots[kSegmentSlots];
};

struct FreeStack {
    char *chain;  // chunks of kLinkedChunk bytes or more: the newest, or null
    char **top;   // one past the newest chunk, in the top segment
    char **base;
    char **end;             // end of the top segment's room
    StackSegment *segment;  // the top segment; null until the first release
    StackSegment *spare;    // an emptied segment, kept for the next growth
};

bool initialized;
bool disabled;
// kMaxChunk + 1 entries; entry k holds the released k-byte chunks. Set only
// while the pool is on, so the fast paths test it in place of the mode.
FreeStack *freeLists;
StrBlock *current;  // new chunks are carved from here
char emptyString[2] = {1, 0};

twStrBuf *catBuild;   // twStrCat builds its result here first,
twStrBuf *catResult;  // then copies it here, so an argument may be a result

// Makes a new block current. The current block is read only after the
// allocation, which may run purge routines that themselves carve strings.
void pushBlock()
{
    auto *b = static_cast<StrBlock *>(twMemMalloc(sizeof(StrBlock), "StrBlock"));
    b->used = 0;
    b->previous = current;
    current = b;
}

void initPool()
{
    initialized = true;
    disabled = getenv("TW_STRDISABLE") != nullptr || getenv("TW_PURIFY") != nullptr;
    if (!disabled) {
        freeLists = static_cast<FreeStack *>(twMemCalloc(kMaxChunk + 1, sizeof(FreeStack), "twStrFreeLst"));
        pushBlock();
    }
    twOnExitSetOrder(reinterpret_cast<twExitFn>(twStrFree), kExitOrder);
    twOnExitSetOrder(reinterpret_cast<twExitFn>(twStrBufDestroy), kExitOrder);
}

inline void ensureInit()
{
    if (!initialized) initPool();
}

// Makes room for one more chunk: a new top segment. An exhausted heap runs
// the purge routines inside the allocation, and one that releases pool
// strings pushes onto (and may itself grow) this very stack meanwhile; when
// that made room, the new segment is kept as the spare.
[[gnu::noinline]] void growStack(FreeStack &fs)
{
    StackSegment *fresh = fs.spare;
    fs.spare = nullptr;
    if (!fresh) {
        fresh = static_cast<StackSegment *>(twMemMalloc(sizeof(StackSegment), "twStrFreeLst"));
        if (fs.top != fs.end) {
            if (fs.spare)
                twMemFree(fresh);
            else
                fs.spare = fresh;
            return;
        }
    }
    fresh->below = fs.segment;
    fs.segment = fresh;
    fs.base = fs.top = fresh->slots;
    fs.end = fresh->slots + kSegmentSlots;
}

// Makes the full segment under an empty top one the top; false when there
// is none. The emptied segment becomes the spare.
[[gnu::noinline]] bool dropSegment(FreeStack &fs)
{
    StackSegment *empty = fs.segment;
    if (!empty || !empty->below) return false;
    fs.segment = empty->below;
    fs.base = fs.segment->slots;
    fs.top = fs.end = fs.base + kSegmentSlots;
    if (fs.spare) twMemFree(fs.spare);
    fs.spare = empty;
    return true;
}

void releaseStack(FreeStack &fs)
{
    for (StackSegment *s = fs.segment; s;) {
        StackSegment *below = s->below;
        twMemFree(s);
        s = below;
    }
    if (fs.spare) twMemFree(fs.spare);
    fs = FreeStack{};
}

inline void pushChunk(char *chunk, int k)
{
    FreeStack &fs = freeLists[k];
    if (k >= kLinkedChunk) {
        // Chunks are unaligned: the link is copied in.
        memcpy(chunk + 1, &fs.chain, sizeof fs.chain);
        fs.chain = chunk;
        return;
    }
    if (fs.top == fs.end) growStack(fs);
    *fs.top++ = chunk;
}

// Cuts a chunk of k bytes from the current block, which has room for it.
inline char *cutChunk(int k)
{
    char *chunk = current->data + current->used;
    current->used += k;
    chunk[0] = char(k);
    return chunk + 1;
}

// Whether there is a current block with room for k more bytes.
inline bool currentHolds(int k)
{
    return current && current->used + k <= kDataSize;
}

// Carves k bytes from the current block, starting a new one when they do
// not fit; the old block's tail is kept for a string of exactly its size.
[[gnu::noinline]] char *carveChunk(int k)
{
    // No block yet only while the pool's first one is being allocated and a
    // purge routine asks for a string meanwhile.
    if (!current) pushBlock();
    if (!currentHolds(k)) {
        // The block is closed before its tail is stacked: growing the stack
        // may run purge routines, which must not carve that tail again.
        int tail = kDataSize - current->used;
        char *rest = current->data + current->used;
        current->used = kDataSize;
        if (tail >= kMinChunk) {
            rest[0] = char(tail);
            pushChunk(rest, tail);
        }
        pushBlock();
    }
    return cutChunk(k);
}

// A chunk of k bytes (kMinChunk..kMaxChunk); the pool must be on. A reused
// chunk still carries its header byte.
inline char *allocChunk(int k)
{
    FreeStack &fs = freeLists[k];
    if (k >= kLinkedChunk) {
        if (char *chunk = fs.chain) {
            memcpy(&fs.chain, chunk + 1, sizeof fs.chain);
            return chunk + 1;
        }
    } else if (fs.top != fs.base || (fs.segment && dropSegment(fs))) {
        return *--fs.top + 1;
    }
    return currentHolds(k) ? cutChunk(k) : carveChunk(k);
}

// Copies n bytes, 2 <= n <= 62, as two overlapping fixed-size moves that
// the compiler inlines: short strings are the common case and a call into
// the general memcpy costs about as much as the copy.
inline void copyShort(char *d, const char *s, size_t n)
{
    if (n >= 32) {
        memcpy(d, s, 32);
        memcpy(d + n - 32, s + n - 32, 32);
    } else if (n >= 16) {
        memcpy(d, s, 16);
        memcpy(d + n - 16, s + n - 16, 16);
    } else if (n >= 8) {
        memcpy(d, s, 8);
        memcpy(d + n - 8, s + n - 8, 8);
    } else if (n >= 4) {
        memcpy(d, s, 4);
        memcpy(d + n - 4, s + n - 4, 4);
    } else {
        d[0] = s[0];
        d[1] = s[1];
        d[n - 1] = s[n - 1];
    }
}

inline int chunkSize(size_t n)
{
    return n + 1 < kMinChunk ? kMinChunk : int(n + 1);
}

// A pool string with room for n bytes, the NUL included (n >= 1). A string
// the memory manager cannot hold (its sizes are 32-bit) counts as exhausted
// memory rather than wrapping into a short block.
char *poolAlloc(size_t n)
{
    ensureInit();
    if (disabled) return static_cast<char *>(twMemMalloc(tw_CheckSize(n), "twString"));
    if (n >= kMaxChunk) {
        auto *b = static_cast<char *>(twMemMalloc(tw_CheckSize(n + 1), "twStringLarge"));
        b[0] = 0;
        return b + 1;
    }
    if (n >= 2) return allocChunk(chunkSize(n));
    return emptyString + 1;
}

// Exit handler of the twStrCat buffers: forgetting them as well lets a
// later twStrCat (after twOnExitCall, say) start afresh.
void releaseCatBuffers(void *)
{
    twStrBufDestroy(catBuild);
    twStrBufDestroy(catResult);
    catBuild = catResult = nullptr;
}

}  // namespace

char *twStrAlloc(int n)
{
    if (n <= 1) {
        ensureInit();
        if (!disabled) return emptyString + 1;
        auto *s = static_cast<char *>(twMemMalloc(1, "twString"));
        s[0] = '\0';
        return s;
    }
    return poolAlloc(size_t(n));
}

[[gnu::noinline]] static char *copySlow(const char *s, size_t len)
{
    char *d = poolAlloc(len + 1);
    memcpy(d, s, len);
    d[len] = '\0';
    return d;
}

char *twStrCpy(const char *s)
{
    if (!s) return nullptr;
    size_t len = strlen(s);
    if (freeLists && len - 1 < size_t(kMaxChunk - 2)) {  // 1 to 61 characters
        char *d = allocChunk(chunkSize(len + 1));
        copyShort(d, s, len + 1);
        return d;
    }
    return copySlow(s, len);
}

// Everything but a chunk of a pool that is on: null, the pool off or not yet
// set up, the shared empty string, a large string.
[[gnu::noinline]] static void freeSlow(char *s)
{
    if (!s) return;
    ensureInit();
    if (disabled) {
        // The shared empty string is never released, also not once the
        // pool has been switched off.
        if (s != emptyString + 1) twMemFree(s);
        return;
    }
    int h = static_cast<unsigned char>(s[-1]);
    if (h >= kMinChunk && h <= kMaxChunk)
        pushChunk(s - 1, h);
    else if (h == 0)
        twMemFree(s - 1);
}

void twStrFree(char *s)
{
    if (freeLists && s) {
        unsigned h = static_cast<unsigned char>(s[-1]);
        if (h - kMinChunk <= unsigned(kMaxChunk - kMinChunk)) {
            pushChunk(s - 1, int(h));
            return;
        }
    }
    freeSlow(s);
}

void twStrTerminate(void)
{
    if (!initialized) {
        initialized = true;
        disabled = true;
        return;
    }
    if (disabled) return;
    // The twStrCat buffers live in the blocks about to go (their exit
    // handler is recorded only under memory checking); a later twStrCat
    // then starts afresh with plain blocks.
    releaseCatBuffers(nullptr);
    disabled = true;
    for (int k = 0; k <= kMaxChunk; k++) releaseStack(freeLists[k]);
    twMemFree(freeLists);
    freeLists = nullptr;
    while (current) {
        StrBlock *previous = current->previous;
        twMemFree(current);
        current = previous;
    }
}

char *twStrOldCopy(const char *s)
{
    if (!s) return nullptr;
    size_t len = strlen(s);
    auto *d = static_cast<char *>(twMemMalloc(tw_CheckSize(len + 1), "twStrCpy"));
    memcpy(d, s, len + 1);
    return d;
}

char *twStrCatAlloc(const char *a, const char *b)
{
    size_t la = a ? strlen(a) : 0;
    size_t lb = b ? strlen(b) : 0;
    char *d = poolAlloc(la + lb + 1);
    if (la) memcpy(d, a, la);
    if (lb) memcpy(d + la, b, lb);
    d[la + lb] = '\0';
    return d;
}

char *twStrTrimAlloc(const char *s)
{
    if (!s) return nullptr;
    while (tw_IsWhite(*s)) s++;
    size_t len = strlen(s);
    while (len > 0 && tw_IsWhite(s[len - 1])) len--;
    char *d = poolAlloc(len + 1);
    if (len) memcpy(d, s, len);
    d[len] = '\0';
    return d;
}

const char *twStrCat(const char *a, const char *b)
{
    if (!catBuild) {
        catBuild = twStrBufCreate(256);
        catResult = twStrBufCreate(256);
        twOnExitSetOrder(releaseCatBuffers, kExitOrder);
        twOnExitAdd(releaseCatBuffers, nullptr);
    }
    twStrBufClear(catBuild);
    if (a) twStrBufAppend(catBuild, a);
    if (b) twStrBufAppend(catBuild, b);
    twStrBufClear(catResult);
    twStrBufAppend(catResult, twStrBufString(catBuild));
    return twStrBufString(catResult);
}
