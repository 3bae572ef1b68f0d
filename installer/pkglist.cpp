// Package list processor.
//
// pkg.list is a line language: COMMAND NAME [words] [KEY VALUE ...]. Every
// action runs a system command through SysCmd: copies and touch in mode 1
// (a failure is a logged warning), directory creation and attributes in
// mode 2 (a failure ends the run). Words are read with a private cursor, so
// the process checks and commands run in between cannot disturb the line.
#include "installer/pkglist.h"

#include "installer/entry.h"
#include "installer/messages.h"
#include "installer/readiness.h"
#include "installer/scripts.h"
#include "toolkit/runtime/files.h"
#include "toolkit/runtime/logging.h"
#include "toolkit/runtime/memory.h"
#include "toolkit/runtime/tokens.h"
#include "toolkit/syscmd/comtable.h"
#include "toolkit/syscmd/syscmd.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace {

constexpr const char *kCommands = ",dir,dirto,t,c,m,#,v,s,newdir,checkps";
constexpr const char *kKeys = ",mode,bat,owner,group,link,name,sed";
constexpr const char *kOperators = ",<,<=,=,>,>=,";
constexpr const char *kWordDelims = " \n\r";

enum Command {
    kDir = 1,
    kDirTo,
    kTouch,
    kCopy,
    kMark,
    kComment,
    kVersion,
    kMarkS,
    kNewDir,
    kCheckPs
};
enum Key { kMode = 1, kBat, kOwner, kGroup, kLink, kName, kSed };

// One package-list line being read word by word.
struct LineReader {
    std::string text;
    char *cursor = nullptr;
    char word[TOKEN_MAX + 1] = {};
    bool overlong = false;

    // Next word, or null at the end of the line. A word that fills the
    // token buffer may have been cut; it is flagged rather than used.
    const char *next() {
        char *w = GetTokenD(nullptr, kWordDelims, &cursor, word);
        if (w != nullptr && strlen(w) >= TOKEN_MAX) overlong = true;
        return overlong ? nullptr : w;
    }
    // The rest of the line without leading and trailing blanks and line ends.
    std::string rest() const {
        std::string r = cursor ? cursor : "";
        size_t b = r.find_first_not_of(" \t\r\n");
        if (b == std::string::npos) return "";
        size_t e = r.find_last_not_of(" \t\r\n");
        return r.substr(b, e - b + 1);
    }
};

const char *pkgDirName = "pkg";

// Position of word in a comma list; a word holding a comma is no item.
int lookup(const char *word, const char *list) {
    return strchr(word, ',') ? 0 : FindToken(word, list);
}
// Pending temporary file of a sed edit, removed if the run ends meanwhile.
char pendingTmp[64];

void removePendingTmp() {
    if (pendingTmp[0] != '\0') unlink(pendingTmp);
}

// A fresh, private temporary file in /tmp named after the program, with the
// permission bits of the file it will replace. Returns 1 with its path.
int makeSedTmp(const char *target) {
    static bool registered = false;
    if (!registered) registered = atexit(removePendingTmp) == 0;
    snprintf(pendingTmp, sizeof pendingTmp, "/tmp/%.40sXXXXXX", my_name ? my_name : "setup");
    int fd = mkstemp(pendingTmp);
    if (fd < 0) {
        pendingTmp[0] = '\0';
        return 0;
    }
    struct stat st {};
    if (stat(target, &st) == 0) fchmod(fd, st.st_mode & 07777);
    close(fd);
    return 1;
}

// sed VALUE APP/NAME into a private temporary file, copied back over the
// file. The line is run as a brace group so that the log redirection that
// the command layer appends takes sed's errors, not its output.
void applySed(const char *value, const char *name) {
    char *sed = GetCmdNoFlags(40);
    if (sed == nullptr) {
        fprintf(stderr, "ERROR: unable to locate system command '%s'\n", "sed");
        exit(0);
    }
    char *target = SaveStr("%s/%s", pAppDir, name);
    if (!makeSedTmp(target)) {
        ErrorMsg(2, 1, "can't create a temporary file in /tmp for %s", target);
    }
    SysCmd(1, 2, "{ %s %s %s > %s; }", sed, value, target, pendingTmp);
    SysCmd(9, 0, "%s %s", pendingTmp, target);
    SysCmd(29, 0, "%s", pendingTmp);
    pendingTmp[0] = '\0';
    PutMem(target);
    PutMem(sed);
}

void applyPair(int key, const char *value, const char *name) {
    switch (key) {
    case kMode:
        SysCmd(5, 2, "%s %s/%s", value, pAppDir, name);
        break;
    case kBat: {
        char *path = SaveStr("/usr/bin/%s", value);
        GenSimpleScript(path, ScriptShShell, SimpleScript, pAppDir, pAppDir, name);
        PutMem(path);
        break;
    }
    case kOwner:
        SysCmd(6, 2, "-R %s %s/%s", value, pAppDir, name);
        break;
    case kGroup:
        SysCmd(4, 2, "-R %s %s/%s", value, pAppDir, name);
        break;
    case kLink:
        SysCmd(17, 2, "-s %s/%s %s", pAppDir, name, value);
        break;
    case kName:
        SysCmd(25, 2, "%s/%s %s/%s", pAppDir, name, pAppDir, value);
        break;
    case kSed:
        applySed(value, name);
        break;
    }
}

// Reads the rest of the line as KEY VALUE pairs applied to APP/name. A first
// "sed" key takes the whole rest of the line as its value.
void applyAttributes(LineReader &in, const char *name) {
    std::string target = name;
    for (bool first = true;; first = false) {
        const char *k = in.next();
        if (k == nullptr) return;
        int key = lookup(k, kKeys);
        std::string value;
        if (first && key == kSed) {
            value = in.rest();
        } else {
            const char *v = in.next();
            if (v == nullptr) return;
            value = v;
        }
        if (value.empty()) return;
        if (key != 0) applyPair(key, value.c_str(), target.c_str());
        if (first && key == kSed) return;
    }
}

// 1 when the running release stands in relation op to version (strcmp).
int versionHolds(const char *release, const char *op, const char *version) {
    int c = strcmp(release, version);
    switch (lookup(op, kOperators)) {
    case 1:
        return c < 0;
    case 2:
        return c <= 0;
    case 3:
        return c == 0;
    case 4:
        return c > 0;
    case 5:
        return c >= 0;
    default:
        return 0;
    }
}

int exists(const char *name) {
    return FindFile(pAppDir, name);
}

// Runs one line; returns 1 when the user chose to quit in a process check.
int runLine(LineReader &in) {
    const char *w = in.next();
    if (w == nullptr) return 0;
    std::string command = w;
    for (;;) {
        int cmd = lookup(command.c_str(), kCommands);
        if (cmd == kComment) return 0;
        const char *n = in.next();
        if (n == nullptr) {
            PutLogMsg("WARNING: package list: '%s' %s, line skipped\n", command.c_str(),
                      in.overlong ? "with an over-long word" : "without a name");
            return 0;
        }
        std::string name = n;
        const char *pkg = pZarvoInstallDir;
        switch (cmd) {
        case kDir:
            SysCmd(10, 1, "%s/%s/%s %s", pkg, pkgDirName, name.c_str(), pAppDir);
            break;
        case kDirTo: {
            const char *dest = in.next();
            if (dest == nullptr) {
                PutLogMsg("WARNING: package list: 'dirto %s' without a destination, line skipped\n",
                          name.c_str());
                return 0;
            }
            SysCmd(10, 1, "%s/%s/%s %s", pkg, pkgDirName, name.c_str(), dest);
            break;
        }
        case kTouch:
            SysCmd(35, 1, "%s/%s", pAppDir, name.c_str());
            break;
        case kMark:
        case kMarkS:
            if (!exists(name.c_str())) return 0;
            break;
        case kNewDir: {
            if (exists(name.c_str())) return 0;
            char *dir = SaveStr("%s/%s", pAppDir, name.c_str());
            CreateFile(dir, nullptr, "775", nullptr, nullptr);
            PutMem(dir);
            break;
        }
        case kCheckPs:
            if (QuitForRunningProcesses(name.c_str())) return 1;
            break;
        case kVersion: {
            struct utsname u {};
            if (uname(&u) < 0) {
                perror(nlsSetupStrCvt(60));
                break;
            }
            const char *version = in.next();
            if (version == nullptr || !versionHolds(u.release, name.c_str(), version)) return 0;
            const char *next = in.next();
            if (next == nullptr) return 0;
            command = next;
            continue;
        }
        default:
            SysCmd(9, 1, "%s/%s/%s %s", pkg, pkgDirName, name.c_str(), pAppDir);
            break;
        }
        applyAttributes(in, name.c_str());
        return 0;
    }
}

} // namespace

int ProcessPkgList(const char *pkgDir) {
    pkgDirName = pkgDir;
    char *path = SaveStr("%s/%s/pkg.list", pZarvoInstallDir, pkgDir);
    snprintf(LineBuf, LINEBUF_SIZE, "%s", path);
    OpenInputFile(path, 2);
    PutMem(path);
    while (GetFileLine()) {
        LineReader in;
        // A continued line keeps its backslash-newline, which the word
        // splitting reads as an escaped newline inside the next word.
        in.text = LineBuf;
        in.cursor = in.text.data();
        if (runLine(in)) {
            CloseInputFile();
            return 1;
        }
    }
    CloseInputFile();
    return 0;
}
