// Throw-away directories, small file helpers and one-off shell runs for the tests.
#include "tests/support/scratch.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

ScratchDir::ScratchDir(const std::string &prefix) {
    const char *tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + prefix + "XXXXXX";
    char *made = mkdtemp(pattern.data());
    path = made ? made : "";
}

ScratchDir::~ScratchDir() {
    if (path.empty()) return;
    std::error_code ec;
    fs::remove_all(path, ec);
}

std::string ScratchDir::operator/(const std::string &rel) const {
    return path + "/" + rel;
}

void writeFile(const std::string &path, const std::string &text, unsigned mode) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    chmod(path.c_str(), mode);
}

std::string readFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void makeDirs(const std::string &path, unsigned mode) {
    fs::create_directories(path);
    chmod(path.c_str(), mode);
}

int fileMode(const std::string &path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) return -1;
    return st.st_mode & 07777;
}

bool pathExists(const std::string &path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

std::string shQuote(const std::string &word) {
    std::string q = "'";
    for (char c : word)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

int runShell(const ShellRun &run, std::string *out) {
    char inPath[] = "/tmp/shellin.XXXXXX";
    int fd = mkstemp(inPath);
    if (fd < 0) return -1;
    if (write(fd, run.input.data(), run.input.size()) != (ssize_t)run.input.size()) {
        close(fd);
        unlink(inPath);
        return -1;
    }
    close(fd);
    std::string line = "cd " + shQuote(run.cwd) + " && exec /usr/bin/env -i";
    bool hasPath = false;
    for (const std::string &e : run.env) {
        line += " " + shQuote(e);
        hasPath = hasPath || e.rfind("PATH=", 0) == 0;
    }
    if (!hasPath) line += " PATH=/usr/bin:/bin";
    line += " /bin/sh " + shQuote(run.script);
    for (const std::string &a : run.args)
        line += " " + shQuote(a);
    line += std::string(" <") + inPath + " 2>&1";
    FILE *p = popen(line.c_str(), "r");
    int status = -1;
    if (p != nullptr) {
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0)
            if (out) out->append(buf, n);
        int ws = pclose(p);
        status = WIFEXITED(ws) ? WEXITSTATUS(ws) : -1;
    }
    unlink(inPath);
    return status;
}
