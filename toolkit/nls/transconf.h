// Translation configuration (trans.conf) and the choice of language.
#pragma once

#include "toolkit/runtime/shared.h"

#include <cstddef>

struct DbTHandle;

// Size of the buffer a normalised configuration is built in (at most 8191 characters).
#define TRANSBUF_SIZE 8192
// Size of the redirect key buffer (keys of at most 63 characters).
#define TMPKEY_SIZE 64

// The chosen language, such as "en_US"; null until GetDesiredNLSLang runs, then fixed.
extern char *pNLSLang;
// The normalised configuration text, kept once built; null until then.
extern char *pTransBuf;
// Core string database of the chosen language (menu labels, prompts, messages).
extern DbTHandle *pDrvCoreDB;
// Help string database; opened by the host, read for redirects. Null: redirects yield their key.
extern DbTHandle *pPrtHelpDB;
// Key of the last redirect found by CheckForRedirect.
extern char TmpKey[TMPKEY_SIZE];

// Returns the language chosen from LANG and <pToolPath>/trans.conf (falling back to string
// 999/1 of en_US/CoreString, then to "en_US"). Decided once per process; the result is shared
// and never null.
char *GetDesiredNLSLang(void);

// Reads <pToolPath>/<name> (./<name> when pToolPath is unset or empty) and returns its
// normalised text as a new saved string (owned by the caller), or null when the file can't
// be read. Text beyond 8191 characters is dropped at
// a word boundary with a warning on standard error.
char *ParseTransFile(const char *name);

// Returns the key of a redirect name prefix$$key.redirect (case-insensitive suffix), cutting
// the name at the suffix's '.'; null (name untouched) when the name is no redirect.
char *FindRedirect(char *name);

// For a redirect name, stores its key in TmpKey (cut to 63 characters) and replaces the name
// with the redirect target from pPrtHelpDB (or the key when there is no such string or no
// database); returns TmpKey, or null when the name is no redirect. The buffer must hold
// NLS_STRBUF_SIZE bytes; CheckForRedirectN takes its size instead.
char *CheckForRedirect(char *name);
char *CheckForRedirectN(char *name, size_t size);
