// Test scaffolding for the command layer: a private directory of fake
// commands, the command table pointed at it and a log of our own. Code that
// exits runs in a child through sandboxFork (tests/support).
#pragma once

#include "tests/support/sandbox.h"
#include "tests/support/scratch.h"
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

// Forgets every row's directory and stops lazy lookups, so nothing of the
// machine's own commands is ever found.
inline void ClearComTable() {
    for (int row = 0; row < COMLIST_ROWS; row++)
        ComList[row].directory = nullptr;
    flInitSysCmd = 0;
    flSysCmdLog = 0;
}

// Command layer over fake commands: <tmp>/bin holds the recording stand-in
// under every name the tests use, and the fake ps, df, du, whoami, lpd and
// sh; every row is pointed there. Commands append what they were called
// with to Record(); logging goes to /tmp/<unique name>.log.
class FakeSystem : public ::testing::Test {
  protected:
    ScratchDir tmp;
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
    std::string Record() const { return readFile(record); }
    std::string Log() const { return readFile(logPath); }
    char *binDir = nullptr;
};

} // namespace fakesys
