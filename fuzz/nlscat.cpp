// nlscat build on fuzzed catalogue text: what builds must read back as the
// strings parsed, and the catalogue printed from them must parse to the same.
#include "fuzz/common.h"

#include <cstdlib>
#include <string>
#include <vector>

// The tool's own code, with its main renamed so that the target can call it.
#define main nlscat_main
#include "tools/nlscat/nlscat.cpp"
#undef main

namespace {

// The database keeps each text with its terminating NUL.
bool Same(const std::vector<CatEntry> &parsed, const std::vector<CatEntry> &stored) {
    if (parsed.size() != stored.size()) return false;
    for (size_t i = 0; i < parsed.size(); i++)
        if (parsed[i].key != stored[i].key || parsed[i].text + '\0' != stored[i].text) return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static std::string dir = fuzz::Scratch("nlscat");
    const std::string src = dir + "/cat.txt", db = dir + "/out/strings.odb";
    fuzz::Put(src, data, size);
    bool headerless = size > 0 && (data[0] & 1);
    std::vector<char *> argv = {const_cast<char *>("nlscat"), const_cast<char *>("build")};
    if (headerless) argv.push_back(const_cast<char *>("--headerless"));
    argv.push_back(const_cast<char *>(db.c_str()));
    argv.push_back(const_cast<char *>(src.c_str()));
    argv.push_back(nullptr);
    int rc = nlscat_main(static_cast<int>(argv.size()) - 1, argv.data());

    std::vector<CatEntry> parsed;
    std::string err;
    bool ok =
        ParseCatalog(std::string(reinterpret_cast<const char *>(data), size), src, parsed, err) &&
        CheckCatalog(parsed, err);
    if (ok != (rc == 0)) abort();
    if (rc != 0) return 0;
    std::vector<CatEntry> stored;
    if (!ReadDatabase(db, stored) || !Same(parsed, stored)) abort();
    std::vector<CatEntry> again;
    if (!ParseCatalog(FormatCatalog(stored), "dump", again, err) || !Same(again, stored)) abort();
    unlink(db.c_str());
    return 0;
}
