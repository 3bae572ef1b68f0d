// Files and directories: the shared input file and its line reader (backslash-newline
// joins lines), whole-file reads, file facts, and the file changes that run commands.
#include "toolkit/runtime/files.h"

#include "toolkit/runtime/logging.h"
#include "toolkit/runtime/memory.h"
#include "toolkit/runtime/pathparts.h"
#include "toolkit/runtime/textedit.h"
#include "toolkit/runtime/tokens.h"

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

FILE *pIn = nullptr;
char InputFileName[INPUTFILENAME_SIZE];
int LineLen = 0;
int SavedFileSize = 0;
char Buf[FILESEARCH_BUF_SIZE];

// Longest physical line read by GetFileLine and FileSearch.
static const int kPieceMax = 510;
// Longest formatted path of the *F functions and joined path of FindFile.
static const int kFormatMax = 511;

namespace {
struct DirCloser {
    void operator()(DIR *d) const { closedir(d); }
};
using DirPtr = std::unique_ptr<DIR, DirCloser>;
struct FileCloser {
    void operator()(FILE *f) const { fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;
} // namespace

static std::string FormatV(const char *fmt, va_list ap, bool *fits) {
    char buf[kFormatMax + 1];
    int n = fmt ? vsnprintf(buf, sizeof buf, fmt, ap) : 0;
    *fits = n >= 0 && n <= kFormatMax;
    return n >= 0 ? buf : "";
}

static FILE *OpenFailed(const char *path, int errmode) {
    if (errmode == 2) SysError("can't open file, %s", path);
    if (errmode == 1) fprintf(stderr, "ERROR: can't open file, %s\n", path);
    return nullptr;
}

FILE *OpenFile(FILE *old, const char *path, const char *mode, int errmode) {
    if (old) fclose(old);
    FILE *f = path && mode ? fopen(path, mode) : nullptr;
    return f ? f : OpenFailed(path ? path : "", errmode);
}

FILE *OpenFileF(FILE *old, const char *mode, int errmode, const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    bool fits;
    std::string path = FormatV(fmt, ap, &fits);
    va_end(ap);
    if (fits) return OpenFile(old, path.c_str(), mode, errmode);
    if (old) fclose(old);
    errno = ENAMETOOLONG;
    return OpenFailed(path.c_str(), errmode);
}

int OpenRawFile(const char *path, int flags) {
    int fd = open(path, flags, 0666);
    if (fd < 0) {
        printf("ERROR: can't open file, %s", path);
        fflush(stdout);
    }
    return fd;
}

char OpenInputFile(const char *path, int errmode) {
    snprintf(InputFileName, sizeof InputFileName, "%s", path ? path : "");
    CloseInputFile();
    pIn = path ? fopen(path, "rt") : nullptr;
    if (pIn) return 1;
    LineBuf[0] = '\0';
    LineLen = 0;
    ErrorMsg(errmode, 0, "can't open file, %s", path ? path : "");
    return 0;
}

char OpenInputFileF(int errmode, const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    bool fits;
    std::string path = FormatV(fmt, ap, &fits);
    va_end(ap);
    if (fits) return OpenInputFile(path.c_str(), errmode);
    snprintf(InputFileName, sizeof InputFileName, "%s", path.c_str());
    CloseInputFile();
    LineBuf[0] = '\0';
    LineLen = 0;
    ErrorMsg(errmode, 0, "can't open file, %s", path.c_str());
    return 0;
}

void CloseInputFile() {
    if (pIn) fclose(pIn);
    pIn = nullptr;
}

// True when the physical line starting at p ends in backslash-newline.
static bool Continues(const char *p) {
    size_t n = strlen(p);
    return n >= 2 && p[n - 2] == '\\' && p[n - 1] == '\n';
}

char GetFileLine() {
    if (!pIn) return 0;
    LineLen = 0;
    if (!fgets(LineBuf, kPieceMax + 1, pIn)) {
        // At the end the last line stays; after a read error nothing
        // trustworthy is left in the buffer.
        if (ferror(pIn)) LineBuf[0] = '\0';
        CloseInputFile();
        return 0;
    }
    char *last = LineBuf;
    while (Continues(last)) {
        // A continuation line may fill whatever room the buffer has left.
        int len = (int)strlen(LineBuf);
        int room = LINEBUF_SIZE - len;
        if (room < 2) break;
        if (!fgets(LineBuf + len, room, pIn)) break;
        LineLen = len;
        last = LineBuf + len;
    }
    return 1;
}

char GetFileTextLine(const char *delims) {
    if (!delims) return 0;
    while (GetFileLine()) {
        if (LineBuf[0] == '#') continue;
        // strtok on purpose: callers read the rest of the line's tokens with
        // strtok(nullptr, ...) after the first one has been moved up.
        char *tok = strtok(LineBuf, delims);
        if (!tok) continue;
        memmove(LineBuf, tok, strlen(tok) + 1);
        return 1;
    }
    return 0;
}

char *fgetsp(char *buf, int size, FILE *f, long offset) {
    if (!buf || !f || size <= 0 || fseek(f, offset, SEEK_SET) != 0) return nullptr;
    return fgets(buf, size, f);
}

void GetLinePos(long offset) {
    if (!pIn) return;
    fseek(pIn, offset, SEEK_SET);
    GetLine();
}

// Reads at most size - 1 bytes of path into buf, terminated; false if it
// cannot be opened.
static bool ReadInto(const std::string &path, char *buf, size_t size) {
    FilePtr f(fopen(path.c_str(), "rb"));
    if (!f || !size) return false;
    size_t got = fread(buf, 1, size - 1, f.get());
    buf[got] = '\0';
    return true;
}

char GetFileContent(const char *dir, const char *name) {
    return ReadInto(JoinPath(dir, name), LineBuf, LINEBUF_SIZE) ? 1 : 0;
}

char GetFileContentR(const char *dir, const char *name, char *buf, int size) {
    std::string path = JoinPath(dir, name);
    if (!buf || size <= 0 || path.size() > JoinMax) return 0;
    return ReadInto(path, buf, size) ? 1 : 0;
}

char *GetSavedFileContent(const char *dir, const char *name) {
    std::string path = JoinPath(dir, name);
    long size = GetFileSize(path.c_str());
    SavedFileSize = size > INT_MAX ? INT_MAX : (int)size;
    if (size <= 0) return nullptr;
    char *mem = size < INT_MAX - 64 ? GetMem((int)size + 1) : nullptr;
    if (!mem) {
        ErrorMsg(ERROR_MSG_WARNING, 0, "Unable to allocate memory");
        return nullptr;
    }
    if (size > 1) {
        FilePtr f(fopen(path.c_str(), "rb"));
        if (!f) {
            PutMem(mem);
            return nullptr;
        }
        mem[fread(mem, 1, size, f.get())] = '\0';
    }
    return mem;
}

char *FileSearch(const char *path, const char *text, int errmode) {
    FilePtr f(OpenFile(nullptr, path, "rt", errmode));
    if (!f) return nullptr;
    while (fgets(Buf, kPieceMax + 1, f.get()))
        if (!text || strstr(Buf, text)) return Buf;
    return nullptr;
}

long GetFileSize(const char *path) {
    struct stat st;
    return path && stat(path, &st) == 0 ? (long)st.st_size : 0;
}

time_t GetFileTime(const char *path) {
    struct stat st;
    return path && stat(path, &st) == 0 ? st.st_mtime : 0;
}

int GetFileType(const char *path) {
    struct stat st;
    if (!path || lstat(path, &st) != 0) return 0;
    if (S_ISLNK(st.st_mode)) return 2;
    return S_ISDIR(st.st_mode) ? 1 : 3;
}

// Answers a name the listing of dir would hold, by listing dir.
static char FindByListing(const std::string &dir, const std::string &name) {
    char *list = GetDirFileList(dir.c_str());
    char found = list && FindToken(name.c_str(), list) ? 1 : 0;
    PutMem(list);
    return found;
}

static bool Listable(const std::string &dir) {
    return DirPtr(opendir(dir.c_str())) != nullptr;
}

// Whether name is an entry of dir, with the listing's results: an empty name
// (the empty item after the last blank), "." and ".." are found in every
// listable directory; ordinary names by one lstat; names with blanks, and
// names lstat cannot answer, by the listing itself.
static char FindEntry(const std::string &dir, const std::string &name) {
    if (name.empty() || name == "." || name == "..") return Listable(dir) ? 1 : 0;
    if (name.find(' ') != std::string::npos || name.size() > TOKEN_ITEM_MAX)
        return FindByListing(dir, name);
    struct stat st;
    std::string path = dir + "/" + name;
    if (lstat(path.c_str(), &st) == 0) return Listable(dir) ? 1 : 0;
    if (errno == ENOENT || errno == ENOTDIR) return 0;
    return FindByListing(dir, name);
}

char FindFile(const char *dir, const char *name) {
    if (!dir && !Given(name)) return 0;
    if (!dir) {
        dir = name;
        name = nullptr;
    }
    if (Given(name) && strchr(name, '/')) {
        std::string joined = std::string(dir) + "/" + name;
        if (joined.size() > JoinMax) return 0;
        size_t slash = joined.rfind('/');
        return FindEntry(joined.substr(0, slash), joined.substr(slash + 1));
    }
    if (!Given(name)) {
        std::string parent, base;
        return SplitPath(dir, &parent, &base) ? FindEntry(parent, base) : 0;
    }
    return FindEntry(dir, name);
}

char FindFile_(const char *dir, const char *name) {
    if (!dir && !Given(name)) return 0;
    std::string path = dir && name ? JoinPath(dir, name) : dir ? dir : name;
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? 1 : 0;
}

char *ReadDir(DIR *d) {
    struct dirent *e = d ? readdir(d) : nullptr;
    return e ? e->d_name : nullptr;
}

// " e1 e2 ... " of the entries of dir that keep() accepts; *room is the
// length of every entry's name plus one each, kept or not. False when dir
// cannot be opened.
template <class Keep>
static bool ListDir(const char *dir, Keep keep, std::string *out, long *room) {
    DirPtr d(dir ? opendir(dir) : nullptr);
    if (!d) return false;
    *room = 0;
    for (char *e; (e = ReadDir(d.get()));) {
        *room += (long)strlen(e) + 1;
        if (keep(e)) out->append(" ").append(e);
    }
    return true;
}

// The list in managed memory sized as the listing is sized: room for every
// entry plus three bytes (never less than the list itself).
static char *SaveList(const std::string &list, long room) {
    long size = room + 3;
    if (size < (long)list.size()) size = (long)list.size();
    char *mem = size < INT_MAX ? GetMem((int)size) : nullptr;
    if (mem) memcpy(mem, list.c_str(), list.size() + 1);
    return mem;
}

char *GetDirFileList(const char *dir) {
    std::string list;
    long room;
    if (!ListDir(
            dir, [](const char *) { return true; }, &list, &room))
        return nullptr;
    return SaveList(list + " ", room);
}

char *SearchDirFileList(const char *dir, const char *ext) {
    std::string list;
    long room;
    auto keep = [ext](const char *e) {
        if (!ext) return strcmp(e, ".") != 0 && strcmp(e, "..") != 0;
        const char *dot = strrchr(e, '.');
        return dot && strcmp(dot + 1, ext) == 0;
    };
    if (!ListDir(dir, keep, &list, &room) || list.empty()) return nullptr;
    return SaveList(list + " ", room);
}
