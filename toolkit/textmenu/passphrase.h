// Pass-phrase input on the controlling terminal.
#pragma once

#include "toolkit/runtime/shared.h"

// Reads one line from /dev/tty (else descriptors 0 and 2) with echo off,
// at most 256 characters within 60 seconds; the terminal and the signal
// actions are restored, and a caught signal is re-sent afterwards. Returns a
// new memory-manager string owned by the caller (empty on time-out).
char *GetPassPhrase(const char *prompt);
// Seconds allowed for one answer (60).
extern int PassPhraseTimeout;
// Signal handler installed while reading: records the signal number.
void handler(int sig);
