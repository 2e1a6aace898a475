// String-keyed twSym tables (pooled keys, growing by themselves)
// against std::unordered_map<std::string, void *> on the same key sets:
// with the stock hash twSymStHash and with twSymStrongHash at the usual load
// limit 2.0, and with twSymStrongHash at load limit 1.0, the map's own
// (StrongHashLoad1), and at 0.5 (StrongHashLoadHalf), where the slots
// take about the memory the map's nodes take beyond the entries. The store
// rows also report how many distinct values the hash gives for the keys.
// Fetch rows end in /0 when keys are fetched in the order they were stored
// and in /1 when they are fetched in a shuffled order, as look-ups of a
// large table mostly are. The Kept rows come first: each fetches from one
// table (load limit 0.5, twSymStrongHash) or map built at the row's first
// run and kept, whose records lie in the order they were made in. The other
// fetch rows rebuild theirs at every run, a table from the records its
// predecessor released (see BM_SymFetch).
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

// Growing by twice the inverse of the load limit, so that a grown table is
// half as full as its limit allows (and never rehashes at every store).
twSymTable *newTable(twSymHashFn hash, double loadLimit)
{
    twSymTable *t = twSymCreate(13, hash, twSymStEqu, twSymStCpy, twSymStFree);
    twSymDynamic(t, loadLimit, loadLimit < 1.0 ? 2.0 / loadLimit : 2.0);
    return t;
}

using Map = std::unordered_map<std::string, void *>;

twSymTable *filledTable(const std::vector<std::string> &keys, twSymHashFn hash, double loadLimit)
{
    twSymTable *t = newTable(hash, loadLimit);
    uintptr_t v = 1;
    for (const auto &k : keys) twSymStore(t, k.c_str(), reinterpret_cast<void *>(v++));
    return t;
}

Map filledMap(const std::vector<std::string> &keys)
{
    Map m;
    uintptr_t v = 1;
    for (const auto &k : keys) m[k] = reinterpret_cast<void *>(v++);
    return m;
}

void BM_SymStore(benchmark::State &state, twSymHashFn hash, double loadLimit)
{
    auto keys = makeKeys(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        twSymTable *t = filledTable(keys, hash, loadLimit);
        benchmark::DoNotOptimize(t);
        twSymDestroy(t, twSymDummy);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.counters["distinct"] = distinctHashes(keys, hash);
}

void BM_MapStore(benchmark::State &state)
{
    auto keys = makeKeys(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(filledMap(keys));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// The keys in the order a fetch row probes them: as stored, or shuffled
// (the same order for every structure).
std::vector<const std::string *> probeOrder(const std::vector<std::string> &keys, bool shuffled)
{
    std::vector<const std::string *> order;
    order.reserve(keys.size());
    for (const auto &k : keys) order.push_back(&k);
    if (shuffled) {
        uint64_t x = 88172645463325252u;
        for (size_t i = order.size(); i > 1; i--) {
            x ^= x << 13, x ^= x >> 7, x ^= x << 17;
            std::swap(order[i - 1], order[x % i]);
        }
    }
    return order;
}

void symFetchLoop(benchmark::State &state, const twSymTable *t, const std::vector<const std::string *> &order)
{
    for (auto _ : state)
        for (const std::string *k : order) benchmark::DoNotOptimize(twSymFetch(t, k->c_str()));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void mapFetchLoop(benchmark::State &state, const Map &m, const std::vector<const std::string *> &order)
{
    for (auto _ : state)
        for (const std::string *k : order) {
            // The keys are std::strings already: the map is spared any
            // conversion, which favours it.
            auto it = m.find(*k);
            benchmark::DoNotOptimize(it == m.end() ? nullptr : it->second);
        }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// These rows build their structure at every run of the row. A table is
// built from the entries and keys the previous run released, which the free
// lists hand back newest first, in the order of the released table's slots.
void BM_SymFetch(benchmark::State &state, twSymHashFn hash, double loadLimit)
{
    auto keys = makeKeys(static_cast<int>(state.range(0)));
    twSymTable *t = filledTable(keys, hash, loadLimit);
    symFetchLoop(state, t, probeOrder(keys, state.range(1) != 0));
    twSymDestroy(t, twSymDummy);
}

void BM_MapFetch(benchmark::State &state)
{
    auto keys = makeKeys(static_cast<int>(state.range(0)));
    mapFetchLoop(state, filledMap(keys), probeOrder(keys, state.range(1) != 0));
}

// These rows build their structure once, at their first run, and keep it to
// the end of the program, as a program does that fills one table and then
// looks keys up in it. Registered first, a kept table is built from freshly
// carved entries, which lie in the order the keys were stored.
template <typename Structure> struct Kept {
    std::vector<std::string> keys;
    Structure structure;
};

// The structure of the rows of n keys, built by fill at the first call.
template <typename Structure, typename Fill> const Kept<Structure> &kept(int n, Fill fill)
{
    static std::unordered_map<int, Kept<Structure>> built;
    auto it = built.find(n);
    if (it == built.end()) {
        auto keys = makeKeys(n);
        Structure structure = fill(keys);
        it = built.emplace(n, Kept<Structure>{std::move(keys), std::move(structure)}).first;
    }
    return it->second;
}

void BM_SymFetchKept(benchmark::State &state)
{
    const auto &k =
        kept<twSymTable *>(static_cast<int>(state.range(0)), [](const std::vector<std::string> &keys) {
            return filledTable(keys, twSymStrongHash, 0.5);
        });
    symFetchLoop(state, k.structure, probeOrder(k.keys, state.range(1) != 0));
}

void BM_MapFetchKept(benchmark::State &state)
{
    const auto &k = kept<Map>(static_cast<int>(state.range(0)), filledMap);
    mapFetchLoop(state, k.structure, probeOrder(k.keys, state.range(1) != 0));
}

BENCHMARK(BM_SymFetchKept)->ArgsProduct({{1000, 100000}, {0, 1}});
BENCHMARK(BM_MapFetchKept)->ArgsProduct({{1000, 100000}, {0, 1}});
BENCHMARK_CAPTURE(BM_SymStore, StHash, twSymStHash, 2.0)->Arg(1000)->Arg(100000);
BENCHMARK_CAPTURE(BM_SymStore, StrongHash, twSymStrongHash, 2.0)->Arg(1000)->Arg(100000);
BENCHMARK_CAPTURE(BM_SymStore, StrongHashLoad1, twSymStrongHash, 1.0)->Arg(1000)->Arg(100000);
BENCHMARK_CAPTURE(BM_SymStore, StrongHashLoadHalf, twSymStrongHash, 0.5)->Arg(1000)->Arg(100000);
BENCHMARK(BM_MapStore)->Arg(1000)->Arg(100000);
BENCHMARK_CAPTURE(BM_SymFetch, StHash, twSymStHash, 2.0)->ArgsProduct({{1000, 100000}, {0, 1}});
BENCHMARK_CAPTURE(BM_SymFetch, StrongHash, twSymStrongHash, 2.0)->ArgsProduct({{1000, 100000}, {0, 1}});
BENCHMARK_CAPTURE(BM_SymFetch, StrongHashLoad1, twSymStrongHash, 1.0)->ArgsProduct({{1000, 100000}, {0, 1}});
BENCHMARK_CAPTURE(BM_SymFetch, StrongHashLoadHalf, twSymStrongHash, 0.5)
    ->ArgsProduct({{1000, 100000}, {0, 1}});
BENCHMARK(BM_MapFetch)->ArgsProduct({{1000, 100000}, {0, 1}});

}  // namespace
