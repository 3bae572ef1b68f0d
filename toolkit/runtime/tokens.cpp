// Tokenizer, delimited lists, path splitting and small string helpers.
#include "toolkit/runtime/tokens.h"

#include "toolkit/runtime/files.h"
#include "toolkit/runtime/memory.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

char *szIn = nullptr;
char *szTokenIn = nullptr;
char GetTokenBuf[TOKEN_MAX + 1];
char chTokenDel = 0;

namespace {

// Path results: 127 characters, 255 for StripFn.
constexpr size_t kNameSize = 128;
constexpr size_t kFnSize = 256;
// Longest path FindExistingPath climbs.
constexpr size_t kExistingPathMax = 4095;

// The delimiters of a call as a 256-entry table. One table is kept, for the
// delimiters of the last call, and reused while the next calls pass the same
// text (the usual walk over one input); checking that costs less than one
// short token, rebuilding costs more. Besides the delimiters the table marks
// NUL and the backslash, so one look-up per character tells an ordinary
// token character from everything that needs a second look.
class DelimTable {
  public:
    static const DelimTable &For(const char *delims) {
        static DelimTable last;
        if (delims == nullptr) delims = "";
        if (!last.Holds(delims)) last.Build(delims);
        return last;
    }
    // Whether c is NUL, a backslash or a delimiter.
    bool Stops(unsigned char c) const { return flags_[c] != 0; }
    // Whether c is one of the delimiters (NUL never is).
    bool IsDelim(unsigned char c) const { return (flags_[c] & kDelim) != 0; }

  private:
    static constexpr unsigned char kStop = 1, kDelim = 2;
    static constexpr size_t kTextMax = 31; // longer sets are rebuilt on every call

    // Bytes 0 .. N of d and t are the same. The bytes are compared in order
    // and t[N] is a NUL, so a shorter d differs at its own NUL and no byte
    // after it is read.
    template <size_t... I>
    static bool Same(const char *d, const char *t, std::index_sequence<I...>) {
        return ((d[I] == t[I]) && ...);
    }
    bool Holds(const char *delims) const {
        if (!valid_) return false;
        // Sets of one to four delimiters are the usual ones; for them the
        // compare is unrolled, as it runs once per token.
        switch (len_) {
        case 1:
            return Same(delims, text_, std::make_index_sequence<2>());
        case 2:
            return Same(delims, text_, std::make_index_sequence<3>());
        case 3:
            return Same(delims, text_, std::make_index_sequence<4>());
        case 4:
            return Same(delims, text_, std::make_index_sequence<5>());
        default:
            for (size_t i = 0; i <= len_; i++)
                if (delims[i] != text_[i]) return false;
            return true;
        }
    }
    [[gnu::noinline, gnu::cold]] void Build(const char *delims) {
        memset(flags_, 0, sizeof flags_);
        flags_[0] = flags_[(unsigned char)'\\'] = kStop;
        for (const char *d = delims; *d != '\0'; d++)
            flags_[(unsigned char)*d] = kStop | kDelim;
        size_t len = strlen(delims);
        valid_ = len <= kTextMax;
        len_ = valid_ ? len : 0;
        memcpy(text_, delims, len_ + 1);
    }

    unsigned char flags_[256] = {};
    char text_[kTextMax + 1] = {};
    size_t len_ = 0;
    bool valid_ = false;
};

// The first character from s on that stops a token scan (NUL, backslash or
// delimiter), four at a time: a character that does not stop is not the
// NUL, so the one after it may be read.
[[gnu::always_inline]] inline char *NextStop(char *s, const DelimTable &set) {
    for (;; s += 4) {
        if (set.Stops((unsigned char)s[0])) return s;
        if (set.Stops((unsigned char)s[1])) return s + 1;
        if (set.Stops((unsigned char)s[2])) return s + 2;
        if (set.Stops((unsigned char)s[3])) return s + 3;
    }
}

char Unescape(char c) {
    switch (c) {
    case 'n':
        return '\n';
    case 'r':
        return '\r';
    case 't':
        return '\t';
    default:
        return c;
    }
}

// One step of the copying tokenizer over *pos into buf (256 bytes). Returns
// 1 for a token (possibly empty), 0 for a line-mode stop at a newline.
[[gnu::always_inline]] inline int ScanToken(char *&pos, const DelimTable &delims, bool lineMode,
                                            char *buf) {
    char del = 0;
    size_t n = 0;
    const char *s = pos;
    int result = 1;
    for (;;) {
        char c = *s;
        if (!delims.Stops((unsigned char)c)) {
            s++;
        } else if (c == '\0') {
            break;
        } else if (c == '\\' && s[1] != '\0') {
            c = Unescape(s[1]);
            s += 2;
        } else if (delims.IsDelim((unsigned char)c)) {
            del = c;
            s++;
            if (n == 0) continue;
            if (lineMode && c == '\n') result = 0;
            break;
        } else {
            s++; // a backslash that ends the input is a token character
        }
        if (n < TOKEN_MAX) buf[n++] = c;
    }
    buf[n] = '\0';
    pos = const_cast<char *>(s);
    chTokenDel = del;
    return result;
}

// Copies src into a static buffer of size bytes, cut to fit.
char *CopyCut(char *buf, size_t size, std::string_view src) {
    size_t n = std::min(src.size(), size - 1);
    if (n > 0) memcpy(buf, src.data(), n);
    buf[n] = '\0';
    return buf;
}

// Text after the last run of '/' in src ("" for null).
std::string_view LastComponent(const char *src) {
    std::string_view s = src ? src : "";
    while (!s.empty() && s.back() == '/')
        s.remove_suffix(1);
    size_t slash = s.rfind('/');
    if (slash != std::string_view::npos) s.remove_prefix(slash + 1);
    return s;
}

// Whether path is an entry of its parent directory.
bool Exists(const std::string &path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return FindFile(".", path.c_str()) != 0;
    std::string dir = slash == 0 ? "/" : path.substr(0, slash);
    return FindFile(dir.c_str(), path.c_str() + slash + 1) != 0;
}

// Cuts path at its last '/' ("/" directly under the root, "." without '/').
void ClimbOne(std::string &path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        path.assign(1, '.');
    else
        path.resize(slash == 0 ? 1 : slash);
}

} // namespace

char *GetToken(char *in, const char *delims) {
    bool lineMode = in == TOKEN_LINE_MODE;
    if (in != nullptr && !lineMode) szIn = in;
    if (szIn == nullptr) {
        chTokenDel = 0;
        return nullptr;
    }
    if (!ScanToken(szIn, DelimTable::For(delims), lineMode, GetTokenBuf)) return nullptr;
    szTokenIn = szIn;
    return GetTokenBuf[0] != '\0' ? GetTokenBuf : nullptr;
}

char *GetTokenD(char *in, const char *delims, char **cursor, char *buf) {
    if (cursor == nullptr || buf == nullptr) return nullptr;
    bool lineMode = in == TOKEN_LINE_MODE;
    if (in != nullptr && !lineMode) *cursor = in;
    if (*cursor == nullptr) return nullptr;
    char *pos = *cursor;
    if (!ScanToken(pos, DelimTable::For(delims), lineMode, buf)) return nullptr;
    *cursor = pos;
    return buf[0] != '\0' ? buf : nullptr;
}

char *GetTokenParse(char *in, const char *delims) {
    bool lineMode = in == TOKEN_LINE_MODE;
    if (in != nullptr && !lineMode) szIn = in;
    if (szIn == nullptr) {
        chTokenDel = 0;
        return nullptr;
    }
    const DelimTable &set = DelimTable::For(delims);
    char *s = szIn, del = 0;
    while (set.IsDelim((unsigned char)*s)) {
        del = *s;
        *s++ = '\0';
    }
    char *start = s;
    for (;;) {
        s = NextStop(s, set);
        char c = *s;
        // An escape wins over a backslash that is also a delimiter.
        bool escape = c == '\\' && s[1] != '\0';
        if (!escape && set.IsDelim((unsigned char)c)) {
            del = c;
            *s++ = '\0';
            if (lineMode && c == '\n') {
                chTokenDel = del;
                szIn = s;
                return nullptr;
            }
            break;
        }
        if (c == '\0') break;
        s += escape ? 2 : 1; // a backslash that ends the input is a token character
    }
    chTokenDel = del;
    szIn = szTokenIn = s;
    // Leading delimiters are gone, so the token is empty only when the
    // input ended at its start.
    return s != start ? start : nullptr;
}

int ParseStr(char *s, const char *delims, char **out, int max) {
    if (out == nullptr || max <= 0) return 0;
    std::fill(out, out + max, nullptr);
    if (s == nullptr) return 0;
    const DelimTable &set = DelimTable::For(delims);
    int count = 0;
    while (count < max) {
        while (set.IsDelim((unsigned char)*s))
            *s++ = '\0';
        if (*s == '\0') break;
        out[count++] = s;
        while (*s != '\0' && !set.IsDelim((unsigned char)*s))
            s += (*s == '\\' && s[1] != '\0') ? 2 : 1;
        if (*s != '\0') *s++ = '\0';
    }
    return count;
}

char *GetTokenN(char *in, const char *delims, int n) {
    char *token = GetToken(in, delims);
    for (int i = 1; i < n && token != nullptr; i++)
        token = GetToken(nullptr, delims);
    return token;
}

int GetTokenCount(char *in, const char *delims) {
    char *savedIn = szIn, *savedTokenIn = szTokenIn;
    char savedBuf[sizeof GetTokenBuf];
    memcpy(savedBuf, GetTokenBuf, sizeof savedBuf);
    int count = 0;
    if (in != nullptr && in != TOKEN_LINE_MODE) {
        for (char *t = GetToken(in, delims); t != nullptr; t = GetToken(nullptr, delims))
            count++;
    }
    szIn = savedIn;
    szTokenIn = savedTokenIn;
    memcpy(GetTokenBuf, savedBuf, sizeof savedBuf);
    return count;
}

void SetTokenBuf(char *p) {
    szIn = szTokenIn = p;
}

char *GetTokenBufInput() {
    return szIn;
}

int FindToken(const char *name, const char *list) {
    if (name == nullptr || list == nullptr || list[0] == '\0') return 0;
    size_t len = strlen(name);
    if (len > TOKEN_ITEM_MAX) return 0;
    char d = list[0];
    char pattern[TOKEN_ITEM_MAX + 3];
    pattern[0] = d;
    memcpy(pattern + 1, name, len);
    pattern[len + 1] = d;
    pattern[len + 2] = '\0';
    const char *hit = strstr(list, pattern);
    if (hit == nullptr) {
        const char *last = strrchr(list, d);
        if (strcmp(last + 1, name) == 0) hit = last;
    }
    if (hit == nullptr) return 0;
    return (int)std::count(list, hit + 1, d);
}

int FindTokenC(const char *name, const char *list) {
    if (name == nullptr || list == nullptr || list[0] == '\0') return 0;
    size_t len = strlen(name);
    if (len > TOKEN_ITEM_MAX) return 0;
    char d = list[0];
    int count = 0;
    for (const char *p = list; *p != '\0'; p++) {
        if (*p != d) continue;
        count++;
        if (strncasecmp(p + 1, name, len) != 0) continue;
        char after = p[1 + len];
        if (after == d || after == '\0') return count;
    }
    return 0;
}

int FindTokenWithDelim(const char *list, const char *name, char delim) {
    if (list == nullptr || name == nullptr) return 0;
    std::string_view rest(list), wanted(name);
    if (!rest.empty() && rest[0] == delim) rest.remove_prefix(1);
    for (int pos = 1;; pos++) {
        size_t end = rest.find(delim);
        if (rest.substr(0, end) == wanted) return pos;
        if (end == std::string_view::npos) return 0;
        rest.remove_prefix(end + 1);
    }
}

void SortTokens(char *list, char delim, char flCase) {
    if (list == nullptr || delim == '\0') return;
    char *start = list;
    while (*start == delim)
        start++;
    size_t len = strlen(start);
    bool trailing = len > 0 && start[len - 1] == delim;
    // Each item keeps its delimiter so that a prefix sorts before its
    // extensions ("ab," against "abc,") the way the byte comparison sees it.
    std::vector<std::string> items;
    for (std::string_view rest(start, len); !rest.empty();) {
        size_t end = rest.find(delim);
        std::string_view item = rest.substr(0, end);
        if (!item.empty()) items.emplace_back(std::string(item) + delim);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    }
    auto less = [flCase](const std::string &a, const std::string &b) {
        return (flCase ? strcasecmp(a.c_str(), b.c_str()) : strcmp(a.c_str(), b.c_str())) < 0;
    };
    std::stable_sort(items.begin(), items.end(), less);
    std::string out;
    for (const std::string &item : items)
        out += item;
    if (!trailing && !out.empty()) out.pop_back();
    memcpy(start, out.c_str(), out.size() + 1);
}

char *StripPath(const char *src) {
    static char Name[kNameSize];
    return CopyCut(Name, sizeof Name, LastComponent(src));
}

char *StripFn(const char *src) {
    static char Name[kFnSize];
    std::string_view s = src ? src : "";
    size_t slash = s.rfind('/');
    if (slash == std::string_view::npos) return CopyCut(Name, sizeof Name, ".");
    return CopyCut(Name, sizeof Name, slash == 0 ? "/" : s.substr(0, slash));
}

char *StripExt(const char *src) {
    static char Name[kNameSize];
    std::string_view s = src ? src : "";
    size_t dots = s.find_first_not_of('.');
    if (dots != std::string_view::npos) {
        size_t dot = s.find('.', dots);
        if (dot != std::string_view::npos) s = s.substr(0, dot);
    }
    return CopyCut(Name, sizeof Name, s);
}

char *StripPathExt(const char *src) {
    static char Name[kNameSize];
    // Not through StripPath: its result must survive this call.
    std::string_view s = LastComponent(src).substr(0, kNameSize - 1);
    return CopyCut(Name, sizeof Name, s.substr(0, s.find('.')));
}

char *StripPathName(const char *src) {
    static char Name[kNameSize];
    if (src == nullptr || strcmp(src, ".") == 0 || strcmp(src, "..") == 0)
        return CopyCut(Name, sizeof Name, "");
    std::string_view s = src;
    size_t first = s.find_first_not_of('/');
    s = first == std::string_view::npos ? std::string_view() : s.substr(first);
    s = s.substr(0, s.find('/'));
    std::string_view result = s;
    for (std::string_view rest = s; !rest.empty();) {
        size_t dot = rest.find('.');
        std::string_view token = rest.substr(0, dot);
        if (!token.empty() && (token.size() < 2 || token[1] != '/')) result = token;
        rest.remove_prefix(dot == std::string_view::npos ? rest.size() : dot + 1);
    }
    return CopyCut(Name, sizeof Name, result);
}

int StrLen(const char *s) {
    return s ? (int)strlen(s) : 0;
}

char *StrChr(const char *s, int c) {
    if (s == nullptr) return nullptr;
    // A backslash hides only what follows it; unescaped, it can be the hit.
    for (; *s != '\0'; s++) {
        if (*s == (char)c) return const_cast<char *>(s);
        if (*s == '\\' && s[1] != '\0') s++;
    }
    return nullptr;
}

char *StrNChr(const char *s, int c, int n) {
    if (s == nullptr || n < 1) return nullptr;
    for (; *s != '\0'; s++) {
        if (*s == (char)c && --n == 0) return const_cast<char *>(s);
    }
    return nullptr;
}

char *StrNStr(const char *s, const char *pat, int n) {
    if (s == nullptr || pat == nullptr || *pat == '\0' || n < 1) return nullptr;
    const char *hit = strstr(s, pat);
    while (hit != nullptr && --n > 0)
        hit = strstr(hit + 1, pat);
    return const_cast<char *>(hit);
}

char *StrStr(const char *s, const char *t) {
    if (s == nullptr || t == nullptr || *t == '\0') return nullptr;
    return const_cast<char *>(strstr(s, t));
}

char *StrCaseStr(const char *s, const char *t) {
    if (s == nullptr || t == nullptr || *t == '\0') return nullptr;
    size_t len = strlen(t);
    for (; *s != '\0'; s++) {
        if (strncasecmp(s, t, len) == 0) return const_cast<char *>(s);
    }
    return nullptr;
}

char *SkipSpace(const char *s) {
    if (s == nullptr) return nullptr;
    while (*s != '\0' && isspace((unsigned char)*s))
        s++;
    return const_cast<char *>(s);
}

char *StripAllBackslashes(char *s) {
    if (s == nullptr) return nullptr;
    char *out = s;
    for (const char *p = s; *p != '\0'; p++) {
        if (*p != '\\') *out++ = *p;
    }
    *out = '\0';
    return s;
}

char *StripNonPrint(char *s, int) {
    if (s == nullptr) return nullptr;
    char *out = s;
    for (const char *p = s; *p != '\0'; p++) {
        if (isprint((unsigned char)*p)) *out++ = *p;
    }
    *out = '\0';
    return s;
}

void SetVarContent(void *dst, const void *src, int len, char flSwap) {
    if (dst == nullptr || src == nullptr || len <= 0) return;
    if (!flSwap) {
        memmove(dst, src, len);
        return;
    }
    auto *d = (unsigned char *)dst;
    auto *s = (const unsigned char *)src;
    unsigned char tmp[64];
    std::vector<unsigned char> big;
    unsigned char *copy = tmp;
    if (len > (int)sizeof tmp) {
        big.resize(len);
        copy = big.data();
    }
    memcpy(copy, s, len);
    for (int i = 0; i < len; i++)
        d[i] = copy[len - 1 - i];
}

double MaxD(double a, double b) {
    return a > b ? a : b;
}

float CvtFloatFormat(float x, int from, int to) {
    static const float perInch[] = {1.0f, 2.54f, 72.0f};
    if (from == to || from < 0 || from > 2 || to < 0 || to > 2) return x;
    if (from == 0) return x * perInch[to];
    if (to == 0) return x / perInch[from];
    return x / perInch[from] * perInch[to];
}

char *FindExistingPath(const char *path, int *flExists) {
    std::string whole(path ? path : "");
    if (whole.size() > kExistingPathMax) whole.resize(kExistingPathMax);
    while (whole.size() > 1 && whole.back() == '/')
        whole.pop_back();
    // An empty path names nothing: the climb starts at "." but the path
    // itself is not reported as existing.
    std::string candidate = whole.empty() ? "." : whole;
    while (candidate != "/" && candidate != "." && !Exists(candidate))
        ClimbOne(candidate);
    if (candidate == whole && flExists != nullptr) *flExists = 1;
    return SaveStr_(candidate.c_str());
}
