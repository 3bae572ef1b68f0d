// Text catalogues of the catalogue tool: parsing, checking, formatting and writing.
#include "tools/nlscat/catalog.h"

#include "toolkit/dbm/dbm.h"
#include "toolkit/dbm/dbt.h"

#include <climits>
#include <cstdio>
#include <filesystem>
#include <unistd.h>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <sstream>

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view TrimLeft(std::string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    return s;
}

std::string_view TrimRight(std::string_view s) {
    while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// Splits off the first blank-separated word of s.
std::string_view NextWord(std::string_view &s) {
    s = TrimLeft(s);
    size_t n = 0;
    while (n < s.size() && !IsBlank(s[n]))
        ++n;
    std::string_view word = s.substr(0, n);
    s.remove_prefix(n);
    return word;
}

// A decimal number of at most INT_MAX, or -1.
long ParseNumber(std::string_view word) {
    if (word.empty() || word.size() > 10) return -1;
    long v = 0;
    for (char c : word) {
        if (c < '0' || c > '9') return -1;
        v = v * 10 + (c - '0');
    }
    return v <= INT_MAX ? v : -1;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Decodes the escape at in[i] (just after the backslash); advances i past it.
bool DecodeEscape(std::string_view in, size_t &i, std::string &out) {
    static const std::string_view kFrom = "ntrabfv\\\"'?", kTo = "\n\t\r\a\b\f\v\\\"'?";
    char c = in[i];
    size_t simple = kFrom.find(c);
    if (simple != std::string_view::npos) {
        out += kTo[simple];
        ++i;
        return true;
    }
    int value = 0, digits = 0;
    if (c >= '0' && c <= '7') {
        for (; digits < 3 && i < in.size() && in[i] >= '0' && in[i] <= '7'; ++digits, ++i)
            value = value * 8 + (in[i] - '0');
    } else if (c == 'x') {
        for (++i; digits < 2 && i < in.size() && HexValue(in[i]) >= 0; ++digits, ++i)
            value = value * 16 + HexValue(in[i]);
    }
    if (digits == 0 || value > 255) return false;
    out += static_cast<char>(value);
    return true;
}

// Splits the quoted string at the start of s (which begins with '"') off s and decodes it.
bool TakeQuoted(std::string_view &s, std::string &out, std::string &err) {
    size_t i = 1;
    while (i < s.size() && s[i] != '"')
        i += s[i] == '\\' ? 2 : 1;
    if (i >= s.size()) {
        err = "missing closing quote";
        return false;
    }
    std::string_view inside = s.substr(1, i - 1);
    s.remove_prefix(i + 1);
    return Unescape(inside, out, err);
}

// The text part of a line: a quoted string, or the rest of the line without trailing blanks.
bool ParseText(std::string_view rest, std::string &out, std::string &err) {
    rest = TrimRight(TrimLeft(rest));
    if (rest.empty() || rest.front() != '"') return Unescape(rest, out, err);
    if (!TakeQuoted(rest, out, err)) return false;
    if (!rest.empty()) {
        err = "text after the closing quote";
        return false;
    }
    return true;
}

// The key of a "$key" line: a quoted string (for keys with blanks, control characters or a
// leading quote), or the next word taken as it is.
bool ParseKey(std::string_view &rest, std::string &key, std::string &err) {
    rest = TrimLeft(rest);
    bool quoted = !rest.empty() && rest.front() == '"';
    if (!quoted)
        key = NextWord(rest);
    else if (!TakeQuoted(rest, key, err))
        return false;
    // The database ends a key at its first NUL, so such a key would be stored cut.
    if (key.find('\0') != std::string::npos) {
        err = "a key can't hold a NUL";
        return false;
    }
    if (!quoted) return true;
    if (!rest.empty() && !IsBlank(rest.front())) {
        err = "text after the closing quote";
        return false;
    }
    return true;
}

// Whether a key must be written quoted to read back as the same key.
bool NeedsQuotes(std::string_view key) {
    if (key.empty() || key.front() == '"') return true;
    for (char c : key) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u == 0x7f) return true;
    }
    return false;
}

// Parses one logical line. `set` is the current message set (0 before any "$set").
bool ParseLine(std::string_view line, long &set, std::vector<CatEntry> &out,
               const std::string &where, std::string &err) {
    std::string_view rest = line;
    std::string_view word = NextWord(rest);
    std::string key;
    if (word == "$set") {
        set = ParseNumber(NextWord(rest));
        if (set <= 0 || !TrimLeft(rest).empty()) {
            err = "$set needs one message set number above 0";
            return false;
        }
        return true;
    }
    if (word == "$key") {
        if (!ParseKey(rest, key, err)) return false;
        if (key.empty()) {
            err = "$key needs a key";
            return false;
        }
    } else if (word[0] >= '0' && word[0] <= '9') {
        long number = ParseNumber(word);
        if (number < 0) {
            err = "bad message number " + std::string(word);
            return false;
        }
        if (set <= 0) {
            err = "message number before any $set";
            return false;
        }
        key = std::to_string(set) + "_" + std::to_string(number);
    } else {
        err = "expected a message number, $set or $key";
        return false;
    }
    CatEntry entry{key, {}, where};
    if (!ParseText(rest, entry.text, err)) return false;
    out.push_back(std::move(entry));
    return true;
}

// Number of backslashes that end s.
size_t TrailingBackslashes(std::string_view s) {
    size_t n = 0;
    while (n < s.size() && s[s.size() - 1 - n] == '\\')
        ++n;
    return n;
}

// A numeric key "SET_NUMBER" as written by "$set SET" and "NUMBER"; false for other keys.
bool SplitNumericKey(const std::string &key, long &set, long &number) {
    size_t us = key.find('_');
    if (us == std::string::npos) return false;
    set = ParseNumber(std::string_view(key).substr(0, us));
    number = ParseNumber(std::string_view(key).substr(us + 1));
    return set > 0 && number >= 0 && key == std::to_string(set) + "_" + std::to_string(number);
}

} // namespace

bool Unescape(std::string_view in, std::string &out, std::string &err) {
    for (size_t i = 0; i < in.size();) {
        if (in[i] != '\\') {
            out += in[i++];
            continue;
        }
        if (++i >= in.size() || !DecodeEscape(in, i, out)) {
            err = "bad escape sequence";
            return false;
        }
    }
    return true;
}

std::string Quote(std::string_view text) {
    std::string q = "\"";
    for (char c : text) {
        unsigned char u = static_cast<unsigned char>(c);
        if (c == '\\' || c == '"') {
            q += '\\';
            q += c;
        } else if (c == '\n') {
            q += "\\n";
        } else if (c == '\t') {
            q += "\\t";
        } else if (u < 0x20 || u == 0x7f) {
            char oct[8];
            snprintf(oct, sizeof oct, "\\%03o", u);
            q += oct;
        } else {
            q += c;
        }
    }
    return q + "\"";
}

bool ParseCatalog(std::string_view text, const std::string &file, std::vector<CatEntry> &out,
                  std::string &err) {
    long set = 0;
    int lineNo = 0;
    std::istringstream in{std::string(text)};
    std::string physical;
    while (std::getline(in, physical)) {
        int first = ++lineNo;
        std::string line = std::string(TrimRight(physical));
        std::string_view head = TrimLeft(line);
        if (head.empty() || head[0] == '#') continue;
        while (TrailingBackslashes(line) % 2 == 1 && std::getline(in, physical)) {
            line.pop_back();
            line += TrimRight(physical);
            ++lineNo;
        }
        std::string where = file + ":" + std::to_string(first);
        if (!ParseLine(line, set, out, where, err)) {
            err = where + ": " + err;
            return false;
        }
    }
    return true;
}

bool ReadCatalogFile(const std::string &path, std::vector<CatEntry> &out, std::string &err) {
    std::string text;
    if (path == "-") {
        text.assign(std::istreambuf_iterator<char>(std::cin), {});
    } else {
        std::ifstream f(path, std::ios::binary);
        if (!f) {
            err = path + ": can't open the catalogue";
            return false;
        }
        text.assign(std::istreambuf_iterator<char>(f), {});
    }
    return ParseCatalog(text, path == "-" ? "<stdin>" : path, out, err);
}

bool CheckCatalog(const std::vector<CatEntry> &entries, std::string &err) {
    std::map<std::string, std::string> seen;
    for (const CatEntry &e : entries) {
        auto [it, fresh] = seen.emplace(e.key, e.where);
        if (!fresh) {
            err = e.where + ": key " + e.key + " already defined at " + it->second;
            return false;
        }
        // Record body: 2-byte key size, key, NUL, text, NUL.
        if (e.key.size() > DBT_MAX_KEY || e.key.size() + e.text.size() + 4 > DBM_MAX_BODY) {
            err = e.where + ": key " + e.key + ": string or key too long for a database";
            return false;
        }
    }
    return true;
}

std::string FormatCatalog(const std::vector<CatEntry> &entries) {
    std::string out;
    long current = 0;
    for (const CatEntry &e : entries) {
        std::string text = e.text;
        if (!text.empty() && text.back() == '\0') text.pop_back();
        long set, number;
        if (SplitNumericKey(e.key, set, number)) {
            if (set != current) out += "$set " + std::to_string(set) + "\n";
            current = set;
            out += std::to_string(number) + " " + Quote(text) + "\n";
        } else {
            out += "$key " + (NeedsQuotes(e.key) ? Quote(e.key) : e.key) + " " + Quote(text) + "\n";
        }
    }
    return out;
}

bool WriteCatalogDatabase(const std::string &path, const std::vector<CatEntry> &entries,
                          bool headerless) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    std::string staging = path + ".build";
    auto discard = [&] {
        unlink(staging.c_str());
        unlink((staging + "_new").c_str());
    };
    discard();
    // The database library makes ./db before a write-back; don't leave it behind.
    bool hadDbDir = std::filesystem::exists("db", ec);
    DbmSetV4DriverPathHandling(); // the name is a full file path
    DbTHandle *db = DbTOpen(staging.c_str(), DBT_NO_RELOAD | DBT_NO_WRITEBACK);
    if (!db) {
        fprintf(stderr, "nlscat: can't write %s\n", path.c_str());
        return false;
    }
    if (headerless) DbTSetDbType(db, 1);
    bool ok = true;
    for (const CatEntry &e : entries) {
        std::string data = e.text + '\0';
        if (!DbmTPutRecord(db, e.key.c_str(), data.data(), static_cast<int>(data.size()))) {
            fprintf(stderr, "nlscat: %s: can't store key %s\n", e.where.c_str(), e.key.c_str());
            ok = false;
        }
    }
    // An image without records is no write for the library; an empty file is the
    // database without strings that every reader accepts.
    auto writeEmpty = [&] {
        FILE *f = fopen(staging.c_str(), "w");
        return f != nullptr && fclose(f) == 0;
    };
    bool written = ok && (entries.empty() ? writeEmpty() : DbmTArchiveDb(db));
    DbTClose(db);
    if (written && rename(staging.c_str(), path.c_str()) != 0) written = false;
    if (ok && !written) fprintf(stderr, "nlscat: can't write %s\n", path.c_str());
    if (!written) discard();
    if (!hadDbDir) rmdir("db"); // only when still empty
    return written;
}
