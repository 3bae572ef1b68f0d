// Entry point, command line and install state.
#pragma once

#include "toolkit/runtime/shared.h"

#include <cstddef>

// Maker directory name.
#define MAKER_NAME "Zarvo"
// Product code: the application directory's name.
#define PRODUCT_CODE "osxx"
// Base directory of a fresh installation.
#define DEFAULT_BASE_DIR "/usr"
// Version of the installer and of the product.
#define SETUP_VERSION "4.30.18"
// Base name of the archive in the work area (<work area>/<name>.tar.Z).
#define ARCHIVE_BASE_NAME "ZarvoLinuxi386Osxx"

// Exit statuses of the installer.
enum SetupExitStatus {
    // Normal end; also every stop the user chose or a check ordered (licence
    // refused, version shown, missing command, no room, ...).
    SETUP_EXIT_OK = 0,
    // A command that had to succeed failed, or the disk list is missing.
    SETUP_EXIT_FAILED = 1,
    // The command line cannot be used: a work area that cannot be made, an
    // unknown option, a directory unsafe for the shell.
    SETUP_EXIT_BAD_ARGUMENT = 2,
};

// Directory names become parts of shell command lines and of fixed-size path
// buffers further on. Returns why dir cannot be used there (empty, longer
// than 200 characters, or holding blanks or shell metacharacters), or null
// when it can. --check applies the same rule to the disk list's names.
const char *UnsafeDirReason(const char *dir);

// Work area: where the distribution is copied and unpacked.
extern char *pZarvoInstallDir;
// 1 when the work area's parent named on the command line was created here.
extern char flCreatedTmpDir;
// Base directory named on the command line, or null.
extern char *pCmdLineInstallDir;
// Base directory of a previous installation, or null (fresh install).
extern char *pCurrentInstallDir;
// Base directory this run installs into.
extern char *pTargetInstallDir;
// Application directory: <target>/Zarvo/osxx.
extern char *pAppDir;
// Absolute directory holding the installer program (the distribution).
extern char *pPathToSetup;
// Comma list of product programs that must not run during an upgrade.
extern const char *pBinaryInstanceCheckList;

// Runs the whole installation once, top to bottom, and ends the process
// with exit(); the program's main() only calls this. -h/--help, --check and
// --list end it before the licence agreement (CheckDistribution,
// ListDistribution).
[[noreturn]] void setupMain(int argc, char **argv);
// Fills pCmdLineInstallDir, pZarvoInstallDir and flCreatedTmpDir from the
// arguments; the options (-h/--help, --accept-licence/--accept-license,
// --check, --list) may stand anywhere and are left out when the others'
// positions are counted. Ends the process: 0 after "-v" or "-h"/"--help"; 2
// for an unknown option, a directory with blanks or shell metacharacters, or
// a work area that cannot be made.
void parseCommandLineOptions(int argc, char **argv);
// Saved string: the absolute directory of the program started as argv0.
char *GetToolPath(const char *argv0);
// Cuts path in place to the base directory above "Zarvo/osxx"; null gives null.
char *StripToBaseName(char *path);
