// The package-list processor on fuzzed pkg.list lines. Nothing runs for real:
// the command table points at a directory of stand-ins (links to the tests'
// fakecmd), and while the list runs system() and popen() only record the line
// after checking that it starts one of those stand-ins; the launcher scripts that "bat" writes
// under /usr/bin go to /dev/null.
#include "fuzz/common.h"
#include "installer/entry.h"
#include "installer/pkglist.h"
#include "toolkit/runtime/files.h"
#include "toolkit/syscmd/comtable.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool gInside = false; // true while ProcessPkgList runs
std::string gBin;     // the stand-in directory
std::string gScratch;
int gCommands = 0;

bool StartsWith(const char *s, const std::string &prefix) {
    return s != nullptr && strncmp(s, prefix.c_str(), prefix.size()) == 0;
}

void Refuse(const char *what, const char *line) {
    gInside = false; // libFuzzer writes the crashing input next
    fprintf(stderr, "fuzz pkglist: would %s: %s\n", what, line ? line : "(null)");
    abort();
}

template <typename Fn> Fn Real(const char *name) {
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

} // namespace

// Outside the list (libFuzzer's own -merge and -fork runs) these pass through.
extern "C" int system(const char *line) {
    if (!gInside) return Real<int (*)(const char *)>("system")(line);
    // A command row runs through the stand-in shell; the sed edit is a brace
    // group of its own that starts the stand-in sed.
    if (!StartsWith(line, gBin + "/sh -c \"" + gBin + "/") && !StartsWith(line, "{ " + gBin + "/"))
        Refuse("run", line);
    gCommands++;
    return 0;
}

extern "C" FILE *popen(const char *line, const char *mode) {
    if (!gInside) return Real<FILE *(*)(const char *, const char *)>("popen")(line, mode);
    if (!StartsWith(line, gBin + "/")) Refuse("start", line);
    gCommands++;
    // Every query sees no output: no product program is running.
    return Real<FILE *(*)(const char *, const char *)>("fopen")("/dev/null", mode);
}

extern "C" int pclose(FILE *f) {
    if (!gInside) return Real<int (*)(FILE *)>("pclose")(f);
    return fclose(f);
}

extern "C" FILE *fopen(const char *path, const char *mode) {
    auto real = Real<FILE *(*)(const char *, const char *)>("fopen");
    bool writes = mode != nullptr && strpbrk(mode, "wa+") != nullptr;
    if (gInside && writes && !StartsWith(path, gScratch + "/")) {
        // The only file the list writes itself is a launcher script under /usr/bin.
        if (!StartsWith(path, "/usr/bin/")) Refuse("write", path);
        return real("/dev/null", mode);
    }
    return real(path, mode);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static std::string dir = fuzz::Scratch("pkglist");
    // A logical line of this size keeps every command line below the command
    // layer's limit, whose refusal ends the run like a failing command.
    if (size > 2048) return 0;
    static bool ready = false;
    static std::string work = dir + "/work", app = dir + "/app", tmp = dir + "/tmp";
    static std::string name = dir.substr(strlen("/tmp/")) + "/tmp/setup";
    if (!ready) {
        gScratch = dir;
        gBin = dir + "/bin";
        mkdir(gBin.c_str(), 0755);
        for (int row = 2; ComList[row].name != nullptr; row++) {
            std::string link = gBin + "/" + ComList[row].name;
            if (*ComList[row].name) symlink(FUZZ_SOURCE_DIR "/tests/fakebin/fakecmd", link.c_str());
        }
        if (FillCmdPaths(gBin.c_str()) != 0) Refuse("look commands up on the search path", "");
        mkdir(work.c_str(), 0755);
        mkdir((work + "/pkg").c_str(), 0755);
        mkdir(app.c_str(), 0755);
        mkdir(tmp.c_str(), 0755);
        fuzz::Put(app + "/README", "OLD\n", 4);
        pZarvoInstallDir = work.data();
        pAppDir = app.data();
        // The sed edit's temporary file is /tmp/<my_name>XXXXXX: inside the scratch directory.
        my_name = name.data();
        flUseLog = 0;
        ready = true;
    }
    fuzz::Put(work + "/pkg/pkg.list", data, size);
    gInside = true;
    ProcessPkgList("pkg");
    gInside = false;
    fuzz::Empty(tmp);
    return 0;
}
