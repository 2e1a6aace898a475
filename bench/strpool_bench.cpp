/* strpool_bench.cpp - pool strings of 1 to 61 characters against the
 * platform's strdup/free and mimalloc's mi_strdup/mi_free.
 *
 * Each iteration copies a batch of strings and then releases them all; every
 * allocator gets the same texts in the same order, so the rows of one
 * pattern can be compared directly.
 */
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_allocators.h"
#include "twlib/text/str.h"

namespace {

constexpr int kMaxBatch = 4096;

const std::vector<std::string> &sources()
{
    static const std::vector<std::string> texts = [] {
        std::vector<std::string> v;
        for (int i = 0; i < kMaxBatch; i++) v.emplace_back(size_t(1 + i % 61), char('a' + i % 26));
        return v;
    }();
    return texts;
}

struct Pool {
    static bool refuse(benchmark::State &) { return false; }
    static char *copy(const char *s) { return twStrCpy(s); }
    static void release(char *s) { twStrFree(s); }
};

struct Platform {
    static bool refuse(benchmark::State &state) { return benchalloc::refusePlatform(state); }
    static char *copy(const char *s) { return strdup(s); }
    static void release(char *s) { free(s); }
};

#ifdef TW_HAVE_MIMALLOC
struct Mimalloc {
    static bool refuse(benchmark::State &) { return false; }
    static char *copy(const char *s) { return mi_strdup(s); }
    static void release(char *s) { mi_free(s); }
};
#endif

template <class A> void copyFree(benchmark::State &state)
{
    if (A::refuse(state)) return;
    const auto &src = sources();
    const int batch = int(state.range(0));
    std::vector<char *> out(static_cast<size_t>(batch));
    for (auto _ : state) {
        for (int i = 0; i < batch; i++) out[i] = A::copy(src[i].c_str());
        benchmark::DoNotOptimize(out.data());
        for (int i = 0; i < batch; i++) A::release(out[i]);
    }
    state.SetItemsProcessed(state.iterations() * batch);
}

// Releases in reverse order of creation, then in an interleaved order, so
// the reuse lists are exercised as they fill and drain unevenly.
template <class A> void mixedOrder(benchmark::State &state)
{
    if (A::refuse(state)) return;
    const auto &src = sources();
    const int batch = int(state.range(0));
    std::vector<char *> out(static_cast<size_t>(batch));
    for (auto _ : state) {
        for (int i = 0; i < batch; i++) out[i] = A::copy(src[i].c_str());
        benchmark::DoNotOptimize(out.data());
        for (int i = batch - 1; i >= 0; i -= 2) A::release(out[i]);
        for (int i = 0; i < batch; i += 2) A::release(out[i]);
    }
    state.SetItemsProcessed(state.iterations() * batch);
}

BENCHMARK_TEMPLATE(copyFree, Pool)->Arg(64)->Arg(1024)->Arg(4096);
BENCHMARK_TEMPLATE(copyFree, Platform)->Arg(64)->Arg(1024)->Arg(4096);
BENCHMARK_TEMPLATE(mixedOrder, Pool)->Arg(64)->Arg(1024)->Arg(4096);
BENCHMARK_TEMPLATE(mixedOrder, Platform)->Arg(64)->Arg(1024)->Arg(4096);
#ifdef TW_HAVE_MIMALLOC
BENCHMARK_TEMPLATE(copyFree, Mimalloc)->Arg(64)->Arg(1024)->Arg(4096);
BENCHMARK_TEMPLATE(mixedOrder, Mimalloc)->Arg(64)->Arg(1024)->Arg(4096);
#endif

}  // namespace
