// Test helpers for the menu engine: a scratch directory, standard input fed
// from a text, standard output captured, and translated texts as the engine
// fetches them (so that tests hold whatever the catalogue says).
#pragma once

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "toolkit/nls/nlsstring.h"
#include "toolkit/nls/transconf.h"

namespace menutest {

// A fresh directory under the system's temporary directory, removed at the end.
struct ScratchDir {
    std::string path;
    ScratchDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "menuXXXXXX").string();
        path = mkdtemp(tmpl.data()) ? tmpl : "";
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::string File(const std::string &name) const { return path + "/" + name; }
};

inline std::string Slurp(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void Spit(const std::string &path, const std::string &text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// Feeds `input` to standard input and captures standard output until Output().
class Console {
  public:
    explicit Console(const std::string &input = "") {
        Spit(dir_.File("in"), input);
        if (!freopen(dir_.File("in").c_str(), "r", stdin)) abort();
        fflush(stdout);
        saved_ = dup(STDOUT_FILENO);
        int fd = open(dir_.File("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, STDOUT_FILENO);
        close(fd);
    }
    ~Console() {
        Output();
        if (!freopen("/dev/null", "r", stdin)) abort();
    }
    std::string Output() {
        if (saved_ >= 0) {
            fflush(stdout);
            dup2(saved_, STDOUT_FILENO);
            close(saved_);
            saved_ = -1;
            text_ = Slurp(dir_.File("out"));
        }
        return text_;
    }

  private:
    ScratchDir dir_;
    int saved_ = -1;
    std::string text_;
};

// Text of translated message set/number as the engine fetches it.
inline std::string Msg(int set, int number) {
    std::vector<char> buf(NLS_STRBUF_SIZE + 1, 0);
    NlsFetchString(pDrvCoreDB, buf.data(), NLS_BY_NUMBER, set, number);
    return buf.data();
}

// The same message used as a format.
inline std::string MsgF(int set, int number, ...) {
    std::string format = Msg(set, number);
    char out[4096];
    va_list ap;
    va_start(ap, number);
    vsnprintf(out, sizeof out, format.c_str(), ap);
    va_end(ap);
    return out;
}

// Splits text into lines at "\n" (the last piece included even when empty).
inline std::vector<std::string> Lines(const std::string &text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        lines.push_back(text.substr(start, nl - start));
    lines.push_back(text.substr(start));
    return lines;
}

} // namespace menutest

#include <functional>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>

namespace menutest {

// A child process whose controlling terminal is a fresh pseudo-terminal.
struct PtyChild {
    pid_t pid = -1;
    int master = -1;
    int result = -1;  // read end of a pipe the child may report on
    std::string seen; // everything read from the terminal so far

    // Reads the terminal until `needle` has been seen (or `ms` pass); true when seen.
    bool Expect(const std::string &needle, int ms = 10000) {
        for (int waited = 0; seen.find(needle) == std::string::npos; waited += 20) {
            if (waited >= ms || !Pump(20)) return false;
        }
        return true;
    }
    // Reads what arrives within ms; false once the terminal is closed.
    bool Pump(int ms) {
        struct pollfd p = {master, POLLIN, 0};
        if (poll(&p, 1, ms) <= 0) return true;
        char buf[512];
        ssize_t n = read(master, buf, sizeof buf);
        if (n <= 0) return false;
        seen.append(buf, (size_t)n);
        return true;
    }
    void Type(const std::string &text) {
        if (write(master, text.data(), text.size()) != (ssize_t)text.size()) abort();
    }
    // Waits until the terminal's echo flag is `on` (as the child set it).
    bool WaitEcho(bool on, int ms = 10000) {
        for (int waited = 0; waited < ms; waited += 10) {
            struct termios t;
            if (tcgetattr(master, &t) == 0 && ((t.c_lflag & ECHO) != 0) == on) return true;
            Pump(10);
        }
        return false;
    }
    // The child's report (all it wrote to the pipe) once it has closed it.
    std::string Report() {
        std::string out;
        char buf[512];
        for (ssize_t n; (n = read(result, buf, sizeof buf)) > 0;)
            out.append(buf, (size_t)n);
        return out;
    }
    // Drains the terminal and reaps the child; returns its wait status.
    int Wait() {
        while (Pump(50)) {
            int status;
            if (waitpid(pid, &status, WNOHANG) == pid) return Finish(status);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        return Finish(status);
    }

  private:
    int Finish(int status) {
        close(master);
        close(result);
        return status;
    }
};

// Runs body(report_fd) in a child on a new rows x cols pseudo-terminal.
inline PtyChild StartOnPty(int rows, int cols, const std::function<void(int)> &body) {
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

inline void Report(int fd, const std::string &text) {
    if (write(fd, text.data(), text.size()) != (ssize_t)text.size()) _exit(3);
}

} // namespace menutest
