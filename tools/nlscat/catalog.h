// Text catalogues of the catalogue tool: parsing, checking and formatting.
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
