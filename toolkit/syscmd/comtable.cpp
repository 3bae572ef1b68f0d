// Command table: the system commands by row (the row numbers are the interface) and
// the search of each command in the standard directories and the PATH.
#include "toolkit/syscmd/comtable.h"

#include "toolkit/runtime/files.h"
#include "toolkit/runtime/logging.h"
#include "toolkit/runtime/memory.h"
#include "toolkit/runtime/tokens.h"

#include <cstdlib>

#define ROW(name, flags, wait)                                                                     \
    { const_cast<char *>(name), const_cast<char *>(flags), nullptr, wait }

// Row numbers are part of the interface: each row stands at the number its
// ComRow name gives it.
ComListEntry ComList[COMLIST_ROWS] = {
    ROW("", "", 0),
    ROW("", "", 0),
    ROW("cancel", "", 2),
    ROW("cat", "", 0),
    ROW("chgrp", "", 0),
    ROW("chmod", "", 0),
    ROW("chown", "", 0),
    ROW("clear", "", 0),
    ROW("compress", "", 0),
    ROW("cp", "-p", 0),
    ROW("cp", "-pr", 0),
    ROW("cupsd", "", 0),
    ROW("id", "", 0),
    ROW("echo", "", 0),
    ROW("eject", "-f", 1),
    ROW("eject", "-q", 1),
    ROW("file", "", 0),
    ROW("ln", "", 0),
    ROW("lp", "", 0),
    ROW("lpc", "", 1),
    ROW("lpr", "", 0),
    ROW("lprm", "", 1),
    ROW("lpstat", "", 1),
    ROW("ls", "", 0),
    ROW("kill", "-KILL", 0),
    ROW("mv", "-f", 0),
    ROW("mkdir", "-p", 0),
    ROW("more", "", 0),
    ROW("ping", "", 0),
    ROW("rm", "-f", 0),
    ROW("rm", "-rf", 0),
    ROW("sh", "", 0),
    ROW("sleep", "", 0),
    ROW("tar", "cvfp", 0),
    ROW("tar", "xvfp", 0),
    ROW("touch", "", 0),
    ROW("uncompress", "", 0),
    ROW("whoami", "", 0),
    ROW("zcat", "", 0),
    ROW("uname", "", 0),
    ROW("sed", "", 0),
    ROW("du", "-s", 0),
    ROW("checkpc", "", 0),
    ROW("lpd", "", 0),
    ROW("pkgadd", "", 1),
    ROW("pkginfo", "", 0),
    ROW("pkgrm", "", 1),
    ROW("accept", "", 1),
    ROW("disable", "", 1),
    ROW("cupsdisable", "", 1),
    ROW("enable", "", 1),
    ROW("cupsenable", "", 1),
    ROW("lpadmin", "", 1),
    ROW("lpfilter", "", 1),
    ROW("lpsched", "", 1),
    ROW("lpshut", "", 1),
    ROW("lpsystem", "", 1),
    ROW("ps", "-ace", 0),
    ROW("bar", "", 0),
    ROW("df", "", 0),
    ROW("lpq", "-P", 0),
    ROW("ypcat", "", 0),
    ROW("reject", "", 1),
    ROW("pmadm", "", 1),
    ROW("sacadm", "", 1),
    ROW("volcheck", "", 0),
    ROW("capture", "", 0),
    ROW("lpset", "", 1),
    ROW("instnetpr", "", 1),
    ROW("piomkpq", "", 0),
    ROW("piomisc_ext", "", 0),
    ROW("piomisc_base", "", 0),
    ROW("lsallq", "", 0),
    ROW("mkque", "", 0),
    ROW("mkquedev", "", 0),
    ROW("rmque", "", 0),
    ROW("rmquedev", "", 0),
    ROW("piochdfq", "", 0),
    ROW("enq", "", 0),
    ROW("lsquedev", "", 0),
    ROW("lsque", "", 0),
    ROW("startsrc", "", 1),
    ROW("stopsrc", "", 0),
    ROW("lssrc", "", 0),
    {nullptr, nullptr, nullptr, 0},
};

char SearchPaths[256] = "/usr/sbin:/usr/bin:/bin:/sbin:/etc:/usr/etc";
char *FullSearchPath = nullptr;
char flInitSysCmd = 1;
char flSysCmdLog = 0;

static bool IsCommandRow(int row) {
    return row >= FIRST_COMMAND_ROW && row <= LAST_COMMAND_ROW;
}

static void MakeFullSearchPath() {
    const char *path = getenv("PATH");
    PutMem(FullSearchPath);
    FullSearchPath = SaveStr("%s:%s", SearchPaths, path ? path : "");
}

// Gives the missing rows the directories of list (cut in place) in order;
// returns 0 as soon as every row has one, leaving the rest of the list uncut.
static char FillFromList(char *list) {
    for (char *dir = GetTokenParse(list, ":"); dir; dir = GetTokenParse(nullptr, ":"))
        if (!FillCmdPaths(dir)) return 0;
    return 1;
}

void InitSysCmdList() {
    flInitSysCmd = 0;
    char *path = GetEnv("PATH");
    PutMem(FullSearchPath);
    FullSearchPath = SaveStr("%s:%s", SearchPaths, path ? path : "");
    if (FillFromList(SearchPaths) && path) FillFromList(path);
    // A missing sh leaves SHELL alone: every command then stops the run with
    // the missing-command message, naming sh.
    if (ComList[SHELL_ROW].directory)
        putenv(SaveStr("SHELL=%s/%s ", ComList[SHELL_ROW].directory, ComList[SHELL_ROW].name));
    if (flUseLog) {
        flSysCmdLog = 1;
        PutLogMsg("initializing system\n");
    }
}

char FillCmdPaths(const char *dir) {
    char *list = GetDirFileList(dir);
    if (!list) return 1;
    char missing = 0;
    for (int row = FIRST_COMMAND_ROW; ComList[row].name && *ComList[row].name; row++) {
        if (ComList[row].directory) continue;
        if (FindToken(ComList[row].name, list))
            ComList[row].directory = const_cast<char *>(dir);
        else
            missing = 1;
    }
    PutMem(list);
    return missing;
}

char FillCmdPath(int row) {
    if (!IsCommandRow(row)) return 0;
    if (!FullSearchPath) MakeFullSearchPath();
    for (char *dir = GetToken(FullSearchPath, ":"); dir; dir = GetToken(nullptr, ":")) {
        if (FindFile(dir, ComList[row].name)) {
            ComList[row].directory = SaveStr_(dir);
            return 1;
        }
    }
    return 0;
}

char TestCmd(int row) {
    if (!IsCommandRow(row)) return 0;
    if (flInitSysCmd && !ComList[row].directory) FillCmdPath(row);
    return ComList[row].directory ? 1 : 0;
}

char *GetCmd(int row) {
    if (!TestCmd(row)) return nullptr;
    const ComListEntry &c = ComList[row];
    return SaveStr("%s/%s %s", c.directory, c.name, c.flags);
}

char *GetCmdNoFlags(int row) {
    if (!TestCmd(row)) return nullptr;
    const ComListEntry &c = ComList[row];
    return SaveStr("%s/%s", c.directory, c.name);
}
