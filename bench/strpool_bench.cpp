// Pool strings of 1 to 61 characters against the platform's strdup/free:
// each iteration copies a batch of strings and then releases them all.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

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

void BM_PoolCopyFree(benchmark::State &state)
{
    const auto &src = sources();
    const int batch = int(state.range(0));
    std::vector<char *> out(static_cast<size_t>(batch));
    for (auto _ : state) {
        for (int i = 0; i < batch; i++) out[i] = twStrCpy(src[i].c_str());
        benchmark::DoNotOptimize(out.data());
        for (int i = 0; i < batch; i++) twStrFree(out[i]);
    }
    state.SetItemsProcessed(state.iterations() * batch);
}
BENCHMARK(BM_PoolCopyFree)->Arg(64)->Arg(1024)->Arg(4096);

void BM_StrdupFree(benchmark::State &state)
{
    const auto &src = sources();
    const int batch = int(state.range(0));
    std::vector<char *> out(static_cast<size_t>(batch));
    for (auto _ : state) {
        for (int i = 0; i < batch; i++) out[i] = strdup(src[i].c_str());
        benchmark::DoNotOptimize(out.data());
        for (int i = 0; i < batch; i++) free(out[i]);
    }
    state.SetItemsProcessed(state.iterations() * batch);
}
BENCHMARK(BM_StrdupFree)->Arg(64)->Arg(1024)->Arg(4096);

// Releases in reverse order of creation, then in an interleaved order, so
// the reuse lists are exercised as they fill and drain unevenly.
void BM_PoolMixedOrder(benchmark::State &state)
{
    const auto &src = sources();
    const int batch = int(state.range(0));
    std::vector<char *> out(static_cast<size_t>(batch));
    for (auto _ : state) {
        for (int i = 0; i < batch; i++) out[i] = twStrCpy(src[i].c_str());
        benchmark::DoNotOptimize(out.data());
        for (int i = batch - 1; i >= 0; i -= 2) twStrFree(out[i]);
        for (int i = 0; i < batch; i += 2) twStrFree(out[i]);
    }
    state.SetItemsProcessed(state.iterations() * batch);
}
BENCHMARK(BM_PoolMixedOrder)->Arg(64)->Arg(1024)->Arg(4096);

void BM_StrdupMixedOrder(benchmark::State &state)
{
    const auto &src = sources();
    const int batch = int(state.range(0));
    std::vector<char *> out(static_cast<size_t>(batch));
    for (auto _ : state) {
        for (int i = 0; i < batch; i++) out[i] = strdup(src[i].c_str());
        benchmark::DoNotOptimize(out.data());
        for (int i = batch - 1; i >= 0; i -= 2) free(out[i]);
        for (int i = 0; i < batch; i += 2) free(out[i]);
    }
    state.SetItemsProcessed(state.iterations() * batch);
}
BENCHMARK(BM_StrdupMixedOrder)->Arg(64)->Arg(1024)->Arg(4096);

}  // namespace
