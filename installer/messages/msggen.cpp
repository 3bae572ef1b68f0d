// Build-time generator: turns the message tables (*.msg) and the agreement
// texts into one C++ source with the installer's static data.
//
// Usage: msggen OUT.cpp {-t NAME FILE.msg | -x NAME FILE.txt}...
// The first -t table is the reference: every other table must have the same
// entries with the same printf conversions, or generation fails.
// A table holds the 71 built-in entries, then any number of named blocks,
// each opened by a line "[name]" and numbered from 0 again; block "name" of
// table NAME becomes the array NAME_name.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kEntries = 71;

// The built-in entries (name "") or one named block of a table.
struct Block {
    std::string name;
    std::vector<std::string> entries;
};

struct Table {
    std::string name, file;
    std::vector<std::string> entries;
    std::vector<Block> blocks;
};

bool fail(const std::string &where, const std::string &what) {
    fprintf(stderr, "msggen: %s: %s\n", where.c_str(), what.c_str());
    return false;
}

bool readFile(const std::string &path, std::string &out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return fail(path, "cannot open");
    std::ostringstream ss;
    ss << in.rdbuf();
    out = ss.str();
    return true;
}

// Decodes the quoted C literal starting at s[i] (the opening quote).
bool decodeLiteral(const std::string &s, size_t i, std::string &out, std::string &err) {
    if (i >= s.size() || s[i] != '"') return err = "expected '\"'", false;
    for (++i; i < s.size() && s[i] != '"'; ++i) {
        if (s[i] != '\\') {
            out += s[i];
            continue;
        }
        if (++i == s.size()) break;
        switch (s[i]) {
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case '\\':
            out += '\\';
            break;
        case '"':
            out += '"';
            break;
        default:
            return err = std::string("unknown escape \\") + s[i], false;
        }
    }
    if (i >= s.size()) return err = "unterminated text", false;
    for (++i; i < s.size(); ++i)
        if (!isspace(static_cast<unsigned char>(s[i])))
            return err = "text after the closing quote", false;
    return true;
}

bool parseTable(Table &t) {
    std::string data;
    if (!readFile(t.file, data)) return false;
    std::istringstream in(data);
    std::string line;
    std::vector<std::string> *entries = &t.entries;
    for (int no = 1; std::getline(in, line); ++no) {
        std::string where = t.file + ":" + std::to_string(no), err;
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[') {
            size_t close = line.find(']');
            std::string name = line.substr(1, close == std::string::npos ? 0 : close - 1);
            if (name.empty() ||
                name.find_first_not_of("abcdefghijklmnopqrstuvwxyz_") != std::string::npos)
                return fail(where, "expected a block name of lower-case letters");
            if (static_cast<int>(t.entries.size()) != kEntries)
                return fail(where, "a block before the 71 built-in entries");
            t.blocks.push_back({name, {}});
            entries = &t.blocks.back().entries;
            continue;
        }
        size_t i = 0;
        int index = 0;
        while (i < line.size() && isdigit(static_cast<unsigned char>(line[i])) && index < 1000)
            index = index * 10 + (line[i++] - '0');
        if (i == 0 || index != static_cast<int>(entries->size()))
            return fail(where, "expected entry " + std::to_string(entries->size()));
        while (i < line.size() && line[i] == ' ')
            ++i;
        std::string text;
        if (!decodeLiteral(line, i, text, err)) return fail(where, err);
        entries->push_back(text);
    }
    if (static_cast<int>(t.entries.size()) != kEntries)
        return fail(t.file, "has " + std::to_string(t.entries.size()) + " entries, not 71");
    return true;
}

// The printf conversions of a format, in order ("%%" is not one).
std::vector<std::string> conversions(const std::string &f) {
    std::vector<std::string> out;
    for (size_t i = 0; i < f.size(); ++i) {
        if (f[i] != '%') continue;
        size_t j = i + 1;
        while (j < f.size() && strchr("-+ #0123456789.*hlLqjzt'", f[j]))
            ++j;
        if (j < f.size() && f[j] == '%' && j == i + 1) {
            i = j;
            continue;
        }
        out.push_back(f.substr(i, j < f.size() ? j - i + 1 : j - i));
        i = j;
    }
    return out;
}

bool sameEntries(const Table &t, const std::string &block, const std::vector<std::string> &ref,
                 const std::vector<std::string> &own) {
    std::string what = block.empty() ? "" : "block [" + block + "] ";
    if (own.size() != ref.size())
        return fail(t.file, what + "has " + std::to_string(own.size()) + " entries, not " +
                                std::to_string(ref.size()));
    for (size_t k = 0; k < ref.size(); ++k)
        if (conversions(ref[k]) != conversions(own[k]))
            return fail(t.file, what + "entry " + std::to_string(k) +
                                    " does not have the reference conversions");
    return true;
}

bool sameConversions(const Table &ref, const Table &t) {
    if (!sameEntries(t, "", ref.entries, t.entries)) return false;
    if (t.blocks.size() != ref.blocks.size())
        return fail(t.file, "does not have the reference's blocks");
    for (size_t b = 0; b < ref.blocks.size(); ++b) {
        if (t.blocks[b].name != ref.blocks[b].name)
            return fail(t.file, "block [" + t.blocks[b].name + "] where the reference has [" +
                                    ref.blocks[b].name + "]");
        if (!sameEntries(t, ref.blocks[b].name, ref.blocks[b].entries, t.blocks[b].entries))
            return false;
    }
    return true;
}

// Writes bytes as C string literal pieces, one source line per text line.
void emitLiteral(FILE *out, const std::string &s) {
    fputs("\n    \"", out);
    for (size_t i = 0; i < s.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c == '"' || c == '\\')
            fprintf(out, "\\%c", c);
        else if (c >= 0x20 && c < 0x7F)
            fputc(c, out);
        else
            fprintf(out, "\\%03o", c);
        if (c == '\n' && i + 1 < s.size()) fputs("\"\n    \"", out);
    }
    fputs("\"", out);
}

// One array: `name` of `size` (a macro of messages.h, or "" to let the
// header's declaration check the count).
void emitArray(FILE *out, const std::string &name, const char *size,
               const std::vector<std::string> &entries) {
    for (size_t k = 0; k < entries.size(); ++k) {
        fprintf(out, "static char %s_%zu[] =", name.c_str(), k);
        emitLiteral(out, entries[k]);
        fputs(";\n", out);
    }
    fprintf(out, "char *%s[%s] = {\n", name.c_str(), size);
    for (size_t k = 0; k < entries.size(); ++k)
        fprintf(out, "    %s_%zu,\n", name.c_str(), k);
    fputs("};\n\n", out);
}

void emitTable(FILE *out, const Table &t) {
    emitArray(out, t.name, "NLS_SETUP_MESSAGES", t.entries);
    for (const Block &b : t.blocks)
        emitArray(out, t.name + "_" + b.name, "", b.entries);
}

void emitText(FILE *out, const std::string &name, const std::string &text) {
    fprintf(out, "static char %s_text[] =", name.c_str());
    emitLiteral(out, text);
    fprintf(out, ";\nchar *%s = %s_text;\n\n", name.c_str(), name.c_str());
}

int run(int argc, char **argv) {
    if (argc < 2 || (argc - 2) % 3 != 0)
        return fail("usage", "msggen OUT.cpp {-t NAME FILE | -x NAME FILE}..."), 2;
    std::vector<Table> tables;
    std::vector<std::pair<std::string, std::string>> texts;
    for (int i = 2; i < argc; i += 3) {
        std::string opt = argv[i];
        if (opt == "-t") {
            tables.push_back({argv[i + 1], argv[i + 2], {}, {}});
            if (!parseTable(tables.back()) || !sameConversions(tables.front(), tables.back()))
                return 1;
        } else if (opt == "-x") {
            std::string text;
            if (!readFile(argv[i + 2], text)) return 1;
            texts.emplace_back(argv[i + 1], text);
        } else {
            return fail(opt, "unknown option"), 2;
        }
    }
    std::string tmp = std::string(argv[1]) + ".tmp";
    FILE *out = fopen(tmp.c_str(), "w");
    if (out == nullptr) return fail(tmp, "cannot create"), 1;
    fputs("// Generated by msggen from installer/messages; do not edit.\n"
          "#include \"installer/eula.h\"\n#include \"installer/messages.h\"\n\n",
          out);
    for (const Table &t : tables)
        emitTable(out, t);
    for (const auto &[name, text] : texts)
        emitText(out, name, text);
    if (fclose(out) != 0 || rename(tmp.c_str(), argv[1]) != 0)
        return fail(argv[1], "cannot write"), 1;
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    return run(argc, argv);
}
