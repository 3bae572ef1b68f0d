// Files in world-writable directories: the check runs on the entry itself
// (lstat, or fstat of what was opened without following a link), so a name
// swapped for a link between check and use is never written through.
#include "toolkit/runtime/tmpfile.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

char IsOwnTmpEntry(const struct stat *st, char dir) {
    bool kind = dir ? S_ISDIR(st->st_mode) : S_ISREG(st->st_mode) && st->st_nlink == 1;
    return kind && (st->st_uid == geteuid() || st->st_uid == 0) ? 1 : 0;
}

char ClearTmpPath(const char *path) {
    struct stat st;
    if (lstat(path, &st) != 0 || IsOwnTmpEntry(&st, 0)) return 1;
    if (S_ISDIR(st.st_mode)) return rmdir(path) == 0 || errno == ENOENT ? 1 : 0;
    unlink(path);
    return 1;
}

// Closes fd and gives -1 unless it is an own file, with perm set when given.
static int Checked(int fd, int perm) {
    struct stat st;
    if (fd < 0) return -1;
    if (fstat(fd, &st) != 0 || !IsOwnTmpEntry(&st, 0) || (perm >= 0 && fchmod(fd, perm) != 0)) {
        close(fd);
        return -1;
    }
    return fd;
}

int OpenOwnTmpFile(const char *path, int flags, int perm) {
    flags |= O_WRONLY | O_NOFOLLOW;
    int fd = open(path, flags | O_CREAT | O_EXCL, perm);
    if (fd >= 0) return Checked(fd, perm);
    if (errno != EEXIST) return -1;
    return Checked(open(path, flags), -1);
}

int MakeOwnTmpFile(char *templ, int perm) {
    int fd = mkstemp(templ);
    if (fd < 0) return -1;
    fd = Checked(fd, perm);
    if (fd < 0) unlink(templ);
    return fd;
}

char MakeOwnTmpDir(const char *path, int perm) {
    mkdir(path, perm);
    struct stat st;
    return lstat(path, &st) == 0 && IsOwnTmpEntry(&st, 1) ? 1 : 0;
}
