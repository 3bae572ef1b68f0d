// Install sequence: work area, archive, directories, permissions.
//
// The run is root and the work area and the decompression log live in
// world-writable /tmp under fixed names, so both are checked right after they
// are made, by the rule of tmpfile.h.
#include "installer/sequence.h"

#include "installer/entry.h"
#include "installer/messages.h"
#include "installer/pkglist.h"
#include "installer/readiness.h"
#include "installer/scripts.h"
#include "toolkit/runtime/files.h"
#include "toolkit/runtime/logging.h"
#include "toolkit/runtime/memory.h"
#include "toolkit/runtime/tmpfile.h"
#include "toolkit/runtime/tokens.h"
#include "toolkit/syscmd/syscmd.h"
#include "toolkit/syscmd/sysquery.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char *kEndOfList = "end_of_list";
constexpr const char *kSpoolFormat = "/var/spool/%s";

// Makes the work area anew and ends the run unless it is then a real
// directory of our own (not a planted link or another user's directory).
void makeWorkArea(const char *workArea) {
    DeleteFile(workArea, nullptr);
    if (!MakeOwnTmpDir(workArea, 0777))
        ErrorMsg(ERROR_MSG_FATAL, SETUP_EXIT_FAILED, nlsSetupMsg(MSG_WORK_AREA_NOT_OWN), workArea);
}

// Leaves /tmp/setup.log a file of our own that the shell may append to: a
// link, directory or foreign file in its place is removed first.
void prepareDecompressLog() {
    if (!ClearTmpPath(DECOMPRESS_LOG)) SysCmd(ROW_RM_RF, SYSCMD_WARN, " %s", DECOMPRESS_LOG);
    int fd = OpenOwnTmpFile(DECOMPRESS_LOG, O_CLOEXEC, 0644);
    if (fd < 0)
        ErrorMsg(ERROR_MSG_FATAL, SETUP_EXIT_FAILED, nlsSetupMsg(MSG_DECOMPRESS_LOG),
                 DECOMPRESS_LOG);
    close(fd);
}

bool isPiece(const char *word) {
    return strncmp(word, "pkg_tar.", 8) == 0 || strncmp(word, "PKG_TAR.", 8) == 0;
}

void copyListedFile(const char *word, void *workArea) {
    SysCmd(ROW_CP_P, SYSCMD_FATAL, "%s/%s %s", pPathToSetup, word,
           static_cast<const char *>(workArea));
}

void appendPiece(const char *word, void *) {
    if (!FindFile(pZarvoInstallDir, word)) return;
    SysCmd(-ROW_CAT, SYSCMD_FATAL, "%s/%s >> %s/%s.tar.Z", pZarvoInstallDir, word, pZarvoInstallDir,
           ARCHIVE_BASE_NAME);
}

} // namespace

void ForEachListedFile(const char *list, void (*fn)(const char *word, void *arg), void *arg) {
    std::string text = list;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        if (line == kEndOfList) return;
        char *cursor = line.data();
        char word[TOKEN_MAX + 1];
        while (GetTokenD(nullptr, " \t\r\n", &cursor, word) != nullptr) {
            if (strcmp(word, kEndOfList) == 0) break;
            fn(word, arg);
        }
    }
}

void ForEachArchivePiece(const char *list, void (*fn)(const char *word, void *arg), void *arg) {
    std::string text = list;
    char *cursor = text.data();
    char word[TOKEN_MAX + 1];
    while (GetTokenD(nullptr, " \n\r", &cursor, word) != nullptr) {
        if (strcmp(word, kEndOfList) == 0) break;
        if (isPiece(word)) fn(word, arg);
    }
}

const char *LoadDiskList(const char *dir) {
    if (GetFileContent(dir, "disks")) return "disks";
    if (!GetFileContent(dir, "DISKS")) return nullptr;
    char *stop = strstr(LineBuf, kEndOfList);
    for (char *p = LineBuf; *p != '\0' && p != stop; p++)
        *p = (char)toupper((unsigned char)*p);
    return "DISKS";
}

int GetDisksData(const char *dir) {
    if (LoadDiskList(dir) == nullptr)
        ErrorMsg(ERROR_MSG_FATAL, SETUP_EXIT_FAILED, nlsSetupStrCvt(MSG_NO_DISK_LIST), MAKER_NAME);
    return 1;
}

void genZFile(void) {
    if (chdir(pZarvoInstallDir) != 0)
        ErrorMsg(ERROR_MSG_FATAL, SETUP_EXIT_FAILED, nlsSetupMsg(MSG_WORK_AREA_CHDIR),
                 pZarvoInstallDir);
    GetDisksData(pZarvoInstallDir);
    ForEachArchivePiece(LineBuf, appendPiece, nullptr);
}

void createInstallationDirectories(const char *target) {
    if (strcmp(target, DEFAULT_BASE_DIR) == 0) {
        CreateFile(pAppDir, nullptr, "755", nullptr, nullptr);
        return;
    }
    char *app = SaveStr("%s/%s/%s", target, MAKER_NAME, PRODUCT_CODE);
    CreateFile(app, nullptr, "775", nullptr, nullptr);
    PutMem(app);
    if (GetFileType("/usr/" MAKER_NAME) == 0)
        CreateFile("/usr/" MAKER_NAME, nullptr, "775", nullptr, nullptr);
    SysCmd(ROW_LN, SYSCMD_FATAL, "-s %s/%s/%s %s/%s/%s", target, MAKER_NAME, PRODUCT_CODE,
           DEFAULT_BASE_DIR, MAKER_NAME, PRODUCT_CODE);
}

int createPrintingSubsystemFile(const char *appDir) {
    const char *flag = " BSD ";
    if (SniffLprng()) flag = " LPRng ";
    if (SniffCUPS()) flag = " CUPS ";
    char *path = SaveStr("%s/.os_cfg", appDir);
    int written = CreateTextFile(path, "wt", 0644, "%s", flag);
    PutMem(path);
    return written;
}

int Install(void) {
    if (!readyForInstallation()) return 0;
    genZFile();
    prepareDecompressLog();
    char *line = SaveStr("/usr/bin/uncompress %s/%s.tar.Z 1>>%s 2>>%s", pZarvoInstallDir,
                         ARCHIVE_BASE_NAME, DECOMPRESS_LOG, DECOMPRESS_LOG);
    if (system(line) != 0) {
        PutMem(line);
        line = SaveStr("gzip -dfv %s/%s.tar.Z 1>>%s 2>>%s", pZarvoInstallDir, ARCHIVE_BASE_NAME,
                       DECOMPRESS_LOG, DECOMPRESS_LOG);
        // Its failure shows in the log; the unpacking step then stops the run.
        int ignored = system(line);
        (void)ignored;
    }
    PutMem(line);
    if (chdir(pZarvoInstallDir) != 0)
        ErrorMsg(ERROR_MSG_FATAL, SETUP_EXIT_FAILED, nlsSetupMsg(MSG_WORK_AREA_CHDIR),
                 pZarvoInstallDir);
    SysCmd(ROW_TAR_XVFP, SYSCMD_FATAL, "%s/%s.tar", pZarvoInstallDir, ARCHIVE_BASE_NAME);
    DeleteFile(pZarvoInstallDir, ARCHIVE_BASE_NAME ".tar");

    char *spool = SaveStr(kSpoolFormat, MAKER_NAME);
    if (pCurrentInstallDir != nullptr) {
        if (ProcessPkgList("pkg") != 0) return 1;
        createPrintingSubsystemFile(pAppDir);
        createQueueScripts(spool);
    } else {
        createInstallationDirectories(pTargetInstallDir);
        createPrintingSubsystemFile(pAppDir);
        createQueueScripts(spool);
        CreateFile(spool, nullptr, "775", nullptr, nullptr);
        char *download = SaveStr("%s/%s/__osa_download__", spool, PRODUCT_CODE);
        CreateFile(download, nullptr, "777", nullptr, nullptr);
        PutMem(download);
        if (ProcessPkgList("pkg") != 0) return 1;
        SysCmd(ROW_SH, SYSCMD_QUIET, "/usr/%s/%s/selinux/SHXPatchSELinuxPolicy", MAKER_NAME,
               PRODUCT_CODE);
    }
    PutMem(spool);
    SysCmd(ROW_CHMOD, SYSCMD_QUIET, "755 %s/%s", pTargetInstallDir, MAKER_NAME);
    SysCmd(ROW_CHMOD, SYSCMD_WARN, "4755 %s/%s", pAppDir, "osrosxxtty");
    SysCmd(ROW_CHMOD, SYSCMD_WARN, "4755 %s/%s", pAppDir, "qsf");
    return 0;
}

int installFromSite(const char *workArea) {
    makeWorkArea(workArea);
    GetDisksData(pPathToSetup);
    ForEachListedFile(LineBuf, copyListedFile, const_cast<char *>(workArea));
    Install();
    return 0;
}
