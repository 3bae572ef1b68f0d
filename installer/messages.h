// Built-in message tables and the choice of language.
#pragma once

#include "toolkit/runtime/shared.h"

// Number of entries in every built-in message table (indices 0 to 70).
#define NLS_SETUP_MESSAGES 71

// The six message tables; the same index means the same message in every
// language, and every entry is a printf format with the English entry's
// conversions in the same order.
extern char *NLS_ENGLISH[NLS_SETUP_MESSAGES];
extern char *NLS_SPANISH[NLS_SETUP_MESSAGES];
extern char *NLS_ITALIAN[NLS_SETUP_MESSAGES];
extern char *NLS_FRENCH[NLS_SETUP_MESSAGES];
extern char *NLS_GERMAN[NLS_SETUP_MESSAGES];
extern char *NLS_PORTUGUESE[NLS_SETUP_MESSAGES];

// Message table chosen for this run; null until the first nlsSetupStrCvt call.
extern char **pCurLang;
// The installer's language choice has the same names as the translated-string
// service's own (toolkit/nls/transconf.h); its namespace keeps the two apart
// in a program that holds both modules.
namespace setup {
// Agreement language key chosen for this run; null until the first
// GetTargetNLSLang call.
extern char *pNLSLang;
// Language alias text: one line per agreement language, "key = alias ...";
// a line without '=' continues the previous line's aliases.
extern char *pTransBuf;
} // namespace setup

// Returns entry `index` (0 to 70) of the message table chosen from LANG on
// the first call (English when LANG is unset or unlisted); an index outside
// the table gives the empty text. The result is static text, usable as a
// printf format.
char *nlsSetupStrCvt(int index);

// Returns the agreement language key (one of the sixteen keys of setup::pTransBuf,
// "en_US" when LANG is unset or matches nothing) as a saved string; the
// same pointer on every later call. Cuts LANG at its first '.' in place.
char *GetTargetNLSLang(void);
