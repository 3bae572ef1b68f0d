// Solaris package upgrade: copy and register the package's regular files,
// then move its recorded version forward.
#include "installer/solaris.h"

#include "installer/entry.h"
#include "installer/messages.h"
#include "toolkit/runtime/files.h"
#include "toolkit/runtime/logging.h"
#include "toolkit/runtime/tokens.h"
#include "toolkit/syscmd/syscmd.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

const char *pPathToInstallf = "/usr/sbin/installf";

namespace {

// Fields of a pkgmap line, by position.
enum { F_PART, F_TYPE, F_CLASS, F_PATH, F_MODE, F_OWNER, F_GROUP, F_USED };

// The toolkit module directories made under a new <app dir>/lib, in order.
const char *const kModuleDirs[] = {
    "%s/lib/gtk",
    "%s/lib/gtk/modules",
    "%s/lib/gtk/modules/2.2.0",
    "%s/lib/gtk/modules/2.2.0/engines",
    "%s/lib/gtk/modules/2.2.0/immodules",
    "%s/lib/gtk/modules/2.2.0/loaders",
    "%s/lib/gtk/modules/etc",
    "%s/lib/gtk/modules/etc/gtk-2.0",
    "%s/lib/gtk/modules/etc/pango",
    "%s/lib/gtk/modules/include",
    "%s/lib/gtk/modules/modules",
    "%s/lib/gtk/modules/pango",
    "%s/lib/gtk/modules/pango/1.2.0",
    "%s/lib/gtk/modules/pango/1.2.0/modules",
};

// True when s is non-empty and every character is one the shell takes
// literally in a word (letters, digits and . _ - + , = @ % : /); slash only
// when path is set.
bool ShellSafe(const char *s, bool path) {
    if (!s || !*s) return false;
    for (; *s; s++) {
        unsigned char c = (unsigned char)*s;
        if (isalnum(c) || strchr("._-+,=@%:", c) || (path && c == '/')) continue;
        return false;
    }
    return true;
}

// The formatted text (any length).
std::string Format(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char *fmt, ...) {
    va_list ap, again;
    va_start(ap, fmt);
    va_copy(again, ap);
    int n = vsnprintf(nullptr, 0, fmt, ap);
    va_end(ap);
    std::string s(n > 0 ? (size_t)n : 0, '\0');
    if (n > 0) vsnprintf(s.data(), s.size() + 1, fmt, again);
    va_end(again);
    return s;
}

// Runs a shell line whose result is ignored.
void Run(const std::string &line) {
    int rc = system(line.c_str());
    (void)rc;
}

// Prints one progress dot at once.
void Dot() {
    putchar('.');
    fflush(stdout);
}

// Makes <app dir>/lib with mode 755 and the module directories under it.
void MakeModuleDirs() {
    std::string lib = std::string(pAppDir) + "/lib";
    CreateFile(lib.c_str(), nullptr, "755", nullptr, nullptr);
    for (const char *dir : kModuleDirs)
        SysCmd(ROW_MKDIR, SYSCMD_FATAL, dir, pAppDir);
}

// Registers and copies the file of one split pkgmap line.
void InstallFile(const char *package, char **f) {
    std::string reg, copy;
    if (f[F_PATH][0] == '/') {
        reg = Format("%s -c %s %s %s %s %s %s %s 1>/dev/null 2>/dev/null", pPathToInstallf,
                     f[F_CLASS], package, f[F_PATH], f[F_TYPE], f[F_MODE], f[F_OWNER], f[F_GROUP]);
        copy = Format("cp %s/%s/root%s %s", pZarvoInstallDir, package, f[F_PATH], f[F_PATH]);
    } else {
        reg = Format("%s -c %s %s %s/%s/%s %s %s %s %s 1>/dev/null 2>/dev/null", pPathToInstallf,
                     f[F_CLASS], package, pTargetInstallDir, MAKER_NAME, f[F_PATH], f[F_TYPE],
                     f[F_MODE], f[F_OWNER], f[F_GROUP]);
        copy = Format("cp %s/%s/reloc/%s %s/%s/%s", pZarvoInstallDir, package, f[F_PATH],
                      pTargetInstallDir, MAKER_NAME, f[F_PATH]);
    }
    Run(reg); // failures are not reported
    Run(copy);
    Dot();
}

// Handles one pkgmap line in LineBuf: regular files of seven fields or more
// whose fields the shell takes literally; others are skipped.
void HandleMapLine(const char *package) {
    char *f[F_USED];
    if (ParseStr(LineBuf, " \n\r", f, F_USED) < F_USED) return;
    if (FindToken(f[F_TYPE], ",f,d,i,") != 1) return;
    for (int i = F_CLASS; i < F_USED; i++) {
        if (!ShellSafe(f[i], i == F_PATH)) {
            ErrorMsg(ERROR_MSG_WARNING, 0, nlsSetupMsg(MSG_PKGMAP_SKIPPED), f[F_PATH]);
            return;
        }
    }
    InstallFile(package, f);
}

} // namespace

int upgradeSolarisPackage(const char *package, const char *pkgdir) {
    if (!ShellSafe(package, false) || !strcmp(package, ".") || !strcmp(package, "..") ||
        !ShellSafe(pkgdir, true) || !ShellSafe(pAppDir, true) ||
        !ShellSafe(pZarvoInstallDir, true) || !ShellSafe(pTargetInstallDir, true)) {
        ErrorMsg(ERROR_MSG_WARNING, 0, nlsSetupMsg(MSG_PACKAGE_REFUSED), package ? package : "",
                 pkgdir ? pkgdir : "");
        return 0;
    }
    if (!FindFile(pAppDir, "lib")) MakeModuleDirs();
    OpenInputFileF(ERROR_MSG_FATAL, "%s/SPHVosxx/pkgmap", pkgdir);
    while (GetFileLine())
        HandleMapLine(package);
    std::string finish = Format("%s -f %s 1>/dev/null 2>/dev/null", pPathToInstallf, package);
    Run(finish);
    SysCmd(ROW_RM_F, SYSCMD_WARN, "/var/sadm/pkg/%s/pkginfo.tmp", package);
    std::string sed = Format("sed -e\"s/VERSION=[0-9.].*/VERSION=%s/\" /var/sadm/pkg/%s/pkginfo >> "
                             "/var/sadm/pkg/%s/pkginfo.tmp",
                             SOLARIS_PKG_VERSION, package, package);
    Run(sed);
    Dot();
    SysCmd(ROW_MV, SYSCMD_WARN, "/var/sadm/pkg/%s/pkginfo.tmp /var/sadm/pkg/%s/pkginfo", package,
           package);
    return 1;
}
