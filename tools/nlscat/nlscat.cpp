// nlscat: builds string databases (.odb) from text catalogues, and lists, reads and
// dumps them, in the spirit of gencat and msgfmt. It works through the typed record
// database, so what it writes is exactly what the translated-string service reads.
#include "tools/nlscat/catalog.h"

#include "toolkit/dbm/dbt.h"
#include "toolkit/runtime/memory.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const char *const kUsage = "Usage: nlscat build [--headerless] DATABASE.odb SOURCE...\n"
                           "       nlscat list DATABASE.odb\n"
                           "       nlscat get DATABASE.odb KEY | SET NUMBER\n"
                           "       nlscat dump DATABASE.odb\n"
                           "       nlscat --help\n";

const char *const kHelp =
    "\n"
    "Builds the string databases of the translated-string service from text\n"
    "catalogues, and lists, reads and dumps them.\n"
    "\n"
    "  build   make DATABASE from the SOURCE catalogues (\"-\" reads standard input);\n"
    "          the database is new and headered, or headerless with --headerless\n"
    "  list    print every key, one a line, in database order\n"
    "  get     print one string: by text KEY, or by SET and NUMBER (key SET_NUMBER)\n"
    "  dump    print the whole database as a catalogue (either file format), which\n"
    "          build turns back into the same strings\n"
    "\n"
    "Catalogue syntax (UTF-8 text, one string a line):\n"
    "  # comment               a line whose first non-blank character is '#'\n"
    "  $set 25                 the numbered strings that follow belong to set 25\n"
    "  1017 Do you want...     string 1017 of the current set (key 25_1017)\n"
    "  $key intro index.html   string with the text key \"intro\"\n"
    "  $key \"a b\" text         a quoted key may hold blanks and escapes\n"
    "  201 \"  Save  \"          quotes keep leading and trailing blanks\n"
    "Escapes \\n \\t \\r \\a \\b \\f \\v \\\\ \\\" \\' \\? \\ooo \\xHH work in both forms;\n"
    "a line ending in a single backslash continues on the next line. Each\n"
    "string is stored with its terminating NUL. A key defined twice is an error.\n"
    "\n"
    "Adding a language (for example it_IT):\n"
    "  1. copy toolkit/nls/catalog/en_US.txt to toolkit/nls/catalog/it_IT.txt and\n"
    "     translate the texts; keep every key and every %-conversion, in order;\n"
    "  2. add a line \"it_IT = it_IT it_CH\" (the locales that choose it) to\n"
    "     toolkit/nls/catalog/trans.conf, and the same words to string 999/1;\n"
    "  3. add it_IT to NLS_LANGUAGES in toolkit/nls/catalog/catalog.cmake and\n"
    "     rebuild: the database appears as <tool dir>/db/it_IT/CoreString.odb.\n"
    "  By hand: nlscat build tooldir/db/it_IT/CoreString.odb it_IT.txt\n"
    "\n"
    "Exit status: 0 success, 1 a missing string or a failure, 2 a usage error.\n";

int Usage() {
    fputs(kUsage, stderr);
    return 2;
}

// Absolute form of a database path, with ".odb" added when it has no '.' at all (the
// database library would otherwise read one file and write another).
std::string DatabasePath(const char *arg) {
    std::string path = arg;
    if (path.find('.') == std::string::npos) path += ".odb";
    if (path[0] != '/') path = std::filesystem::current_path().string() + "/" + path;
    return path;
}

bool Readable(const std::string &path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        fprintf(stderr, "nlscat: %s: %s\n", path.c_str(),
                errno ? strerror(errno) : "not a regular file");
        return false;
    }
    return true;
}

// Every record of the database at path, in database order; false if it can't be read.
bool ReadDatabase(const std::string &path, std::vector<CatEntry> &out) {
    if (!Readable(path)) return false;
    DbTHandle *db = DbTOpen(path.c_str(), DBT_NO_RELOAD);
    if (!db) return false;
    DbLinkNode *list = DbmTGetDbLinkList(db, "");
    for (DbLinkNode *n = list; n; n = n->next)
        if (n->key) out.push_back({n->key, std::string(n->data, n->dataLen), path});
    DbmFreeDbLinkList(list);
    DbTClose(db);
    return true;
}

int Build(int argc, char **argv) {
    bool headerless = argc > 0 && strcmp(argv[0], "--headerless") == 0;
    if (headerless) --argc, ++argv;
    if (argc < 2) return Usage();
    std::vector<CatEntry> entries;
    for (int i = 1; i < argc; ++i) {
        std::string err;
        if (!ReadCatalogFile(argv[i], entries, err)) {
            fprintf(stderr, "nlscat: %s\n", err.c_str());
            return 1;
        }
    }
    std::string err;
    if (!CheckCatalog(entries, err)) {
        fprintf(stderr, "nlscat: %s\n", err.c_str());
        return 1;
    }
    return WriteCatalogDatabase(DatabasePath(argv[0]), entries, headerless) ? 0 : 1;
}

int List(int argc, char **argv) {
    if (argc != 1) return Usage();
    std::vector<CatEntry> entries;
    if (!ReadDatabase(DatabasePath(argv[0]), entries)) return 1;
    for (const CatEntry &e : entries)
        printf("%s\n", e.key.c_str());
    return 0;
}

int Get(int argc, char **argv) {
    if (argc != 2 && argc != 3) return Usage();
    std::string key = argv[1];
    if (argc == 3) key = std::to_string(atoi(argv[1])) + "_" + std::to_string(atoi(argv[2]));
    std::vector<CatEntry> entries;
    if (!ReadDatabase(DatabasePath(argv[0]), entries)) return 1;
    for (const CatEntry &e : entries) {
        if (e.key != key) continue;
        printf("%s\n", e.text.c_str()); // up to the terminating NUL
        return 0;
    }
    fprintf(stderr, "nlscat: %s: no string %s\n", argv[0], key.c_str());
    return 1;
}

int Dump(int argc, char **argv) {
    if (argc != 1) return Usage();
    std::vector<CatEntry> entries;
    std::string path = DatabasePath(argv[0]);
    if (!ReadDatabase(path, entries)) return 1;
    fputs(FormatCatalog(entries).c_str(), stdout);
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    my_name = const_cast<char *>("nlscat");
    if (argc < 2) return Usage();
    std::string cmd = argv[1];
    if (cmd == "--help" || cmd == "-h" || cmd == "help") {
        fputs(kUsage, stdout);
        fputs(kHelp, stdout);
        return 0;
    }
    if (cmd == "build") return Build(argc - 2, argv + 2);
    if (cmd == "list") return List(argc - 2, argv + 2);
    if (cmd == "get") return Get(argc - 2, argv + 2);
    if (cmd == "dump") return Dump(argc - 2, argv + 2);
    return Usage();
}
