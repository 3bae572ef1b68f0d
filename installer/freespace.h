// Free-space check for the work area and the installation.
#pragma once

#include "toolkit/runtime/shared.h"

// Checks that the work area and the install area under `target` have room for
// the sizes named by the distribution's "isize" and "tsize" files (plus 40).
// Returns when there is room or when the work area's space cannot be
// determined; otherwise prints why and ends the process with status 0.
// Arguments: work area, target base directory, maker directory name.
void FreeSpaceForInstall(char *work, char *target, char *maker);
