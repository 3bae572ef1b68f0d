// Text catalogues of the catalogue tool: parsing, checking, formatting and writing.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// One string of a catalogue: its database key, its text (without the NUL that the
// database adds) and where it came from ("file:line", or the database path).
struct CatEntry {
    std::string key;
    std::string text;
    std::string where;
};

// Decodes the C escapes of `in` into `out`. False with a message in `err` for a bad escape.
bool Unescape(std::string_view in, std::string &out, std::string &err);

// Encodes `text` as a double-quoted catalogue string.
std::string Quote(std::string_view text);

// Appends the strings of catalogue text `text` (named `file` in messages) to `out`.
// False with "file:line: message" in `err` at the first syntax error.
bool ParseCatalog(std::string_view text, const std::string &file, std::vector<CatEntry> &out,
                  std::string &err);

// Reads and parses catalogue file `path` ("-" for standard input).
bool ReadCatalogFile(const std::string &path, std::vector<CatEntry> &out, std::string &err);

// False with a message when a key is defined twice or a string is too large for a database.
bool CheckCatalog(const std::vector<CatEntry> &entries, std::string &err);

// The catalogue text of `entries`: numeric keys SET_NUMBER under "$set" lines, other keys
// as "$key" lines (the key quoted when it holds blanks, control characters or begins with a
// quote), every text quoted.
std::string FormatCatalog(const std::vector<CatEntry> &entries);

// Writes entries as the new string database at path (a full file path; headerless: the
// format without a header). The database is built beside path and moved over it only when
// whole, so a failure leaves an old database at path as it was. False after a message
// "nlscat: ..." on standard error.
bool WriteCatalogDatabase(const std::string &path, const std::vector<CatEntry> &entries,
                          bool headerless);
