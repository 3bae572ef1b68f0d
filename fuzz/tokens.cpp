// Tokens, delimited lists and path helpers on fuzzed text.
// Input: delimiters, NUL, name, NUL, text (also read as a delimited list and a path).
#include "fuzz/common.h"
#include "toolkit/runtime/memory.h"
#include "toolkit/runtime/tokens.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The items of a delimited list, as FindToken reads it: the pieces between
// the delimiters after the first, the last one being the text after the last.
std::vector<std::string> Items(const std::string &list) {
    std::vector<std::string> out;
    if (list.empty()) return out;
    char d = list[0];
    for (size_t at = 1;;) {
        size_t end = list.find(d, at);
        out.push_back(list.substr(at, end == std::string::npos ? std::string::npos : end - at));
        if (end == std::string::npos) return out;
        at = end + 1;
    }
}

void Tokenize(const std::string &text, const char *delims) {
    std::string a = text;
    int n = 0;
    for (char *t = GetToken(a.data(), delims); t != nullptr && n < 10000;
         t = GetToken(nullptr, delims), n++)
        if (strlen(t) > TOKEN_MAX) abort();
    std::string b = text;
    n = 0;
    for (char *t = GetToken(b.data(), delims); t != nullptr && n < 10000;
         t = GetToken(TOKEN_LINE_MODE, delims), n++)
        if (strlen(t) > TOKEN_MAX) abort();
    std::string c = text;
    char *cursor = nullptr;
    char buf[TOKEN_MAX + 1];
    n = 0;
    for (char *t = GetTokenD(c.data(), delims, &cursor, buf); t != nullptr && n < 10000;
         t = GetTokenD(nullptr, delims, &cursor, buf), n++)
        if (strlen(t) > TOKEN_MAX) abort();
    std::string d = text;
    n = 0;
    for (char *t = GetTokenParse(d.data(), delims); t != nullptr && n < 10000;
         t = GetTokenParse(nullptr, delims), n++) {
    }
    std::string e = text;
    char *out[16];
    int got = ParseStr(e.data(), delims, out, 16);
    if (got < 0 || got > 16) abort();
    std::string f = text;
    int count = GetTokenCount(f.data(), delims);
    std::string g = text;
    GetTokenN(g.data(), delims, count);
    GetTokenN(g.data(), delims, count + 1);
}

void Lists(const std::string &name, const std::string &text) {
    std::string list = text.c_str();
    int at = FindToken(name.c_str(), list.c_str());
    // A found name is the item at that position (a name holding the delimiter
    // spans items, so it is left out).
    std::vector<std::string> items = Items(list);
    if (at > 0 && !list.empty() && name.find(list[0]) == std::string::npos &&
        (at > static_cast<int>(items.size()) || items[at - 1] != name))
        abort();
    FindTokenC(name.c_str(), list.c_str());
    if (!list.empty()) FindTokenWithDelim(list.c_str(), name.c_str(), list[0]);
    for (char flCase = 0; flCase < 2; flCase++) {
        std::string sorted = list;
        if (sorted.empty()) break;
        SortTokens(sorted.data(), sorted[0], flCase);
        // Sorting never makes the list longer (empty items may go).
        if (strlen(sorted.c_str()) > strlen(list.c_str())) abort();
    }
}

void Paths(const std::string &path) {
    const char *p = path.c_str();
    if (strlen(StripPath(p)) > 127 || strlen(StripFn(p)) > 255 || strlen(StripExt(p)) > 127 ||
        strlen(StripPathExt(p)) > 127 || strlen(StripPathName(p)) > 127)
        abort();
    int exists = 0;
    PutMem(FindExistingPath(p, &exists));
    StrChr(p, '/');
    StrNChr(p, '/', 3);
    StrNStr(p, "/", 2);
    StrStr(p, "..");
    StrCaseStr(p, "A");
    SkipSpace(p);
    std::string a = path;
    StripAllBackslashes(a.data());
    std::string b = path;
    StripNonPrint(b.data(), 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static std::string dir = fuzz::Scratch("tokens");
    std::string delims, rest, name, text;
    fuzz::SplitAtNul(data, size, delims, rest);
    fuzz::SplitAtNul(reinterpret_cast<const uint8_t *>(rest.data()), rest.size(), name, text);
    Tokenize(text, delims.c_str());
    Lists(name, text);
    Paths(text);
    return 0;
}
