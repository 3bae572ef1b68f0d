// Free-space check: the work area and the install area must hold what the
// distribution's size files ask for, counting directories that will be
// replaced as free and one file system shared by both areas only once.
#include "installer/installer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Margin added to each size the distribution states.
const double kMargin = 40.0;
// A probed file system with this much free space or less counts as full.
const double kFullLimit = 17.0;

// Size named by a size file of the distribution plus the margin; a missing
// file ends the run.
double neededSize(const char *file) {
    if (!GetFileContent(pPathToSetup, file)) {
        printf("%s", nlsSetupStrCvt(MSG_NO_SIZE));
        exit(SETUP_EXIT_OK);
    }
    return strtod(LineBuf, nullptr) + kMargin;
}

// Free space of path's file system into rec (zeroed first: a failed query
// leaves no text, so it never matches another file system); 0 on failure.
double freeSpace(const char *path, DiskSpace *rec) {
    memset(rec, 0, sizeof *rec);
    return GetDiskSpace(path, rec) ? rec->Avail : 0.0;
}

bool exists(const std::string &path) {
    return FindFile(path.c_str(), "");
}

// Free space of the install area into rec and the path that was asked
// (*asked); sets *probe when the install area is not there yet.
double installAreaSpace(const char *target, const char *maker, DiskSpace *rec, std::string *asked,
                        std::string *probe) {
    std::string app = std::string(target) + "/" + maker + "/" PRODUCT_CODE;
    std::string makerDir = std::string(target) + "/" + maker;
    int appExists = 0;
    char *existing = FindExistingPath(app.c_str(), &appExists);
    if (appExists) {
        *asked = existing;
        PutMem(existing);
        return freeSpace(asked->c_str(), rec) + DUPath(app.c_str());
    }
    PutMem(existing);
    if (exists(makerDir))
        *asked = makerDir;
    else if (exists(target))
        *asked = target;
    else
        asked->assign(1, '/');
    *probe = *asked;
    return freeSpace(asked->c_str(), rec);
}

} // namespace

void FreeSpaceForInstall(char *work, char *target, char *maker) {
    double needInstall = neededSize("isize");
    double needWork = neededSize("tsize");

    int workExists = 0;
    char *workExisting = FindExistingPath(work, &workExists);
    DiskSpace rw;
    memset(&rw, 0, sizeof rw);
    char found = GetDiskSpace(workExisting, &rw);
    PutMem(workExisting);
    if (!found) return;
    double freeWork = rw.Avail + (workExists ? DUPath(work) : 0.0);

    DiskSpace ri;
    std::string asked, probe;
    double freeInstall = installAreaSpace(target, maker, &ri, &asked, &probe);

    DiskSpace scratch;
    if (!probe.empty() && freeSpace(probe.c_str(), &scratch) <= kFullLimit) {
        printf(nlsSetupMsg(MSG_FULL_FILE_SYSTEM), probe.c_str());
        exit(SETUP_EXIT_OK);
    }
    if (strcmp(rw.Text, ri.Text) != 0) {
        if (freeWork < needWork) {
            printf(nlsSetupStrCvt(MSG_WORK_SMALL), work, needWork);
            exit(SETUP_EXIT_OK);
        }
        if (freeInstall < needInstall) {
            printf(nlsSetupStrCvt(MSG_INSTALL_SMALL), target, needInstall);
            exit(SETUP_EXIT_OK);
        }
        return;
    }
    double a = freeSpace(asked.c_str(), &scratch);
    double available = (a < freeWork || a < freeInstall) ? freeInstall - a + freeWork
                                                         : MaxD(freeWork, freeInstall);
    if (available < needInstall + needWork) {
        printf(nlsSetupStrCvt(MSG_SHARED_SMALL), work, target, needInstall + needWork);
        exit(SETUP_EXIT_OK);
    }
}
