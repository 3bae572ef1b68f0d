// System queries: processes, disk space, user, host, print subsystem.
#pragma once

#include "toolkit/runtime/shared.h"

// Size of DiskSpace.Text.
#define DISKSPACE_TEXT_SIZE 512

// Free space of the file system holding a path, as df reports it.
struct DiskSpace {
    char Text[DISKSPACE_TEXT_SIZE]; // df's data line for the path, newline included
    double Avail;                   // df's "avail" column of that line; 0 when not found
};

// " id1 id2 ... " of the processes whose command name is exactly name, saved;
// null when none runs.
char *GetSysPsIdList(const char *name);
// One "name ( ids )\n" line per running name of the comma list, saved; lines
// that would take the report past 1023 characters are left out. Null when
// none runs.
char *CheckProcTableForExecs(const char *names);
// Sends SIGKILL to every process of that name, stopping at the first refused
// for lack of permission; sleeps 1 s. Returns the number of processes signalled.
int KillProcessByName(const char *name);
// 1 when df gave a free-space figure for path (rec filled), else 0.
char GetDiskSpace(const char *path, DiskSpace *rec);
// du -s's figure for the tree at path, 0 without output.
double DUPath(const char *path);
// 1 when dir's file system (plus the space of dir/name when it exists) has at
// least need free, climbing to parents while df has no figure; stops at "/".
char AvailSpace(const char *dir, const char *name, double need);
// Name of the user running the program (saved), or null.
char *GetUserName();
// The host's name (saved), or null.
char *GetHostname();
// 1 when lpd is the LPRng implementation.
char SniffLprng();
// 1 when a process named cupsd runs.
char SniffCUPS();
// No effect.
void SysGetSubnetMask();
