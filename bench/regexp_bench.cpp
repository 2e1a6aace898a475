// Compiling and matching: a file-name pattern against short names (the file
// search's use), and searches over long subjects that backtrack through
// every character.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "twlib/regexp/regexp.h"

namespace {

void BM_CompileFileNamePattern(benchmark::State &state)
{
    for (auto _ : state) {
        twRegexpT *re = twRegexpCompile("^([a-z_]+)(\\.[0-9]+)?\\.(def|ini|txt)$");
        benchmark::DoNotOptimize(re);
        twRegexpDestroy(re);
    }
}
BENCHMARK(BM_CompileFileNamePattern);

void BM_MatchShortNames(benchmark::State &state)
{
    twRegexpT *re = twRegexpCompile("^([a-z_]+)(\\.[0-9]+)?\\.(def|ini|txt)$");
    const std::vector<std::string> names = {"menu.def",  "main_menu.2.def", "README",
                                            "tools.ini", "notes.txt.bak",   "x.1.txt"};
    twRegexpMatch m;
    for (auto _ : state)
        for (const std::string &n : names) benchmark::DoNotOptimize(twRegexpExec(re, &m, n.c_str()));
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(names.size()));
    twRegexpDestroy(re);
}
BENCHMARK(BM_MatchShortNames);

// A repeated group over the whole subject, then a failing end: one choice
// point per character, all of them taken back.
void BM_LongSubjectBacktrack(benchmark::State &state)
{
    std::string subject(static_cast<size_t>(state.range(0)), 'a');
    for (size_t i = 1; i < subject.size(); i += 2) subject[i] = 'b';
    twRegexpT *re = twRegexpCompile("^(a|b)*c");
    for (auto _ : state) benchmark::DoNotOptimize(twRegexpExec(re, nullptr, subject.c_str()));
    state.SetBytesProcessed(state.iterations() * state.range(0));
    twRegexpDestroy(re);
}
BENCHMARK(BM_LongSubjectBacktrack)->Range(1 << 10, 1 << 18);

// An unanchored search that fails at every start.
void BM_FailingUnanchoredSearch(benchmark::State &state)
{
    std::string subject = "b" + std::string(static_cast<size_t>(state.range(0)), 'a');
    twRegexpT *re = twRegexpCompile("a.*b");
    for (auto _ : state) benchmark::DoNotOptimize(twRegexpExec(re, nullptr, subject.c_str()));
    state.SetBytesProcessed(state.iterations() * state.range(0));
    twRegexpDestroy(re);
}
BENCHMARK(BM_FailingUnanchoredSearch)->Range(1 << 10, 1 << 18);

}  // namespace
