// The text form of a record database that odbtool dump writes and odbtool load reads.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// One record: its key (without the NUL the file adds) and its data bytes.
struct DumpRecord {
    std::string key;
    std::string data;
    int line = 0; // line of the dump it was read from (0 when not read)
};

// A whole database: its file format and its records in file order.
struct DumpText {
    bool headerless = false;
    std::vector<DumpRecord> records;
};

// Quotes bytes: printable ASCII and well-formed UTF-8 as they are, \\ \" \n \t \r \0 for
// those, \xHH (always two digits) for every other byte.
std::string QuoteBytes(std::string_view bytes);

// The dump of db: a "format" line, then one line per record: the quoted key, a blank and the
// quoted data.
std::string FormatDump(const DumpText &db);

// Reads a dump (named file in messages). False with "file:line: message" in err.
bool ParseDump(std::string_view text, const std::string &file, DumpText &db, std::string &err);
