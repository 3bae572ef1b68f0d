#include "toolkit/syscmd/comtable.h"

ComListEntry ComList[COMLIST_ROWS];
char SearchPaths[256] = "/usr/sbin:/usr/bin:/bin:/sbin:/etc:/usr/etc";
char *FullSearchPath = nullptr;
char flInitSysCmd = 1;
char flSysCmdLog = 0;

void InitSysCmdList() {}
char FillCmdPaths(const char *) {
    return 1;
}
char FillCmdPath(int) {
    return 0;
}
char TestCmd(int) {
    return 0;
}
char *GetCmd(int) {
    return nullptr;
}
char *GetCmdNoFlags(int) {
    return nullptr;
}
