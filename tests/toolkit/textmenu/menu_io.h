// Test helpers for the menu engine: standard input fed from a text, standard
// output captured, and translated texts as the engine fetches them (so that
// tests hold whatever the catalogue says). Scratch directories and the
// pseudo-terminal driver come from tests/support.
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

#include "tests/support/pty.h"
#include "tests/support/scratch.h"
#include "toolkit/nls/nlsstring.h"
#include "toolkit/nls/transconf.h"

namespace menutest {

// Feeds `input` to standard input and captures standard output until Output().
class Console {
  public:
    explicit Console(const std::string &input = "") {
        writeFile((dir_ / "in"), input);
        if (!freopen((dir_ / "in").c_str(), "r", stdin)) abort();
        fflush(stdout);
        saved_ = dup(STDOUT_FILENO);
        int fd = open((dir_ / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
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
            text_ = readFile((dir_ / "out"));
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
