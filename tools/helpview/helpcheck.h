// The help file checker of helpview --check.
#pragma once

#include <vector>

#include "toolkit/htmlhelp/htmlparse.h"

// Loads every file and prints each problem found, as "file:line: message", on standard output:
// links whose file, page or anchor does not exist, pages no link reaches, tags the viewer does
// not know and text the viewer drops. Returns the number of problems.
int CheckHelpFiles(const std::vector<const char *> &files);

// The page of file named target, or else the page holding the anchor target; null when neither
// exists.
HtmlPage *FindHelpTarget(HtmlFile *file, const char *target);
