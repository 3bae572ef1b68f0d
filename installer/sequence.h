// Install sequence: work area, archive, directories, permissions.
#pragma once

#include "toolkit/runtime/shared.h"

// Log that receives the decompression output, whatever the program's name.
#define DECOMPRESS_LOG "/tmp/setup.log"

// Makes the work area anew, copies every file the distribution's disk list
// names into it and runs Install(). A failed copy ends the run with status
// 1; always returns 0.
int installFromSite(const char *workArea);

// Checks readiness, joins and unpacks the archive, creates directories, runs
// the package list and writes the scripts. Returns 0 when done or when the
// user is not root, 1 when the user quit in a process check.
int Install(void);

// Loads the disk list of dir into LineBuf: "disks", else "DISKS" with its
// lower-case letters up to "end_of_list" turned to upper case. Returns the
// name read, or null (LineBuf then undefined) when neither can be read.
const char *LoadDiskList(const char *dir);

// The names a disk list text gives, as the install reads them: fn gets every
// file the copy step copies (words of each line split at blanks and tabs, up
// to "end_of_list"), or every archive piece the archive step joins, in order
// (words split at blanks and line ends, tabs belonging to the words, up to
// "end_of_list", beginning with "pkg_tar." or "PKG_TAR."). The text is copied
// first, so fn may overwrite LineBuf.
void ForEachListedFile(const char *list, void (*fn)(const char *word, void *arg), void *arg);
void ForEachArchivePiece(const char *list, void (*fn)(const char *word, void *arg), void *arg);

// Loads "disks" (else "DISKS", upper-cased up to "end_of_list") of dir into
// LineBuf and returns 1; ends the process with status 1 when neither exists.
int GetDisksData(const char *dir);

// Appends the "pkg_tar." pieces named by the work area's disk list, in list
// order, to the work area's compressed archive; a failure ends the run.
void genZFile(void);

// Makes the application directory under target (and the /usr/Zarvo/osxx
// link when target is not "/usr"); a failing command ends the run.
void createInstallationDirectories(const char *target);

// Writes appDir/.os_cfg (0644) naming the print subsystem: " BSD ",
// " LPRng " or " CUPS ". Returns 1 when written, 0 otherwise.
int createPrintingSubsystemFile(const char *appDir);
