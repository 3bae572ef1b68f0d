// Entry validation against format descriptions, and prompts.
#pragma once

#include "toolkit/runtime/shared.h"

// Range messages (set 25: 1003, 1004, 1024), fetched on the first check.
extern char *pErrIntRange;
extern char *pErrFloatRange;
extern char *pErrLongRange;

// Checks an entry against a format; a null or empty format accepts all.
// Returns 0 valid, 1 out of range (or two points), 2 bad length, 3 bad
// character or literal, 4 forbidden text; every failure has been shown with
// PostMsg (which waits for Return) before returning.
char ValidateEntry(const char *entry, const char *format);
// Length check then digits-only check, each failure shown with PostMsg.
// Returns 0, 2 (length) or 3 (non-digit).
int ValidateEntryTty(const char *entry, const char *bounds);
// Returns null when the entry's length lies within the bounds "(min,max)"
// (4..4 without bounds), else the message formatted into NlsBuf.
char *ValidateEntryLen(const char *entry, const char *bounds);
// Returns the first character that is not a decimal digit, or 0.
char ValidateEntryDigit(const char *entry);
// Reads "(min,max)": stores min through pmin and returns max.
int getMinMax(const char *bounds, int *pmin);
// Prints the question as a format with "? [y/n] " and reads lines until one
// begins with a lower-case y (returns 1) or n (returns 0).
char PromptYN(const char *question, ...);
// Returns 1 when every character is a letter, digit, "_" or "-"; otherwise
// shows messages 1002 and 1000, waits for a line and returns 0.
char TestName(const char *text);
// Prints the message and "Press <Return> to continue", then reads one line
// into LineBuf; returns what the read returned (null at end of input).
char *PostMsg(const char *format, ...);
// Prints the prompt and reads the answer: into buffer (4096 bytes) when
// given, else a new memory-manager copy owned by the caller.
char *PromptUser(const char *prompt, char *buffer);
