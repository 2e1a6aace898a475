/* bench_allocators.h - the outside allocators that the free-list and pool
 * benchmarks are measured against.
 *
 * Platform is the C library's malloc/free; Mimalloc (when the build found
 * it, TW_HAVE_MIMALLOC) is mimalloc called by its own names. mimalloc's
 * shared library also exports malloc and operator new; should the link ever
 * let those win, the Platform rows would quietly measure mimalloc, so they
 * refuse to run instead.
 */
#ifndef TW_BENCH_BENCH_ALLOCATORS_H
#define TW_BENCH_BENCH_ALLOCATORS_H

#include <benchmark/benchmark.h>

#include <cstdlib>

#ifdef TW_HAVE_MIMALLOC
#include <mimalloc.h>
#endif

namespace benchalloc {

// True when malloc or operator new hand out mimalloc's memory in this
// program.
inline bool platformRedirected()
{
#ifdef TW_HAVE_MIMALLOC
    static const bool redirected = [] {
        void *p = malloc(16);
        int *q = new int(0);
        bool r = mi_is_in_heap_region(p) || mi_is_in_heap_region(q);
        delete q;
        free(p);
        return r;
    }();
    return redirected;
#else
    return false;
#endif
}

// Marks a Platform row as failed when it would not measure the platform.
inline bool refusePlatform(benchmark::State &state)
{
    if (!platformRedirected()) return false;
    state.SkipWithError("malloc is mimalloc's in this program; fix the link order");
    return true;
}

}  // namespace benchalloc

#endif
