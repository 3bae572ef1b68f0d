// Translated-string lookup and formatted output.
#pragma once

#include "toolkit/runtime/shared.h"
#include "toolkit/nls/transconf.h"

#include <cstddef>
#include <cstdio>

struct DbTHandle;

// Size of StrBuf: the longest string fetched in modes 0-2, its NUL included.
#define NLS_STRBUF_SIZE 2048
// Size of StrVal, the result of NlsCalcStrVal.
#define NLS_STRVAL_SIZE 32
// Size of NlsBuf, the shared buffer for formatted translated messages.
#define NLSBUF_SIZE 2048
// Size of the work buffer of NlsGuiStrCvt (at most 1023 characters per "%s").
#define NLS_GUIWORK_SIZE 1024

// Fetch modes of NlsFetchString.
#define NLS_BY_NUMBER 0   // set, number: key "%d_%d"; copy or output buffer
#define NLS_BY_KEY 1      // key text
#define NLS_BY_KEY2 2     // key text (same as 1)
#define NLS_BY_NUMBER_V 3 // set, number: always a new string of any length

// Help string database of the product (opened by the host; not read by this service).
extern DbTHandle *pPrtCoreDB;
// Receives each fetched string before it is copied out.
extern char StrBuf[NLS_STRBUF_SIZE];
// The text "Error", returned where no lookup is possible; shared, never freed by callers.
extern char *pErrBuf;
// Result of NlsCalcStrVal.
extern char StrVal[NLS_STRVAL_SIZE];
// Shared buffer into which toolkit modules format translated messages.
extern char NlsBuf[NLSBUF_SIZE];

// Opens string database <pToolPath>/db/<language>/<name>.odb with DbTOpen's open flags.
// Returns the handle; for a missing English database prints
// "ERROR:  Could not open English database:  %s\n" on standard error and returns null; for
// another language a missing database gives an empty handle on which every fetch misses.
DbTHandle *NlsOpenDB(const char *name, int flags);

// Fetches a string. Mode 0 and 3 take (int set, int number), modes 1 and 2 a key text.
// Modes 0-2: on a hit fills `out` (which must hold NLS_STRBUF_SIZE bytes) and returns it, or
// returns a new copy when `out` is null; strings longer than 2047 characters are cut. Mode 3
// always returns a new string of any length, owned by the caller. On a miss returns the key
// text (numeric keys in module storage, valid for the life of the process) and copies it
// into `out`. A null handle without set, number and key, or a null key, gives pErrBuf.
char *NlsFetchString(DbTHandle *db, char *out, int mode, ...);

// As NlsFetchString, but in modes 0-2 writes at most size bytes (always terminated) into
// `out`; a null `out` or mode 3 behave as in NlsFetchString.
char *NlsFetchStringN(DbTHandle *db, char *out, size_t size, int mode, ...);

// Prints string set/number of `db` as a format with the further arguments on `fp`, or
// "Error" when it is missing.
void Nlsfprintf(FILE *fp, DbTHandle *db, int set, int number, ...);

// Formats string set/number of `db` with the further arguments into `out` (which must be
// large enough), or writes "Error" when it is missing.
void Nlssprintf(char *out, DbTHandle *db, int set, int number, ...);

// As Nlssprintf, writing at most size - 1 characters and a NUL into `out`.
void Nlssnprintf(char *out, size_t size, DbTHandle *db, int set, int number, ...);

// Copies `pattern` into `out` (size bytes, always terminated, cut when full), replacing the
// n-th "%s" by string set/n of pDrvCoreDB (at most 1023 characters each). Returns `out`.
char *NlsGuiStrCvt(const char *pattern, int set, char *out, int size);

// Returns the 16-hex-digit check value "%08X%08X" of W = sum i*i*c[i] and S = sum c[i] (c
// signed 8-bit, i from 1, 32-bit arithmetic), in StrVal. A null text counts as empty.
char *NlsCalcStrVal(const char *text);
