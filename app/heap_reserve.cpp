/* heap_reserve.cpp - extending the heap once, in large pages.
 *
 * glibc's heap grows by moving the program break. Blocks of a size the heap
 * serves are allocated until the break has moved far enough, then released
 * at once: they merge into the heap's free top, which is kept rather than
 * handed back, and every later allocation is carved from it. The kernel is
 * then asked for large pages over the new range; it backs each 2 MB of it
 * with one page at the first touch.
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
constexpr size_t kStep = size_t{16} << 20;  // served from the heap once the threshold is 32 MB
constexpr size_t kSteps = kMaxReserve / kStep;

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
    void *held[kSteps];
    size_t count = 0;
    for (size_t got = 0; got < bytes && count < kSteps; got += kStep) {
        held[count] = malloc(kStep);
        if (!held[count]) break;
        count++;
    }
    while (count > 0) free(held[--count]);
    auto end = reinterpret_cast<uintptr_t>(sbrk(0));

    // Only what the break gained is advised: blocks the heap could not hold
    // were mappings of their own and are gone again.
    auto pageSize = uintptr_t(sysconf(_SC_PAGESIZE));
    uintptr_t first = (start + pageSize - 1) & ~(pageSize - 1);
    if (first < end) madvise(reinterpret_cast<void *>(first), end - first, MADV_HUGEPAGE);
}
#else
void reserveHeap(size_t) {}
#endif
