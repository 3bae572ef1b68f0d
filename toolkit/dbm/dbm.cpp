// Record database files and their plain operations. Every plain operation makes one pass over
// the file; an update streams the records into a working copy, makes that copy durable and only
// then renames it over the database, so a failed update leaves the database as it was.
#include "toolkit/dbm/dbm.h"

#include <cctype>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "toolkit/runtime/files.h"
#include "toolkit/runtime/logging.h"
#include "toolkit/runtime/memory.h"
#include "toolkit/runtime/shared.h"
#include "toolkit/runtime/tokens.h"

int Ent2Get = 0;
char DbmV4DriverPathHandling = 0;
unsigned char TLBuf[4] = {1, 2, 3, 4};

namespace {

// Limits of the path helpers the file layer splits paths with.
constexpr size_t kPathMax = 255;
constexpr size_t kComponentMax = 127;

const char *ToolDir() {
    return pToolPath && *pToolPath ? pToolPath : ".";
}

// A path must fit the path helpers of the file layer; one that the file layer hands to the shell
// (to create or rename a file) must also hold no character the shell would act on.
bool UsablePath(const std::string &path, bool forShell) {
    if (path.empty() || path.size() > kPathMax) return false;
    size_t component = 0;
    for (unsigned char c : path) {
        if (forShell && (c <= ' ' || c == 0x7f || strchr("\"'`$\\;&|<>()*?[]{}!^#~", c)))
            return false;
        component = c == '/' ? 0 : component + 1;
        if (component > kComponentMax) return false;
    }
    return true;
}

// Path of the file of database name with extension ext ("odb" or "odb_new"); empty when no
// usable path results (forShell: one to create or rename through the shell). Under V4 driver path
// handling the name is the database file's path and its working copy is that path with "_new"
// appended.
std::string DbFilePath(const char *name, const char *ext, bool forShell) {
    std::string path;
    if (DbmV4DriverPathHandling)
        path = strcmp(ext, "odb_new") == 0 ? std::string(name) + "_new" : std::string(name);
    else
        path = std::string(ToolDir()) + "/db/" + name + "." + ext;
    return UsablePath(path, forShell) ? path : std::string();
}

// Directory part and last component of a path.
std::pair<std::string, std::string> SplitDbPath(const std::string &path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {".", path};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

bool PathExists(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// Makes a rename inside dir durable.
void SyncDirectory(const std::string &dir) {
    int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

// Flushes, syncs and closes a working copy; 1 when every step succeeded.
bool CloseNewDataBase(FILE *f) {
    bool ok = fflush(f) == 0;
    ok = fsync(fileno(f)) == 0 && ok;
    return (fclose(f) == 0) && ok;
}

using Record = std::vector<unsigned char>;

unsigned Get16(const unsigned char *p) {
    uint16_t v;
    memcpy(&v, p, 2);
    return v;
}

void Put16(unsigned char *p, unsigned v) {
    uint16_t s = (uint16_t)v;
    memcpy(p, &s, 2);
}

// Field accessors of a record read by GetData: length, key size, key, data.
unsigned BodyLen(const Record &r) {
    return Get16(r.data());
}
unsigned KeySize(const Record &r) {
    return Get16(r.data() + 2);
}
const char *KeyOf(const Record &r) {
    return reinterpret_cast<const char *>(r.data() + 4);
}
const unsigned char *DataOf(const Record &r) {
    return r.data() + 4 + KeySize(r);
}
int DataLen(const Record &r) {
    return (int)(BodyLen(r) - KeySize(r) - 2);
}
std::string_view KeyText(const Record &r) {
    return {KeyOf(r), strnlen(KeyOf(r), KeySize(r))};
}

// Whole-key match (prefixLen 0) or match of the first prefixLen bytes.
bool KeyMatches(const Record &r, const char *key, size_t prefixLen) {
    unsigned k = KeySize(r);
    if (prefixLen) return k > prefixLen && memcmp(KeyOf(r), key, prefixLen) == 0;
    return k == strlen(key) + 1 && memcmp(KeyOf(r), key, k) == 0;
}

char ReadRecord(FILE *f, Record &r) {
    return GetData(f, reinterpret_cast<char *>(r.data()));
}

void ReportWriteFailure(const char *name) {
    fprintf(stderr, "ERROR: Can't write to %s", name);
}

// Creates ./db, where databases and their working copies are looked for by default.
void EnsureLocalDbDir() {
    if (!FindFile(".", "db")) CreateFile("./db", nullptr, "777", nullptr, nullptr);
}

// Calls visit for each readable record of the database in file order until it returns true.
// Returns 0 when the database can't be opened.
template <typename Visit> char ScanDataBase(const char *name, Visit visit) {
    FILE *in = OpenDataBase(name, "odb", "rb", ERROR_MSG_SILENT);
    if (!in) return 0;
    Record r(DBM_RECORD_BUF);
    while (ReadRecord(in, r))
        if (visit(r)) break;
    fclose(in);
    return 1;
}

// Returns a managed copy of text, or null.
char *SaveText(const std::string &text) {
    char *s = GetMem((int)text.size() + 1);
    if (s) memcpy(s, text.data(), text.size());
    return s;
}

} // namespace

void DbmScramble(unsigned char *b, int n) {
    for (int i = 1; i < n; i++)
        b[i - 1] ^= b[i];
}

void DbmUnscramble(unsigned char *b, int n) {
    for (int i = n - 1; i >= 1; i--)
        b[i - 1] ^= b[i];
}

char PutData(FILE *f, char *rec) {
    auto *r = reinterpret_cast<unsigned char *>(rec);
    unsigned len = Get16(r);
    DbmScramble(r + 2, (int)len);
    return fwrite(r, 1, len + 2, f) == len + 2;
}

char GetData(FILE *f, char *rec) {
    auto *r = reinterpret_cast<unsigned char *>(rec);
    if (fread(r, 1, 2, f) != 2) return 0;
    unsigned len = Get16(r);
    if (len > DBM_MAX_BODY) Put16(r, len = DBM_MAX_BODY);
    if (fread(r + 2, 1, len, f) != len) return 0;
    DbmUnscramble(r + 2, (int)len);
    // A body too short for its key size field or its key is damage: the scan ends here.
    return len >= 2 && Get16(r + 2) + 2 <= len;
}

FILE *OpenDataBase(const char *name, const char *ext, const char *mode, int report) {
    if (!name || !ext || !mode) return nullptr;
    std::string path = DbFilePath(name, ext, false);
    if (path.empty() || !FindFile(nullptr, path.c_str())) return nullptr;
    for (int tries = 0; tries < 10; tries++) {
        if (FILE *f = OpenFile(nullptr, path.c_str(), mode, report)) return f;
        WaitSeconds(1);
    }
    return nullptr;
}

FILE *OpenNewDataBase(const char *name) {
    std::string path = DbFilePath(name, "odb_new", true);
    if (path.empty()) return nullptr;
    auto [dir, base] = SplitDbPath(path);
    CreateFile(dir.c_str(), base.c_str(), "666", nullptr, nullptr);
    return OpenDataBase(name, "odb_new", "wb", ERROR_MSG_WARNING);
}

char CommitNewDataBase(const char *name, FILE *out, char ok, char reported) {
    if (!name || !out) return 0;
    ok = CloseNewDataBase(out) && ok;
    ok = ok && RenameDataBase(name, "odb_new", "odb");
    if (!ok) {
        if (!reported) ReportWriteFailure(name);
        std::string copy = DbFilePath(name, "odb_new", true);
        if (!copy.empty()) unlink(copy.c_str());
    }
    return ok;
}

char RenameDataBase(const char *name, const char *from, const char *to) {
    if (!name || !from || !to) return 0;
    std::string src = DbFilePath(name, from, true), dst = DbFilePath(name, to, true);
    if (src.empty() || dst.empty() || !PathExists(src)) return 0;
    auto [dir, srcBase] = SplitDbPath(src);
    std::string dstBase = SplitDbPath(dst).second;
    RenameFile(dir.c_str(), srcBase.c_str(), dstBase.c_str());
    // The command's status says little; the file system says whether the move happened.
    if (PathExists(src) || !PathExists(dst)) return 0;
    SyncDirectory(dir);
    return 1;
}

char PurgeRecord(const char *name, FILE *in, FILE *out, const char *key, int prefixLen) {
    Record r(DBM_RECORD_BUF);
    while (ReadRecord(in, r)) {
        if (KeyMatches(r, key, prefixLen > 0 ? (size_t)prefixLen : 0)) continue;
        if (!PutData(out, reinterpret_cast<char *>(r.data()))) {
            ReportWriteFailure(name);
            return 0;
        }
    }
    return 1;
}

char DbmPutRecord(const char *name, const char *key, const void *data, int len) {
    if (!name || !key || !data || len <= 0) return 0;
    size_t keyLen = strlen(key);
    if (keyLen + (size_t)len + 3 > DBM_MAX_BODY) return 0;
    EnsureLocalDbDir();
    FILE *in = OpenDataBase(name, "odb", "rb", ERROR_MSG_SILENT);
    // A database that is there but can't be read is not a missing one: a new file holding only
    // this record would take the place of all the records it has.
    if (!in && PathExists(DbFilePath(name, "odb", false))) return 0;
    FILE *out = OpenNewDataBase(name);
    if (!out) {
        if (in) fclose(in);
        return 0;
    }
    bool ok = !in || PurgeRecord(name, in, out, key, 0);
    bool reported = !ok;
    if (in) fclose(in);
    if (ok) {
        unsigned k = (unsigned)keyLen + 1, body = k + (unsigned)len + 2;
        Record r(body + 2);
        Put16(r.data(), body);
        Put16(r.data() + 2, k);
        memcpy(r.data() + 4, key, k);
        memcpy(r.data() + 4 + k, data, (size_t)len);
        ok = PutData(out, reinterpret_cast<char *>(r.data()));
    }
    return CommitNewDataBase(name, out, ok, reported);
}

// Rewrites the database without the records matching key; returns whether the copy succeeded,
// or -1 when the database or its working copy could not be opened.
static int Purge(const char *name, const char *key, int prefixLen) {
    FILE *in = OpenDataBase(name, "odb", "rb", ERROR_MSG_SILENT);
    if (!in) return -1;
    FILE *out = OpenNewDataBase(name);
    if (!out) {
        fclose(in);
        return -1;
    }
    bool ok = PurgeRecord(name, in, out, key, prefixLen);
    fclose(in);
    return CommitNewDataBase(name, out, ok, !ok);
}

char DbmDeleteRecord(const char *name, const char *key) {
    if (!name || !key) return 0;
    return Purge(name, key, 0) == 1;
}

char DbmDeleteRecords(const char *name, const char *prefix) {
    if (!name || !prefix || !*prefix) return 0;
    return Purge(name, prefix, (int)strlen(prefix)) >= 0;
}

int DbmGetRecord(const char *name, const char *key, void *dest) {
    if (!name || !key || !dest) return 0;
    int n = 0;
    ScanDataBase(name, [&](const Record &r) {
        if (!KeyMatches(r, key, 0)) return false;
        n = DataLen(r);
        memcpy(dest, DataOf(r), (size_t)n);
        return true;
    });
    return n;
}

int DbmGetRecordSize(const char *name, const char *key) {
    if (!name || !key) return 0;
    int n = 0;
    ScanDataBase(name, [&](const Record &r) {
        if (!KeyMatches(r, key, 0)) return false;
        n = DataLen(r);
        return true;
    });
    return n;
}

int DbmGetNextRecord(const char *name, void *dest) {
    if (!name || !dest) return 0;
    int seen = 0, n = -1;
    ScanDataBase(name, [&](const Record &r) {
        if (seen++ < Ent2Get) return false;
        n = DataLen(r);
        memcpy(dest, DataOf(r), (size_t)n);
        return true;
    });
    if (n < 0) return 0;
    Ent2Get++;
    return n;
}

char *DbmGetRecordList(const char *name, const char *prefix, const char *suffix) {
    if (!name) return nullptr;
    std::string text;
    bool any = false;
    ScanDataBase(name, [&](const Record &r) {
        text += prefix ? prefix : "";
        text += KeyText(r);
        any = true;
        return false;
    });
    if (!any) return nullptr;
    text += suffix ? suffix : "";
    return SaveText(text);
}

DbLinkNode *DbmGetDbLinkList(const char *name, const char *pattern) {
    if (!name || !pattern) return nullptr;
    DbLinkNode *head = nullptr, **tail = &head;
    ScanDataBase(name, [&](const Record &r) {
        if (KeyText(r).find(pattern) == std::string_view::npos) return false;
        auto *node = reinterpret_cast<DbLinkNode *>(GetMem(sizeof(DbLinkNode)));
        if (!node) return false;
        int size = (int)BodyLen(r) - 2;
        if ((node->key = GetMem(size > 0 ? size : 1))) {
            memcpy(node->key, KeyOf(r), (size_t)size);
            node->data = node->key + KeySize(r);
            node->dataLen = DataLen(r);
        }
        *tail = node;
        tail = &node->next;
        return false;
    });
    return head;
}

void DbmFreeDbLinkList(DbLinkNode *list) {
    while (list) {
        DbLinkNode *next = list->next;
        PutMem(list->key);
        PutMem(list);
        list = next;
    }
}

char DbmCopyRecord(const char *name, const char *srcKey, const char *dstKey) {
    if (!name || !srcKey || !dstKey) return 0;
    std::vector<char> buf(DBM_RECORD_BUF);
    int n = DbmGetRecord(name, srcKey, buf.data());
    return n ? DbmPutRecord(name, dstKey, buf.data(), n) : 0;
}

char *DbmGetDbList(int flag) {
    char *list = GetDirFileList("db");
    if (!list) return nullptr;
    std::string names = flag ? " " : "";
    bool first = true;
    // The entries are read as tokens of the shared tokenizer; the caller's state is kept.
    char *in = szIn, *rest = szTokenIn, del = chTokenDel;
    std::string token(GetTokenBuf);
    for (char *t = GetToken(list, " "); t; t = GetToken(nullptr, " ")) {
        std::string_view entry(t);
        size_t dot = entry.find('.');
        if (dot == std::string_view::npos || entry.substr(dot) != ".odb") continue;
        if (!first) names += flag ? ' ' : ',';
        names += entry.substr(0, dot);
        first = false;
    }
    szIn = in;
    szTokenIn = rest;
    chTokenDel = del;
    memcpy(GetTokenBuf, token.c_str(), token.size() + 1);
    // The names never outgrow the listing they come from.
    memcpy(list, names.c_str(), names.size() + 1);
    return list;
}

void DumpDbm(const char *name) {
    if (!name) return;
    std::string path = std::string(name) + ".db";
    FILE *f = OpenFile(nullptr, path.c_str(), "rb", ERROR_MSG_WARNING);
    if (!f) return;
    Record r(DBM_RECORD_BUF);
    while (ReadRecord(f, r)) {
        unsigned len = BodyLen(r);
        printf("%i %i ==>{", (int)len, (int)KeySize(r));
        for (unsigned i = 0; i < len - 2; i++)
            putchar(isprint(r[4 + i]) ? r[4 + i] : '.');
        printf("}\n");
    }
    fclose(f);
}

void DbmSetV4DriverPathHandling(void) {
    DbmV4DriverPathHandling = 1;
}

void DbmCreate(void) {}

void DbmDelete(void) {}
