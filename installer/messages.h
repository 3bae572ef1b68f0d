// Built-in message tables and the choice of language.
#pragma once

#include "toolkit/runtime/shared.h"

// Number of entries in every built-in message table (indices 0 to 70).
#define NLS_SETUP_MESSAGES 71

// The six message tables; the same index means the same message in every
// language, and every entry is a printf format with the English entry's
// conversions in the same order.
extern char *NLS_ENGLISH[NLS_SETUP_MESSAGES];
extern char *NLS_SPANISH[NLS_SETUP_MESSAGES];
extern char *NLS_ITALIAN[NLS_SETUP_MESSAGES];
extern char *NLS_FRENCH[NLS_SETUP_MESSAGES];
extern char *NLS_GERMAN[NLS_SETUP_MESSAGES];
extern char *NLS_PORTUGUESE[NLS_SETUP_MESSAGES];

// The entries of the tables that the installer shows, by index.
enum SetupMsg {
    // The work area cannot be made; the directory.
    MSG_CANT_OPEN = 3,
    // The disk list is missing; the maker name.
    MSG_NO_DISK_LIST = 21,
    // Not running as root; the user name, the program name.
    MSG_NOT_ROOT = 35,
    // Work area, install area, or both on one file system too small.
    MSG_WORK_SMALL = 49,
    MSG_INSTALL_SMALL = 55,
    MSG_SHARED_SMALL = 56,
    // The system version cannot be read (a perror prefix).
    MSG_NO_VERSION = 60,
    // The earlier print daemon; "Zarvo" three times, "osxx".
    MSG_OLD_DAEMON = 62,
    // The continue question.
    MSG_CONTINUE = 63,
    // A size file is missing.
    MSG_NO_SIZE = 65,
    // 66 to 70: the running-process list heading, then its menu.
    MSG_RUNNING = 66,
};

// The extra section of every table: the installer's messages beyond entry 70,
// numbered on from it, fetched with nlsSetupMsg. Same rules as entries 0-70.
enum SetupExtraMsg {
    // Full file system under a directory that does not hold the installation
    // yet; the directory.
    MSG_FULL_FILE_SYSTEM = NLS_SETUP_MESSAGES,
    // A directory argument refused; the directory, one of the three reasons.
    MSG_REFUSED_DIRECTORY,
    // A previous installation's base refused; the base, a reason.
    MSG_REFUSED_BASE,
    // The reasons a directory name is refused.
    MSG_EMPTY_DIR_NAME,
    MSG_LONG_DIR_NAME,
    MSG_UNSAFE_DIR_CHARS,
    // The work area is no directory of our own; the work area.
    MSG_WORK_AREA_NOT_OWN,
    // The work area cannot be entered; the work area.
    MSG_WORK_AREA_CHDIR,
    // The decompression log cannot be made; its path.
    MSG_DECOMPRESS_LOG,
    // No temporary file for a sed edit; the edited file.
    MSG_SED_TMP,
    // A pkgmap line skipped; its path.
    MSG_PKGMAP_SKIPPED,
    // A package upgrade refused; the package, its directory.
    MSG_PACKAGE_REFUSED,
    // An unknown option; the program name, the option.
    MSG_UNKNOWN_OPTION,
    // The lines of setup --check, one per check: the disk list (its name;
    // the distribution directory when missing) and whether it names itself.
    MSG_CHECK_LIST_OK,
    MSG_CHECK_LIST_MISSING,
    MSG_CHECK_LIST_UNREADABLE,
    MSG_CHECK_NAMES_ITSELF,
    MSG_CHECK_NOT_NAMED,
    // A file the list names; the name (and, refused, the reason).
    MSG_CHECK_FILE_OK,
    MSG_CHECK_FILE_MISSING,
    MSG_CHECK_FILE_UNREADABLE,
    MSG_CHECK_FILE_REFUSED,
    // A size file; its name (and, when it holds one, the number).
    MSG_CHECK_SIZE_OK,
    MSG_CHECK_SIZE_MISSING,
    MSG_CHECK_SIZE_NAN,
    // The archive: no pieces, pieces unusable, decompression (the number of
    // pieces, or the decompressor's reason), tar's listing (its entries, or
    // tar's reason) and the package list in it (its lines).
    MSG_CHECK_NO_PIECES,
    MSG_CHECK_NOT_JOINED,
    MSG_CHECK_UNPACKS,
    MSG_CHECK_UNPACK_FAILS,
    MSG_CHECK_TAR_LISTS,
    MSG_CHECK_TAR_FAILS,
    MSG_CHECK_PKGLIST_OK,
    MSG_CHECK_PKGLIST_MISSING,
    // The verdict of --check.
    MSG_CHECK_DIST_OK,
    MSG_CHECK_DIST_DAMAGED,
    // --list of a damaged distribution; the program name, the failed check's line.
    MSG_LIST_DAMAGED,
    // No private directory for --check or --list; the program name, where.
    MSG_CHECK_NO_SCRATCH,
    // The usage text, listing every option; the program name, the maker
    // name, the default base.
    MSG_USAGE,
    // End of the extra section.
    MSG_EXTRA_END
};
// Number of entries in the extra section of every table.
#define NLS_SETUP_EXTRA (MSG_EXTRA_END - NLS_SETUP_MESSAGES)

// The extra sections, one per table above.
extern char *NLS_ENGLISH_EXTRA[NLS_SETUP_EXTRA];
extern char *NLS_SPANISH_EXTRA[NLS_SETUP_EXTRA];
extern char *NLS_ITALIAN_EXTRA[NLS_SETUP_EXTRA];
extern char *NLS_FRENCH_EXTRA[NLS_SETUP_EXTRA];
extern char *NLS_GERMAN_EXTRA[NLS_SETUP_EXTRA];
extern char *NLS_PORTUGUESE_EXTRA[NLS_SETUP_EXTRA];

// Message table chosen for this run; null until the first nlsSetupStrCvt call.
extern char **pCurLang;
// The installer's language choice has the same names as the translated-string
// service's own (toolkit/nls/transconf.h); its namespace keeps the two apart
// in a program that holds both modules.
namespace setup {
// Agreement language key chosen for this run; null until the first
// GetTargetNLSLang call.
extern char *pNLSLang;
// Language alias text: one line per agreement language, "key = alias ...";
// a line without '=' continues the previous line's aliases.
extern char *pTransBuf;
} // namespace setup

// Returns entry `index` (0 to 70) of the message table chosen from LANG on
// the first call (English when LANG is unset or unlisted); an index outside
// the table gives the empty text. The result is static text, usable as a
// printf format.
char *nlsSetupStrCvt(int index);
// Entry `index` of the language nlsSetupStrCvt chooses: 0 to 70 as it gives
// them, MSG_FULL_FILE_SYSTEM and on from the extra section; the empty text
// for any other index.
char *nlsSetupMsg(int index);

// Returns the agreement language key (one of the sixteen keys of setup::pTransBuf,
// "en_US" when LANG is unset or matches nothing) as a saved string; the
// same pointer on every later call. Cuts LANG at its first '.' in place.
char *GetTargetNLSLang(void);
