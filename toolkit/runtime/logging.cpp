// Logging and error reporting: the log /tmp/<my_name>.log is opened without following
// links and only written when it is a plain file of our own or root's.
#include "toolkit/runtime/logging.h"

#include "toolkit/runtime/memory.h"
#include "toolkit/runtime/tmpfile.h"

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

static char LogDir[] = "/tmp";
char *pLogPath = nullptr;
FILE *pLog = nullptr;

// Path of the log whose first message has been written; a new my_name starts
// a new run of the log.
static std::string LoggedPath;
// Path of the log whose first message was attempted: later messages append,
// also when that first one was lost.
static std::string StartedPath;

// The log path for my_name, or "" when there is no name or it is over-long.
static std::string LogFilePath() {
    if (!my_name) return "";
    char path[4096];
    int n = snprintf(path, sizeof path, "%s/%s.log", pLogPath, my_name);
    if (n < 0 || n >= (int)sizeof path) return "";
    return path;
}

// Opens the log (created with mode 666 when missing) as a file we may write
// and hand to commands (tmpfile.h): another user could at any moment swap a
// file of theirs for a link, which a command's ">>" redirection would follow.
// Truncates when trunc; -1 when the log cannot be used.
static int OpenLogFd(const char *path, bool trunc) {
    int fd = OpenOwnTmpFile(path, O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) return -1;
    if (trunc && ftruncate(fd, 0) != 0) {
        close(fd);
        return -1;
    }
    fcntl(fd, F_SETFL, O_WRONLY | (trunc ? 0 : O_APPEND));
    if (!trunc) lseek(fd, 0, SEEK_END);
    return fd;
}

char LogFileReady() {
    if (!flUseLog) return 0;
    pLogPath = LogDir;
    std::string path = LogFilePath();
    if (path.empty()) return 0;
    if (LoggedPath != path) ClearTmpPath(path.c_str());
    int fd = OpenLogFd(path.c_str(), false);
    if (fd < 0) return 0;
    close(fd);
    return 1;
}

void PutLogMsg(const char *fmt, ...) {
    if (!flUseLog) return;
    pLogPath = LogDir;
    std::string path = LogFilePath();
    // Until a message got through, whatever stands at the path is made safe
    // again; only the run's very first message truncates.
    if (LoggedPath != path) ClearTmpPath(path.c_str());
    bool first = StartedPath != path;
    StartedPath = path;
    int fd = path.empty() ? -1 : OpenLogFd(path.c_str(), first);
    pLog = fd < 0 ? nullptr : fdopen(fd, first ? "w" : "a");
    if (!pLog) {
        if (fd >= 0) close(fd);
        fprintf(stderr, "ERROR: couldn't open %s/%s.log\n", pLogPath, my_name ? my_name : "");
        return;
    }
    LoggedPath = path;
    va_list ap;
    va_start(ap, fmt);
    vfprintf(pLog, fmt, ap);
    va_end(ap);
    fclose(pLog);
    pLog = nullptr;
}

void SysError(const char *fmt, ...) {
    int err = errno;
    fflush(stdout);
    fprintf(stderr, "\n%s: ", my_name ? my_name : "");
    va_list ap;
    va_start(ap, fmt);
    vfprintf(stderr, fmt, ap);
    va_end(ap);
    fprintf(stderr, " : %s\n", strerror(err));
    exit(1);
}

void ErrorMsg(int kind, int status, const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(Line, sizeof Line, fmt, ap);
    va_end(ap);
    if (kind == 1) {
        fprintf(stderr, "WARNING: %s\n", Line);
    } else if (kind == 2) {
        fflush(stdout);
        fprintf(stderr, "ERROR: %s\n", Line);
        exit(status);
    }
}

void errormsg(const char *fmt, ...) {
    fprintf(stderr, "%s: ", my_name ? my_name : "");
    va_list ap;
    va_start(ap, fmt);
    vfprintf(stderr, fmt, ap);
    va_end(ap);
    fputc('\n', stderr);
}

void exit_app(int status) {
    exit(status);
}

char CreateTextFile(const char *path, const char *mode, int perm, const char *fmt, ...) {
    FILE *f = path && mode ? fopen(path, mode) : nullptr;
    if (!f) {
        fprintf(stderr, "ERROR: couldn't open %s\n", path ? path : "");
        return 0;
    }
    va_list ap;
    va_start(ap, fmt);
    int written = vfprintf(f, fmt, ap);
    va_end(ap);
    bool ok = written >= 0;
    if (perm && fchmod(fileno(f), perm) != 0) ok = false;
    if (fclose(f) != 0) ok = false;
    return ok ? 1 : 0;
}

char *GetEnv(const char *name) {
    const char *value = name ? getenv(name) : nullptr;
    return value ? SaveStr_(value) : nullptr;
}
