// Text-file editing operations.
//
// Every rewriting operation is one pass of Rewrite(): the input is read a
// whole line at a time (any length), an edit appends what the line becomes to
// an output buffer, and the output file is renamed over the input only when
// everything was read and written, so the input never goes missing.
#include "toolkit/runtime/textedit.h"

#include "toolkit/runtime/files.h"
#include "toolkit/runtime/logging.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

char Fn[TEXTEDIT_NAME_SIZE];
char FnOut[TEXTEDIT_NAME_SIZE];
FILE *pOut = nullptr;
char *pLine = nullptr;
int LineCnt = 0;
int InPos = 0;
char flInputFilterState = 1;

namespace {

// Bytes of Line that GetLine clears after the text.
constexpr size_t kClearSpan = 512;
// Replacement bytes FileChangeChar takes at most.
constexpr size_t kMaxCodes = 127;
// Longest identifier GenName builds.
constexpr size_t kGenNameMax = 254;

// Copies name into buf (TEXTEDIT_NAME_SIZE bytes); a longer name ends the
// process as an input that cannot be opened would.
void SetName(char *buf, const std::string &name) {
    if (name.size() >= TEXTEDIT_NAME_SIZE) {
        errno = ENAMETOOLONG;
        SysError("can't open file, %s", name.c_str());
    }
    memcpy(buf, name.c_str(), name.size() + 1);
}

// <base>.<ext>, or <base> for a null or empty ext.
std::string InputName(const char *base, const char *ext) {
    std::string name = base ? base : "";
    if (ext && *ext) name.append(".").append(ext);
    return name;
}

// <base>.<ext>out ("%s.%sout").
std::string OutputName(const char *base, const char *ext) {
    return std::string(base ? base : "") + "." + (ext ? ext : "") + "out";
}

// True when pattern is a non-empty text found in line.
bool Holds(std::string_view line, const char *pattern) {
    return pattern && *pattern && line.find(pattern) != std::string_view::npos;
}

// Position of the first occurrence of a non-empty pattern in line, or npos.
size_t Where(std::string_view line, const char *pattern) {
    return pattern && *pattern ? line.find(pattern) : std::string_view::npos;
}

// Number named by a "%i"-style text (decimal, 0 octal, 0x hex); false when
// text does not start with one.
bool ParseCode(const char *text, long *value) {
    if (!text) return false;
    char *end;
    errno = 0;
    *value = strtol(text, &end, 0);
    return end != text;
}

// Sets the input's permission bits on the output (best effort), flushes it to
// disk and closes it; true when every byte reached the file.
bool FinishOutput(FILE *out, const char *in) {
    struct stat st;
    bool ok = fflush(out) == 0;
    if (stat(in, &st) == 0) fchmod(fileno(out), st.st_mode & 07777);
    ok = ok && fsync(fileno(out)) == 0;
    return fclose(out) == 0 && ok;
}

// Renames out over in when ok; otherwise (or when the rename fails) removes
// out. 0 when in was replaced, else 1.
int Commit(bool ok, const char *in, const char *out) {
    if (ok && rename(out, in) == 0) return 0;
    unlink(out);
    return 1;
}

// Reads lines of any length from a stream, newline kept.
struct LineReader {
    FILE *f;
    char *buf = nullptr;
    size_t cap = 0;
    explicit LineReader(FILE *file) : f(file) {}
    ~LineReader() { free(buf); }
    LineReader(const LineReader &) = delete;
    LineReader &operator=(const LineReader &) = delete;
    // The next line, or false at the end of the file or on a read error.
    bool Next(std::string_view *line) {
        ssize_t n = getline(&buf, &cap, f);
        if (n < 0) return false;
        *line = std::string_view(buf, (size_t)n);
        return true;
    }
};

// The frame of every rewriting operation: edit(line, out) appends to out
// what each line becomes.
template <class Edit> int Rewrite(const char *base, const char *ext, Edit edit) {
    char in[TEXTEDIT_NAME_SIZE], out[TEXTEDIT_NAME_SIZE];
    SetName(in, InputName(base, ext));
    SetName(out, OutputName(base, ext));
    FILE *fin = OpenFile(nullptr, in, "rt", ERROR_MSG_FATAL);
    FILE *fout = OpenFile(nullptr, out, "wt", ERROR_MSG_FATAL);
    bool ok = true;
    {
        LineReader reader(fin);
        std::string_view line;
        std::string result;
        while (ok && reader.Next(&line)) {
            result.clear();
            edit(line, result);
            ok = fwrite(result.data(), 1, result.size(), fout) == result.size();
        }
        ok = ok && !ferror(fin);
    }
    fclose(fin);
    ok = FinishOutput(fout, in) && ok;
    return Commit(ok, in, out);
}

// Removes the first occurrence of pattern (found at pos) from line into out.
void AppendWithout(std::string_view line, size_t pos, size_t len, std::string &out) {
    out.append(line.substr(0, pos)).append(line.substr(pos + len));
}

bool IsDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}

// Decimal digits at *p as a number (clamped), *p moved past them.
long long TakeDigits(const char **p) {
    long long v = 0;
    for (; **p >= '0' && **p <= '9'; ++*p)
        v = v < INT_MAX ? v * 10 + (**p - '0') : v;
    return v;
}

// The first occurrence in text of the two-character mark followed by a
// digit, or null.
char *FindMark(char *text, const char *mark) {
    for (char *s = strstr(text, mark); s; s = strstr(s + 1, mark))
        if (IsDigit((unsigned char)s[2])) return s;
    return nullptr;
}

// The text inserted by FileInsert/FileSearchInsert and its numbering.
struct Insertion {
    std::string before, after; // text around the "%#" mark, or all of it in before
    bool numbered = false;     // text holds "%#"
    long long m = 0;           // the digits after "%#"
    long long count = 0;       // the line counter

    // Takes "%s<digits>" out of text (in place) as the counter's start and
    // splits the rest at "%#<digits>". A mark without digits is plain text.
    explicit Insertion(char *text) {
        if (char *s = FindMark(text, "%s")) {
            const char *p = s + 2;
            count = TakeDigits(&p);
            memmove(s, p, strlen(p) + 1);
        }
        const char *mark = FindMark(text, "%#");
        if (!mark) {
            before = text;
            return;
        }
        const char *p = mark + 2;
        numbered = true;
        before.assign(text, (size_t)(mark - text));
        m = TakeDigits(&p);
        after = p;
    }

    // Appends what goes before one eligible line and counts it.
    void Put(std::string &out) {
        if (!numbered) {
            out += before;
        } else if (count >= m) {
            char num[32];
            snprintf(num, sizeof num, "%05lli", count - m);
            out.append(before).append(num).append(after);
        }
        ++count;
    }
};

// FileSearchInsert with pattern, or FileInsert without (every line eligible).
int InsertLines(const char *base, const char *ext, char *text, const char *pattern, bool all) {
    if (!text) return 1;
    Insertion ins(text);
    return Rewrite(base, ext, [&](std::string_view line, std::string &out) {
        if (all || Holds(line, pattern)) ins.Put(out);
        out.append(line);
    });
}

// Removes the text from "*/" back to the start of s in place; false when s
// holds no "*/".
bool EndComment(char *s) {
    char *e = strstr(s, "*/");
    if (!e) return false;
    memmove(s, e + 2, strlen(e + 2) + 1);
    return true;
}

// Cuts s at "//" and removes its leading white space, in place.
void CutLineComment(char *s) {
    if (char *c = strstr(s, "//")) *c = '\0';
    size_t lead = strspn(s, " \t\n\r\f\v");
    memmove(s, s + lead, strlen(s + lead) + 1);
}

// Takes the first block comment out of a non-empty s; true when it is not
// closed on this line (s then keeps only the text before it, which the
// caller drops).
bool OpenComment(char *s) {
    char *b = *s ? strstr(s, "/*") : nullptr;
    if (!b) return false;
    if (char *e = strstr(b + 2, "*/")) {
        memmove(b, e + 2, strlen(e + 2) + 1);
        return false;
    }
    *b = '\0';
    return true;
}

// Offset of pIn as the 32-bit InPos.
int Offset() {
    long pos = ftell(pIn);
    return pos < 0 ? 0 : pos > INT_MAX ? INT_MAX : (int)pos;
}

bool IsLetter(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
char Upper(unsigned char c) {
    return c >= 'a' && c <= 'z' ? (char)(c - 32) : (char)c;
}
char Lower(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? (char)(c + 32) : (char)c;
}

} // namespace

int FileChange(const char *base, const char *ext, const char *pattern, const char *text) {
    size_t len = pattern ? strlen(pattern) : 0;
    std::string_view by = text ? text : "";
    return Rewrite(base, ext, [&](std::string_view line, std::string &out) {
        size_t pos = Where(line, pattern);
        if (pos == std::string_view::npos) {
            out.append(line);
            return;
        }
        out.append(line.substr(0, pos)).append(by).append(line.substr(pos + len));
    });
}

int FileChangeChar(const char *base, const char *ext, const char *code, const char *codes) {
    long ch;
    if (!ParseCode(code, &ch)) return 1;
    std::string by;
    long v;
    for (const char *p = codes; by.size() < kMaxCodes && ParseCode(p, &v) && (char)v != 0;) {
        by += (char)v;
        p = strchr(p, ',');
        if (p) p++;
    }
    return Rewrite(base, ext, [&](std::string_view line, std::string &out) {
        for (char c : line) {
            if (c == (char)ch)
                out += by;
            else
                out += c;
        }
    });
}

int FileDel(const char *base, const char *ext, int n, const char *pattern) {
    size_t len = pattern ? strlen(pattern) : 0;
    int seen = 0;
    return Rewrite(base, ext, [&](std::string_view line, std::string &out) {
        size_t pos = Where(line, pattern);
        if (pos != std::string_view::npos && ++seen > n)
            AppendWithout(line, pos, len, out);
        else
            out.append(line);
    });
}

int FileDelFormat(const char *base, const char *ext, const char *how, const char *text) {
    char kind = how ? how[0] : '\0';
    long ch = 0;
    if (!strchr("abcl", kind) || (kind == 'c' && !ParseCode(text, &ch))) return 1;
    size_t len = text ? strlen(text) : 0;
    return Rewrite(base, ext, [&](std::string_view line, std::string &out) {
        size_t pos = Where(line, text);
        bool hit = pos != std::string_view::npos;
        switch (kind) {
        case 'a':
            if (hit)
                out.append(line.substr(0, pos + len)).append("\n");
            else
                out.append(line);
            break;
        case 'b':
            out.append(hit ? line.substr(pos) : line);
            break;
        case 'c':
            for (char c : line)
                if (c != (char)ch) out += c;
            break;
        case 'l':
            if (!hit) out.append(line);
            break;
        default:
            if (hit)
                AppendWithout(line, pos, len, out);
            else
                out.append(line);
        }
    });
}

int FileInsert(const char *base, const char *ext, char *text) {
    return InsertLines(base, ext, text, nullptr, true);
}

int FileInsert(const char *base, const char *ext, const char *text) {
    if (!text) return 1;
    std::string copy = text;
    return InsertLines(base, ext, copy.data(), nullptr, true);
}

int FileSearchInsert(const char *base, const char *ext, char *text, const char *pattern) {
    return InsertLines(base, ext, text, pattern, false);
}

int FileSearchInsert(const char *base, const char *ext, const char *text, const char *pattern) {
    if (!text) return 1;
    std::string copy = text;
    return InsertLines(base, ext, copy.data(), pattern, false);
}

int FileDelLine(const char *base, const char *ext, int n, const char *pattern) {
    return FileDelLinePair(base, ext, n, pattern, nullptr);
}

int FileDelLinePair(const char *base, const char *ext, int n, const char *pattern,
                    const char *pattern2) {
    int seen = 0;
    long armed = 0;
    return Rewrite(base, ext, [&](std::string_view line, std::string &out) {
        if (Holds(line, pattern)) {
            if (++seen <= n)
                out.append(line);
            else
                ++armed;
        } else if (armed > 0 && Holds(line, pattern2)) {
            --armed;
        } else {
            out.append(line);
        }
    });
}

FILE *OpenIOFiles(const char *base, const char *ext) {
    std::string in = InputName(base, ext);
    std::string out = in + "out";
    SetName(Fn, in);
    SetName(FnOut, out);
    pIn = OpenFile(pIn, Fn, "rt", ERROR_MSG_FATAL);
    pOut = OpenFile(pOut, FnOut, "wt", ERROR_MSG_FATAL);
    return pOut;
}

int ReplaceInputFile() {
    if (pIn) fclose(pIn);
    pIn = nullptr;
    bool ok = Fn[0] && FnOut[0];
    if (pOut) {
        ok = FinishOutput(pOut, Fn) && ok;
        pOut = nullptr;
    } else if (ok) {
        struct stat st;
        if (stat(Fn, &st) == 0) chmod(FnOut, st.st_mode & 07777);
    }
    if (!FnOut[0]) return 1;
    return Commit(ok, Fn, FnOut);
}

int GetLine() {
    LineCnt = 0;
    pLine = Line;
    if (!pIn) return 0;
    InPos = Offset();
    bool open = false;
    for (;;) {
        // At the end of the file Line keeps what it held.
        if (!fgets(Line, GETLINE_MAX + 1, pIn)) return 0;
        ++LineCnt;
        if (!flInputFilterState) break;
        if (open && EndComment(Line)) open = false;
        // "//" is cut first, so a "//" inside a block comment ends the line.
        CutLineComment(Line);
        if (OpenComment(Line)) open = true;
        if (!open) {
            if (Line[0]) Line[strcspn(Line, "\n\r")] = '\0';
            break;
        }
        // A line that opens a block comment, or lies inside one, is skipped.
        InPos = Offset();
    }
    size_t len = strlen(Line);
    if (len < kClearSpan) memset(Line + len, 0, kClearSpan - len);
    return LineCnt;
}

int GetLineN(int n) {
    // A call that stopped at the end inside a comment leaves LineCnt counting
    // the comment's lines; the next call past the end resets it, after which
    // further calls change nothing.
    int got = 0;
    for (int i = 0; i < n; i++)
        if ((got = GetLine()) == 0 && LineCnt == 0) break;
    return got;
}

char *GenName(const char *phrase) {
    static char name[kGenNameMax + 1];
    size_t n = 0;
    const char *p = phrase ? phrase : "";
    while (*p && !IsLetter((unsigned char)*p))
        p++;
    bool start = true;
    for (; *p; p++) {
        unsigned char c = (unsigned char)*p;
        if (!IsLetter(c) && !IsDigit(c)) {
            start = true;
            continue;
        }
        if (n < kGenNameMax) name[n++] = start ? Upper(c) : Lower(c);
        start = false;
    }
    name[n] = '\0';
    return name;
}
