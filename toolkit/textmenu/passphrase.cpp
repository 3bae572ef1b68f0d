// Pass-phrase input on the controlling terminal, with echo off.
#include "toolkit/textmenu/passphrase.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/select.h>
#include <termios.h>
#include <unistd.h>

#include "toolkit/runtime/memory.h"

int PassPhraseTimeout = 60;

namespace {

// Longest answer kept (characters).
constexpr int kAnswerMax = 256;
char buf[kAnswerMax + 1];
volatile sig_atomic_t signo = 0;

const int kSignals[] = {SIGINT, SIGHUP, SIGQUIT, SIGTERM, SIGTSTP, SIGTTIN, SIGTTOU};
constexpr int kSignalCount = sizeof kSignals / sizeof kSignals[0];

// The terminal (or descriptors 0 and 2) and what was changed on it.
struct Tty {
    int in = 0, out = 2;
    struct termios found = {}, used = {};
    struct sigaction old[kSignalCount] = {};
};

void Open(Tty *t) {
    int fd = open("/dev/tty", O_RDWR | O_NOCTTY);
    if (fd >= 0) t->in = t->out = fd;
}

void Write(int fd, const char *text) {
    size_t n = strlen(text);
    while (n > 0) {
        ssize_t w = write(fd, text, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return;
        text += w, n -= (size_t)w;
    }
}

void CatchSignals(Tty *t) {
    struct sigaction sa = {};
    sa.sa_handler = handler;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;
    for (int i = 0; i < kSignalCount; i++)
        sigaction(kSignals[i], &sa, &t->old[i]);
}

void EchoOff(Tty *t) {
    if (tcgetattr(t->in, &t->found) != 0) {
        memset(&t->found, 0, sizeof t->found);
        memset(&t->used, 0, sizeof t->used);
        return;
    }
    t->used = t->found;
    t->used.c_lflag &= ~(tcflag_t)(ECHO | ECHONL);
    tcsetattr(t->in, TCSAFLUSH, &t->used);
}

double Now() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec + (double)ts.tv_nsec / 1e9;
}

// Waits for the descriptor within what is left of the time allowed, with
// the signal mask `during` in force while waiting.
bool Readable(int fd, double deadline, const sigset_t *during) {
    for (;;) {
        double left = deadline - Now();
        if (left <= 0) return false;
        fd_set set;
        FD_ZERO(&set);
        FD_SET(fd, &set);
        struct timespec ts = {(time_t)left, (long)((left - (double)(time_t)left) * 1e9)};
        int r = pselect(fd + 1, &set, nullptr, nullptr, &ts, during);
        if (r < 0 && errno == EAGAIN) continue;
        return r > 0;
    }
}

// Reads one line, up to the time-out or a caught signal. The caught signals
// stay blocked except inside the wait: a signal that came while a character
// was being read would otherwise be missed, and the wait would last until
// the time-out.
void ReadAnswer(int fd) {
    sigset_t caught, before;
    sigemptyset(&caught);
    for (int sig : kSignals)
        sigaddset(&caught, sig);
    sigprocmask(SIG_BLOCK, &caught, &before);
    double deadline = Now() + PassPhraseTimeout;
    int n = 0;
    while (n < kAnswerMax && !signo && Readable(fd, deadline, &before)) {
        char c;
        if (read(fd, &c, 1) != 1 || c == '\n' || c == '\r') break;
        buf[n++] = c;
    }
    buf[n] = '\0';
    sigprocmask(SIG_SETMASK, &before, nullptr);
}

void Restore(Tty *t) {
    if (!(t->used.c_lflag & ECHO)) Write(t->out, "\n");
    if (memcmp(&t->used, &t->found, sizeof t->used) != 0) tcsetattr(t->in, TCSAFLUSH, &t->found);
    for (int i = 0; i < kSignalCount; i++)
        sigaction(kSignals[i], &t->old[i], nullptr);
    if (t->in != 0) close(t->in);
}

bool IsStop(int sig) {
    return sig == SIGTSTP || sig == SIGTTIN || sig == SIGTTOU;
}

} // namespace

void handler(int sig) {
    signo = sig;
}

char *GetPassPhrase(const char *prompt) {
    int saved_errno;
    for (;;) {
        Tty t;
        signo = 0;
        Open(&t);
        Write(t.out, prompt ? prompt : "");
        CatchSignals(&t);
        EchoOff(&t);
        ReadAnswer(t.in);
        saved_errno = errno;
        Restore(&t);
        int sig = signo;
        if (!sig) break;
        kill(getpid(), sig);
        if (!IsStop(sig)) break;
        signo = 0;
    }
    errno = saved_errno;
    return SaveStr("%s", buf);
}
