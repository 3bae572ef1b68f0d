// The command layer's own cost per SysCmd (line building, lookups, echo and
// log) against the time of the command it runs: the same line run by
// system() alone is the baseline, and the layer's cost is the difference.
#include "toolkit/toolkit.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

// Points the shell row at /bin and the echo row (13) at a private directory
// whose "echo" is /bin/true, so that the command does nothing at all.
struct Setup {
    std::string dir;
    Setup() {
        char tmpl[] = "/tmp/syscmdbench.XXXXXX";
        dir = mkdtemp(tmpl);
        symlink("/bin/true", (dir + "/echo").c_str());
        flInitSysCmd = 0;
        ComList[SHELL_ROW].directory = const_cast<char *>("/bin");
        ComList[ROW_ECHO].directory = dir.data();
    }
    ~Setup() {
        unlink((dir + "/echo").c_str());
        rmdir(dir.c_str());
    }
};

Setup &S() {
    static Setup s;
    return s;
}

void BM_SystemAlone(benchmark::State &state) {
    std::string line = "/bin/sh -c \"" + S().dir + "/echo  a b 1>/dev/null 2>/dev/null\"";
    for (auto _ : state)
        benchmark::DoNotOptimize(system(line.c_str()));
}
BENCHMARK(BM_SystemAlone)->Unit(benchmark::kMicrosecond);

void BM_SysCmdMode0(benchmark::State &state) {
    S();
    for (auto _ : state)
        benchmark::DoNotOptimize(SysCmd(ROW_ECHO, SYSCMD_QUIET, " %s %s", "a", "b"));
}
BENCHMARK(BM_SysCmdMode0)->Unit(benchmark::kMicrosecond);

void BM_SysCmdMode1Logged(benchmark::State &state) {
    S();
    std::string name = "syscmdbench_" + std::to_string(getpid());
    my_name = name.data();
    flUseLog = 1;
    flSysCmdLog = 1;
    FILE *saved = stdout;
    stdout = fopen("/dev/null", "w");
    for (auto _ : state)
        benchmark::DoNotOptimize(SysCmd(ROW_ECHO, SYSCMD_WARN, " %s %s", "a", "b"));
    fclose(stdout);
    stdout = saved;
    flUseLog = 0;
    flSysCmdLog = 0;
    unlink(("/tmp/" + name + ".log").c_str());
}
BENCHMARK(BM_SysCmdMode1Logged)->Unit(benchmark::kMicrosecond);

void BM_GetCmdResponse(benchmark::State &state) {
    S();
    for (auto _ : state)
        FreeResponseList(GetCmdResponse(ROW_ECHO, nullptr, " %s", "a"));
}
BENCHMARK(BM_GetCmdResponse)->Unit(benchmark::kMicrosecond);

void BM_PopenAlone(benchmark::State &state) {
    std::string line = S().dir + "/echo  a";
    for (auto _ : state)
        pclose(popen(line.c_str(), "r"));
}
BENCHMARK(BM_PopenAlone)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
