#include "installer/installer.h"

#include <cstdlib>

char *pZarvoInstallDir = nullptr;
char flCreatedTmpDir = 0;
char *pCmdLineInstallDir = nullptr;
char *pCurrentInstallDir = nullptr;
char *pTargetInstallDir = nullptr;
char *pAppDir = nullptr;
char *pPathToSetup = nullptr;
const char *pBinaryInstanceCheckList = ",osadmin,osqadmin,ostrel,osrosxxtty,OSQ,OSRM,qsf,";

void parseCommandLineOptions(int, char **) {}
char *GetToolPath(const char *) {
    return nullptr;
}
char *StripToBaseName(char *path) {
    return path;
}

void setupMain(int, char **) {
    exit(0);
}
