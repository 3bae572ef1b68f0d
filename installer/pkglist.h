// Package list processor.
#pragma once

#include "toolkit/runtime/shared.h"

// Runs <work area>/<pkgDir>/pkg.list line by line into the application
// directory. Returns 0 when the whole list ran, 1 when the user chose to quit
// in a checkps line; a missing list ends the process with status 0, a failing
// attribute command with status 1.
int ProcessPkgList(const char *pkgDir);
