/* heap_reserve.h - asking for the conversion's memory before it is used.
 *
 * A conversion keeps every menu, entry and string until the script is
 * written: about twice its input. Touched a small page at a time, that much
 * fresh memory costs the kernel a fault per page, a third of a run. Where the
 * C library and the kernel allow it, the heap is extended once, up front, and
 * the kernel is asked to back it with large pages.
 */
#ifndef PAGELIFT_HEAP_RESERVE_H
#define PAGELIFT_HEAP_RESERVE_H

#include <cstddef>
#include <cstdlib>  // for the C library's identification

// Defined where a reservation is made: glibc 2.33 or later on Linux, not
// under a sanitizer, whose allocator keeps a heap of its own.
#if defined(__GLIBC__) && defined(__linux__) && !defined(__SANITIZE_ADDRESS__)
#if __GLIBC_PREREQ(2, 33)
#define PAGELIFT_HEAP_RESERVE 1
#endif
#endif
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer)
#undef PAGELIFT_HEAP_RESERVE
#endif
#endif

// Extends the heap by about 'bytes' (capped at half the machine's memory)
// and advises large pages for it. Nothing is touched, so nothing counts
// against the process's resident memory until it is allocated. Only a hint:
// on other platforms, under a memory checker, or when the memory is not to
// be had, it does nothing. Call it once, before the records are built.
void reserveHeap(size_t bytes);

#endif
