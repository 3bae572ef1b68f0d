#include "toolkit/syscmd/sysquery.h"

char *GetSysPsIdList(const char *) {
    return nullptr;
}
char *CheckProcTableForExecs(const char *) {
    return nullptr;
}
int KillProcessByName(const char *) {
    return 0;
}
char GetDiskSpace(const char *, DiskSpace *) {
    return 0;
}
double DUPath(const char *) {
    return 0;
}
char AvailSpace(const char *, const char *, double) {
    return 0;
}
char *GetUserName() {
    return nullptr;
}
char *GetHostname() {
    return nullptr;
}
char SniffLprng() {
    return 0;
}
char SniffCUPS() {
    return 0;
}
void SysGetSubnetMask() {}
