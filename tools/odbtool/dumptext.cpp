// The dump text of odbtool: quoting of arbitrary bytes and the line format around it.
#include "tools/odbtool/dumptext.h"

#include <cstdio>

namespace {

// Length of the well-formed UTF-8 sequence of two or more bytes at s[i], or 0.
size_t Utf8Length(std::string_view s, size_t i) {
    auto at = [&](size_t k) { return (unsigned char)s[k]; };
    unsigned char c = at(i);
    size_t n = c >= 0xC2 && c <= 0xDF   ? 2
               : c >= 0xE0 && c <= 0xEF ? 3
               : c >= 0xF0 && c <= 0xF4 ? 4
                                        : 0;
    if (n == 0 || i + n > s.size()) return 0;
    for (size_t k = 1; k < n; k++)
        if ((at(i + k) & 0xC0) != 0x80) return 0;
    // No overlong forms, surrogates or values past U+10FFFF.
    if ((c == 0xE0 && at(i + 1) < 0xA0) || (c == 0xED && at(i + 1) > 0x9F) ||
        (c == 0xF0 && at(i + 1) < 0x90) || (c == 0xF4 && at(i + 1) > 0x8F))
        return 0;
    return n;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads the quoted string at line[i] (at its opening quote) into out; i moves past it.
bool Unquote(std::string_view line, size_t &i, std::string &out, std::string &why) {
    if (i >= line.size() || line[i] != '"') {
        why = "a quoted string was expected";
        return false;
    }
    for (++i; i < line.size(); ++i) {
        char c = line[i];
        if (c == '"') {
            ++i;
            return true;
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i >= line.size()) break;
        switch (line[i]) {
        case '\\':
            out += '\\';
            break;
        case '"':
            out += '"';
            break;
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case 'r':
            out += '\r';
            break;
        case '0':
            out += '\0';
            break;
        case 'x': {
            int hi = i + 1 < line.size() ? HexValue(line[i + 1]) : -1;
            int lo = i + 2 < line.size() ? HexValue(line[i + 2]) : -1;
            if (hi < 0 || lo < 0) {
                why = "\\x needs two hex digits";
                return false;
            }
            out += (char)(hi * 16 + lo);
            i += 2;
            break;
        }
        default:
            why = std::string("unknown escape \\") + line[i];
            return false;
        }
    }
    why = "the string has no closing quote";
    return false;
}

} // namespace

std::string QuoteBytes(std::string_view bytes) {
    std::string out = "\"";
    for (size_t i = 0; i < bytes.size(); ++i) {
        unsigned char c = (unsigned char)bytes[i];
        if (size_t n = c >= 0x80 ? Utf8Length(bytes, i) : 0) {
            out.append(bytes.substr(i, n));
            i += n - 1;
            continue;
        }
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\0':
            out += "\\0";
            break;
        default:
            if (c >= 0x20 && c < 0x7f) {
                out += (char)c;
            } else {
                char hex[5];
                snprintf(hex, sizeof hex, "\\x%02x", c);
                out += hex;
            }
        }
    }
    return out + "\"";
}

std::string FormatDump(const DumpText &db) {
    std::string out = "# odbtool dump: one record a line, \"key\" \"data\"\n";
    out += db.headerless ? "format headerless\n" : "format headered\n";
    for (const DumpRecord &r : db.records)
        out += QuoteBytes(r.key) + " " + QuoteBytes(r.data) + "\n";
    return out;
}

bool ParseDump(std::string_view text, const std::string &file, DumpText &db, std::string &err) {
    bool haveFormat = false;
    int number = 0;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++number;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        auto fail = [&](const std::string &why) {
            err = file + ":" + std::to_string(number) + ": " + why;
            return false;
        };
        if (line.empty() || line[0] == '#') continue;
        if (!haveFormat) {
            if (line != "format headered" && line != "format headerless")
                return fail("\"format headered\" or \"format headerless\" expected");
            db.headerless = line == "format headerless";
            haveFormat = true;
            continue;
        }
        DumpRecord r;
        r.line = number;
        size_t i = 0;
        std::string why;
        if (!Unquote(line, i, r.key, why)) return fail("key: " + why);
        if (i >= line.size() || line[i] != ' ') return fail("a blank and the quoted data expected");
        ++i;
        if (!Unquote(line, i, r.data, why)) return fail("data: " + why);
        if (i != line.size()) return fail("text after the data");
        db.records.push_back(std::move(r));
    }
    if (!haveFormat) {
        err = file + ": no \"format\" line: not a dump";
        return false;
    }
    return true;
}
