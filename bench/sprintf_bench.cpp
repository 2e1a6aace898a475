// The engine against the platform's snprintf on the kinds of format the
// library prints: a short message with a few conversions, a long literal
// with one conversion, a positional format, and the static form.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "twlib/text/sprintf.h"

namespace {

const char kMessage[] = "%s, line %d: %-12s %08.3f (%#x)";
const std::string &longText()
{
    static const std::string text = std::string(2000, 'x') + " %d " + std::string(2000, 'y');
    return text;
}

void BM_EngineMessage(benchmark::State &state)
{
    char buf[256];
    for (auto _ : state) {
        twSprintf(buf, sizeof buf, kMessage, "file.c", 42, "word", 3.14159, 255);
        benchmark::DoNotOptimize(buf);
    }
}

void BM_PlatformMessage(benchmark::State &state)
{
    char buf[256];
    for (auto _ : state) {
        snprintf(buf, sizeof buf, kMessage, "file.c", 42, "word", 3.14159, 255);
        benchmark::DoNotOptimize(buf);
    }
}

void BM_EngineLongLiteral(benchmark::State &state)
{
    char buf[8192];
    for (auto _ : state) {
        twSprintf(buf, sizeof buf, longText().c_str(), 7);
        benchmark::DoNotOptimize(buf);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(longText().size()));
}

void BM_PlatformLongLiteral(benchmark::State &state)
{
    char buf[8192];
    for (auto _ : state) {
        snprintf(buf, sizeof buf, longText().c_str(), 7);
        benchmark::DoNotOptimize(buf);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(longText().size()));
}

void BM_EnginePositional(benchmark::State &state)
{
    char buf[256];
    for (auto _ : state) {
        twSprintf(buf, sizeof buf, "%3$s=%1$Ld (%2$*4$d)", int64_t{1} << 40, 17, "key", 6);
        benchmark::DoNotOptimize(buf);
    }
}

void BM_EngineStatic(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(twSprintfStatic(kMessage, "file.c", 42, "word", 3.14159, 255));
}

BENCHMARK(BM_EngineMessage);
BENCHMARK(BM_PlatformMessage);
BENCHMARK(BM_EngineLongLiteral);
BENCHMARK(BM_PlatformLongLiteral);
BENCHMARK(BM_EnginePositional);
BENCHMARK(BM_EngineStatic);

}  // namespace
