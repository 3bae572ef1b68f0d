// Previous installation and the final clean-up.
#pragma once

#include "toolkit/runtime/shared.h"

// Returns the base directory of the installation reachable as /usr/Zarvo/osxx
// (a saved string such as "/usr" or "/opt"), or null when there is none. A
// link that leads nowhere (or not to a directory) is removed. A relative link
// is resolved by the system, from the link's own directory. A base with blanks
// or shell metacharacters, or longer than 200 characters, ends the process with
// status 2 before anything changes.
char *locatePreviousInstallation(void);

// Ends every run: leaves the work area, removes it (and once more from /usr
// when the work-area parent was created by this run), then lets the product's
// queue tool upgrade and clean its queues. Never fails.
void ZarvoClean(const char *path);

// 1 when both paths name the same existing directory (same device and inode),
// or, when one of them does not exist, when their normalised texts are equal;
// else 0. Null on either side gives 0.
char SameDirectory(const char *a, const char *b);

// Moves the application directory of the installation under base `from` to
// the base `to` and points /usr/Zarvo/osxx at it when `to` is not "/usr".
// Does nothing (returns 0) when both name the same directory or when removing
// the new application directory would reach into the old one (one lies inside
// the other, also when the new one is still to be made), so a previous
// installation is never removed nor moved into itself; returns 1 after a
// move. A failing mv or ln ends the process with status 1.
int MovePreviousInstallation(const char *from, const char *to);
