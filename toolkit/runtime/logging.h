// Logging and error reporting to /tmp/<my_name>.log.
#pragma once

#include "toolkit/runtime/shared.h"

#include <cstdio>

// Directory of the log; set to "/tmp" by every PutLogMsg.
extern char *pLogPath;
// The log file while a message is written.
extern FILE *pLog;

// Appends one formatted message to /tmp/<my_name>.log (the first message of
// the run truncates it). Never writes through a symbolic link or to anything
// but a regular file of our own or root's; on failure prints
// "ERROR: couldn't open %s\n" on stderr and drops the message. Does nothing while flUseLog is 0.
void PutLogMsg(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
// Makes sure the log exists as a regular, unlinked file of our own or root's
// (created with mode 666, a planted link, other user's file or non-file
// removed before the run's first message) so that commands may append to
// it through the shell. 1 when it is ready; 0 while logging is off or the log cannot be made safe.
char LogFileReady();
// Prints "\n<my_name>: <message> : <strerror(errno)>\n" on stderr and exits 1.
[[noreturn]] void SysError(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
// Kinds of ErrorMsg; also the errmode of the file openers (files.h).
enum ErrorMsgKind {
    ERROR_MSG_SILENT = 0,  // the text is only formatted into Line
    ERROR_MSG_WARNING = 1, // "WARNING: %s\n" on stderr, and the call returns
    ERROR_MSG_FATAL = 2,   // "ERROR: %s\n" on stderr, and the process exits
};
// Formats into Line; kind 1 prints "WARNING: %s\n" on stderr and returns,
// kind 2 prints "ERROR: %s\n" on stderr and exits with status, other kinds
// print nothing.
void ErrorMsg(int kind, int status, const char *fmt, ...) __attribute__((format(printf, 3, 4)));
// Prints "<my_name>: <message>\n" on stderr.
void errormsg(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
// Ends the process with status.
[[noreturn]] void exit_app(int status);
// Writes the formatted text to path (stdio mode string mode), then sets the
// permission bits to perm when nonzero. 1 on success; 0 after printing
// "ERROR: couldn't open %s\n" on stderr when it cannot be opened.
char CreateTextFile(const char *path, const char *mode, int perm, const char *fmt, ...)
    __attribute__((format(printf, 4, 5)));
// Saved copy (PutMem it) of the environment variable's value, or null.
char *GetEnv(const char *name);
