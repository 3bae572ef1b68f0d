// Throw-away directories and small file and shell helpers for tests that
// work on real files without leaving anything behind.
#pragma once

#include <string>
#include <vector>

// A fresh mkdtemp directory under $TMPDIR (or /tmp), removed with everything
// in it when the object goes. Its name is prefix + six random letters and
// digits (a prefix without '.' gives a path that passes the menu's settings
// file name check).
struct ScratchDir {
    std::string path;
    explicit ScratchDir(const std::string &prefix = "scratch.");
    ~ScratchDir();
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;
    // path + "/" + rel
    std::string operator/(const std::string &rel) const;
};

// Writes text to path (parents made), then sets mode.
void writeFile(const std::string &path, const std::string &text, unsigned mode = 0644);
// The whole file, "" when it cannot be read.
std::string readFile(const std::string &path);
// Makes path and its parents.
void makeDirs(const std::string &path, unsigned mode = 0755);
// Permission bits (07777) of path (not following a last link), -1 when absent.
int fileMode(const std::string &path);
// True when path exists (a dangling link counts).
bool pathExists(const std::string &path);
// A word quoted for sh.
std::string shQuote(const std::string &word);

// One shell run: sh SCRIPT ARGS in cwd, with only the given environment
// (plus PATH=/usr/bin:/bin when env names no PATH) and input on stdin.
struct ShellRun {
    std::string cwd = "/";
    std::vector<std::string> env{};
    std::string script{};
    std::vector<std::string> args{};
    std::string input{};
};
// Exit status of the run (-1 when it could not be started); its standard
// output and error are appended to *out when out is given.
int runShell(const ShellRun &run, std::string *out = nullptr);
