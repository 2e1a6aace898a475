// String-keyed twSym tables (pooled keys, dynamic with growth factor 2.0)
// against std::unordered_map<std::string, void *> on the same key sets:
// with the stock hash twSymStHash and with twSymStrongHash at the usual load
// limit 2.0, and with twSymStrongHash at load limit 1.0, the map's own
// (StrongHashLoad1). The store rows also report how many distinct values
// the hash gives for the keys. Keys are fetched in the order they were
// stored.
#include "twlib/containers/sym.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

// Identifier-like keys of mixed length, as option names and menu names are.
std::vector<std::string> makeKeys(int n)
{
    static const char *const stems[] = {"menu",       "entry", "zr_window",         "opt",
                                        "tcFac_item", "a",     "path_to_some_file", "x"};
    std::vector<std::string> keys;
    keys.reserve(n);
    char buf[64];
    for (int i = 0; i < n; i++) {
        snprintf(buf, sizeof buf, "%s_%d", stems[i % 8], i);
        keys.emplace_back(buf);
    }
    return keys;
}

double distinctHashes(const std::vector<std::string> &keys, twSymHashFn hash)
{
    std::vector<uint32_t> h;
    h.reserve(keys.size());
    for (const auto &k : keys) h.push_back(hash(k.c_str()));
    std::sort(h.begin(), h.end());
    return static_cast<double>(std::unique(h.begin(), h.end()) - h.begin());
}

twSymTable *newTable(twSymHashFn hash, double loadLimit)
{
    twSymTable *t = twSymCreate(13, hash, twSymStEqu, twSymStCpy, twSymStFree);
    twSymDynamic(t, loadLimit, 2.0);
    return t;
}

void BM_SymStore(benchmark::State &state, twSymHashFn hash, double loadLimit)
{
    auto keys = makeKeys(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        twSymTable *t = newTable(hash, loadLimit);
        uintptr_t v = 1;
        for (const auto &k : keys) twSymStore(t, k.c_str(), reinterpret_cast<void *>(v++));
        benchmark::DoNotOptimize(t);
        twSymDestroy(t, twSymDummy);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.counters["distinct"] = distinctHashes(keys, hash);
}

void BM_MapStore(benchmark::State &state)
{
    auto keys = makeKeys(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        std::unordered_map<std::string, void *> m;
        uintptr_t v = 1;
        for (const auto &k : keys) m[k] = reinterpret_cast<void *>(v++);
        benchmark::DoNotOptimize(m);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_SymFetch(benchmark::State &state, twSymHashFn hash, double loadLimit)
{
    auto keys = makeKeys(static_cast<int>(state.range(0)));
    twSymTable *t = newTable(hash, loadLimit);
    uintptr_t v = 1;
    for (const auto &k : keys) twSymStore(t, k.c_str(), reinterpret_cast<void *>(v++));
    for (auto _ : state)
        for (const auto &k : keys) benchmark::DoNotOptimize(twSymFetch(t, k.c_str()));
    twSymDestroy(t, twSymDummy);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_MapFetch(benchmark::State &state)
{
    auto keys = makeKeys(static_cast<int>(state.range(0)));
    std::unordered_map<std::string, void *> m;
    uintptr_t v = 1;
    for (const auto &k : keys) m[k] = reinterpret_cast<void *>(v++);
    for (auto _ : state)
        for (const auto &k : keys) {
            // The keys are std::strings already: the map is spared any
            // conversion, which favours it.
            auto it = m.find(k);
            benchmark::DoNotOptimize(it == m.end() ? nullptr : it->second);
        }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

BENCHMARK_CAPTURE(BM_SymStore, StHash, twSymStHash, 2.0)->Arg(1000)->Arg(100000);
BENCHMARK_CAPTURE(BM_SymStore, StrongHash, twSymStrongHash, 2.0)->Arg(1000)->Arg(100000);
BENCHMARK_CAPTURE(BM_SymStore, StrongHashLoad1, twSymStrongHash, 1.0)->Arg(1000)->Arg(100000);
BENCHMARK(BM_MapStore)->Arg(1000)->Arg(100000);
BENCHMARK_CAPTURE(BM_SymFetch, StHash, twSymStHash, 2.0)->Arg(1000)->Arg(100000);
BENCHMARK_CAPTURE(BM_SymFetch, StrongHash, twSymStrongHash, 2.0)->Arg(1000)->Arg(100000);
BENCHMARK_CAPTURE(BM_SymFetch, StrongHashLoad1, twSymStrongHash, 1.0)->Arg(1000)->Arg(100000);
BENCHMARK(BM_MapFetch)->Arg(1000)->Arg(100000);

}  // namespace
