// The 64-bit writer against the platform's snprintf, the reader against
// strtoll, literal encoding and decoding per byte, and bits to decimal text
// for growing lengths (the one conversion whose cost grows faster than its
// input: about n^2/300 steps for n bits).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "twlib/cvt/radix.h"
#include "twlib/cvt/twint64.h"
#include "twlib/text/literal.h"

namespace {

constexpr twInt64 kValues[] = {0, 7, -42, 1234567890123LL, INT64_MIN, INT64_MAX, -99999, 65536};

void BM_Int64Write(benchmark::State &state)
{
    for (auto _ : state)
        for (twInt64 v : kValues) benchmark::DoNotOptimize(twInt64CvtToStrEx(v, 10, 12, 1, TW_INT64_PLUS));
    state.SetItemsProcessed(state.iterations() * 8);
}

void BM_SnprintfWrite(benchmark::State &state)
{
    char buf[80];
    for (auto _ : state)
        for (twInt64 v : kValues) {
            snprintf(buf, sizeof buf, "%+12lld", static_cast<long long>(v));
            benchmark::DoNotOptimize(buf);
        }
    state.SetItemsProcessed(state.iterations() * 8);
}

void BM_Int64Read(benchmark::State &state)
{
    for (auto _ : state) {
        benchmark::DoNotOptimize(twInt64CvtFromStr("  -9223372036854775807", nullptr, 10));
        benchmark::DoNotOptimize(twInt64CvtFromStr("0x7fffffffffffffff", nullptr, 0));
    }
    state.SetItemsProcessed(state.iterations() * 2);
}

void BM_StrtollRead(benchmark::State &state)
{
    for (auto _ : state) {
        benchmark::DoNotOptimize(strtoll("  -9223372036854775807", nullptr, 10));
        benchmark::DoNotOptimize(strtoll("0x7fffffffffffffff", nullptr, 0));
    }
    state.SetItemsProcessed(state.iterations() * 2);
}

void BM_LiteralRoundTrip(benchmark::State &state)
{
    std::string text;
    for (int i = 0; i < state.range(0); i++) text += static_cast<char>(1 + i % 255);
    for (auto _ : state) {
        twStrBuf *enc = twStrCvtToAsciiAlloc(text.c_str());
        twStrBuf *dec = twStrCvtFromLiteralAlloc(twStrBufString(enc));
        benchmark::DoNotOptimize(twStrBufString(dec));
        twStrBufDestroy(enc);
        twStrBufDestroy(dec);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_BitsToDecimal(benchmark::State &state)
{
    std::string bits(static_cast<size_t>(state.range(0)), '1');
    std::string out(bits.size() + 4, '\0');
    for (auto _ : state) {
        twCvtBinDec(bits.c_str(), out.data(), 0);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetComplexityN(state.range(0));
}

}  // namespace

BENCHMARK(BM_Int64Write);
BENCHMARK(BM_SnprintfWrite);
BENCHMARK(BM_Int64Read);
BENCHMARK(BM_StrtollRead);
BENCHMARK(BM_LiteralRoundTrip)->Arg(64)->Arg(65536);
BENCHMARK(BM_BitsToDecimal)->RangeMultiplier(4)->Range(32, 65536)->Complexity();
