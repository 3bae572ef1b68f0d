// Tokens and strings: the shared tokenizer, delimited lists, path helpers.
//
// A delimited list is one string whose first character is its delimiter and
// whose items follow, each ended by it (the last delimiter may be left out):
// ",a,b," and ",a,b" both hold a and b. Positions count from 1; 0 is absent.
// Single-threaded: results live in static storage overwritten by the next call.
#pragma once

#include "toolkit/runtime/shared.h"

// Longest token GetToken returns (GetTokenBuf holds it plus the NUL).
#define TOKEN_MAX 255
// Longest item FindToken/FindTokenC search for.
#define TOKEN_ITEM_MAX 509
// Value of the input argument that continues the current input in line mode:
// a token ended by a newline yields null.
#define TOKEN_LINE_MODE ((char *)-1)

// Read position in the current input.
extern char *szIn;
// Rest of the input after the last token (also set by SetTokenBuf).
extern char *szTokenIn;
// The current token of GetToken.
extern char GetTokenBuf[TOKEN_MAX + 1];
// Delimiter that ended the last token, 0 if it ended at the end of the input.
extern char chTokenDel;

// The next token in GetTokenBuf, or null when none is left. in non-null starts
// a new input, null continues, TOKEN_LINE_MODE continues in line mode. A
// backslash escapes the next character (\n \r \t translated). Tokens longer
// than 255 characters are cut (the rest of the token is consumed).
char *GetToken(char *in, const char *delims);
// As GetToken, with the position in *cursor and the token in buf (at least
// 256 bytes). Returns buf or null.
char *GetTokenD(char *in, const char *delims, char **cursor, char *buf);
// As GetToken but cuts the input in place (delimiters become NUL) and returns
// a pointer into it; escapes are kept untranslated.
char *GetTokenParse(char *in, const char *delims);
// Splits s in place into at most max tokens stored in out (first cleared);
// returns the number stored; null s or max <= 0 gives 0.
int ParseStr(char *s, const char *delims, char **out, int max);
// The n-th token of in (from 1; n <= 1 gives the first), or null.
char *GetTokenN(char *in, const char *delims, int n);
// Number of tokens in in; the tokenizer state is saved and restored.
int GetTokenCount(char *in, const char *delims);
// Sets szIn and szTokenIn to p.
void SetTokenBuf(char *p);
// Returns szIn.
char *GetTokenBufInput();

// Position of name in list (case-sensitive, whole items); 0 if absent, if
// either is null, or if name is longer than 509 characters.
int FindToken(const char *name, const char *list);
// As FindToken, ignoring case.
int FindTokenC(const char *name, const char *list);
// Position of name in a list with delimiter delim (a leading delim is
// optional); 0 if absent or either is null.
int FindTokenWithDelim(const char *list, const char *name, char delim);
// Sorts the items of list in place, ascending; byte order when flCase is 0,
// ignoring case otherwise.
void SortTokens(char *list, char delim, char flCase);

// Path helpers; each returns its own static buffer (127 characters, 255 for
// StripFn), valid until its next call. Over-long inputs are cut to fit.

// Last component (text after the last run of '/'); null or empty gives "".
char *StripPath(const char *src);
// Directory part: text before the last '/'; "/" directly under the root; "."
// without '/', for "" or null.
char *StripFn(const char *src);
// src cut at its first '.' after any leading dots.
char *StripExt(const char *src);
// StripPath of src cut at its first '.'.
char *StripPathExt(const char *src);
// "" for null, "." or ".."; else the first '/'-piece reduced to its last
// '.'-token that does not have '/' as its second character.
char *StripPathName(const char *src);

// String helpers; null inputs give 0, null or "" as the type suggests.

// Length of s (0 for null).
int StrLen(const char *s);
// First c in s; a backslash hides the character after it (an unescaped
// backslash is itself found). Null if none.
char *StrChr(const char *s, int c);
// The n-th c in s (from 1); null if fewer, n < 1 or s null.
char *StrNChr(const char *s, int c, int n);
// The n-th occurrence of pat, each search one character past the previous hit.
char *StrNStr(const char *s, const char *pat, int n);
// First t in s; null if either is null or t is empty.
char *StrStr(const char *s, const char *t);
// As StrStr, ignoring case.
char *StrCaseStr(const char *s, const char *t);
// First character of s that is not white space; null stays null.
char *SkipSpace(const char *s);
// Removes every backslash of s in place; returns s.
char *StripAllBackslashes(char *s);
// Removes every non-printable character of s in place; returns s.
char *StripNonPrint(char *s, int flag);
// Copies len bytes, reversed when flSwap is nonzero.
void SetVarContent(void *dst, const void *src, int len, char flSwap);
// The larger of a and b.
double MaxD(double a, double b);
// Converts x between units 0 inch, 1 centimetre, 2 point; others unchanged.
float CvtFloatFormat(float x, int from, int to);
// Saved copy of the longest leading part of path that exists (at least "/"
// or "."); *flExists = 1 when that is path itself, untouched otherwise (also
// for an empty or null path, which gives ".").
// Paths longer than 4095 characters are cut.
char *FindExistingPath(const char *path, int *flExists);
