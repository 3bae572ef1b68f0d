// Files and directories under names known in advance in world-writable places
// such as /tmp, where another user may have planted a link, a hard link or a
// file of theirs: one rule decides what we may write and hand to commands.
#pragma once

#include "toolkit/runtime/shared.h"

#include <sys/stat.h>

// 1 when the entry (as lstat or fstat describe it) may be written by us and
// handed to commands: no symbolic link; a regular file with a single link,
// or a directory when dir is 1; owned by us (effective user) or by root.
char IsOwnTmpEntry(const struct stat *st, char dir);
// Removes whatever stands at path unless IsOwnTmpEntry accepts it as a file:
// a directory only when it is empty, anything else by unlinking the name
// (never what a link points to). 1 when path is then free or such a file; 0
// when a directory with entries is left in the way.
char ClearTmpPath(const char *path);
// Opens path for writing (O_WRONLY plus flags) without following a link; a
// missing file is created with O_EXCL and given the permission bits perm,
// whatever the umask. -1 unless the file then open passes IsOwnTmpEntry.
int OpenOwnTmpFile(const char *path, int flags, int perm);
// Makes a fresh file from templ (ending in "XXXXXX", replaced in place) with
// O_EXCL and gives it the permission bits perm; -1 when none can be made.
int MakeOwnTmpFile(char *templ, int perm);
// Makes the directory path (mode perm, subject to the umask) unless it is
// there; 1 when path is then a directory IsOwnTmpEntry accepts.
char MakeOwnTmpDir(const char *path, int perm);
