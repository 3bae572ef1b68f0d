// Print-queue interface, driver and launcher scripts.
#pragma once

#include "toolkit/runtime/shared.h"

// Script templates (printf formats, kept as data under installer/templates).
// First line of every script.
extern const char *ScriptShShell;
// Five-line, 63-column banner; one "%d" for the year.
extern const char *ScriptBanner;
// Queue interface script; %s: app dir, "osxx", "ostrelosxx" x2, "osxx" x2.
extern const char *ZarvoPrintosxxScript;
// Driver script; %s: app dir.
extern const char *pv4DriverScript;
// Submission script; %s: app dir, spool dir.
extern const char *ZarvoQSFScript;
// Launcher script; %s: app dir, app dir, program name.
extern const char *SimpleScript;

// Writes the three queue scripts into the application directory (the QSF
// script spools under <spoolDir>/osxx) and, on LPRng systems, links the
// interface script into /usr/share/printconf/util.
void createQueueScripts(const char *spoolDir);

// Each writes one script (shell line, banner, filled body) and makes it
// mode 755. Returns 1 when written, 0 when the file cannot be opened
// (reported on standard error).
int generateZarvoPrintosxxScript(const char *path, const char *shell, const char *body);
int generatev4DriverScript(const char *path, const char *shell, const char *body);
int generateZarvoQSFScript(const char *path, const char *shell, const char *body,
                           const char *spoolDir);

// Writes a script whose body is the template filled with a, b and c, then
// makes it mode 755; a file that cannot be opened is reported and skipped.
void GenSimpleScript(const char *path, const char *shell, const char *body, const char *a,
                     const char *b, const char *c);
