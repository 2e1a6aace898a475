/* heap_reserve.cpp - extending the heap once, in large pages.
 *
 * glibc's heap grows by moving the program break, by what a request lacks
 * plus a padding. With the padding raised to the whole reservation, one
 * block larger than the heap's free top moves the break that far at once;
 * released, the block merges into the free top, which is kept rather than
 * handed back, and every later allocation is carved from it. Only the pages
 * that hold the block's and the top's headers are touched. The kernel is
 * then asked for large pages over the new range; it backs each 2 MB of it
 * with one page at the first touch, unless a page of that 2 MB is in use
 * already.
 */
#include "app/heap_reserve.h"

#include <cstdint>

#ifdef PAGELIFT_HEAP_RESERVE
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

constexpr size_t kMinReserve = size_t{8} << 20;  // below this there is little to gain
constexpr size_t kMaxReserve = size_t{1} << 30;
constexpr size_t kGrowth = size_t{64} << 10;  // a request that makes the heap grow exceeds its top by this
constexpr int kDefaultTopPad = 128 << 10;     // glibc's own padding

size_t capped(size_t bytes)
{
    if (bytes > kMaxReserve) bytes = kMaxReserve;
    long pages = sysconf(_SC_PHYS_PAGES);
    long pageSize = sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageSize > 0) {
        size_t half = size_t(pages) / 2 * size_t(pageSize);
        if (bytes > half) bytes = half;
    }
    return bytes;
}

}  // namespace

void reserveHeap(size_t bytes)
{
    bytes = capped(bytes);
    if (bytes < kMinReserve) return;
    // Blocks up to 32 MB come from the heap rather than a mapping of their
    // own, and a free top of up to 2 GB stays in the heap.
    if (!mallopt(M_MMAP_THRESHOLD, 32 << 20) || !mallopt(M_TRIM_THRESHOLD, INT32_MAX)) return;

    auto start = reinterpret_cast<uintptr_t>(sbrk(0));
    mallopt(M_TOP_PAD, int(bytes));
    static void *volatile block;  // volatile, so the pair is not optimised away
    block = malloc(mallinfo2().keepcost + kGrowth);
    free(block);
    mallopt(M_TOP_PAD, kDefaultTopPad);
    auto end = reinterpret_cast<uintptr_t>(sbrk(0));

    // Only what the break gained is advised: a block the heap could not hold
    // was a mapping of its own and is gone again.
    auto pageSize = uintptr_t(sysconf(_SC_PAGESIZE));
    uintptr_t first = (start + pageSize - 1) & ~(pageSize - 1);
    if (first < end) madvise(reinterpret_cast<void *>(first), end - first, MADV_HUGEPAGE);
}
#else
void reserveHeap(size_t) {}
#endif
