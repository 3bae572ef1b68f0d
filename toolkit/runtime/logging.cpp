#include "toolkit/runtime/logging.h"

#include <cstdlib>

char *pLogPath = nullptr;
FILE *pLog = nullptr;

void PutLogMsg(const char *, ...) {}
void SysError(const char *, ...) {
    exit(1);
}
void ErrorMsg(int, int, const char *, ...) {}
void errormsg(const char *, ...) {}
void exit_app(int status) {
    exit(status);
}
char CreateTextFile(const char *, const char *, int, const char *, ...) {
    return 0;
}
char *GetEnv(const char *) {
    return nullptr;
}
