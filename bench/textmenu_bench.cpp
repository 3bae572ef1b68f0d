// Menu engine hot paths: entry validation of valid entries, sub-menu
// conditions, state programs and a full line-menu print to /dev/null.
#include "toolkit/textmenu/menu.h"
#include "toolkit/textmenu/render.h"
#include "toolkit/textmenu/validate.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <string>
#include <vector>

namespace {

void BM_ValidatePath(benchmark::State &state) {
    std::string entry = "/usr/Zarvo/osxx/spool/queue-1_a/" + std::string(200, 'x');
    for (auto _ : state)
        benchmark::DoNotOptimize(ValidateEntry(entry.c_str(), "/A(1,255)+-+_+/"));
    state.SetBytesProcessed(state.iterations() * (int64_t)entry.size());
}

void BM_ValidateAlternatives(benchmark::State &state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(ValidateEntry("abcde", "L(2,3)|L(4,4)|L(5,5)"));
}

struct BenchMenu {
    std::vector<MenuItem> items;
    std::vector<std::string> labels;
    char choices[64] = "zero,one,two,three";
    Menu menu = {};
    explicit BenchMenu(int n) {
        labels.reserve((size_t)n);
        items.resize((size_t)n + 1);
        for (int i = 0; i < n; i++) {
            labels.push_back("Item number " + std::to_string(i));
            MenuItem &it = items[(size_t)i];
            it.text = labels.back().c_str();
            it.kind = i % 2 ? ITEM_INTEGER : ITEM_PICK_ONE;
            it.choices = choices;
            it.default_value.i = i % 4;
        }
        items[0].condition = "H0{3,4,5} N1|2{6,7} S3{8,9}";
        menu.title = "Benchmark";
        menu.items = items.data();
    }
};

void BM_Condition(benchmark::State &state) {
    BenchMenu m(16);
    InitMenu(&m.menu, 0);
    for (auto _ : state)
        benchmark::DoNotOptimize(TestStateCondition(&m.menu, "(0.0|1.1)&!(2.2A|+1.3)&-2.0", 4));
}

void BM_StateProgram(benchmark::State &state) {
    BenchMenu m(16);
    InitMenu(&m.menu, 0);
    for (auto _ : state) {
        m.items[0].value.i = (m.items[0].value.i + 1) % 4;
        ProcessStateFormat(&m.menu, 0);
    }
}

void BM_PrintMenu(benchmark::State &state) {
    BenchMenu m((int)state.range(0));
    int widest = InitMenu(&m.menu, 0);
    fflush(stdout);
    int saved = dup(STDOUT_FILENO), null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    for (auto _ : state)
        benchmark::DoNotOptimize(PrintMenu(&m.menu, widest, 9));
    fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(null);
    close(saved);
}

} // namespace

BENCHMARK(BM_ValidatePath);
BENCHMARK(BM_ValidateAlternatives);
BENCHMARK(BM_Condition);
BENCHMARK(BM_StateProgram);
BENCHMARK(BM_PrintMenu)->Arg(20)->Arg(200);
BENCHMARK_MAIN();
