// Scratch directory and stream set-up shared by the fuzz targets.
#include "fuzz/common.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <ctime>
#include <ftw.h>
#include <pthread.h>
#include <sstream>
#include <unistd.h>

namespace fuzz {
namespace {

std::string gScratch;
pthread_t gTarget;

int RemoveOne(const char *path, const struct stat *, int, struct FTW *) {
    remove(path);
    return 0;
}

int RemoveInner(const char *path, const struct stat *, int, struct FTW *ftw) {
    if (ftw->level > 0) remove(path);
    return 0;
}

void RemoveScratch() {
    if (gScratch.empty()) return;
    if (chdir("/") != 0) return;
    nftw(gScratch.c_str(), RemoveOne, 16, FTW_DEPTH | FTW_PHYS);
}

} // namespace

const std::string &Scratch(const char *name) {
    if (!gScratch.empty()) return gScratch;
    std::string tmpl = std::string("/tmp/fuzz-") + name + ".XXXXXX";
    if (mkdtemp(tmpl.data()) == nullptr || chdir(tmpl.c_str()) != 0) {
        perror("fuzz: scratch directory");
        abort();
    }
    gScratch = tmpl;
    gTarget = pthread_self();
    atexit(RemoveScratch);
    fprintf(stderr, "fuzz scratch: %s\n", gScratch.c_str());
    // Prompts read an empty input and everything printed goes nowhere, so a
    // run never waits for a terminal and stays fast.
    if (!freopen("/dev/null", "r", stdin) || !freopen("/dev/null", "w", stdout)) abort();
    return gScratch;
}

bool OnTargetThread() {
    return !gScratch.empty() && pthread_equal(pthread_self(), gTarget);
}

const std::string &ScratchPath() {
    return gScratch;
}

void Put(const std::string &path, const void *data, size_t size) {
    FILE *f = fopen(path.c_str(), "wb");
    if (f == nullptr || fwrite(data, 1, size, f) != size || fclose(f) != 0) {
        perror(path.c_str());
        abort();
    }
}

std::string Get(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void Empty(const std::string &dir) {
    nftw(dir.c_str(), RemoveInner, 16, FTW_DEPTH | FTW_PHYS);
}

void SplitAtNul(const uint8_t *data, size_t size, std::string &head, std::string &tail) {
    const void *nul = memchr(data, 0, size);
    size_t n = nul ? static_cast<const uint8_t *>(nul) - data : size;
    head.assign(reinterpret_cast<const char *>(data), n);
    tail = n < size ? std::string(reinterpret_cast<const char *>(data) + n + 1, size - n - 1) : "";
}

} // namespace fuzz

// Durability and waiting are not under test: the writers' fsync and the
// retry and settling sleeps of the code under test return at once, so that a
// run does thousands of inputs a second instead of a few. libFuzzer's own
// threads (its memory watch sleeps a second between looks) really sleep.
extern "C" int fsync(int) {
    return 0;
}
extern "C" unsigned sleep(unsigned seconds) {
    if (fuzz::OnTargetThread()) return 0;
    struct timespec ts = {static_cast<time_t>(seconds), 0};
    nanosleep(&ts, nullptr);
    return 0;
}
