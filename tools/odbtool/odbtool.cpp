// odbtool: looks into, changes, dumps, loads, checks and converts record databases (.odb) of
// either file format. Everything goes through the typed database operations, so the tool sees
// and writes exactly what the toolkit's readers do, and every write is the typed database's
// write-back: a complete working copy, synced, then renamed over the file.
#include "tools/odbtool/odbfile.h"

#include "toolkit/dbm/dbt.h"
#include "toolkit/runtime/memory.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const char *const kUsage =
    "Usage: odbtool [--tool-dir DIR] list DB\n"
    "       odbtool [--tool-dir DIR] get DB KEY\n"
    "       odbtool [--tool-dir DIR] put DB KEY [FILE|-]\n"
    "       odbtool [--tool-dir DIR] del DB KEY\n"
    "       odbtool [--tool-dir DIR] dump DB\n"
    "       odbtool [--tool-dir DIR] load DB [FILE|-]\n"
    "       odbtool [--tool-dir DIR] check DB\n"
    "       odbtool [--tool-dir DIR] stats DB\n"
    "       odbtool [--tool-dir DIR] convert DB --headered|--headerless [OUT]\n"
    "       odbtool --help\n";

const char *const kHelp =
    "\n"
    "Reads and writes record databases (.odb files, headered or headerless).\n"
    "\n"
    "  list     every key, one a line, in file order\n"
    "  get      the data of KEY, raw, to standard output\n"
    "  put      store the data of FILE (standard input without FILE or with -)\n"
    "           under KEY; a missing database is made, headered\n"
    "  del      remove the record of KEY\n"
    "  dump     every record as text: a \"format\" line, then one line a record,\n"
    "           \"key\" \"data\" with \\\\ \\\" \\n \\t \\r \\0 and \\xHH escapes\n"
    "  load     make or replace DB from a dump, in one write\n"
    "  check    walk the file as the readers do: report the first damaged record\n"
    "           (offset and reason), a header count that differs from the records\n"
    "           found, and keys the readers can never find\n"
    "  stats    format, records, bytes, key and data sizes\n"
    "  convert  write DB (or OUT) in the other file format\n"
    "\n"
    "DB is a file path, taken as given. With --tool-dir DIR it is a database\n"
    "name under DIR/db instead (en_US/CoreString for DIR/db/en_US/CoreString.odb).\n"
    "A failed write leaves the database as it was.\n"
    "\n"
    "Exit status: 0 success, 1 failure (a missing key, a damaged database for\n"
    "check), 2 usage error.\n";

int Usage() {
    fputs(kUsage, stderr);
    return 2;
}

int Fail(const std::string &message) {
    fprintf(stderr, "odbtool: %s\n", message.c_str());
    return 1;
}

int List(const Where &w) {
    Loaded l;
    std::string err;
    if (!ReadDatabase(w, l, err)) return Fail(err);
    for (const DumpRecord &r : l.db.records)
        printf("%s\n", r.key.c_str());
    return 0;
}

int Get(const Where &w, const char *key) {
    std::string err;
    if (!Existing(w, err)) return Fail(err);
    DbTHandle *h = Open(w, DBT_NO_RELOAD);
    char *buf = nullptr;
    int n = h ? DbmTGetRecordV(h, key, &buf, 0) : 0;
    DbTClose(h);
    if (n <= 0) return Fail(w.file + ": no record " + QuoteBytes(key));
    bool ok = fwrite(buf, 1, (size_t)n, stdout) == (size_t)n && fflush(stdout) == 0;
    PutMem(buf);
    return ok ? 0 : Fail("can't write standard output");
}

// A write on a damaged database would store only the records before the damage.
bool Sound(DbTHandle *h, const Where &w, std::string &err) {
    DbTCheck c;
    if (DbTCheckImage(h, &c)) return true;
    err = w.file + " is damaged at offset " + std::to_string(c.damageOffset) +
          " (see odbtool check); a write would drop everything from there, so nothing was "
          "written. Dump and load it to keep the records before the damage.";
    return false;
}

int Put(const Where &w, const char *key, const char *file) {
    DumpRecord r{key, ""};
    std::string err;
    if (!ReadInput(file, r.data, err)) return Fail(err);
    std::string why = Unstorable(r);
    if (!why.empty()) return Fail(why);
    struct stat st;
    if (stat(w.file.c_str(), &st) == 0 && !Existing(w, err)) return Fail(err);
    if (!w.byPath) std::filesystem::create_directories(std::filesystem::path(w.file).parent_path());
    LocalDbDir local;
    DbTHandle *h = Open(w, DBT_NO_RELOAD);
    if (h && !Sound(h, w, err)) {
        DbTClose(h);
        return Fail(err);
    }
    bool ok =
        h && Catching([&] { return DbmTPutRecord(h, key, r.data.data(), (int)r.data.size()); });
    DbTClose(h);
    return ok ? 0 : Fail(WriteError(w));
}

int Del(const Where &w, const char *key) {
    std::string err;
    if (!Existing(w, err)) return Fail(err);
    DbTHandle *h = Open(w, DBT_NO_RELOAD);
    if (!h) return Fail("out of memory");
    if (!Sound(h, w, err)) {
        DbTClose(h);
        return Fail(err);
    }
    DbTRecord r;
    bool present = FindTRecord(h, key, &r);
    DbTCheck c;
    DbTCheckImage(h, &c);
    if (present && h->format == 1 && c.records == 1) {
        DbTClose(h);
        return Fail(w.file + ": the only record of a headerless database can't be removed (an "
                             "empty file reads as a new database); convert it to --headered first");
    }
    bool ok = false;
    if (present) {
        LocalDbDir local;
        ok = Catching([&] { return DbmTDeleteRecord(h, key); });
    }
    DbTClose(h);
    if (!present) return Fail(w.file + ": no record " + QuoteBytes(key));
    return ok ? 0 : Fail(WriteError(w));
}

int Dump(const Where &w) {
    Loaded l;
    std::string err;
    if (!ReadDatabase(w, l, err)) return Fail(err);
    fputs(FormatDump(l.db).c_str(), stdout);
    return fflush(stdout) == 0 ? 0 : Fail("can't write standard output");
}

int Load(const Where &w, const char *file) {
    std::string text, err;
    if (!ReadInput(file, text, err)) return Fail(err);
    DumpText db;
    if (!ParseDump(text, file && strcmp(file, "-") ? file : "stdin", db, err)) return Fail(err);
    return WriteDatabase(w, db, err) ? 0 : Fail(err);
}

const char *FormatName(int format) {
    return format == 1 ? "headerless" : format == 2 ? "headered" : "empty";
}

const char *DamageText(int damage) {
    switch (damage) {
    case DBT_DAMAGE_LENGTH_CUT:
        return "the file ends inside its length field";
    case DBT_DAMAGE_PAST_END:
        return "its body runs past the end of the file";
    case DBT_DAMAGE_SHORT_BODY:
        return "its body is shorter than its key size field and key";
    case DBT_DAMAGE_HEADER_CUT:
        return "the file ends inside the 16-byte header";
    default:
        return "damaged";
    }
}

int Check(const Where &w) {
    std::string err;
    if (!Existing(w, err)) return Fail(err);
    DbTHandle *h = Open(w, DBT_NO_RELOAD);
    if (!h) return Fail("out of memory");
    DbTCheck c;
    bool sound = DbTCheckImage(h, &c);
    int format = h->format, count = h->recordCount;
    Loaded l;
    ReadRecords(h, l); // the records before any damage
    DbTClose(h);
    const char *f = w.file.c_str();
    int problems = 0;
    struct stat st;
    stat(f, &st);
    printf("%s: %s, %d records in %lld bytes\n", f, FormatName(format), c.records,
           (long long)st.st_size);
    if (!sound) {
        printf("%s: offset %d: damaged record: %s; the readers see only the %d records before it\n",
               f, c.damageOffset, DamageText(c.damage), c.records);
        problems++;
    }
    if (format == 2 && count != c.records) {
        printf("%s: the header counts %d records, %d found\n", f, count, c.records);
        problems++;
    }
    std::map<std::string, size_t> first;
    for (size_t i = 0; i < l.db.records.size(); i++) {
        const DumpRecord &r = l.db.records[i];
        std::string what;
        if ((int)r.key.size() + 1 != l.keySizes[i])
            what = l.keySizes[i] == 0 ? "its key size is 0" : "its key is not one NUL-ended text";
        else if (!first.emplace(r.key, i).second)
            what = "its key repeats record " + std::to_string(first[r.key] + 1) + "'s";
        else if (r.data.empty())
            what = "it has no data, so it reads as missing";
        if (what.empty()) continue;
        if (what.find("missing") == std::string::npos) what += "; lookups never find it";
        printf("%s: record %zu (key %s): %s\n", f, i + 1, QuoteBytes(r.key).c_str(), what.c_str());
        problems++;
    }
    if (problems == 0) printf("%s: no damage\n", f);
    return problems ? 1 : 0;
}

int Stats(const Where &w) {
    std::string err;
    if (!Existing(w, err)) return Fail(err);
    DbTHandle *h = Open(w, DBT_NO_RELOAD);
    if (!h) return Fail("out of memory");
    int format = h->format;
    Loaded l;
    ReadRecords(h, l);
    DbTClose(h);
    struct stat st;
    stat(w.file.c_str(), &st);
    printf("file     %s\n", w.file.c_str());
    printf("format   %s\n", FormatName(format));
    printf("records  %zu\n", l.db.records.size());
    printf("bytes    %lld\n", (long long)st.st_size);
    auto sizes = [&](const char *what, auto size) {
        size_t total = 0, lo = SIZE_MAX, hi = 0;
        for (const DumpRecord &r : l.db.records) {
            size_t n = size(r);
            total += n;
            lo = std::min(lo, n);
            hi = std::max(hi, n);
        }
        if (l.db.records.empty()) lo = 0;
        printf("%-8s %zu bytes, %zu to %zu a record, mean %.1f\n", what, total, lo, hi,
               l.db.records.empty() ? 0.0 : (double)total / (double)l.db.records.size());
    };
    sizes("keys", [](const DumpRecord &r) { return r.key.size(); });
    sizes("data", [](const DumpRecord &r) { return r.data.size(); });
    return 0;
}

int Convert(const Where &w, const char *to, const char *out) {
    bool headerless;
    if (strcmp(to, "--headerless") == 0)
        headerless = true;
    else if (strcmp(to, "--headered") == 0)
        headerless = false;
    else
        return Usage();
    Loaded l;
    std::string err;
    if (!ReadDatabase(w, l, err)) return Fail(err);
    l.db.headerless = headerless;
    return WriteDatabase(out ? Locate(out) : w, l.db, err) ? 0 : Fail(err);
}

} // namespace

int main(int argc, char **argv) {
    my_name = const_cast<char *>("odbtool");
    flUseLog = 0;
    int i = 1;
    if (i < argc && (strcmp(argv[i], "--help") == 0 || strcmp(argv[i], "-h") == 0)) {
        fputs(kUsage, stdout);
        fputs(kHelp, stdout);
        return 0;
    }
    if (i + 1 < argc && strcmp(argv[i], "--tool-dir") == 0) {
        ToolDir = argv[i + 1];
        if (ToolDir.empty()) return Usage();
        pToolPath = argv[i + 1];
        i += 2;
    }
    if (argc - i < 2) return Usage();
    std::string cmd = argv[i];
    Where w = Locate(argv[i + 1]);
    char **rest = argv + i + 2;
    int n = argc - i - 2;
    if (cmd == "list" && n == 0) return List(w);
    if (cmd == "get" && n == 1) return Get(w, rest[0]);
    if (cmd == "put" && (n == 1 || n == 2)) return Put(w, rest[0], n == 2 ? rest[1] : nullptr);
    if (cmd == "del" && n == 1) return Del(w, rest[0]);
    if (cmd == "dump" && n == 0) return Dump(w);
    if (cmd == "load" && (n == 0 || n == 1)) return Load(w, n == 1 ? rest[0] : nullptr);
    if (cmd == "check" && n == 0) return Check(w);
    if (cmd == "stats" && n == 0) return Stats(w);
    if (cmd == "convert" && (n == 1 || n == 2))
        return Convert(w, rest[0], n == 2 ? rest[1] : nullptr);
    return Usage();
}
