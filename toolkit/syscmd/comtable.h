// Command table: the system commands, their flags and where they were found.
#pragma once

#include "toolkit/runtime/shared.h"

#include <cstdint>

// The rows of ComList by name: the command, and its flags where two rows
// share a command. The numbers are the interface (rows are named by number
// outside this program too), so rows are never inserted, removed or reordered.
// Rows 0 and 1 hold no command: the caller's text is the whole shell line,
// run quietly (0) or echoed and logged (1).
enum ComRow {
    ROW_LINE_QUIET = 0,
    ROW_LINE = 1,
    ROW_CANCEL = 2,
    ROW_CAT = 3,
    ROW_CHGRP = 4,
    ROW_CHMOD = 5,
    ROW_CHOWN = 6,
    ROW_CLEAR = 7,
    ROW_COMPRESS = 8,
    ROW_CP_P = 9,
    ROW_CP_PR = 10,
    ROW_CUPSD = 11,
    ROW_ID = 12,
    ROW_ECHO = 13,
    ROW_EJECT_F = 14,
    ROW_EJECT_Q = 15,
    ROW_FILE = 16,
    ROW_LN = 17,
    ROW_LP = 18,
    ROW_LPC = 19,
    ROW_LPR = 20,
    ROW_LPRM = 21,
    ROW_LPSTAT = 22,
    ROW_LS = 23,
    ROW_KILL = 24,
    ROW_MV = 25,
    ROW_MKDIR = 26,
    ROW_MORE = 27,
    ROW_PING = 28,
    ROW_RM_F = 29,
    ROW_RM_RF = 30,
    ROW_SH = 31,
    ROW_SLEEP = 32,
    ROW_TAR_CVFP = 33,
    ROW_TAR_XVFP = 34,
    ROW_TOUCH = 35,
    ROW_UNCOMPRESS = 36,
    ROW_WHOAMI = 37,
    ROW_ZCAT = 38,
    ROW_UNAME = 39,
    ROW_SED = 40,
    ROW_DU = 41,
    ROW_CHECKPC = 42,
    ROW_LPD = 43,
    ROW_PKGADD = 44,
    ROW_PKGINFO = 45,
    ROW_PKGRM = 46,
    ROW_ACCEPT = 47,
    ROW_DISABLE = 48,
    ROW_CUPSDISABLE = 49,
    ROW_ENABLE = 50,
    ROW_CUPSENABLE = 51,
    ROW_LPADMIN = 52,
    ROW_LPFILTER = 53,
    ROW_LPSCHED = 54,
    ROW_LPSHUT = 55,
    ROW_LPSYSTEM = 56,
    ROW_PS = 57,
    ROW_BAR = 58,
    ROW_DF = 59,
    ROW_LPQ = 60,
    ROW_YPCAT = 61,
    ROW_REJECT = 62,
    ROW_PMADM = 63,
    ROW_SACADM = 64,
    ROW_VOLCHECK = 65,
    ROW_CAPTURE = 66,
    ROW_LPSET = 67,
    ROW_INSTNETPR = 68,
    ROW_PIOMKPQ = 69,
    ROW_PIOMISC_EXT = 70,
    ROW_PIOMISC_BASE = 71,
    ROW_LSALLQ = 72,
    ROW_MKQUE = 73,
    ROW_MKQUEDEV = 74,
    ROW_RMQUE = 75,
    ROW_RMQUEDEV = 76,
    ROW_PIOCHDFQ = 77,
    ROW_ENQ = 78,
    ROW_LSQUEDEV = 79,
    ROW_LSQUE = 80,
    ROW_STARTSRC = 81,
    ROW_STOPSRC = 82,
    ROW_LSSRC = 83,
    // The terminating row.
    ROW_END = 84,
    // Rows of ComList including the terminating row.
    COMLIST_ROWS = ROW_END + 1,
    // The shell through which every command runs.
    SHELL_ROW = ROW_SH,
    // First and last row that name a command.
    FIRST_COMMAND_ROW = ROW_CANCEL,
    LAST_COMMAND_ROW = ROW_LSSRC,
};

// One row of the command table.
struct ComListEntry {
    char *name;      // command file name; "" in rows 0 and 1; null in the last row
    char *flags;     // default flags placed after the command ("" when none)
    char *directory; // directory holding the command; null until found
    int32_t wait;    // after running: 0 nothing, n > 0 sleep n s, -1 wait for the process
};

// The command table, indexed by ComRow.
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
