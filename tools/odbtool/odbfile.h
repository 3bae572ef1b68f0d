// Where odbtool's databases are and how it reads and writes them whole.
#pragma once

#include "tools/odbtool/dumptext.h"

#include "toolkit/dbm/dbt.h"

#include <filesystem>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

// Where a database is: the name the database library is given and the file it stands for.
struct Where {
    std::string name; // path under V4 path handling, or name under the tool directory
    std::string file; // the file, for messages and checks
    bool byPath = true;
};

// The records of an open database in file order, with their key sizes.
struct Loaded {
    DumpText db;
    std::vector<int> keySizes; // K of each record (key length + 1 when well formed)
};

// The library makes ./db before a write-back; an empty one it made is not left behind.
struct LocalDbDir {
    bool had = std::filesystem::exists("db");
    ~LocalDbDir() {
        if (!had) rmdir("db");
    }
};

// --tool-dir: database names are looked for under ToolDir/db (empty: DB is a path).
extern std::string ToolDir;

// The database a command-line argument names.
Where Locate(const char *arg);
// Opens the database (flags as for DbTOpen).
DbTHandle *Open(const Where &w, int flags);
// True for a readable regular file; else false with the reason in err.
bool Existing(const Where &w, std::string &err);
// Appends the records of h in file order.
void ReadRecords(DbTHandle *h, Loaded &out);
// Reads every record of an existing database.
bool ReadDatabase(const Where &w, Loaded &out, std::string &err);
// Why a record can't be stored, or "".
std::string Unstorable(const DumpRecord &r);
// Runs write with standard error caught, so that the library's messages, which end without a
// line end, come out as whole lines before the tool's own.
bool Catching(const std::function<bool()> &write);
// The message for a failed write.
std::string WriteError(const Where &w);
// Makes or replaces the database at w with exactly db's records, in one write-back.
bool WriteDatabase(const Where &w, const DumpText &db, std::string &err);
// Reads FILE, or standard input for null or "-".
bool ReadInput(const char *file, std::string &out, std::string &err);
