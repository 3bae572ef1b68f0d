// Test scaffolding for the command layer: a private directory of fake
// commands, the command table pointed at it, a log of our own, and a way to
// run code that exits in a child with its output captured.
#pragma once

#include "toolkit/toolkit.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <ftw.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fakesys {

inline const std::string FakeBin = SOURCE_DIR "/tests/fakebin";

inline std::string ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void WriteFile(const std::string &path, const std::string &text, mode_t mode = 0644) {
    std::ofstream(path, std::ios::binary) << text;
    chmod(path.c_str(), mode);
}

inline bool Exists(const std::string &path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

// A fresh directory under /tmp, removed with everything in it.
struct TempDir {
    std::string path;
    TempDir() {
        char tmpl[] = "/tmp/setuptest.XXXXXX";
        path = mkdtemp(tmpl);
    }
    ~TempDir() {
        nftw(
            path.c_str(),
            [](const char *p, const struct stat *, int, struct FTW *) { return remove(p); }, 16,
            FTW_DEPTH | FTW_PHYS);
    }
    std::string operator/(const std::string &name) const { return path + "/" + name; }
};

// Forgets every row's directory and stops lazy lookups, so nothing of the
// machine's own commands is ever found.
inline void ClearComTable() {
    for (int row = 0; row < COMLIST_ROWS; row++)
        ComList[row].directory = nullptr;
    flInitSysCmd = 0;
    flSysCmdLog = 0;
}

// Output and exit status of code run in a child process.
struct ChildResult {
    int status = -1; // exit status, or -1 when it did not exit normally
    std::string out, err;
};

inline ChildResult RunInChild(const std::function<void()> &code) {
    TempDir dir;
    std::string out = dir / "out", err = dir / "err";
    fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(o, 1);
        dup2(e, 2);
        code();
        fflush(nullptr);
        _exit(99);
    }
    int st = 0;
    waitpid(pid, &st, 0);
    ChildResult r;
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    r.out = ReadFile(out);
    r.err = ReadFile(err);
    return r;
}

// Command layer over fake commands: <tmp>/bin holds the recording stand-in
// under every name the tests use, and the fake ps, df, du, whoami, lpd and
// sh; every row is pointed there. Commands append what they were called
// with to Record(); logging goes to /tmp/<unique name>.log.
class FakeSystem : public ::testing::Test {
  protected:
    TempDir tmp;
    std::string bin = tmp / "bin";
    std::string logName, logPath, record = tmp / "record";
    char *savedName = nullptr;

    void SetUp() override {
        mkdir(bin.c_str(), 0755);
        for (const char *cmd : {"rm", "mv", "cp", "ln", "mkdir", "touch", "chmod", "chown", "chgrp",
                                "cat", "tar", "sed", "echo", "lpc", "cancel", "kill"})
            symlink((FakeBin + "/fakecmd").c_str(), (bin + "/" + cmd).c_str());
        for (const char *cmd : {"ps", "df", "du", "whoami", "lpd", "sh"})
            symlink((FakeBin + "/" + cmd).c_str(), (bin + "/" + cmd).c_str());
        ClearComTable();
        binDir = SaveStr_(bin.c_str());
        FillCmdPaths(binDir);
        static int counter;
        logName = "setuptest_" + std::to_string(getpid()) + "_" + std::to_string(++counter);
        logPath = "/tmp/" + logName + ".log";
        savedName = my_name;
        my_name = const_cast<char *>(logName.c_str());
        flUseLog = 1;
        flSysCmdLog = 1;
        setenv("FAKEBIN_LOG", record.c_str(), 1);
    }
    void TearDown() override {
        unlink(logPath.c_str());
        unsetenv("FAKEBIN_LOG");
        for (const char *v :
             {"FAKE_PS_PROCS", "FAKE_PS_FILE", "FAKE_DF_TABLE", "FAKE_DF_AVAIL", "FAKE_DF_WRAP",
              "FAKE_DU_SIZE", "FAKE_WHOAMI", "FAKE_WHOAMI_FAIL", "FAKE_LPD"})
            unsetenv(v);
        my_name = savedName;
        flUseLog = 0;
        ClearComTable();
        PutMem(binDir);
    }
    std::string Record() const { return ReadFile(record); }
    std::string Log() const { return ReadFile(logPath); }
    char *binDir = nullptr;
};

} // namespace fakesys
