// Costs of the record database: typed lookups and puts, plain puts and lookups, by database size.
#include "toolkit/dbm/dbm.h"
#include "toolkit/dbm/dbt.h"
#include "toolkit/runtime/shared.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <ftw.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A private tool directory, also the current directory, for the whole run.
struct Scratch {
    std::string root;
    Scratch() {
        char tmpl[] = "/tmp/dbmbenchXXXXXX";
        if (!mkdtemp(tmpl)) abort();
        root = tmpl;
        mkdir((root + "/db").c_str(), 0777);
        if (chdir(root.c_str()) != 0) abort();
        pToolPath = const_cast<char *>(root.c_str());
    }
    ~Scratch() {
        if (chdir("/") != 0) return;
        nftw(
            root.c_str(),
            [](const char *p, const struct stat *, int, struct FTW *) { return remove(p); }, 16,
            FTW_DEPTH | FTW_PHYS);
    }
};

Scratch &Dir() {
    static Scratch scratch;
    return scratch;
}

std::string Key(int i) {
    return "key_" + std::to_string(i);
}

const char kData[] = "a translated text of a typical length";

// A headered typed database of n records named after n, built once.
std::string TypedDb(int n) {
    Dir();
    std::string name = "typed" + std::to_string(n);
    if (access((Dir().root + "/db/" + name + ".odb").c_str(), F_OK) == 0) return name;
    DbTHandle *h = DbTOpen(name.c_str(), DBT_NO_WRITEBACK);
    for (int i = 0; i < n; i++)
        DbmTPutRecord(h, Key(i).c_str(), kData, sizeof kData);
    DbmTArchiveDb(h);
    DbTClose(h);
    return name;
}

// A headerless database of n records, written directly in the file format.
std::string PlainDb(int n) {
    Dir();
    std::string name = "plain" + std::to_string(n);
    FILE *f = fopen((Dir().root + "/db/" + name + ".odb").c_str(), "wb");
    for (int i = 0; i < n; i++) {
        std::string key = Key(i);
        uint16_t k = (uint16_t)(key.size() + 1), len = (uint16_t)(k + sizeof kData + 2);
        unsigned char rec[256];
        memcpy(rec, &len, 2);
        memcpy(rec + 2, &k, 2);
        memcpy(rec + 4, key.c_str(), k);
        memcpy(rec + 4 + k, kData, sizeof kData);
        DbmScramble(rec + 2, len);
        fwrite(rec, 1, len + 2u, f);
    }
    fclose(f);
    return name;
}

void TypedLookup(benchmark::State &state, int flags) {
    int n = (int)state.range(0);
    std::string name = TypedDb(n);
    DbTHandle *h = DbTOpen(name.c_str(), flags);
    char buf[DBM_RECORD_BUF];
    int i = 0;
    for (auto _ : state) {
        std::string key = Key((i += 7919) % n);
        benchmark::DoNotOptimize(DbmTGetRecord(h, key.c_str(), buf));
    }
    DbTClose(h);
}

void BM_TypedLookup(benchmark::State &state) {
    TypedLookup(state, 0);
}
void BM_TypedLookupNoReload(benchmark::State &state) {
    TypedLookup(state, DBT_NO_RELOAD);
}

// Puts of new keys into a database of range(0) records with the given open flags.
void TypedPut(benchmark::State &state, int flags) {
    int n = (int)state.range(0);
    std::string name = TypedDb(n);
    DbTHandle *h = DbTOpen(name.c_str(), flags);
    int i = n;
    for (auto _ : state)
        benchmark::DoNotOptimize(DbmTPutRecord(h, Key(i++).c_str(), kData, 20));
    DbTClose(h);
}

void BM_TypedPutWriteThrough(benchmark::State &state) {
    TypedPut(state, 0);
}
void BM_TypedPutDeferred(benchmark::State &state) {
    TypedPut(state, DBT_NO_WRITEBACK);
}

void BM_PlainGet(benchmark::State &state) {
    int n = (int)state.range(0);
    std::string name = PlainDb(n);
    std::string key = Key(n - 1); // the last record: one whole pass
    char buf[DBM_RECORD_BUF];
    for (auto _ : state)
        benchmark::DoNotOptimize(DbmGetRecord(name.c_str(), key.c_str(), buf));
}

void BM_PlainPut(benchmark::State &state) {
    int n = (int)state.range(0);
    std::string name = PlainDb(n);
    int i = 0;
    for (auto _ : state) {
        std::string key = Key(i++ % n);
        benchmark::DoNotOptimize(DbmPutRecord(name.c_str(), key.c_str(), kData, sizeof kData));
    }
}

} // namespace

BENCHMARK(BM_TypedLookup)->Arg(100)->Arg(10000);
BENCHMARK(BM_TypedLookupNoReload)->Arg(100)->Arg(10000);
BENCHMARK(BM_TypedPutWriteThrough)->Arg(100)->Arg(10000)->Iterations(50);
BENCHMARK(BM_TypedPutDeferred)->Arg(100)->Arg(10000);
BENCHMARK(BM_PlainGet)->Arg(100)->Arg(10000);
BENCHMARK(BM_PlainPut)->Arg(100)->Arg(10000)->Iterations(50);

BENCHMARK_MAIN();
