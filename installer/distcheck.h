// Checking and listing a distribution without installing it (setup --check
// and --list).
#pragma once

#include "toolkit/runtime/shared.h"

// Checks the distribution in dir: the disk list and that it names itself,
// every file it names, the size files, and the archive pieces joined as the
// install joins them, decompressed (check sums verified) and listed by tar
// with pkg/pkg.list in it. Prints one line per check on standard output,
// then "distribution OK" or "distribution damaged"; returns 0 or 1. Writes
// no log: the work is done in a private mkdtemp directory that is removed
// again, also when a signal ends the run.
int CheckDistribution(const char *dir);

// Makes the same checks silently, then prints the archive's file list (one
// path a line, as tar lists it), a blank line and pkg/pkg.list's lines
// numbered from 1; returns 0. A damaged distribution prints the failed
// check on standard error instead and returns 1.
int ListDistribution(const char *dir);
