// Solaris package upgrade.
#pragma once

#include "toolkit/runtime/shared.h"

// Version written into the upgraded package's pkginfo.
#define SOLARIS_PKG_VERSION "4.30.18"

// The Solaris package-database registration program.
extern const char *pPathToInstallf;

// Copies every regular file ("f" line of seven fields) of
// <pkgdir>/SPHVosxx/pkgmap from <work area>/<package>/root (absolute paths)
// or /reloc (relocatable ones, installed under <target>/Zarvo), registers
// each with installf, finishes the registration and rewrites VERSION= of
// /var/sadm/pkg/<package>/pkginfo to 4.30.18. Makes <app dir>/lib and the
// toolkit module directories first when lib is missing. Prints one "." per
// file and one for the version. Returns 1; a missing pkgmap ends the process
// with status 0, a failed mkdir with status 1. Package names or paths that
// are not plain file names are refused (0 returned, nothing run).
int upgradeSolarisPackage(const char *package, const char *pkgdir);
