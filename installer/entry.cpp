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
#include <vector>

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
// Options, taken out of the command line wherever they stand.
const char *const kOptions = ",-h,--help,--accept-licence,--accept-license,--check,--list";
enum { kShortHelp = 1, kHelp, kAccept, kAcceptUS, kCheck, kList };
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

// One directory argument and what it names.
struct DirArg {
    bool workArea; // the work area's parent, else the installation base
    const char *dir;
};

// What the command line asks for. It is read once, before anything else
// happens, because the options decide whether there is an agreement at all;
// applying it (ApplyCommandLine) waits for step 7, since a work-area
// argument may make a directory through the command table of step 6.
struct CommandLine {
    bool help = false, check = false, list = false;
    const char *accept = nullptr; // the --accept-licence spelling given, or null
    std::vector<DirArg> dirs;     // in order: a later one overrides an earlier one
    // The first argument that ends the run, left to right: "-v", an unknown
    // option or a refused directory. What follows it is not read, but for
    // the options.
    enum { kNone, kShowVersion, kUnknown, kRefused } stop = kNone;
    const char *stopArg = nullptr;
};

// Whether dir can name a directory; records the reason to stop when not.
bool AcceptDir(CommandLine &cl, const char *dir) {
    if (dir[0] == '-')
        cl.stop = CommandLine::kUnknown;
    else if (UnsafeDirReason(dir) != nullptr)
        cl.stop = CommandLine::kRefused;
    else
        return true;
    cl.stopArg = dir;
    return false;
}

// The arguments other than the options keep the positions the command line's
// rules count (the base directory is the second of them), so an option may
// stand anywhere without changing what the others mean.
CommandLine ReadCommandLine(int argc, char **argv) {
    CommandLine cl;
    int position = 0;
    bool installDirNext = false;
    for (int i = 1; i < argc; i++) {
        const char *arg = argv[i];
        switch (FindToken(arg, kOptions)) {
        case kShortHelp:
        case kHelp:
            cl.help = true;
            continue;
        case kAccept:
        case kAcceptUS:
            cl.accept = arg;
            continue;
        case kCheck:
            cl.check = true;
            continue;
        case kList:
            cl.list = true;
            continue;
        }
        position++;
        if (cl.stop != CommandLine::kNone) continue;
        if (installDirNext) {
            installDirNext = false;
            if (AcceptDir(cl, arg)) cl.dirs.push_back({false, arg});
            continue;
        }
        int keyword = FindToken(arg, kKeywords);
        if (keyword == kVersion) {
            cl.stop = CommandLine::kShowVersion;
        } else if (keyword == kInstall) {
            installDirNext = true;
        } else if (AcceptDir(cl, arg)) {
            cl.dirs.push_back({position != 2, arg});
        }
    }
    return cl;
}

// Ends the process for "-v", an unknown option or a refused directory.
void EndRunIfAsked(const CommandLine &cl) {
    switch (cl.stop) {
    case CommandLine::kNone:
        return;
    case CommandLine::kShowVersion:
        fprintf(stderr, "%s %s\n", ProgramName(), SETUP_VERSION);
        exit(SETUP_EXIT_OK);
    case CommandLine::kUnknown:
        UsageError(cl.stopArg);
    case CommandLine::kRefused:
        ErrorMsg(ERROR_MSG_FATAL, SETUP_EXIT_BAD_ARGUMENT, nlsSetupMsg(MSG_REFUSED_DIRECTORY),
                 cl.stopArg, UnsafeDirReason(cl.stopArg));
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

// Sets the install state from a command line read by ReadCommandLine.
void ApplyCommandLine(const CommandLine &cl) {
    for (const DirArg &d : cl.dirs) {
        if (d.workArea)
            SetWorkArea(d.dir);
        else
            pCmdLineInstallDir = StripToBaseName(SaveStr_(d.dir));
    }
}

} // namespace

void parseCommandLineOptions(int argc, char **argv) {
    CommandLine cl = ReadCommandLine(argc, argv);
    if (cl.help) {
        PrintUsage(stdout);
        exit(SETUP_EXIT_OK);
    }
    EndRunIfAsked(cl);
    ApplyCommandLine(cl);
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
    // The command line is read first, once, and only read: -h, --check and
    // --list end the run before the agreement, and nothing is created.
    const char *argv0 = argc > 0 && argv[0] != nullptr ? argv[0] : "setup";
    my_name = SaveStr_(StripPath(argv0));
    CommandLine cl = ReadCommandLine(argc, argv);
    if (cl.help) {
        PrintUsage(stdout);
        exit(SETUP_EXIT_OK);
    }
    if (cl.check || cl.list) {
        EndRunIfAsked(cl);
        pPathToSetup = GetToolPath(argv0);
        int status = cl.check ? CheckDistribution(pPathToSetup) : 0;
        if (cl.list && status == 0) status = ListDistribution(pPathToSetup);
        exit(status);
    }

    // Have the licence agreement accepted.
    flAcceptLicence = cl.accept != nullptr;
    if (!UserAcceptedEULA()) exit(SETUP_EXIT_OK);

    // Before anything is created: "-v" and a malformed command line end the
    // run at once.
    EndRunIfAsked(cl);

    // Switch logging on; the command table reads this when it starts.
    flUseLog = 1;

    // The default work area.
    pZarvoInstallDir = SaveStr("/tmp/%sInstall", MAKER_NAME);

    // Nothing read yet.
    LineBuf[0] = '\0';

    // Where the distribution is (my_name is already set above).
    pPathToSetup = GetToolPath(argv0);

    // The command table; its start begins the log.
    InitSysCmdList();
    if (cl.accept != nullptr) PutLogMsg("licence agreement accepted by the option %s\n", cl.accept);

    // The command line, as parseCommandLineOptions applies it.
    ApplyCommandLine(cl);

    pCurrentInstallDir = locatePreviousInstallation();

    // The target: command line, else previous installation, else /usr.
    pTargetInstallDir = pCmdLineInstallDir   ? pCmdLineInstallDir
                        : pCurrentInstallDir ? pCurrentInstallDir
                                             : SaveStr_(DEFAULT_BASE_DIR);

    pAppDir = SaveStr("%s/%s/%s", pTargetInstallDir, MAKER_NAME, PRODUCT_CODE);

    // Room in the work area and the target.
    FreeSpaceForInstall(pZarvoInstallDir, pTargetInstallDir, (char *)MAKER_NAME);

    // An upgrade: no product program may run; move to a new target.
    // The move compares directories, not texts: /opt and /opt/ are one place.
    if (pCurrentInstallDir != nullptr) {
        if (QuitForRunningProcesses(pBinaryInstanceCheckList)) exit(SETUP_EXIT_OK);
        MovePreviousInstallation(pCurrentInstallDir, pTargetInstallDir);
    }

    // Copy, unpack and install the distribution.
    installFromSite(pZarvoInstallDir);

    // Remove the work area and bring the print queues up to date.
    ZarvoClean(pZarvoInstallDir);

    exit(SETUP_EXIT_OK);
}
