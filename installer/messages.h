// Built-in message tables and the choice of language.
#pragma once

#include "toolkit/runtime/shared.h"

// The installer's language choice has the same global names as the toolkit's
// translated-string service, which keeps a choice of its own. Installer code
// sees these names as its own objects, so a program that holds both modules
// (the test programs do) keeps the two choices apart.
#define pNLSLang setupNLSLang
#define pTransBuf setupTransBuf

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

// The [options] block of each table: the usage text and the reports of
// --check and --list (entries 0 to NLS_OPTION_MESSAGES - 1).
#define NLS_OPTION_MESSAGES 33
extern char *NLS_ENGLISH_options[NLS_OPTION_MESSAGES];
extern char *NLS_SPANISH_options[NLS_OPTION_MESSAGES];
extern char *NLS_ITALIAN_options[NLS_OPTION_MESSAGES];
extern char *NLS_FRENCH_options[NLS_OPTION_MESSAGES];
extern char *NLS_GERMAN_options[NLS_OPTION_MESSAGES];
extern char *NLS_PORTUGUESE_options[NLS_OPTION_MESSAGES];

// Message table chosen for this run; null until the first nlsSetupStrCvt call.
extern char **pCurLang;
// Agreement language key chosen for this run; null until the first
// GetTargetNLSLang call.
extern char *pNLSLang;
// Language alias text: one line per agreement language, "key = alias ...";
// a line without '=' continues the previous line's aliases.
extern char *pTransBuf;

// Returns entry `index` (0 to 70) of the message table chosen from LANG on
// the first call (English when LANG is unset or unlisted); an index outside
// the table gives the empty text. The result is static text, usable as a
// printf format.
char *nlsSetupStrCvt(int index);

// Returns entry `index` of the [options] block in the language of
// nlsSetupStrCvt's table (making that choice when not made yet); an index
// outside the block gives the empty text.
char *nlsSetupOptionStr(int index);

// Returns the agreement language key (one of the sixteen keys of pTransBuf,
// "en_US" when LANG is unset or matches nothing) as a saved string; the
// same pointer on every later call. Cuts LANG at its first '.' in place.
char *GetTargetNLSLang(void);
