// The pseudo-terminal driver of the tests (see pty.h).
#include "tests/support/pty.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

bool PtyChild::Expect(const std::string &needle, int ms) {
    for (int waited = 0; seen.find(needle) == std::string::npos; waited += 20) {
        if (waited >= ms || !Pump(20)) return false;
    }
    return true;
}

bool PtyChild::ExpectNext(const std::string &needle, int ms) {
    size_t at;
    for (int waited = 0; (at = seen.find(needle, mark)) == std::string::npos; waited += 20) {
        if (waited >= ms || !Pump(20)) return false;
    }
    last = seen.substr(mark, at + needle.size() - mark);
    mark = at + needle.size();
    return true;
}

bool PtyChild::Pump(int ms) {
    struct pollfd p = {master, POLLIN, 0};
    if (poll(&p, 1, ms) <= 0) return true;
    char buf[512];
    ssize_t n = read(master, buf, sizeof buf);
    if (n <= 0) return false;
    seen.append(buf, (size_t)n);
    return true;
}

void PtyChild::Type(const std::string &text) {
    if (write(master, text.data(), text.size()) != (ssize_t)text.size()) abort();
}

bool PtyChild::WaitEcho(bool on, int ms) {
    for (int waited = 0; waited < ms; waited += 10) {
        struct termios t;
        if (tcgetattr(master, &t) == 0 && ((t.c_lflag & ECHO) != 0) == on) return true;
        Pump(10);
    }
    return false;
}

std::string PtyChild::Report() {
    std::string out;
    char buf[512];
    for (ssize_t n; (n = read(result, buf, sizeof buf)) > 0;)
        out.append(buf, (size_t)n);
    return out;
}

int PtyChild::Wait(int ms) {
    // The terminal is drained all along, so the child never blocks writing to it; a child
    // still running after ms is ended, never waited for forever.
    int status = 0;
    bool reaped = false;
    for (int waited = 0; waited < ms && !reaped; waited += 10) {
        if (!Pump(10)) usleep(10000);
        reaped = waitpid(pid, &status, WNOHANG) == pid;
    }
    if (!reaped) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    close(master);
    close(result);
    master = result = -1;
    pid = -1;
    return status;
}

PtyChild StartOnPty(int rows, int cols, const std::function<void(int)> &body) {
    PtyChild c;
    int pipefd[2];
    if (pipe(pipefd) != 0) abort();
    struct winsize ws = {};
    ws.ws_row = (unsigned short)rows;
    ws.ws_col = (unsigned short)cols;
    fflush(stdout);
    c.pid = forkpty(&c.master, nullptr, nullptr, &ws);
    if (c.pid == 0) {
        close(pipefd[0]);
        body(pipefd[1]);
        fflush(stdout);
        _exit(0);
    }
    close(pipefd[1]);
    c.result = pipefd[0];
    return c;
}

void PtyReport(int fd, const std::string &text) {
    if (write(fd, text.data(), text.size()) != (ssize_t)text.size()) _exit(3);
}
