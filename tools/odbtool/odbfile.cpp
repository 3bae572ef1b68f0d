// Where odbtool's databases are and how it reads and writes them whole, through the typed
// database of the toolkit.
#include "tools/odbtool/odbfile.h"

#include "toolkit/runtime/memory.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

std::string ToolDir;

Where Locate(const char *arg) {
    Where w;
    if (!ToolDir.empty()) {
        w.name = arg;
        if (w.name.size() > 4 && w.name.compare(w.name.size() - 4, 4, ".odb") == 0)
            w.name.resize(w.name.size() - 4);
        w.file = ToolDir + "/db/" + w.name + ".odb";
        w.byPath = false;
        return w;
    }
    std::filesystem::path p = std::filesystem::absolute(arg);
    w.file = w.name = p.string();
    // The library reads an absolute path without any '.' as that path plus ".odb"; a "./"
    // before the last part keeps the path exactly as given.
    if (w.name.find('.') == std::string::npos)
        w.name = p.parent_path().string() + "/./" + p.filename().string();
    return w;
}

DbTHandle *Open(const Where &w, int flags) {
    if (w.byPath) DbmSetV4DriverPathHandling();
    return DbTOpen(w.name.c_str(), flags);
}

bool Existing(const Where &w, std::string &err) {
    struct stat st;
    if (stat(w.file.c_str(), &st) != 0) {
        err = w.file + ": " + strerror(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        err = w.file + ": not a regular file";
        return false;
    }
    if (access(w.file.c_str(), R_OK) != 0) {
        err = w.file + ": " + strerror(errno);
        return false;
    }
    return true;
}

void ReadRecords(DbTHandle *h, Loaded &out) {
    out.db.headerless = h->format == 1;
    DbLinkNode *list = DbmTGetDbLinkList(h, "");
    for (DbLinkNode *n = list; n; n = n->next) {
        if (!n->key) continue;
        int k = (int)(n->data - n->key);
        out.db.records.push_back({std::string(n->key, strnlen(n->key, (size_t)k)),
                                  std::string(n->data, (size_t)n->dataLen)});
        out.keySizes.push_back(k);
    }
    DbmFreeDbLinkList(list);
}

bool ReadDatabase(const Where &w, Loaded &out, std::string &err) {
    if (!Existing(w, err)) return false;
    DbTHandle *h = Open(w, DBT_NO_RELOAD);
    if (!h) {
        err = w.file + ": out of memory";
        return false;
    }
    ReadRecords(h, out);
    DbTClose(h);
    return true;
}

std::string Unstorable(const DumpRecord &r) {
    if (r.key.empty()) return "empty key";
    if (r.key.find('\0') != std::string::npos) return "key holds a NUL";
    if (r.key.size() > DBT_MAX_KEY) return "key longer than " + std::to_string(DBT_MAX_KEY);
    if (r.data.empty()) return "no data (a record holds at least one byte)";
    if (r.key.size() + r.data.size() + 3 > DBM_MAX_BODY)
        return "key and data together exceed " + std::to_string(DBM_MAX_BODY - 3) + " bytes";
    return "";
}

bool Catching(const std::function<bool()> &write) {
    fflush(stderr);
    FILE *caught = tmpfile();
    int saved = caught ? dup(2) : -1;
    if (saved >= 0) dup2(fileno(caught), 2);
    bool ok = write();
    if (saved < 0) return ok;
    fflush(stderr);
    dup2(saved, 2);
    close(saved);
    rewind(caught);
    int c, last = '\n';
    while ((c = fgetc(caught)) != EOF)
        fputc(last = c, stderr);
    if (last != '\n') fputc('\n', stderr);
    fclose(caught);
    return ok;
}

std::string WriteError(const Where &w) {
    return "can't write " + w.file +
           " (its directory must be writable and its path free of blanks and shell characters)";
}

bool WriteDatabase(const Where &w, const DumpText &db, std::string &err) {
    for (const DumpRecord &r : db.records) {
        std::string why = Unstorable(r);
        if (why.empty()) continue;
        err = (r.line ? "line " + std::to_string(r.line) + ": " : "") + "record " +
              QuoteBytes(r.key) + ": " + why;
        return false;
    }
    if (db.headerless && db.records.empty()) {
        err = w.file + ": a headerless database needs at least one record";
        return false;
    }
    if (!w.byPath) std::filesystem::create_directories(std::filesystem::path(w.file).parent_path());
    LocalDbDir local;
    DbTHandle *h = Open(w, DBT_NO_RELOAD | DBT_NO_WRITEBACK);
    if (!h) {
        err = "out of memory";
        return false;
    }
    // Start from nothing, whatever the file held.
    PutMem(h->image);
    h->image = nullptr;
    h->imageLength = h->cursor = h->walkPosition = h->recordCount = 0;
    DbTSetDbType(h, db.headerless ? 1 : 2);
    std::map<std::string, int> seen;
    bool ok = true;
    for (const DumpRecord &r : db.records) {
        if (!seen.emplace(r.key, r.line).second)
            fprintf(stderr,
                    "odbtool: line %d: key %s again: the later record replaces the earlier\n",
                    r.line, QuoteBytes(r.key).c_str());
        if (!DbmTPutRecord(h, r.key.c_str(), r.data.data(), (int)r.data.size())) {
            err = "record " + QuoteBytes(r.key) + ": out of memory";
            ok = false;
            break;
        }
    }
    // No record at all: the header alone.
    if (ok && !h->image) {
        h->image = GetMem(16);
        h->imageLength = h->image ? 16 : 0;
    }
    if (ok && !Catching([&] { return DbmTArchiveDb(h); })) {
        err = WriteError(w);
        ok = false;
    }
    DbTClose(h);
    return ok;
}

bool ReadInput(const char *file, std::string &out, std::string &err) {
    if (!file || strcmp(file, "-") == 0) {
        out.assign(std::istreambuf_iterator<char>(std::cin), {});
        return true;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        err = std::string(file) + ": " + strerror(errno);
        return false;
    }
    out.assign(std::istreambuf_iterator<char>(in), {});
    if (in.bad()) {
        err = std::string(file) + ": read error";
        return false;
    }
    return true;
}
