// Previous installation (found through its well-known name /usr/Zarvo/osxx),
// the move of an installation to a new base, and the final clean-up.
#include "installer/installer.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#define USR_BASE "/usr"

namespace {

// /usr/Zarvo/osxx.
std::string wellKnownName() {
    return std::string(USR_BASE "/" MAKER_NAME "/" PRODUCT_CODE);
}

// Drops ".", empty components and resolves ".." textually; keeps it absolute.
std::string normalise(const std::string &path) {
    std::string out;
    size_t i = 0;
    while (i < path.size()) {
        size_t j = path.find('/', i);
        if (j == std::string::npos) j = path.size();
        std::string part = path.substr(i, j - i);
        if (part == "..") {
            size_t cut = out.rfind('/');
            out.erase(cut == std::string::npos ? 0 : cut);
        } else if (!part.empty() && part != ".") {
            out.push_back('/');
            out.append(part);
        }
        i = j + 1;
    }
    return out.empty() ? "/" : out;
}

// The path as the system would name it: the longest existing leading part
// resolved by realpath, the rest normalised after it.
std::string canonical(const char *path) {
    std::string p = path;
    if (p[0] != '/') p.insert(0, "./");
    std::string head = p;
    size_t kept = p.size(); // p[kept..] is the part that does not exist
    char buf[PATH_MAX];
    while (!realpath(head.c_str(), buf)) {
        size_t cut = head.find_last_of('/');
        if (cut == std::string::npos || cut == 0) return normalise(p);
        head.erase(cut);
        kept = cut;
    }
    std::string full = buf;
    full.append(p, kept, std::string::npos);
    return normalise(full);
}

// Whether `within` is `outer` itself or lies below it (both resolved paths).
bool isAtOrBelow(const std::string &within, const std::string &outer) {
    if (within.compare(0, outer.size(), outer) != 0) return false;
    return within.size() == outer.size() || outer == "/" || within[outer.size()] == '/';
}

// Whether rm -rf of victim would touch the directory dir: remove it, a
// directory that holds it, or something inside it. rm follows every link on
// the way to victim but not a final one, so victim's own name is kept as is.
bool removalReaches(const char *victim, const char *dir) {
    struct stat v;
    char buf[PATH_MAX];
    if (lstat(victim, &v) != 0 || !realpath(dir, buf)) return false;
    std::string old = buf;
    std::string path = victim;
    size_t cut = path.find_last_of('/');
    std::string parent = cut == std::string::npos ? "." : cut == 0 ? "/" : path.substr(0, cut);
    if (!realpath(parent.c_str(), buf)) return false;
    std::string entry = buf;
    if (entry != "/") entry.push_back('/');
    entry.append(path, cut == std::string::npos ? 0 : cut + 1, std::string::npos);
    return isAtOrBelow(entry, old) || (S_ISDIR(v.st_mode) && isAtOrBelow(old, entry));
}

// StripToBaseName on a copy.
std::string stripped(std::string path) {
    path.push_back('\0');
    return StripToBaseName(path.data());
}

// Whether {base}/Zarvo/osxx is the directory st describes.
bool leadsTo(const std::string &base, const struct stat &st) {
    struct stat s;
    std::string app = base + "/" MAKER_NAME "/" PRODUCT_CODE;
    return stat(app.c_str(), &s) == 0 && s.st_dev == st.st_dev && s.st_ino == st.st_ino;
}

// The base directory of the installation the link `link` (text `text`) leads
// to. The base is read from the link's text, a relative one taken from the
// link's own directory, so that a relocated application directory (itself a
// link) keeps the base it was installed under. When that base does not lead
// back to the installation (the text goes through a linked maker directory),
// the base is read from the fully resolved target instead.
std::string baseOfLink(const std::string &link, const char *text) {
    struct stat app;
    if (stat(link.c_str(), &app) != 0) return stripped(text);
    char buf[PATH_MAX];
    std::string named = text;
    if (named[0] != '/') {
        std::string dir = link.substr(0, link.find_last_of('/'));
        named = normalise((realpath(dir.c_str(), buf) ? std::string(buf) : dir) + "/" + named);
    }
    std::string base = stripped(named);
    if (leadsTo(base, app) || !realpath(link.c_str(), buf)) return base;
    std::string resolved = stripped(buf);
    return leadsTo(resolved, app) ? resolved : base;
}

// The base goes into shell command lines unquoted (the move, the install
// steps, the queue tool): a name the command line would refuse ends the run
// here, before anything changes.
void refuseUnsafeBase(const std::string &base) {
    const char *why = UnsafeDirReason(base.c_str());
    if (!why) return;
    ErrorMsg(ERROR_MSG_FATAL, SETUP_EXIT_BAD_ARGUMENT, nlsSetupMsg(MSG_REFUSED_BASE), base.c_str(),
             why);
}

// Whether the directory the installation is moved into, existing or still to
// be made, lies inside the existing directory dir: mv would have to move dir
// into itself.
bool wouldLieInside(const std::string &into, const std::string &dir) {
    char buf[PATH_MAX];
    if (!realpath(dir.c_str(), buf)) return false;
    return isAtOrBelow(canonical(into.c_str()), buf);
}

} // namespace

char SameDirectory(const char *a, const char *b) {
    if (!a || !b || !*a || !*b) return 0;
    struct stat sa, sb;
    if (stat(a, &sa) == 0 && stat(b, &sb) == 0)
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    return canonical(a) == canonical(b);
}

char *locatePreviousInstallation(void) {
    std::string p = wellKnownName();
    struct stat st;
    if (lstat(p.c_str(), &st) != 0) return nullptr;
    char target[256] = {0};
    if (readlink(p.c_str(), target, sizeof target - 1) < 0) return SaveStr_(USR_BASE);
    // Judge the link the way the system follows it, from its own directory:
    // its text read from the current directory would misjudge a relative link.
    if (stat(p.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        SysCmd(ROW_RM_F, SYSCMD_WARN, "%s/%s/%s", USR_BASE, MAKER_NAME, PRODUCT_CODE);
        return nullptr;
    }
    std::string base = baseOfLink(p, target);
    refuseUnsafeBase(base);
    return SaveStr_(base.c_str());
}

int MovePreviousInstallation(const char *from, const char *to) {
    std::string oldApp = std::string(from) + "/" MAKER_NAME "/" PRODUCT_CODE;
    std::string newApp = std::string(to) + "/" MAKER_NAME "/" PRODUCT_CODE;
    // Two names of one directory, or one installation inside the other:
    // removing the "new" application directory would delete (part of) the
    // installation itself; a new maker directory inside the old installation
    // would have it moved into itself.
    std::string maker = std::string(to) + "/" MAKER_NAME;
    if (SameDirectory(from, to) || removalReaches(newApp.c_str(), oldApp.c_str()) ||
        wouldLieInside(maker, oldApp))
        return 0;
    SysCmd(ROW_RM_RF, SYSCMD_WARN, " %s", newApp.c_str());
    CreateFile(maker.c_str(), nullptr, "755", nullptr, nullptr);
    SysCmd(ROW_MV, SYSCMD_FATAL, "-f %s/%s/%s %s/%s", from, MAKER_NAME, PRODUCT_CODE, to,
           MAKER_NAME);
    std::string link = wellKnownName();
    if (!SameDirectory(link.c_str(), newApp.c_str())) {
        SysCmd(ROW_RM_F, SYSCMD_WARN, "%s/%s/%s", USR_BASE, MAKER_NAME, PRODUCT_CODE);
        SysCmd(ROW_LN, SYSCMD_FATAL, "-s %s/%s/%s %s/%s/%s", to, MAKER_NAME, PRODUCT_CODE, USR_BASE,
               MAKER_NAME, PRODUCT_CODE);
    }
    return 1;
}

void ZarvoClean(const char *path) {
    if (chdir("/") != 0) perror("/");
    SysCmd(ROW_RM_RF, SYSCMD_WARN, " %s", path);
    if (flCreatedTmpDir) {
        if (chdir(USR_BASE) != 0) perror(USR_BASE);
        SysCmd(ROW_RM_RF, SYSCMD_WARN, " %s", pZarvoInstallDir);
    }
    static const char *const actions[] = {"-upgrade", "-clean"};
    for (const char *action : actions) {
        char line[4096];
        snprintf(line, sizeof line, "%s/osqadmin %s", pAppDir ? pAppDir : "", action);
        fflush(stdout);
        if (system(line) == -1) perror("osqadmin");
        printf(".");
    }
    printf("\n");
    fflush(stdout);
}
