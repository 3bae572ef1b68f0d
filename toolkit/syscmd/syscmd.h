// Command execution with logging, and captured command output.
#pragma once

#include "toolkit/runtime/shared.h"

// An empty format is the normal way to pass no arguments to these functions.
#pragma GCC diagnostic ignored "-Wformat-zero-length"

// Longest command line built by SysCmd and the response functions.
#define SYSCMD_MAX_LINE 4095

// One captured output line; pStr points into the same allocation and keeps
// the line's newline.
struct CmdResponse {
    CmdResponse *pNext;
    char *pStr;
};

// Runs row index (negative: quiet form; 0/1: fmt is the whole line) through
// the shell in mode 0 (quiet), 1 (logged, failure is a warning) or 2 (logged,
// failure prints "ERROR: ..." and exits 1). Returns 0 when the command exited
// 0, else its exit status (128 + signal when killed), the errno of a failed
// system(), or E2BIG for a refused over-long line (reported like a failure). A missing command
// prints "ERROR: unable to locate system command '%s'\n" on stderr and exits 0.
int SysCmd(int index, int mode, const char *fmt, ...) __attribute__((format(printf, 3, 4)));
// Standard output lines of the command (all, or those containing filter) as a
// list to give back with FreeResponseList; null when nothing matched or the
// command could not be started.
CmdResponse *GetCmdResponse(int index, const char *filter, const char *fmt, ...)
    __attribute__((format(printf, 3, 4)));
// As GetCmdResponse, but all lines taken in one managed string, each ended
// by a newline; null when none.
char *GetCmdResponseStr(int index, const char *filter, const char *fmt, ...)
    __attribute__((format(printf, 3, 4)));
// Gives every element of list back; returns null.
CmdResponse *FreeResponseList(CmdResponse *list);
// Runs a ready shell line (up to 511 characters); modes 1 and 2 echo it and
// report a non-zero exit status (mode 2 exits 1). Returns the exit status.
int SysCmdP(int mode, const char *fmt, ...) __attribute__((format(printf, 2, 3)));
