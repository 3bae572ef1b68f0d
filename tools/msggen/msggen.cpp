// Build-time generator: turns the message tables (*.msg) and the agreement
// texts into one C++ source with the installer's static data.
//
// Usage: msggen OUT.cpp {-t NAME FILE.msg | -x NAME FILE.txt}...
// The first -t table is the reference: every other table must have the same
// entries with the same printf conversions, or generation fails. Entries 0 to
// 70 form the table NAME; the entries after them, the extra section, form
// NAME_EXTRA, whose size the program states as NLS_SETUP_EXTRA.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kEntries = 71;

struct Table {
    std::string name, file;
    std::vector<std::string> entries;
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
    for (int no = 1; std::getline(in, line); ++no) {
        std::string where = t.file + ":" + std::to_string(no), err;
        if (line.empty() || line[0] == '#') continue;
        size_t i = 0;
        int index = 0;
        while (i < line.size() && isdigit(static_cast<unsigned char>(line[i])) && index < 1000)
            index = index * 10 + (line[i++] - '0');
        if (i == 0 || index != static_cast<int>(t.entries.size()))
            return fail(where, "expected entry " + std::to_string(t.entries.size()));
        while (i < line.size() && line[i] == ' ')
            ++i;
        std::string text;
        if (!decodeLiteral(line, i, text, err)) return fail(where, err);
        t.entries.push_back(text);
    }
    if (static_cast<int>(t.entries.size()) < kEntries)
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

bool sameConversions(const Table &ref, const Table &t) {
    if (t.entries.size() != ref.entries.size())
        return fail(t.file, "has " + std::to_string(t.entries.size()) + " entries, not " +
                                std::to_string(ref.entries.size()) + " as " + ref.file);
    for (size_t k = 0; k < ref.entries.size(); ++k)
        if (conversions(ref.entries[k]) != conversions(t.entries[k]))
            return fail(t.file,
                        "entry " + std::to_string(k) + " does not have the reference conversions");
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

void emitTable(FILE *out, const Table &t) {
    int n = static_cast<int>(t.entries.size());
    for (int k = 0; k < n; ++k) {
        fprintf(out, "static char %s_%d[] =", t.name.c_str(), k);
        emitLiteral(out, t.entries[k]);
        fputs(";\n", out);
    }
    fprintf(out, "char *%s[NLS_SETUP_MESSAGES] = {\n", t.name.c_str());
    for (int k = 0; k < kEntries; ++k)
        fprintf(out, "    %s_%d,\n", t.name.c_str(), k);
    fprintf(out, "};\nchar *%s_EXTRA[NLS_SETUP_EXTRA] = {\n", t.name.c_str());
    for (int k = kEntries; k < n; ++k)
        fprintf(out, "    %s_%d,\n", t.name.c_str(), k);
    fputs("};\n\n", out);
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
            tables.push_back({argv[i + 1], argv[i + 2], {}});
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
    if (!tables.empty())
        fprintf(out, "static_assert(NLS_SETUP_EXTRA == %zu, \"extra section of %s\");\n\n",
                tables.front().entries.size() - kEntries, tables.front().file.c_str());
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
