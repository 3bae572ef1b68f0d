// Child processes for tests of what happens when the disk fails a writer:
// a forked child that returns a verdict, and a child whose directory is a
// small file system of its own (a tmpfs in a private mount namespace), tiny,
// full or read-only.
#pragma once

#include <functional>
#include <string>

// Runs child in a forked process and checks its verdict: an empty text
// passes, "SKIP: why" skips the test, anything else fails it.
void RunInChild(const std::function<std::string()> &child);

enum class Disk {
    Tiny,     // 64 KiB
    Full,     // filled up once seed has run: no further block can be written
    ReadOnly, // remounted read-only once seed has run
};
// Runs body in a child process whose current directory is dir (made first),
// the mount point of a file system of the given kind; seed runs there first
// (null: nothing to seed). body returns the verdict as for RunInChild. Skips
// the test when the namespace or the mount can't be had.
void RunOnDisk(const std::string &dir, Disk kind, const std::function<void()> &seed,
               const std::function<std::string()> &body);
// RunOnDisk with a tiny disk and nothing seeded.
void RunOnTinyDisk(const std::string &dir, const std::function<std::string()> &body);
