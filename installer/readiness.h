// Readiness checks: root, earlier print daemon, running product programs.
#pragma once

#include "toolkit/runtime/shared.h"

// Returns 1 when the installation may go on, 0 when the user is not root
// (after telling so). When the application directory holds the earlier print
// daemon it asks whether to continue: "n"/"no" or end of input end the process
// with status 0; "y"/"yes" removes the earlier daemon's start-up links and
// returns 1.
int readyForInstallation(void);

// `names` is a comma list such as ",osadmin,osqadmin,". Returns 0 when none of
// the programs runs (at once or after waiting), 1 when the user chose to quit
// (or input ended). The caller does the quitting.
int QuitForRunningProcesses(const char *names);
