#include "toolkit/runtime/tokens.h"

char *szIn = nullptr;
char *szTokenIn = nullptr;
char GetTokenBuf[TOKEN_MAX + 1];
char chTokenDel = 0;

char *GetToken(char *, const char *) {
    return nullptr;
}
char *GetTokenD(char *, const char *, char **, char *) {
    return nullptr;
}
char *GetTokenParse(char *, const char *) {
    return nullptr;
}
int ParseStr(char *, const char *, char **, int) {
    return 0;
}
char *GetTokenN(char *, const char *, int) {
    return nullptr;
}
int GetTokenCount(char *, const char *) {
    return 0;
}
void SetTokenBuf(char *p) {
    szIn = szTokenIn = p;
}
char *GetTokenBufInput() {
    return szIn;
}
int FindToken(const char *, const char *) {
    return 0;
}
int FindTokenC(const char *, const char *) {
    return 0;
}
int FindTokenWithDelim(const char *, const char *, char) {
    return 0;
}
void SortTokens(char *, char, char) {}
static char Empty[1];
char *StripPath(const char *) {
    return Empty;
}
char *StripFn(const char *) {
    return Empty;
}
char *StripExt(const char *) {
    return Empty;
}
char *StripPathExt(const char *) {
    return Empty;
}
char *StripPathName(const char *) {
    return Empty;
}
int StrLen(const char *) {
    return 0;
}
char *StrChr(const char *, int) {
    return nullptr;
}
char *StrNChr(const char *, int, int) {
    return nullptr;
}
char *StrNStr(const char *, const char *, int) {
    return nullptr;
}
char *StrStr(const char *, const char *) {
    return nullptr;
}
char *StrCaseStr(const char *, const char *) {
    return nullptr;
}
char *SkipSpace(const char *s) {
    return const_cast<char *>(s);
}
char *StripAllBackslashes(char *s) {
    return s;
}
char *StripNonPrint(char *s, int) {
    return s;
}
void SetVarContent(void *, const void *, int, char) {}
double MaxD(double a, double b) {
    return a > b ? a : b;
}
float CvtFloatFormat(float x, int, int) {
    return x;
}
char *FindExistingPath(const char *, int *) {
    return nullptr;
}
