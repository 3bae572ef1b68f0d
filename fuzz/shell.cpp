// In-process stand-in for the shell lines that the database writers run
// through the command layer (mkdir, touch, chmod, mv, rm on the working copy).
// Spawning three shells per write would hold a run to a few inputs a second;
// here each line is parsed, checked to name only paths inside the scratch
// directory (anything else aborts: it would touch the machine) and done with
// the matching system call. libFuzzer's own command lines (-fork, -merge)
// start with no stand-in shell and pass through to the real system().
#include "fuzz/common.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <ftw.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

int RemoveOne(const char *path, const struct stat *, int, struct FTW *) {
    remove(path);
    return 0;
}

[[noreturn]] void Refuse(const char *line) {
    fprintf(stderr, "fuzz shell: would run: %s\n", line);
    abort();
}

// Runs "<dir>/sh -c \"<dir>/CMD FLAGS ARGS 1>... 2>...\"" as its command would.
int Emulate(const char *line, const std::string &scratch) {
    const char *inner = strstr(line, " -c \"");
    if (inner == nullptr) Refuse(line);
    std::istringstream words(inner + 5);
    std::vector<std::string> argv;
    for (std::string w; words >> w;) {
        if (w.rfind("1>", 0) == 0 || w.rfind("2>", 0) == 0) break;
        bool last = w.back() == '"'; // the quote that ends the line
        if (last) w.pop_back();
        if (!w.empty()) argv.push_back(w);
        if (last) break;
    }
    if (argv.empty()) Refuse(line);
    std::string cmd = argv[0].substr(argv[0].rfind('/') + 1);
    std::vector<std::string> paths;
    for (size_t i = 1; i < argv.size(); i++) {
        const std::string &a = argv[i];
        if (a[0] == '-' || (cmd == "chmod" && i == 1)) continue;
        std::string p = a[0] == '/' ? a : scratch + "/" + a;
        if (p.rfind(scratch + "/", 0) != 0 || p.find("/../") != std::string::npos) Refuse(line);
        paths.push_back(p);
    }
    if (cmd == "mkdir") {
        for (const std::string &p : paths)
            if (mkdir(p.c_str(), 0777) != 0 && errno != EEXIST) return 1 << 8;
    } else if (cmd == "touch") {
        for (const std::string &p : paths) {
            int fd = open(p.c_str(), O_WRONLY | O_CREAT, 0666);
            if (fd < 0) return 1 << 8;
            close(fd);
        }
    } else if (cmd == "chmod" && argv.size() > 2) {
        mode_t mode = static_cast<mode_t>(strtol(argv[1].c_str(), nullptr, 8));
        for (const std::string &p : paths)
            if (chmod(p.c_str(), mode) != 0) return 1 << 8;
    } else if (cmd == "mv" && paths.size() == 2) {
        if (rename(paths[0].c_str(), paths[1].c_str()) != 0) return 1 << 8;
    } else if (cmd == "rm") {
        for (const std::string &p : paths)
            nftw(p.c_str(), RemoveOne, 16, FTW_DEPTH | FTW_PHYS);
    } else {
        Refuse(line);
    }
    return 0;
}

} // namespace

extern "C" int system(const char *line) {
    const std::string &scratch = fuzz::ScratchPath();
    if (line == nullptr || scratch.empty() || strstr(line, "/sh -c \"") == nullptr)
        return reinterpret_cast<int (*)(const char *)>(dlsym(RTLD_NEXT, "system"))(line);
    return Emulate(line, scratch);
}
