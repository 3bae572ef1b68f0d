#include "toolkit/syscmd/syscmd.h"

int SysCmd(int, int, const char *, ...) {
    return 0;
}
CmdResponse *GetCmdResponse(int, const char *, const char *, ...) {
    return nullptr;
}
char *GetCmdResponseStr(int, const char *, const char *, ...) {
    return nullptr;
}
CmdResponse *FreeResponseList(CmdResponse *) {
    return nullptr;
}
int SysCmdP(int, const char *, ...) {
    return 0;
}
