// Command execution: builds the command line, runs it through the shell with its output
// logged by mode, reports failures, and waits the row's settling time.
#include "toolkit/syscmd/syscmd.h"

#include "toolkit/runtime/logging.h"
#include "toolkit/runtime/memory.h"
#include "toolkit/runtime/shared.h"
#include "toolkit/runtime/tokens.h"
#include "toolkit/syscmd/comtable.h"
#include "toolkit/syscmd/sysquery.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

// Longest line of SysCmdP.
static const size_t kRawLineMax = 511;

// Row number for a (possibly negative, i.e. quiet) index; -1 when out of range.
static int RowOf(int index) {
    int row = index < 0 ? -index : index;
    return row <= LAST_COMMAND_ROW ? row : -1;
}

// Looks the row (and the shell) up while lazy lookup is on, then stops the
// run with status 0 when the command is still missing.
static void RequireCommand(int row, bool needShell) {
    if (flInitSysCmd) {
        if (row >= FIRST_COMMAND_ROW && !ComList[row].directory) FillCmdPath(row);
        if (needShell && !ComList[SHELL_ROW].directory) FillCmdPath(SHELL_ROW);
    }
    if (row < FIRST_COMMAND_ROW) return;
    if (!ComList[row].directory) StopForMissingCommand(row);
    if (needShell && !ComList[SHELL_ROW].directory) StopForMissingCommand(SHELL_ROW);
}

void StopForMissingCommand(int row) {
    bool named = row >= FIRST_COMMAND_ROW && row <= LAST_COMMAND_ROW;
    fflush(stdout);
    fprintf(stderr, "ERROR: unable to locate system command '%s'\n",
            named ? ComList[row].name : "");
    exit(0);
}

static void AppendV(std::string &line, const char *fmt, va_list ap) {
    if (!fmt) return;
    va_list copy;
    va_copy(copy, ap);
    int n = vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    if (n <= 0) return;
    std::string text(n + 1, '\0');
    vsnprintf(text.data(), text.size(), fmt, ap);
    text.resize(n);
    line += text;
}

// Name of the command a line runs: the row's name, else the last component of
// the first word of a raw line.
static std::string CommandName(int row, const std::string &line) {
    if (row >= FIRST_COMMAND_ROW) return ComList[row].name;
    size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos) return "sh";
    size_t end = line.find_first_of(" \t;|&<>", start);
    std::string word = line.substr(start, end == std::string::npos ? end : end - start);
    size_t slash = word.find_last_of('/');
    return slash == std::string::npos ? word : word.substr(slash + 1);
}

// Reports a failed command by its mode: log line in modes 1 and 2, and in
// mode 2 the error on stdout and exit 1.
static void ReportFailure(int mode, const std::string &desc) {
    if (mode != SYSCMD_WARN && mode != SYSCMD_FATAL) return;
    PutLogMsg("%s: %s\n", mode == SYSCMD_FATAL ? "ERROR" : "WARNING_MSG", desc.c_str());
    if (mode == SYSCMD_WARN) return;
    printf("%s: %s\n", "ERROR", desc.c_str());
    fflush(stdout);
    exit(1);
}

// Exit status of a command run by system(): 0, its exit code, 128 + the
// signal that killed it, or the errno of system() itself failing (*sysFailed).
static int CommandStatus(int rc, bool *sysFailed) {
    *sysFailed = false;
    if (rc == -1) {
        *sysFailed = true;
        return errno ? errno : ECHILD;
    }
    if (WIFEXITED(rc)) return WEXITSTATUS(rc);
    if (WIFSIGNALED(rc)) return 128 + WTERMSIG(rc);
    return rc;
}

static std::string FailureText(const std::string &name, int status, bool sysFailed) {
    if (sysFailed) return strerror(status);
    return name + ": exit status " + std::to_string(status);
}

// Settling time of the row after its command ran.
static void SettleAfter(int row) {
    int wait = row >= FIRST_COMMAND_ROW ? ComList[row].wait : 0;
    if (wait > 0) WaitSeconds(wait);
    if (wait != -1) return;
    for (int tries = 0; tries <= 10; tries++) {
        if (tries) WaitSeconds(1);
        char *ids = GetSysPsIdList(ComList[row].name);
        if (ids) {
            PutMem(ids);
            return;
        }
    }
    PutLogMsg("ERROR: Time out for command %s\n", ComList[row].name);
}

// Redirection of the command's output by mode (empty: none). The output
// goes to the log only when the log is a plain file of our own: the shell's
// ">>" would follow a link planted over it and append to whatever it names.
static std::string Redirection(int mode, bool quiet) {
    if (mode == SYSCMD_QUIET) return " 1>/dev/null 2>/dev/null";
    if ((mode != SYSCMD_WARN && mode != SYSCMD_FATAL) || quiet) return "";
    if (!flUseLog || !my_name || !LogFileReady()) return " 1>>/dev/null 2>>/dev/null";
    return std::string(" 1>>/tmp/") + my_name + ".log 2>>/tmp/" + my_name + ".log";
}

int SysCmd(int index, int mode, const char *fmt, ...) {
    bool quiet = index <= 0;
    int row = RowOf(index);
    if (row < 0) {
        ReportFailure(mode, "no command row " + std::to_string(index));
        return EINVAL;
    }
    RequireCommand(row, true);
    std::string line;
    if (row >= FIRST_COMMAND_ROW) {
        const ComListEntry &sh = ComList[SHELL_ROW], &c = ComList[row];
        line = std::string(sh.directory) + "/" + sh.name + " -c \"" + c.directory + "/" + c.name +
               " " + c.flags + " ";
    }
    va_list ap;
    va_start(ap, fmt);
    AppendV(line, fmt, ap);
    va_end(ap);
    std::string tail = Redirection(mode, quiet) + (row >= FIRST_COMMAND_ROW ? "\"" : "");
    std::string name = CommandName(row, line);
    if (line.size() + tail.size() > SYSCMD_MAX_LINE) {
        ReportFailure(mode, name + ": command line too long (" +
                                std::to_string(line.size() + tail.size()) + " characters)");
        return E2BIG;
    }
    bool logged = !quiet && flSysCmdLog && (mode == SYSCMD_WARN || mode == SYSCMD_FATAL);
    if (logged) {
        printf(".");
        fflush(stdout);
        PutLogMsg("%s\n", line.c_str());
    }
    fflush(nullptr);
    bool sysFailed;
    int status = CommandStatus(system((line + tail).c_str()), &sysFailed);
    if (status) ReportFailure(mode, FailureText(name, status, sysFailed));
    SettleAfter(row);
    return status;
}

// Starts the command of a response function; null when it cannot be started
// or its line is over-long.
static FILE *OpenResponse(int index, const char *fmt, va_list ap) {
    int row = RowOf(index);
    if (row < 0) return nullptr;
    RequireCommand(row, false);
    std::string line;
    if (row >= FIRST_COMMAND_ROW) {
        const ComListEntry &c = ComList[row];
        line = std::string(c.directory) + "/" + c.name + " " + c.flags + " ";
    }
    AppendV(line, fmt, ap);
    if (line.size() > SYSCMD_MAX_LINE) {
        fprintf(stderr, "ERROR: %s: command line too long (%zu characters)\n",
                CommandName(row, line).c_str(), line.size());
        return nullptr;
    }
    fflush(nullptr);
    return popen(line.c_str(), "r");
}

// Reads the next piece of output (a line of up to 4095 characters) that
// contains filter; false at the end.
static bool NextResponseLine(FILE *p, const char *filter, char *buf, int size) {
    while (fgets(buf, size, p)) {
        if (!filter || !*filter || strstr(buf, filter)) return true;
    }
    return false;
}

CmdResponse *GetCmdResponse(int index, const char *filter, const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    FILE *p = OpenResponse(index, fmt, ap);
    va_end(ap);
    if (!p) return nullptr;
    CmdResponse *head = nullptr, **tail = &head;
    char buf[SYSCMD_MAX_LINE + 1];
    while (NextResponseLine(p, filter, buf, sizeof buf)) {
        int len = (int)strlen(buf);
        auto *r = reinterpret_cast<CmdResponse *>(GetMem((int)sizeof(CmdResponse) + len));
        if (!r) continue;
        r->pStr = reinterpret_cast<char *>(r + 1);
        memcpy(r->pStr, buf, len + 1);
        *tail = r;
        tail = &r->pNext;
    }
    pclose(p);
    return head;
}

char *GetCmdResponseStr(int index, const char *filter, const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    FILE *p = OpenResponse(index, fmt, ap);
    va_end(ap);
    if (!p) return nullptr;
    char *text = nullptr;
    int used = 0;
    char buf[SYSCMD_MAX_LINE + 1];
    while (NextResponseLine(p, filter, buf, sizeof buf)) {
        int len = (int)strlen(buf);
        char *grown = AdjustMem(text, used + len + 2);
        if (!grown) continue;
        text = grown;
        memcpy(text + used, buf, len);
        used += len;
        if (text[used - 1] != '\n') text[used++] = '\n';
        text[used] = '\0';
    }
    pclose(p);
    return text;
}

CmdResponse *FreeResponseList(CmdResponse *list) {
    while (list) {
        CmdResponse *next = list->pNext;
        PutMem(list);
        list = next;
    }
    return nullptr;
}

int SysCmdP(int mode, const char *fmt, ...) {
    std::string line;
    va_list ap;
    va_start(ap, fmt);
    AppendV(line, fmt, ap);
    va_end(ap);
    bool loud = mode == SYSCMD_WARN || mode == SYSCMD_FATAL;
    const char *prefix = mode == SYSCMD_FATAL ? "ERROR" : "WARNING_MSG";
    std::string name = CommandName(0, line);
    if (line.size() > kRawLineMax) {
        if (loud) fprintf(stderr, "%s: %s: command line too long\n", prefix, name.c_str());
        if (mode == SYSCMD_FATAL) exit(1);
        WaitSeconds(1);
        return E2BIG;
    }
    if (loud) printf("%s\n", line.c_str());
    fflush(nullptr);
    bool sysFailed;
    int status = CommandStatus(system(line.c_str()), &sysFailed);
    if (loud && status) {
        fprintf(stderr, "%s: %s\n", prefix, FailureText(name, status, sysFailed).c_str());
        if (mode == SYSCMD_FATAL) exit(1);
    }
    WaitSeconds(1);
    return status;
}
