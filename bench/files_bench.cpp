// FindFile and PutLogMsg must not cost time proportional to the size of the
// directory they look in: compare a directory of 10 entries with one of
// 100,000.
#include "toolkit/toolkit.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <ftw.h>
#include <string>
#include <unistd.h>

namespace {

// A directory under /tmp holding n empty files f0 ... f<n-1>, made once per size.
const std::string &DirOf(int n) {
    static std::string dirs[2];
    std::string &dir = dirs[n > 10];
    if (!dir.empty()) return dir;
    char tmpl[] = "/tmp/filesbench.XXXXXX";
    dir = mkdtemp(tmpl);
    for (int i = 0; i < n; i++) {
        std::string f = dir + "/f" + std::to_string(i);
        close(open(f.c_str(), O_CREAT | O_WRONLY, 0644));
    }
    return dir;
}

void RemoveDirs() {
    for (int n : {10, 100000})
        nftw(
            DirOf(n).c_str(),
            [](const char *p, const struct stat *, int, struct FTW *) { return remove(p); }, 16,
            FTW_DEPTH | FTW_PHYS);
}

void BM_FindFileHit(benchmark::State &state) {
    int n = (int)state.range(0);
    const std::string &dir = DirOf(n);
    std::string name = "f" + std::to_string(n / 2);
    for (auto _ : state)
        benchmark::DoNotOptimize(FindFile(dir.c_str(), name.c_str()));
}
BENCHMARK(BM_FindFileHit)->Arg(10)->Arg(100000);

void BM_FindFileMiss(benchmark::State &state) {
    const std::string &dir = DirOf((int)state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(FindFile(dir.c_str(), "missing"));
}
BENCHMARK(BM_FindFileMiss)->Arg(10)->Arg(100000);

void BM_FindFilePath(benchmark::State &state) {
    std::string path = DirOf((int)state.range(0)) + "/f3";
    for (auto _ : state)
        benchmark::DoNotOptimize(FindFile(path.c_str(), ""));
}
BENCHMARK(BM_FindFilePath)->Arg(10)->Arg(100000);

// The listing the existence test used to make for every call, for comparison.
void BM_ListingLookup(benchmark::State &state) {
    const std::string &dir = DirOf((int)state.range(0));
    for (auto _ : state) {
        char *list = GetDirFileList(dir.c_str());
        benchmark::DoNotOptimize(FindToken("f3", list));
        PutMem(list);
    }
}
BENCHMARK(BM_ListingLookup)->Arg(10)->Arg(100000);

void BM_PutLogMsg(benchmark::State &state) {
    std::string name = "filesbench_" + std::to_string(getpid());
    my_name = name.data();
    flUseLog = 1;
    for (auto _ : state)
        PutLogMsg("%s\n", "/bin/sh -c \"/bin/rm -rf  /tmp/x");
    flUseLog = 0;
    unlink(("/tmp/" + name + ".log").c_str());
    my_name = nullptr;
}
BENCHMARK(BM_PutLogMsg);

} // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    RemoveDirs();
    return 0;
}
