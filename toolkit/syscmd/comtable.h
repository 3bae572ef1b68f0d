// Command table: the system commands, their flags and where they were found.
#pragma once

#include "toolkit/runtime/shared.h"

#include <cstdint>

// Rows of ComList including the terminating row.
#define COMLIST_ROWS 85
// Row of the shell through which every command runs.
#define SHELL_ROW 31

// One row of the command table.
struct ComListEntry {
    char *name;      // command file name; "" in rows 0 and 1; null in the last row
    char *flags;     // default flags placed after the command ("" when none)
    char *directory; // directory holding the command; null until found
    int32_t wait;    // after running: 0 nothing, n > 0 sleep n s, -1 wait for the process
};

// The command table; rows are named by number.
extern ComListEntry ComList[COMLIST_ROWS];
// Fixed search list, cut in place (':' -> NUL) by InitSysCmdList.
extern char SearchPaths[256];
// SearchPaths + ":" + $PATH, made once on first use.
extern char *FullSearchPath;
// 1 while rows are still looked up one by one on first use.
extern char flInitSysCmd;
// 1 when command lines are echoed and logged.
extern char flSysCmdLog;

// Fills every row along SearchPaths then PATH, sets SHELL to "<dir of sh>/sh "
// and, when flUseLog is on, switches command logging on and logs
// "initializing system\n".
void InitSysCmdList();
// Gives each row still without a directory whose name is an entry of dir the
// directory dir (which must outlive the process). 1 while some row is still
// missing or dir cannot be listed, 0 when every row has one.
char FillCmdPaths(const char *dir);
// Looks one row up along FullSearchPath; 1 if found.
char FillCmdPath(int row);
// 1 if the row (>= 2) has a command directory, looking it up lazily first.
char TestCmd(int row);
// Saved "<dir>/<name> <flags>" of the row, or null without directory.
char *GetCmd(int row);
// Saved "<dir>/<name>" of the row, or null beyond row 83 or without directory.
char *GetCmdNoFlags(int row);
