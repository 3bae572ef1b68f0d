// The installer's entry: the run's fixed order of steps, the command line and
// the install state every later step reads.
#include "installer/installer.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

char *pZarvoInstallDir = nullptr;
char flCreatedTmpDir = 0;
char *pCmdLineInstallDir = nullptr;
char *pCurrentInstallDir = nullptr;
char *pTargetInstallDir = nullptr;
char *pAppDir = nullptr;
char *pPathToSetup = nullptr;
const char *pBinaryInstanceCheckList = ",osadmin,osqadmin,ostrel,osrosxxtty,OSQ,OSRM,qsf,";

const char *UnsafeDirReason(const char *dir) {
    if (dir[0] == '\0') return nlsSetupMsg(MSG_EMPTY_DIR_NAME);
    if (strlen(dir) > 200) return nlsSetupMsg(MSG_LONG_DIR_NAME);
    for (const char *p = dir; *p != '\0'; p++) {
        char c = *p;
        bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    strchr("/._+-,:@%~", c) != nullptr;
        if (!safe) return nlsSetupMsg(MSG_UNSAFE_DIR_CHARS);
    }
    return nullptr;
}

namespace {

// Keywords of the command line, as a delimited list.
const char *const kKeywords = ",install,-v";
enum { kInstall = 1, kVersion = 2 };
// Size of the buffer the current directory is read into.
constexpr size_t kCwdSize = 512;

const char *ProgramName() {
    return my_name != nullptr ? my_name : "setup";
}

void PrintUsage(FILE *out) {
    const char *n = ProgramName();
    fprintf(out, nlsSetupMsg(MSG_USAGE), n, MAKER_NAME, DEFAULT_BASE_DIR);
}

[[noreturn]] void UsageError(const char *arg) {
    fprintf(stderr, nlsSetupMsg(MSG_UNKNOWN_OPTION), ProgramName(), arg);
    PrintUsage(stderr);
    exit(SETUP_EXIT_BAD_ARGUMENT);
}

// Refuses (status 2) a directory argument that could not be passed safely to
// the shell commands and path buffers of the later steps.
void CheckDirArg(const char *dir) {
    if (dir[0] == '-') UsageError(dir);
    const char *why = UnsafeDirReason(dir);
    if (why == nullptr) return;
    ErrorMsg(2, SETUP_EXIT_BAD_ARGUMENT, nlsSetupMsg(MSG_REFUSED_DIRECTORY), dir, why);
}

// Validates the whole command line before anything is created, so that a
// mistyped argument never leaves a directory behind. Ends the process for
// "-v", "-h"/"--help", unknown options and unsafe directories.
void CheckArguments(int argc, char **argv) {
    for (int i = 1; i < argc; i++) {
        const char *arg = argv[i];
        int keyword = FindToken(arg, kKeywords);
        if (keyword == kVersion) {
            fprintf(stderr, "%s %s\n", ProgramName(), SETUP_VERSION);
            exit(SETUP_EXIT_OK);
        }
        if (keyword == kInstall) {
            if (i + 1 < argc) CheckDirArg(argv[++i]);
            continue;
        }
        if (strcmp(arg, "-h") == 0 || strcmp(arg, "--help") == 0) {
            PrintUsage(stdout);
            exit(SETUP_EXIT_OK);
        }
        CheckDirArg(arg);
    }
}

// Whether dir exists as an entry of its parent; trailing slashes are
// dropped first, since FindFile would look for the last component inside it.
// The empty text is what is left of "/" and names the root.
bool WorkAreaParentExists(const char *dir) {
    std::string path = dir;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (path.empty()) return true;
    return FindFile(path.c_str(), "");
}

// Sets the work area under dir, creating dir when it does not exist.
void SetWorkArea(const char *dir) {
    char *copy = SaveStr_(dir);
    size_t len = strlen(copy);
    // One trailing slash goes, so "/" gives the work area /ZarvoInstall.
    if (len > 0 && copy[len - 1] == '/') copy[len - 1] = '\0';
    pZarvoInstallDir = SaveStr("%s/%sInstall", copy, MAKER_NAME);
    if (WorkAreaParentExists(copy)) return;
    flCreatedTmpDir = 1;
    // mkdir -p as CreateFile runs it, but in mode 1: a directory that cannot
    // be made is reported below with message 3 and status 2.
    SysCmd(ROW_MKDIR, SYSCMD_WARN, "%s", copy);
    if (WorkAreaParentExists(copy)) return;
    printf(nlsSetupStrCvt(MSG_CANT_OPEN), copy);
    printf("\n\n");
    exit(SETUP_EXIT_BAD_ARGUMENT);
}

// Directory part of path by the rules of StripFn, without its size limit.
std::string DirPart(const std::string &path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool StartsWith(const std::string &s, const char *prefix) {
    return s.rfind(prefix, 0) == 0;
}

// Resolves a leading run of "../" in dir against the current directory cwd.
std::string ClimbFrom(std::string base, std::string rest) {
    while (StartsWith(rest, "../")) {
        if (rest.size() == 3) return base;
        rest.erase(0, 3);
        base = DirPart(base);
    }
    return rest.empty() ? base : base + "/" + rest;
}

} // namespace

void parseCommandLineOptions(int argc, char **argv) {
    CheckArguments(argc, argv);
    for (int i = 1; i < argc; i++) {
        const char *arg = argv[i];
        int keyword = FindToken(arg, kKeywords);
        if (keyword == kInstall) {
            if (i + 1 < argc) pCmdLineInstallDir = StripToBaseName(SaveStr_(argv[++i]));
        } else if (i == 2) {
            pCmdLineInstallDir = StripToBaseName(SaveStr_(arg));
        } else {
            SetWorkArea(arg);
        }
    }
}

char *GetToolPath(const char *argv0) {
    std::string path = argv0 != nullptr ? argv0 : "";
    std::string d = DirPart(path);
    if (StartsWith(path, "/")) return SaveStr_(d.c_str());
    char cwd[kCwdSize];
    // Without a readable current directory the relative answer is the best left.
    if (getcwd(cwd, sizeof cwd) == nullptr) return SaveStr_(d.c_str());
    std::string c = cwd;
    if (d == "./") return SaveStr_(c.c_str());
    if (StartsWith(d, "./")) return SaveStr("%s/%s", c.c_str(), d.c_str() + 2);
    if (StartsWith(d, "../")) return SaveStr_(ClimbFrom(c, d).c_str());
    return SaveStr_(DirPart(c + "/" + path).c_str());
}

char *StripToBaseName(char *path) {
    if (path == nullptr) return nullptr;
    char *cut = strstr(path, PRODUCT_CODE);
    if (cut != nullptr) *cut = '\0';
    cut = strstr(path, MAKER_NAME);
    if (cut != nullptr) *cut = '\0';
    size_t len = strlen(path);
    if (len > 1 && path[len - 1] == '/') path[len - 1] = '\0';
    return path;
}

void setupMain(int argc, char **argv) {
    // Step 1, before anything else: have the licence agreement accepted.
    if (!UserAcceptedEULA()) exit(SETUP_EXIT_OK);

    // Before anything is created: "-v", "-h" and a malformed command line end
    // the run at once.
    const char *argv0 = argc > 0 && argv[0] != nullptr ? argv[0] : "setup";
    my_name = SaveStr_(StripPath(argv0));
    CheckArguments(argc, argv);

    // Step 2: switch logging on; the command table reads this when it starts.
    flUseLog = 1;

    // Step 3: the default work area.
    pZarvoInstallDir = SaveStr("/tmp/%sInstall", MAKER_NAME);

    // Step 4: nothing read yet.
    LineBuf[0] = '\0';

    // Step 5: where the distribution is (my_name is already set above).
    pPathToSetup = GetToolPath(argv0);

    // Step 6: the command table.
    InitSysCmdList();

    // Step 7: the command line.
    parseCommandLineOptions(argc, argv);

    // Step 8: a previous installation.
    pCurrentInstallDir = locatePreviousInstallation();

    // Step 9: the target: command line, else previous installation, else /usr.
    pTargetInstallDir = pCmdLineInstallDir   ? pCmdLineInstallDir
                        : pCurrentInstallDir ? pCurrentInstallDir
                                             : SaveStr_(DEFAULT_BASE_DIR);

    // Step 10: the application directory.
    pAppDir = SaveStr("%s/%s/%s", pTargetInstallDir, MAKER_NAME, PRODUCT_CODE);

    // Step 11: room in the work area and the target.
    FreeSpaceForInstall(pZarvoInstallDir, pTargetInstallDir, (char *)MAKER_NAME);

    // Step 12: an upgrade: no product program may run; move to a new target.
    // The move compares directories, not texts: /opt and /opt/ are one place.
    if (pCurrentInstallDir != nullptr) {
        if (QuitForRunningProcesses(pBinaryInstanceCheckList)) exit(SETUP_EXIT_OK);
        MovePreviousInstallation(pCurrentInstallDir, pTargetInstallDir);
    }

    // Step 13: copy, unpack and install the distribution.
    installFromSite(pZarvoInstallDir);

    // Step 14: remove the work area and bring the print queues up to date.
    ZarvoClean(pZarvoInstallDir);

    // Step 15.
    exit(SETUP_EXIT_OK);
}
