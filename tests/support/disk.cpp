// Forked children with a verdict, and tmpfs mounts of a private namespace.
#include "tests/support/disk.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

void RunInChild(const std::function<std::string()> &child) {
    int pipefd[2];
    ASSERT_EQ(pipe(pipefd), 0);
    fflush(nullptr);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        close(pipefd[0]);
        std::string verdict = child();
        if (write(pipefd[1], verdict.data(), verdict.size()) < 0) _exit(3);
        _exit(0);
    }
    close(pipefd[1]);
    std::string verdict;
    char buf[512];
    for (ssize_t n; (n = read(pipefd[0], buf, sizeof buf)) > 0;)
        verdict.append(buf, (size_t)n);
    close(pipefd[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
    if (verdict.rfind("SKIP: ", 0) == 0) GTEST_SKIP() << verdict.substr(6);
    EXPECT_EQ(verdict, "");
}

namespace {

// Writes a file that takes every block left.
void FillUp(const char *name) {
    int fd = open(name, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return;
    static char block[4096];
    while (write(fd, block, sizeof block) > 0) {
    }
    close(fd);
}

} // namespace

void RunOnDisk(const std::string &dir, Disk kind, const std::function<void()> &seed,
               const std::function<std::string()> &body) {
    ASSERT_EQ(mkdir(dir.c_str(), 0777), 0);
    RunInChild([&]() -> std::string {
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr))
            return "SKIP: no private mount namespace (" + std::string(strerror(errno)) + ")";
        const char *size = kind == Disk::Tiny ? "size=64k" : "size=1m";
        if (mount("tmpfs", dir.c_str(), "tmpfs", 0, size) != 0)
            return "SKIP: can't mount a tmpfs (" + std::string(strerror(errno)) + ")";
        if (chdir(dir.c_str()) != 0) return "can't enter the tmpfs";
        if (seed) seed();
        if (kind == Disk::Full) FillUp(".fill");
        if (kind == Disk::ReadOnly &&
            mount(nullptr, dir.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0)
            return "can't make the tmpfs read-only: " + std::string(strerror(errno));
        std::string verdict = body();
        if (chdir("/") != 0) verdict += " (can't leave the tmpfs)";
        umount2(dir.c_str(), MNT_DETACH);
        return verdict;
    });
}

void RunOnTinyDisk(const std::string &dir, const std::function<std::string()> &body) {
    RunOnDisk(dir, Disk::Tiny, nullptr, body);
}
