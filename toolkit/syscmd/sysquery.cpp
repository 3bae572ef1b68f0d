// System queries answered by running commands and reading their output: processes,
// disk space, the user, the host and which print subsystem is installed.
#include "toolkit/syscmd/sysquery.h"

#include "toolkit/runtime/files.h"
#include "toolkit/runtime/memory.h"
#include "toolkit/runtime/shared.h"
#include "toolkit/runtime/tokens.h"
#include "toolkit/syscmd/comtable.h"
#include "toolkit/syscmd/syscmd.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

// Rows of the commands asked.

// Longest process report and name list of CheckProcTableForExecs.
static const size_t kReportMax = 1023;

// A path as one shell word: unchanged when it holds only safe characters,
// else single-quoted.
static std::string ShellWord(const char *path) {
    std::string_view p = path ? path : "";
    if (!p.empty() && p.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                          "0123456789/._+-,:@%=") == std::string_view::npos)
        return std::string(p);
    std::string word = "'";
    for (char c : p)
        word += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return word + "'";
}

// Fields of a line split at blanks, tabs and newlines.
static std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> out;
    size_t pos = 0;
    while ((pos = line.find_first_not_of(" \t\n", pos)) != std::string_view::npos) {
        size_t end = line.find_first_of(" \t\n", pos);
        if (end == std::string_view::npos) end = line.size();
        out.push_back(line.substr(pos, end - pos));
        pos = end;
    }
    return out;
}

char *GetSysPsIdList(const char *name) {
    if (!name) return nullptr;
    CmdResponse *list = GetCmdResponse(ROW_PS, name, "%s", "");
    size_t used = 0;
    Line[0] = '\0';
    for (CmdResponse *r = list; r; r = r->pNext) {
        char *cmd = GetTokenN(r->pStr, " \t\n", 6);
        if (!cmd || strcmp(cmd, name) != 0) continue;
        char *id = GetTokenN(r->pStr, " \t\n", 1);
        int n = snprintf(Line + used, sizeof Line - used, " %s", id);
        if (n < 0 || used + n + 2 > sizeof Line) break;
        used += n;
    }
    FreeResponseList(list);
    if (!used) return nullptr;
    Line[used++] = ' ';
    Line[used] = '\0';
    return SaveStr_(Line);
}

char *CheckProcTableForExecs(const char *names) {
    if (!names) return nullptr;
    std::string copy = names;
    std::string report;
    char *save = nullptr;
    for (char *n = strtok_r(copy.data(), ",", &save); n; n = strtok_r(nullptr, ",", &save)) {
        char *ids = GetSysPsIdList(n);
        if (!ids) continue;
        std::string entry = std::string(n) + " (" + ids + ")\n";
        PutMem(ids);
        if (report.size() + entry.size() > kReportMax) break;
        report += entry;
    }
    return report.empty() ? nullptr : SaveStr_(report.c_str());
}

int KillProcessByName(const char *name) {
    char *ids = GetSysPsIdList(name);
    int killed = 0;
    for (char *p = ids; p && *p;) {
        char *end;
        long pid = strtol(p, &end, 10);
        if (end == p) break;
        p = end;
        if (pid <= 0) continue;
        if (kill((pid_t)pid, SIGKILL) == 0)
            killed++;
        else if (errno == EPERM)
            break;
    }
    PutMem(ids);
    WaitSeconds(1);
    return killed;
}

char GetDiskSpace(const char *path, DiskSpace *rec) {
    if (!rec) return 0;
    rec->Avail = 0;
    CmdResponse *list = GetCmdResponse(ROW_DF, nullptr, "%s", ShellWord(path).c_str());
    char found = 0;
    if (list && list->pNext) {
        std::vector<std::string_view> head = Fields(list->pStr);
        size_t col = 0;
        while (col < head.size() && strncasecmp(head[col].data(), "avail", 5) != 0)
            col++;
        const char *data = list->pNext->pStr;
        std::vector<std::string_view> cells = Fields(data);
        if (col < head.size()) {
            snprintf(rec->Text, sizeof rec->Text, "%s", data);
            if (col < cells.size()) {
                rec->Avail = strtod(std::string(cells[col]).c_str(), nullptr);
                found = 1;
            }
        }
    }
    FreeResponseList(list);
    return found;
}

double DUPath(const char *path) {
    CmdResponse *list = GetCmdResponse(ROW_DU, nullptr, "%s", ShellWord(path).c_str());
    double used = list ? strtod(list->pStr, nullptr) : 0;
    FreeResponseList(list);
    return used;
}

char AvailSpace(const char *dir, const char *name, double need) {
    if (!dir || !*dir) return 0;
    DiskSpace ds;
    if (name && *name && FindFile(dir, name)) {
        double avail = GetDiskSpace(dir, &ds) ? ds.Avail : 0;
        std::string sub = std::string(dir) + "/" + name;
        return avail + DUPath(sub.c_str()) >= need;
    }
    std::string cur = dir;
    while (!GetDiskSpace(cur.c_str(), &ds)) {
        std::string parent = StripFn(cur.c_str());
        // "/" and "." are their own parents: df has no figure at all.
        if (parent == cur || cur == "/" || cur == ".") return 0;
        cur = parent;
    }
    return ds.Avail >= need;
}

// A saved copy of text cut at its first newline or carriage return.
static char *SaveFirstLine(char *text) {
    text[strcspn(text, "\r\n")] = '\0';
    return SaveStr_(text);
}

char *GetUserName() {
    char *cmd = GetCmd(ROW_WHOAMI);
    if (!cmd) {
        uid_t uid = getuid();
        return uid == 0 ? SaveStr_("root") : SaveStr("User ID:  %d", (int)uid);
    }
    fflush(nullptr);
    FILE *p = popen(cmd, "r");
    PutMem(cmd);
    if (!p) return nullptr;
    char buf[256];
    char *line = fgets(buf, sizeof buf, p);
    pclose(p);
    return line ? SaveFirstLine(buf) : nullptr;
}

char *GetHostname() {
    char buf[256];
    if (gethostname(buf, sizeof buf) != 0) return nullptr;
    buf[sizeof buf - 1] = '\0';
    return SaveFirstLine(buf);
}

char SniffLprng() {
    if (!TestCmd(ROW_LPD)) return 0;
    CmdResponse *list = GetCmdResponse(ROW_LPD, "LPRng", " -V 2>&1");
    char found = list ? 1 : 0;
    FreeResponseList(list);
    return found;
}

char SniffCUPS() {
    char *report = CheckProcTableForExecs("cupsd");
    PutMem(report);
    return report ? 1 : 0;
}

void SysGetSubnetMask() {}
