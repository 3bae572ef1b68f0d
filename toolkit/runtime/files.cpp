#include "toolkit/runtime/files.h"

FILE *pIn = nullptr;
char InputFileName[INPUTFILENAME_SIZE];
int LineLen = 0;
int SavedFileSize = 0;
char Buf[FILESEARCH_BUF_SIZE];

FILE *OpenFile(FILE *, const char *, const char *, int) {
    return nullptr;
}
FILE *OpenFileF(FILE *, const char *, int, const char *, ...) {
    return nullptr;
}
int OpenRawFile(const char *, int) {
    return -1;
}
char OpenInputFile(const char *, int) {
    return 0;
}
char OpenInputFileF(int, const char *, ...) {
    return 0;
}
void CloseInputFile() {}
char GetFileLine() {
    return 0;
}
char GetFileTextLine(const char *) {
    return 0;
}
char *fgetsp(char *, int, FILE *, long) {
    return nullptr;
}
void GetLinePos(long) {}
char GetFileContent(const char *, const char *) {
    return 0;
}
char GetFileContentR(const char *, const char *, char *, int) {
    return 0;
}
char *GetSavedFileContent(const char *, const char *) {
    return nullptr;
}
char *FileSearch(const char *, const char *, int) {
    return nullptr;
}
long GetFileSize(const char *) {
    return 0;
}
time_t GetFileTime(const char *) {
    return 0;
}
int GetFileType(const char *) {
    return 0;
}
char FindFile(const char *, const char *) {
    return 0;
}
char FindFile_(const char *, const char *) {
    return 0;
}
char *ReadDir(DIR *) {
    return nullptr;
}
char *GetDirFileList(const char *) {
    return nullptr;
}
char *SearchDirFileList(const char *, const char *) {
    return nullptr;
}
int CreateFile(const char *, const char *, const char *, const char *, const char *) {
    return 0;
}
int DeleteFile(const char *, const char *) {
    return 0;
}
int DeleteFile_(const char *, const char *) {
    return 0;
}
int RenameFile(const char *, const char *, const char *) {
    return 0;
}
