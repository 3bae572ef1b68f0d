// Command execution with logging, and captured command output.
#pragma once

#include "toolkit/runtime/shared.h"
#include "toolkit/syscmd/comtable.h"

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

// Execution modes of SysCmd (and, 1 and 2 only, of SysCmdP).
enum SysCmdMode {
    // Output discarded, nothing echoed or logged, a failure only returned.
    SYSCMD_QUIET = 0,
    // Echoed and logged, output appended to the log; a failure is logged as
    // a warning and returned.
    SYSCMD_WARN = 1,
    // As SYSCMD_WARN, but a failure is also printed as "ERROR: ..." and ends
    // the run with status 1.
    SYSCMD_FATAL = 2,
    // Output left on the terminal, nothing echoed or logged, a failure only
    // returned: for commands that act on the screen, as `clear` does. Every
    // mode above 2 behaves so.
    SYSCMD_TERMINAL = 3,
};

// Runs row index (a ComRow; negative: quiet form; 0/1: fmt is the whole line)
// through the shell in one of the modes above. Returns 0 when the command exited
// 0, else its exit status (128 + signal when killed), the errno of a failed
// system(), or E2BIG for a refused over-long line (reported like a failure). A missing command
// prints "ERROR: unable to locate system command '%s'\n" on stderr and exits 0.
int SysCmd(int index, int mode, const char *fmt, ...) __attribute__((format(printf, 3, 4)));
// Prints "ERROR: unable to locate system command '%s'\n" naming the row's
// command on stderr and ends the run with status 0: what every function here
// does for a row whose command was not found.
[[noreturn]] void StopForMissingCommand(int row);
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
