// Text-file editing operations: rewrite a file line by line through an output copy.
//
// The rewriting operations edit <base>.<ext> (or <base> when ext is null or
// empty) by writing every line, changed or not, to <base>.<ext>out and then
// renaming that copy over the input in one step, keeping the input's mode.
// They return 0 when the file was replaced and non-zero otherwise; on any
// failure before the rename the input is left as it was and the copy is
// removed. An input or output that cannot be opened, or a name longer than
// 127 characters, ends the process ("can't open file, %s" through SysError,
// status 1). Lines of any length are handled whole.
#pragma once

#include "toolkit/runtime/shared.h"

#include <cstdio>

// Size of Fn and FnOut: names of up to 127 characters.
#define TEXTEDIT_NAME_SIZE 128
// Longest physical line GetLine reads at once; longer lines come in pieces.
#define GETLINE_MAX (LINE_SIZE - 1)

// Input file name of OpenIOFiles.
extern char Fn[TEXTEDIT_NAME_SIZE];
// Output file name of OpenIOFiles (Fn + "out").
extern char FnOut[TEXTEDIT_NAME_SIZE];
// Output stream opened by OpenIOFiles; null when closed.
extern FILE *pOut;
// Points to Line after GetLine.
extern char *pLine;
// Physical lines consumed by the last GetLine.
extern int LineCnt;
// File offset of the start of the last physical line GetLine read.
extern int InPos;
// 1 (the default): GetLine removes comments and leading white space.
extern char flInputFilterState;

// Replaces the first occurrence of pattern in every line by text.
int FileChange(const char *base, const char *ext, const char *pattern, const char *text);
// Replaces every occurrence of the character named by the number text code
// ("%i": decimal, 0 octal, 0x hex) by the bytes named by the comma list of
// number texts codes (up to 127; one naming byte 0 ends the list). A code
// that is not a number leaves the file alone and returns 1.
int FileChangeChar(const char *base, const char *ext, const char *code, const char *codes);
// Among the lines containing pattern, the first n stay; from every later
// one the first occurrence of pattern is removed.
int FileDel(const char *base, const char *ext, int n, const char *pattern);
// By the first character of how: none, remove the first occurrence of text
// from each line; 'a', cut each matching line after the first occurrence and
// end it with a newline; 'b', drop what precedes the first occurrence; 'c',
// remove every character named by the number text text; 'l', remove every
// line containing text. Any other character returns 1 before anything is
// opened.
int FileDelFormat(const char *base, const char *ext, const char *how, const char *text);
// Inserts text before every line. "%s<digits>" in text sets the starting
// count and is removed from text (the caller's text is changed);
// "%#<digits m>" limits the insertion to lines where the count is at least m
// and is replaced there by count - m as "%05i". A mark without digits is
// plain text. The count goes up per line.
int FileInsert(const char *base, const char *ext, char *text);
// As FileInsert on a copy of text (the caller's text stays as it is).
int FileInsert(const char *base, const char *ext, const char *text);
// As FileInsert, but only before (and counting only) lines containing pattern.
int FileSearchInsert(const char *base, const char *ext, char *text, const char *pattern);
// As FileSearchInsert on a copy of text.
int FileSearchInsert(const char *base, const char *ext, const char *text, const char *pattern);
// Among the lines containing pattern, the first n stay; later ones are removed.
int FileDelLine(const char *base, const char *ext, int n, const char *pattern);
// As FileDelLine; every removed line also arms the removal of one later line
// that contains pattern2 but not pattern.
int FileDelLinePair(const char *base, const char *ext, int n, const char *pattern,
                    const char *pattern2);

// Sets Fn (<base>.<ext> or <base>) and FnOut (Fn + "out") and opens them into
// pIn ("rt") and pOut ("wt"), closing streams still open there; returns pOut.
// Failures end the process as for the rewriting operations.
FILE *OpenIOFiles(const char *base, const char *ext);
// Closes pIn and pOut and renames FnOut over Fn. 0 on success; non-zero (the
// output then removed, Fn untouched) when the output could not be written
// completely or renamed, or nothing was opened.
int ReplaceInputFile();
// Reads the next logical line of pIn into Line. While flInputFilterState is
// set the line is cut at "//", loses its leading white space, then its first
// block comment (lines that open or lie inside a comment that goes on are
// skipped), and is cut at its newline; otherwise it is returned as read.
// Returns LineCnt (>= 1), or 0 at the end of the file (Line then unchanged)
// or without input.
int GetLine();
// The result of the n-th of n successive GetLine calls; 0 for n <= 0.
int GetLineN(int n);
// An identifier from phrase in a static buffer (up to 254 characters): from
// the first letter on, every run of letters and digits lower-cased with its
// first character upper-cased, everything else dropped. Null gives "".
char *GenName(const char *phrase);
