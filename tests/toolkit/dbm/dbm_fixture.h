// Shared setup of the record database tests: a private tool directory that is also the current
// directory, byte-level file helpers, and a child process with a tiny file system of its own.
#pragma once

#include "toolkit/dbm/dbm.h"
#include "toolkit/dbm/dbt.h"
#include "toolkit/runtime/shared.h"
#include "tests/support/disk.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <ftw.h>
#include <functional>
#include <iterator>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using Bytes = std::vector<unsigned char>;

inline Bytes ReadBytes(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

inline void WriteBytes(const std::string &path, const Bytes &bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), (std::streamsize)bytes.size());
}

inline bool Exists(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes &p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// Seconds the code under test asked to wait since the test began (the waits are not made).
inline unsigned waitedSeconds = 0;

// Fresh tool directory <tmp>/ with <tmp>/db, made the current directory for the test. The
// 1-second retries of a database that cannot be opened are counted, not waited.
class DbDir : public testing::Test {
  protected:
    void SetUp() override {
        waitedSeconds = 0;
        pWaitHook = [](unsigned seconds) { waitedSeconds += seconds; };
        char tmpl[] = "/tmp/dbmtestXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root = tmpl;
        ASSERT_EQ(mkdir((root + "/db").c_str(), 0777), 0);
        ASSERT_NE(getcwd(oldCwd, sizeof oldCwd), nullptr);
        ASSERT_EQ(chdir(root.c_str()), 0);
        savedTool = pToolPath;
        pToolPath = const_cast<char *>(root.c_str());
        DbmV4DriverPathHandling = 0;
    }
    void TearDown() override {
        pWaitHook = nullptr;
        pToolPath = savedTool;
        DbmV4DriverPathHandling = 0;
        if (chdir(oldCwd) != 0) ADD_FAILURE() << "chdir back failed";
        nftw(
            root.c_str(),
            [](const char *p, const struct stat *, int, struct FTW *) { return remove(p); }, 16,
            FTW_DEPTH | FTW_PHYS);
    }
    std::string Db(const std::string &name) const { return root + "/db/" + name + ".odb"; }

    std::string root;
    char oldCwd[4096];
    char *savedTool = nullptr;
};

// Runs fn with standard error captured into the returned text (usable in a forked child).
inline std::string CaptureStderr(const std::function<void()> &fn) {
    fflush(stderr);
    char tmpl[] = "/tmp/dbmerrXXXXXX";
    int fd = mkstemp(tmpl);
    int saved = dup(2);
    dup2(fd, 2);
    fn();
    fflush(stderr);
    dup2(saved, 2);
    close(saved);
    close(fd);
    Bytes text = ReadBytes(tmpl);
    unlink(tmpl);
    return std::string(text.begin(), text.end());
}

// Runs body in a child process that can't read the files of the test (the nobody user when the
// test runs as root); body returns the child's verdict (an empty text for success). Skips the
// test when the user can't be changed.
inline void RunUnprivileged(const std::function<std::string()> &body) {
    RunInChild([&]() -> std::string {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            return "SKIP: can't become another user (" + std::string(strerror(errno)) + ")";
        return body();
    });
}

// Makes the database file at path unreadable while its directories stay open to everyone.
inline void LockAway(const std::string &root, const std::string &path) {
    ASSERT_EQ(chmod(root.c_str(), 0777), 0);
    ASSERT_EQ(chmod((root + "/db").c_str(), 0777), 0);
    ASSERT_EQ(chmod(path.c_str(), 0), 0);
}
