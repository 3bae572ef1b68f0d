// GetToken throughput over a 1 MB text of words, blanks and lines.
#include "toolkit/runtime/tokens.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

std::string MakeText() {
    static const char *words[] = {"install", "/usr/Zarvo/osxx", "pkg_tar.01", "-v",   "chmod",
                                  "755",     "osqadmin",        "lpd",        "a,b,c"};
    std::string text;
    for (int i = 0; text.size() < (1u << 20); i++) {
        text += words[i % 9];
        text += (i % 7 == 6) ? "\n" : (i % 3 == 0 ? "\t" : " ");
    }
    return text;
}

void BM_GetToken(benchmark::State &state) {
    std::string text = MakeText();
    size_t tokens = 0;
    for (auto _ : state) {
        for (char *t = GetToken(text.data(), " \t\n"); t; t = GetToken(nullptr, " \t\n"))
            tokens++;
    }
    benchmark::DoNotOptimize(tokens);
    state.SetBytesProcessed(state.iterations() * (int64_t)text.size());
}

void BM_FindToken(benchmark::State &state) {
    std::string list = ",";
    for (int i = 0; i < 500; i++)
        list += "entry" + std::to_string(i) + ",";
    for (auto _ : state)
        benchmark::DoNotOptimize(FindToken("entry499", list.c_str()));
    state.SetBytesProcessed(state.iterations() * (int64_t)list.size());
}

} // namespace

BENCHMARK(BM_GetToken);
BENCHMARK(BM_FindToken);
BENCHMARK_MAIN();
