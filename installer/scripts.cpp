// Print-queue interface, driver and launcher scripts.
//
// Every script is "#!/bin/sh", the banner with the current year and a body
// template filled with printf; the templates are data (installer/templates),
// embedded at build time. The scripts read .os_cfg at print time, so the same
// files serve every print subsystem.
#include "installer/scripts.h"

#include "installer/entry.h"
#include "toolkit/runtime/files.h"
#include "toolkit/runtime/logging.h"
#include "toolkit/runtime/memory.h"
#include "toolkit/syscmd/syscmd.h"
#include "toolkit/syscmd/sysquery.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>

namespace {

constexpr const char *kPrintconfUtil = "/usr/share/printconf/util";

int currentYear() {
    time_t now = time(nullptr);
    struct tm parts {};
    if (localtime_r(&now, &parts) == nullptr) return 1970;
    return parts.tm_year + 1900;
}

// Opens path ("w+"), writes shell line, banner and the body filled from the
// variadic arguments, closes and chmods 755. 1 written, 0 not opened.
int writeScript(const char *path, const char *shell, const char *body, ...) {
    FILE *f = OpenFile(nullptr, path, "w+", ERROR_MSG_WARNING);
    if (f == nullptr) return 0;
    fprintf(f, "%s\n", shell);
    fprintf(f, ScriptBanner, currentYear());
    va_list args;
    va_start(args, body);
    vfprintf(f, body, args);
    va_end(args);
    fclose(f);
    SysCmd(ROW_CHMOD, SYSCMD_QUIET, "755 %s", path);
    return 1;
}

// Saved "<dir>/<name>" or null when dir is unset.
char *appPath(const char *name) {
    if (pAppDir == nullptr) return nullptr;
    return SaveStr("%s/%s", pAppDir, name);
}

} // namespace

int generateZarvoPrintosxxScript(const char *path, const char *shell, const char *body) {
    return writeScript(path, shell, body, pAppDir, PRODUCT_CODE, "ostrel" PRODUCT_CODE,
                       "ostrel" PRODUCT_CODE, PRODUCT_CODE, PRODUCT_CODE);
}

int generatev4DriverScript(const char *path, const char *shell, const char *body) {
    return writeScript(path, shell, body, pAppDir);
}

int generateZarvoQSFScript(const char *path, const char *shell, const char *body,
                           const char *spoolDir) {
    return writeScript(path, shell, body, pAppDir, spoolDir);
}

void GenSimpleScript(const char *path, const char *shell, const char *body, const char *a,
                     const char *b, const char *c) {
    writeScript(path, shell, body, a, b, c);
}

void createQueueScripts(const char *spoolDir) {
    if (pAppDir == nullptr || spoolDir == nullptr) return;
    char *path = appPath("ZarvoPrintosxx");
    generateZarvoPrintosxxScript(path, ScriptShShell, ZarvoPrintosxxScript);
    PutMem(path);
    path = appPath("v4DriverScript");
    generatev4DriverScript(path, ScriptShShell, pv4DriverScript);
    PutMem(path);
    path = appPath(MAKER_NAME "QSF");
    char *spool = SaveStr("%s/%s", spoolDir, PRODUCT_CODE);
    generateZarvoQSFScript(path, ScriptShShell, ZarvoQSFScript, spool);
    PutMem(spool);
    PutMem(path);
    if (SniffLprng() && FindFile(kPrintconfUtil, "") && !FindFile(kPrintconfUtil, "ZarvoPrintosxx"))
        SysCmd(ROW_LN, SYSCMD_WARN, "-s %s/%s/%s/ZarvoPrintosxx %s/ZarvoPrintosxx",
               pTargetInstallDir, MAKER_NAME, PRODUCT_CODE, kPrintconfUtil);
}
