// Files and directories: shared input, whole-file reads, file facts, directory lists.
#pragma once

#include "toolkit/runtime/shared.h"

#include <cstdio>
#include <ctime>
#include <dirent.h>

// Size of InputFileName.
#define INPUTFILENAME_SIZE 256
// Size of the FileSearch result buffer.
#define FILESEARCH_BUF_SIZE 512

// Shared input of OpenInputFile/GetFileLine (also read by the text-editing
// operations); null when closed.
extern FILE *pIn;
// The path last given to OpenInputFile (cut safely when longer).
extern char InputFileName[INPUTFILENAME_SIZE];
// Length of the lines already joined into LineBuf while a continuation is read.
extern int LineLen;
// Size of the file last read by GetSavedFileContent.
extern int SavedFileSize;
// Static result of FileSearch.
extern char Buf[FILESEARCH_BUF_SIZE];

// Closes old (when not null) and opens path with the stdio mode string. On
// failure: errmode 2 ends the process through SysError, 1 prints
// "ERROR: can't open file, %s\n" on stderr, 0 is silent; returns null.
FILE *OpenFile(FILE *old, const char *path, const char *mode, int errmode);
// OpenFile with the path formatted from fmt (up to 511 characters; longer
// paths fail as unopenable).
FILE *OpenFileF(FILE *old, const char *mode, int errmode, const char *fmt, ...)
    __attribute__((format(printf, 4, 5)));
// open(2) of path; on failure prints "ERROR: can't open file, %s" on stdout and
// returns the negative result.
int OpenRawFile(const char *path, int flags);

// Makes path the shared input (closing the previous one). 1 on success; on
// failure ErrorMsg(errmode, 0, ...), LineBuf emptied, LineLen 0, returns 0.
char OpenInputFile(const char *path, int errmode);
// OpenInputFile with the path formatted from fmt (up to 511 characters).
char OpenInputFileF(int errmode, const char *fmt, ...) __attribute__((format(printf, 2, 3)));
// Closes the shared input if open.
void CloseInputFile();
// 1 with the next logical line (backslash-newline joins lines) in LineBuf;
// 0 at end of file (the input is then closed) or when no input is open.
char GetFileLine();
// 1 with the first token of the next line that is neither a comment (#) nor
// empty at the start of LineBuf; 0 at end of file or for null delims.
char GetFileTextLine(const char *delims);
// Reads one line of f starting at byte offset into buf; returns buf or null.
char *fgetsp(char *buf, int size, FILE *f, long offset);
// Positions the shared input at offset and reads a line with GetLine.
void GetLinePos(long offset);

// 1 with the first bytes (at most 4095) of dir/name (or dir) in LineBuf; 0 if
// it cannot be opened.
char GetFileContent(const char *dir, const char *name);
// 1 after reading at most size-1 bytes of dir/name (or dir) into buf; 0 if it
// cannot be opened or the path is over-long.
char GetFileContentR(const char *dir, const char *name, char *buf, int size);
// The whole file dir/name (or dir) in managed memory (PutMem it), terminated;
// null for a missing or empty file; a one-byte file gives "".
char *GetSavedFileContent(const char *dir, const char *name);
// First line of path containing text (the first line when text is null) in
// Buf, or null; open failures reported as OpenFile with errmode.
char *FileSearch(const char *path, const char *text, int errmode);

// Size in bytes of path, 0 when it does not exist.
long GetFileSize(const char *path);
// Modification time of path, 0 when it does not exist.
time_t GetFileTime(const char *path);
// 0 missing, 1 directory, 2 symbolic link (not followed), 3 anything else.
int GetFileType(const char *path);

// 1 if name is an entry of directory dir (whole names; "." and ".." count);
// with a null dir, name is the path; an empty name tests dir itself.
char FindFile(const char *dir, const char *name);
// 1 if stat succeeds on dir/name (or whichever is given), else 0.
char FindFile_(const char *dir, const char *name);
// Name of the next entry of d, or null at the end.
char *ReadDir(DIR *d);
// " e1 e2 ... " of every entry of dir in directory order, in managed memory
// (PutMem it); null if dir cannot be opened.
char *GetDirFileList(const char *dir);
// Directory list of the entries whose text after the last '.' is ext (every
// entry but "." and ".." when ext is null); null when nothing is listed.
char *SearchDirFileList(const char *dir, const char *ext);

// The four file changes below run commands: they are defined in
// toolkit/syscmd/filecmds.cpp and need the syscmd library.

// Makes dir (mkdir -p) unless it exists, touches dir/name when name is given,
// then applies mode, owner and group; all through SysCmd in mode 2. Returns 0
// (a failure ends the process).
int CreateFile(const char *dir, const char *name, const char *mode, const char *owner,
               const char *group);
// rm -rf of dir/name (or the path dir when name is null, or the path name when
// dir is null) if it exists, mode 1; returns the command's status (0 also when
// nothing was there).
int DeleteFile(const char *dir, const char *name);
// As DeleteFile, but without name the existence test splits path itself.
int DeleteFile_(const char *path, const char *name);
// mv -f dir/old dir/newname (quiet, mode 1) when old is an entry of dir; with
// a null dir, old and newname are paths. Returns the command's status, or 0.
int RenameFile(const char *dir, const char *old, const char *newname);
