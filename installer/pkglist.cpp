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
#include "toolkit/runtime/tmpfile.h"
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
#include <utility>
#include <vector>

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
    struct stat st {};
    int fd = MakeOwnTmpFile(pendingTmp, stat(target, &st) == 0 ? st.st_mode & 07777 : 0600);
    if (fd < 0) {
        pendingTmp[0] = '\0';
        return 0;
    }
    close(fd);
    return 1;
}

// sed VALUE APP/NAME into a private temporary file, copied back over the
// file. The line is run as a brace group so that the log redirection that
// the command layer appends takes sed's errors, not its output.
void applySed(const char *value, const char *name) {
    char *sed = GetCmdNoFlags(ROW_SED);
    if (sed == nullptr) StopForMissingCommand(ROW_SED);
    char *target = SaveStr("%s/%s", pAppDir, name);
    if (!makeSedTmp(target)) {
        ErrorMsg(ERROR_MSG_FATAL, SETUP_EXIT_FAILED, nlsSetupMsg(MSG_SED_TMP), target);
    }
    SysCmd(ROW_LINE, SYSCMD_FATAL, "{ %s %s %s > %s; }", sed, value, target, pendingTmp);
    SysCmd(ROW_CP_P, SYSCMD_QUIET, "%s %s", pendingTmp, target);
    SysCmd(ROW_RM_F, SYSCMD_QUIET, "%s", pendingTmp);
    pendingTmp[0] = '\0';
    PutMem(target);
    PutMem(sed);
}

void applyPair(int key, const char *value, const char *name) {
    switch (key) {
    case kMode:
        SysCmd(ROW_CHMOD, SYSCMD_FATAL, "%s %s/%s", value, pAppDir, name);
        break;
    case kBat: {
        char *path = SaveStr("/usr/bin/%s", value);
        GenSimpleScript(path, ScriptShShell, SimpleScript, pAppDir, pAppDir, name);
        PutMem(path);
        break;
    }
    case kOwner:
        SysCmd(ROW_CHOWN, SYSCMD_FATAL, "-R %s %s/%s", value, pAppDir, name);
        break;
    case kGroup:
        SysCmd(ROW_CHGRP, SYSCMD_FATAL, "-R %s %s/%s", value, pAppDir, name);
        break;
    case kLink:
        SysCmd(ROW_LN, SYSCMD_FATAL, "-s %s/%s %s", pAppDir, name, value);
        break;
    case kName:
        SysCmd(ROW_MV, SYSCMD_FATAL, "%s/%s %s/%s", pAppDir, name, pAppDir, value);
        break;
    case kSed:
        applySed(value, name);
        break;
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

// What one line asks for, read in full before anything runs, so that a line
// holding a word too long for the token buffer is skipped as a whole instead
// of running its command without the attributes that follow it.
struct LinePlan {
    int cmd = 0;
    std::string name, dest;
    std::vector<std::pair<int, std::string>> pairs; // key 0: unlisted, skipped
};

// Reads the rest of the line as KEY VALUE pairs. A first "sed" key takes the
// whole rest of the line as its value. False when a word was over-long.
bool readAttributes(LineReader &in, LinePlan &plan) {
    for (bool first = true;; first = false) {
        const char *k = in.next();
        if (k == nullptr) return !in.overlong;
        int key = lookup(k, kKeys);
        std::string value;
        if (first && key == kSed) {
            value = in.rest();
        } else {
            const char *v = in.next();
            if (v == nullptr) return !in.overlong;
            value = v;
        }
        if (value.empty()) return true;
        plan.pairs.emplace_back(key, value);
        if (first && key == kSed) return true;
    }
}

// Reads a line into plan, following true version conditions; false when the
// line is to be skipped.
bool readLine(LineReader &in, LinePlan &plan) {
    const char *w = in.next();
    if (w == nullptr) return false;
    std::string command = w;
    for (;;) {
        plan.cmd = lookup(command.c_str(), kCommands);
        if (plan.cmd == kComment) return false;
        const char *n = in.next();
        if (n == nullptr) {
            if (!in.overlong)
                PutLogMsg("WARNING: package list: '%s' without a name, line skipped\n",
                          command.c_str());
            return false;
        }
        plan.name = n;
        if (plan.cmd == kDirTo) {
            const char *dest = in.next();
            if (dest == nullptr) {
                if (!in.overlong)
                    PutLogMsg(
                        "WARNING: package list: 'dirto %s' without a destination, line skipped\n",
                        plan.name.c_str());
                return false;
            }
            plan.dest = dest;
        } else if (plan.cmd == kVersion) {
            struct utsname u {};
            if (uname(&u) < 0) {
                perror(nlsSetupStrCvt(MSG_NO_VERSION));
                return readAttributes(in, plan);
            }
            const char *version = in.next();
            if (version == nullptr || !versionHolds(u.release, plan.name.c_str(), version))
                return false;
            const char *next = in.next();
            if (next == nullptr) return false;
            command = next;
            continue;
        }
        return readAttributes(in, plan);
    }
}

// Runs one line; returns 1 when the user chose to quit in a process check.
int runLine(LineReader &in) {
    LinePlan plan;
    bool run = readLine(in, plan);
    if (in.overlong) {
        PutLogMsg("WARNING: package list: a word of %d characters or more, line skipped\n",
                  TOKEN_MAX);
        return 0;
    }
    if (!run) return 0;
    const char *name = plan.name.c_str();
    const char *pkg = pZarvoInstallDir;
    switch (plan.cmd) {
    case kDir:
        SysCmd(ROW_CP_PR, SYSCMD_WARN, "%s/%s/%s %s", pkg, pkgDirName, name, pAppDir);
        break;
    case kDirTo:
        SysCmd(ROW_CP_PR, SYSCMD_WARN, "%s/%s/%s %s", pkg, pkgDirName, name, plan.dest.c_str());
        break;
    case kTouch:
        SysCmd(ROW_TOUCH, SYSCMD_WARN, "%s/%s", pAppDir, name);
        break;
    case kMark:
    case kMarkS:
        if (!exists(name)) return 0;
        break;
    case kNewDir: {
        if (exists(name)) return 0;
        char *dir = SaveStr("%s/%s", pAppDir, name);
        CreateFile(dir, nullptr, "775", nullptr, nullptr);
        PutMem(dir);
        break;
    }
    case kCheckPs:
        if (QuitForRunningProcesses(name)) return 1;
        break;
    case kVersion: // the release could not be read: attributes only
        break;
    default:
        SysCmd(ROW_CP_P, SYSCMD_WARN, "%s/%s/%s %s", pkg, pkgDirName, name, pAppDir);
        break;
    }
    for (const auto &[key, value] : plan.pairs)
        if (key != 0) applyPair(key, value.c_str(), name);
    return 0;
}

} // namespace

int ProcessPkgList(const char *pkgDir) {
    pkgDirName = pkgDir;
    char *path = SaveStr("%s/%s/pkg.list", pZarvoInstallDir, pkgDir);
    snprintf(LineBuf, LINEBUF_SIZE, "%s", path);
    OpenInputFile(path, ERROR_MSG_FATAL);
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
