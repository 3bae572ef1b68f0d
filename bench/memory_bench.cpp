// GetMem/PutMem churn against malloc+memset+free: 10,000 live allocations of
// mixed sizes (8-1024 bytes); each iteration frees one at random and
// allocates a replacement of another size.
#include "toolkit/runtime/memory.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr int kLive = 10000;
constexpr int kSteps = 1 << 16;

struct Plan {
    std::vector<int> sizes; // size of each new allocation
    std::vector<int> slots; // which live allocation it replaces
    Plan() {
        std::mt19937 rng(12345);
        std::uniform_int_distribution<int> size(8, 1024), slot(0, kLive - 1);
        for (int i = 0; i < kLive + kSteps; i++)
            sizes.push_back(size(rng));
        for (int i = 0; i < kSteps; i++)
            slots.push_back(slot(rng));
    }
};

const Plan &ThePlan() {
    static Plan plan;
    return plan;
}

template <class Alloc, class Free> void Churn(benchmark::State &state, Alloc alloc, Free release) {
    const Plan &plan = ThePlan();
    std::vector<char *> live(kLive);
    for (int i = 0; i < kLive; i++)
        live[i] = alloc(plan.sizes[i]);
    size_t step = 0;
    for (auto _ : state) {
        int slot = plan.slots[step % kSteps];
        release(live[slot]);
        live[slot] = alloc(plan.sizes[kLive + step % kSteps]);
        benchmark::DoNotOptimize(live[slot]);
        step++;
    }
    for (char *p : live)
        release(p);
    state.SetItemsProcessed(state.iterations());
}

void BM_GetMemPutMem(benchmark::State &state) {
    Churn(
        state, [](int n) { return GetMem(n); }, [](char *p) { PutMem(p); });
}

void BM_MallocMemsetFree(benchmark::State &state) {
    Churn(
        state,
        [](int n) {
            auto *p = (char *)malloc(n + 1);
            memset(p, 0, n + 1);
            return p;
        },
        [](char *p) { free(p); });
}

// Small strings saved and given back in LIFO order, the toolkit's usual pattern.
void BM_SaveStrPutMem(benchmark::State &state) {
    std::vector<char *> keep;
    for (int i = 0; i < 100; i++)
        keep.push_back(SaveStr("%s/%d", "/usr/Zarvo/osxx", i));
    for (auto _ : state) {
        char *p = SaveStr("%s/%s", "/usr/Zarvo/osxx", "bin");
        benchmark::DoNotOptimize(p);
        PutMem(p);
    }
    for (char *p : keep)
        PutMem(p);
}

} // namespace

BENCHMARK(BM_GetMemPutMem);
BENCHMARK(BM_MallocMemsetFree);
BENCHMARK(BM_SaveStrPutMem);
BENCHMARK_MAIN();
