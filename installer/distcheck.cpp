// Checking and listing a distribution without installing it. The names come
// from the disk list, so none of them reaches a shell: the tools run
// directly (fork and exec, arguments as words), and a name the directory
// rule refuses is reported instead of used. The joined archive and its tar
// lie in a private mkdtemp directory whose paths sit in fixed buffers, so the
// signal handler can remove them with unlink and rmdir alone.
#include "installer/distcheck.h"

#include "installer/entry.h"
#include "installer/messages.h"
#include "installer/sequence.h"
#include "toolkit/runtime/files.h"
#include "toolkit/syscmd/comtable.h"

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <set>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

const char *const kPackageList = "pkg/pkg.list";

// The private directory and the two files made in it; empty when none.
char gScratch[256];
char gJoined[320];
char gTar[320];
// The tool running now, killed by the signal handler; 0 when none.
volatile pid_t gChild = 0;

const int kSignals[] = {SIGHUP, SIGINT, SIGQUIT, SIGPIPE, SIGTERM};

void removeScratch() {
    if (gJoined[0] != '\0') unlink(gJoined);
    if (gTar[0] != '\0') unlink(gTar);
    if (gScratch[0] != '\0') rmdir(gScratch);
}

extern "C" void onSignal(int sig) {
    pid_t child = gChild;
    if (child > 0) kill(child, SIGKILL);
    removeScratch();
    signal(sig, SIG_DFL);
    raise(sig);
}

const char *programName() {
    return my_name != nullptr ? my_name : "setup";
}

std::string format(int index, ...) {
    const char *fmt = nlsSetupMsg(index);
    va_list ap, copy;
    va_start(ap, index);
    va_copy(copy, ap);
    int n = vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    std::string text(n > 0 ? n + 1 : 1, '\0');
    if (n > 0) vsnprintf(text.data(), text.size(), fmt, ap);
    va_end(ap);
    text.resize(n > 0 ? n : 0);
    return text;
}

// The private directory: made on construction under $TMPDIR (or /tmp),
// removed with its files on destruction or by a signal in between.
struct Scratch {
    bool made = false;
    struct sigaction saved[sizeof kSignals / sizeof kSignals[0]]{};
    std::string base;

    Scratch() {
        const char *tmp = getenv("TMPDIR");
        base = tmp != nullptr && tmp[0] == '/' && strlen(tmp) < 200 ? tmp : "/tmp";
        struct sigaction sa {};
        sa.sa_handler = onSignal;
        sigemptyset(&sa.sa_mask);
        sigset_t block, old;
        sigemptyset(&block);
        for (size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; i++) {
            sigaction(kSignals[i], &sa, &saved[i]);
            sigaddset(&block, kSignals[i]);
        }
        // The handler must never see a directory made but not yet named.
        sigprocmask(SIG_BLOCK, &block, &old);
        char templ[sizeof gScratch];
        snprintf(templ, sizeof templ, "%s/%s-check.XXXXXX", base.c_str(), programName());
        if (mkdtemp(templ) != nullptr) {
            memcpy(gScratch, templ, sizeof gScratch);
            snprintf(gJoined, sizeof gJoined, "%s/%s.tar.Z", gScratch, ARCHIVE_BASE_NAME);
            snprintf(gTar, sizeof gTar, "%s/%s.tar", gScratch, ARCHIVE_BASE_NAME);
            made = true;
        }
        sigprocmask(SIG_SETMASK, &old, nullptr);
    }
    ~Scratch() {
        removeScratch();
        gScratch[0] = gJoined[0] = gTar[0] = '\0';
        for (size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; i++)
            sigaction(kSignals[i], &saved[i], nullptr);
    }
    Scratch(const Scratch &) = delete;
    Scratch &operator=(const Scratch &) = delete;
};

// Runs path with args (args[0] is the program's name) without a shell:
// standard input from /dev/null, standard output into the file toFile
// (created) or captured into *out, standard error captured into *err.
// Returns the exit status, 128 + the signal that ended it, or -1 when it
// could not be started (*err says why).
int runTool(const std::string &path, const std::vector<std::string> &args, const char *toFile,
            std::string *out, std::string *err) {
    std::vector<char *> argv;
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    int outPipe[2] = {-1, -1}, errPipe[2];
    int fileFd = -1;
    if (toFile != nullptr) {
        fileFd = open(toFile, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
        if (fileFd < 0) return *err = strerror(errno), -1;
    } else if (pipe(outPipe) != 0) {
        return *err = strerror(errno), -1;
    }
    if (pipe(errPipe) != 0) {
        *err = strerror(errno);
        if (fileFd >= 0) close(fileFd);
        if (outPipe[0] >= 0) close(outPipe[0]), close(outPipe[1]);
        return -1;
    }
    fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_RDONLY);
        if (null >= 0) dup2(null, 0);
        dup2(fileFd >= 0 ? fileFd : outPipe[1], 1);
        dup2(errPipe[1], 2);
        execv(path.c_str(), argv.data());
        _exit(127);
    }
    gChild = pid > 0 ? pid : 0;
    if (fileFd >= 0) close(fileFd);
    if (outPipe[1] >= 0) close(outPipe[1]);
    close(errPipe[1]);
    if (pid < 0) {
        *err = strerror(errno);
        if (outPipe[0] >= 0) close(outPipe[0]);
        close(errPipe[0]);
        return -1;
    }
    struct pollfd fds[2] = {{errPipe[0], POLLIN, 0}, {outPipe[0], POLLIN, 0}};
    int open = outPipe[0] >= 0 ? 2 : 1;
    char buf[8192];
    while (open > 0) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (int i = 0; i < 2; i++) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                (i == 0 ? err : out)->append(buf, n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            close(fds[i].fd);
            fds[i].fd = -1;
            open--;
        }
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    gChild = 0;
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

// What a tool said about its failure: the first line of its error output
// that is not empty (gzip begins with a line end)
// without the "program: file: " lead, which names our private files.
std::string toolReason(const std::string &err, int status) {
    size_t start = err.find_first_not_of('\n');
    std::string line =
        start == std::string::npos ? "" : err.substr(start, err.find('\n', start) - start);
    size_t colon = line.rfind(": ");
    if (colon != std::string::npos) line = line.substr(colon + 2);
    if (line.empty()) line = "exit status " + std::to_string(status);
    return line;
}

// The path of a command row, or "" (and *why) when it is not found.
std::string toolPath(int row, std::string *why) {
    if (TestCmd(row)) return std::string(ComList[row].directory) + "/" + ComList[row].name;
    *why = std::string("unable to locate system command '") + ComList[row].name + "'";
    return "";
}

int countLines(const std::string &text) {
    int n = 0;
    for (char c : text)
        n += c == '\n';
    if (!text.empty() && text.back() != '\n') n++;
    return n;
}

// One examination of a distribution: its check lines in order, and what the
// listing needs.
struct Examination {
    bool print = false;      // print each line as it is made (--check)
    bool damaged = false;    // some check failed
    std::string firstFault;  // the first failed check's line
    std::string listing;     // tar's file list
    std::string packageList; // pkg/pkg.list's text

    void ok(const std::string &line) {
        if (print) fputs(line.c_str(), stdout), fflush(stdout);
    }
    void fault(const std::string &line) {
        if (!damaged) firstFault = line;
        damaged = true;
        ok(line);
    }
};

struct ListWalk {
    const char *dir;
    Examination *ex;
    std::set<std::string> files;    // every name the copy step copies
    std::set<std::string> reported; // names already reported as faulty
    std::vector<std::string> pieces;
    bool piecesUsable = true;
};

// A name of the list: refused, missing or unreadable names are reported.
bool usableFile(ListWalk &w, const char *name) {
    int fault = 0;
    const char *why = UnsafeDirReason(name);
    std::string path = std::string(w.dir) + "/" + name;
    struct stat st {};
    if (why != nullptr)
        fault = MSG_CHECK_FILE_REFUSED;
    else if (stat(path.c_str(), &st) != 0)
        fault = MSG_CHECK_FILE_MISSING;
    else if (!S_ISREG(st.st_mode) || access(path.c_str(), R_OK) != 0)
        fault = MSG_CHECK_FILE_UNREADABLE;
    if (fault == 0) return true;
    if (w.reported.insert(name).second) w.ex->fault(format(fault, name, why));
    return false;
}

void checkListedFile(const char *name, void *arg) {
    auto &w = *static_cast<ListWalk *>(arg);
    if (!w.files.insert(name).second) return;
    if (usableFile(w, name)) w.ex->ok(format(MSG_CHECK_FILE_OK, name));
}

void notePiece(const char *name, void *arg) {
    auto &w = *static_cast<ListWalk *>(arg);
    // A piece that the copy step would not copy is skipped by the archive
    // step too, unless its name is one that must not be used at all.
    bool copied = w.files.count(name) != 0;
    if (!copied && UnsafeDirReason(name) == nullptr) return;
    if (!usableFile(w, name)) {
        w.piecesUsable = false;
        return;
    }
    w.pieces.push_back(name);
}

void checkSizeFile(Examination &ex, const char *dir, const char *name) {
    if (!FindFile(dir, name)) return ex.fault(format(MSG_CHECK_SIZE_MISSING, name));
    if (!GetFileContent(dir, name)) return ex.fault(format(MSG_CHECK_FILE_UNREADABLE, name));
    std::string text = LineBuf;
    size_t start = text.find_first_not_of(" \t\r\n");
    size_t end = text.find_last_not_of(" \t\r\n");
    text = start == std::string::npos ? "" : text.substr(start, end - start + 1);
    char *stop = nullptr;
    strtod(text.c_str(), &stop);
    bool number = !text.empty() && isdigit(static_cast<unsigned char>(text[0])) && *stop == '\0';
    if (!number) return ex.fault(format(MSG_CHECK_SIZE_NAN, name));
    ex.ok(format(MSG_CHECK_SIZE_OK, name, text.c_str()));
}

// Appends the pieces, in order, to the joined archive; "" or why not.
std::string joinPieces(const char *dir, const std::vector<std::string> &pieces) {
    int out = open(gJoined, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
    if (out < 0) return strerror(errno);
    std::string why;
    char buf[65536];
    for (const std::string &piece : pieces) {
        std::string path = std::string(dir) + "/" + piece;
        int in = open(path.c_str(), O_RDONLY);
        if (in < 0) {
            why = piece + ": " + strerror(errno);
            break;
        }
        ssize_t n;
        while ((n = read(in, buf, sizeof buf)) > 0)
            if (write(out, buf, n) != n) {
                n = -1;
                break;
            }
        if (n < 0) why = piece + ": " + strerror(errno);
        close(in);
        if (!why.empty()) break;
    }
    if (close(out) != 0 && why.empty()) why = strerror(errno);
    return why;
}

// Decompresses the joined archive and has tar list it and show the package
// list.
void checkArchive(Examination &ex, const char *dir, const std::vector<std::string> &pieces) {
    std::string why = joinPieces(dir, pieces), out, err;
    std::string zcat = why.empty() ? toolPath(ROW_ZCAT, &why) : "";
    if (why.empty()) {
        int status = runTool(zcat, {"zcat", gJoined}, gTar, &out, &err);
        if (status != 0) why = toolReason(err, status);
    }
    if (!why.empty()) return ex.fault(format(MSG_CHECK_UNPACK_FAILS, why.c_str()));
    ex.ok(format(MSG_CHECK_UNPACKS, static_cast<int>(pieces.size())));

    std::string tar = toolPath(ROW_TAR_XVFP, &why);
    err.clear();
    int status = why.empty() ? runTool(tar, {"tar", "-tf", gTar}, nullptr, &ex.listing, &err) : 0;
    if (why.empty() && status != 0) why = toolReason(err, status);
    if (!why.empty()) return ex.fault(format(MSG_CHECK_TAR_FAILS, why.c_str()));
    ex.ok(format(MSG_CHECK_TAR_LISTS, countLines(ex.listing)));

    std::string member;
    for (const char *name : {kPackageList, "./pkg/pkg.list"})
        if (("\n" + ex.listing).find(std::string("\n") + name + "\n") != std::string::npos) {
            member = name;
            break;
        }
    err.clear();
    if (member.empty() ||
        runTool(tar, {"tar", "-xOf", gTar, member}, nullptr, &ex.packageList, &err) != 0)
        return ex.fault(format(MSG_CHECK_PKGLIST_MISSING));
    ex.ok(format(MSG_CHECK_PKGLIST_OK, countLines(ex.packageList)));
}

void examine(Examination &ex, const char *dir) {
    const char *listName = LoadDiskList(dir);
    if (listName == nullptr) {
        if (FindFile(dir, "disks") || FindFile(dir, "DISKS"))
            return ex.fault(
                format(MSG_CHECK_LIST_UNREADABLE, FindFile(dir, "disks") ? "disks" : "DISKS"));
        return ex.fault(format(MSG_CHECK_LIST_MISSING, dir));
    }
    ex.ok(format(MSG_CHECK_LIST_OK, listName));
    std::string list = LineBuf;

    // The archive step reads the list again from the work area, where only
    // what the list names was copied.
    std::set<std::string> names;
    auto collect = [](const char *name, void *arg) {
        static_cast<std::set<std::string> *>(arg)->insert(name);
    };
    ForEachListedFile(list.c_str(), collect, &names);
    if (names.count(listName) != 0)
        ex.ok(format(MSG_CHECK_NAMES_ITSELF));
    else
        ex.fault(format(MSG_CHECK_NOT_NAMED, listName));

    ListWalk walk{dir, &ex, {}, {}, {}, true};
    ForEachListedFile(list.c_str(), checkListedFile, &walk);
    checkSizeFile(ex, dir, "isize");
    checkSizeFile(ex, dir, "tsize");
    ForEachArchivePiece(list.c_str(), notePiece, &walk);
    if (!walk.piecesUsable) return ex.fault(format(MSG_CHECK_NOT_JOINED));
    if (walk.pieces.empty()) return ex.fault(format(MSG_CHECK_NO_PIECES));
    checkArchive(ex, dir, walk.pieces);
}

// Runs the examination in a private directory; false when none can be made.
bool examineInScratch(Examination &ex, const char *dir) {
    Scratch scratch;
    if (!scratch.made) {
        fprintf(stderr, "%s",
                format(MSG_CHECK_NO_SCRATCH, programName(), scratch.base.c_str()).c_str());
        return false;
    }
    examine(ex, dir);
    return true;
}

} // namespace

int CheckDistribution(const char *dir) {
    Examination ex;
    ex.print = true;
    if (!examineInScratch(ex, dir)) return 1;
    fputs(format(ex.damaged ? MSG_CHECK_DIST_DAMAGED : MSG_CHECK_DIST_OK).c_str(), stdout);
    fflush(stdout);
    return ex.damaged ? 1 : 0;
}

int ListDistribution(const char *dir) {
    Examination ex;
    if (!examineInScratch(ex, dir)) return 1;
    if (ex.damaged) {
        fflush(stdout);
        fputs(format(MSG_LIST_DAMAGED, programName(), ex.firstFault.c_str()).c_str(), stderr);
        return 1;
    }
    fputs(ex.listing.c_str(), stdout);
    if (!ex.listing.empty() && ex.listing.back() != '\n') putchar('\n');
    putchar('\n');
    size_t pos = 0;
    for (int no = 1; pos < ex.packageList.size(); no++) {
        size_t end = ex.packageList.find('\n', pos);
        if (end == std::string::npos) end = ex.packageList.size();
        printf("%6d\t%.*s\n", no, static_cast<int>(end - pos), ex.packageList.c_str() + pos);
        pos = end + 1;
    }
    fflush(stdout);
    return 0;
}
