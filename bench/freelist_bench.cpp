/* freelist_bench.cpp - size-class free lists against the platform allocator
 * and mimalloc.
 *
 * Each pattern runs through twMemFlAlloc/twMemFlFree, through malloc/free
 * and (when the build has it) through mi_malloc/mi_free, with the same sizes
 * in the same order, so the rows can be compared directly.
 */
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "bench_allocators.h"
#include "twlib/core/freelist.h"

namespace {

struct FreeLists {
    static bool refuse(benchmark::State &) { return false; }
    static void *get(uint32_t size) { return twMemFlAlloc(size, "bench"); }
    static void put(void *p, uint32_t size) { twMemFlFree(p, size); }
};

struct Platform {
    static bool refuse(benchmark::State &state) { return benchalloc::refusePlatform(state); }
    static void *get(uint32_t size) { return malloc(size); }
    static void put(void *p, uint32_t) { free(p); }
};

#ifdef TW_HAVE_MIMALLOC
struct Mimalloc {
    static bool refuse(benchmark::State &) { return false; }
    static void *get(uint32_t size) { return mi_malloc(size); }
    static void put(void *p, uint32_t) { mi_free(p); }
};
#endif

// Sizes of 8 to 160 bytes in a fixed scrambled order.
std::vector<uint32_t> mixedSizes(size_t n)
{
    std::vector<uint32_t> sizes(n);
    uint32_t x = 12345;
    for (auto &s : sizes) {
        x = x * 1103515245u + 12345u;
        s = 8 + (x >> 16) % 153;
    }
    return sizes;
}

// A batch of allocations of one size, touched, then all released.
template <class A> void batchOneSize(benchmark::State &state)
{
    if (A::refuse(state)) return;
    const uint32_t size = static_cast<uint32_t>(state.range(0));
    const size_t n = 1000;
    std::vector<void *> ptrs(n);
    for (auto _ : state) {
        for (size_t i = 0; i < n; ++i) {
            ptrs[i] = A::get(size);
            *static_cast<char *>(ptrs[i]) = 1;
        }
        for (size_t i = 0; i < n; ++i) A::put(ptrs[i], size);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * n);
}

// A batch of mixed sizes, released in the opposite order.
template <class A> void batchMixed(benchmark::State &state)
{
    if (A::refuse(state)) return;
    const size_t n = static_cast<size_t>(state.range(0));
    auto sizes = mixedSizes(n);
    std::vector<void *> ptrs(n);
    for (auto _ : state) {
        for (size_t i = 0; i < n; ++i) {
            ptrs[i] = A::get(sizes[i]);
            *static_cast<char *>(ptrs[i]) = 1;
        }
        for (size_t i = n; i-- > 0;) A::put(ptrs[i], sizes[i]);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * n);
}

// A standing population of records where each step frees one and makes
// another of a different size, like a hash table under churn.
template <class A> void churnMixed(benchmark::State &state)
{
    if (A::refuse(state)) return;
    const size_t live = 4096;
    auto sizes = mixedSizes(live * 4);
    std::vector<void *> ptrs(live);
    std::vector<uint32_t> held(live);
    for (size_t i = 0; i < live; ++i) {
        held[i] = sizes[i];
        ptrs[i] = A::get(held[i]);
    }
    size_t k = 0;
    for (auto _ : state) {
        for (size_t i = 0; i < live; ++i) {
            size_t slot = (i * 2654435761u) % live;
            A::put(ptrs[slot], held[slot]);
            held[slot] = sizes[k++ % sizes.size()];
            ptrs[slot] = A::get(held[slot]);
            *static_cast<char *>(ptrs[slot]) = 1;
        }
        benchmark::ClobberMemory();
    }
    for (size_t i = 0; i < live; ++i) A::put(ptrs[i], held[i]);
    state.SetItemsProcessed(state.iterations() * live);
}

BENCHMARK_TEMPLATE(batchOneSize, FreeLists)->Arg(8)->Arg(24)->Arg(64)->Arg(160);
BENCHMARK_TEMPLATE(batchOneSize, Platform)->Arg(8)->Arg(24)->Arg(64)->Arg(160);
BENCHMARK_TEMPLATE(batchMixed, FreeLists)->Arg(100)->Arg(10000);
BENCHMARK_TEMPLATE(batchMixed, Platform)->Arg(100)->Arg(10000);
BENCHMARK_TEMPLATE(churnMixed, FreeLists);
BENCHMARK_TEMPLATE(churnMixed, Platform);
#ifdef TW_HAVE_MIMALLOC
BENCHMARK_TEMPLATE(batchOneSize, Mimalloc)->Arg(8)->Arg(24)->Arg(64)->Arg(160);
BENCHMARK_TEMPLATE(batchMixed, Mimalloc)->Arg(100)->Arg(10000);
BENCHMARK_TEMPLATE(churnMixed, Mimalloc);
#endif

}  // namespace
