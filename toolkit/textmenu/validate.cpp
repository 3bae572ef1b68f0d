// Entry validation against format descriptions, and prompts.
#include "toolkit/textmenu/validate.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "toolkit/nls/nlsstring.h"
#include "toolkit/nls/transconf.h"
#include "toolkit/runtime/console.h"
#include "toolkit/runtime/memory.h"

char *pErrIntRange = nullptr;
char *pErrFloatRange = nullptr;
char *pErrLongRange = nullptr;

namespace {

// Longest text-so-far kept while checking (characters).
constexpr size_t kSoFarMax = 511;
// Longest forbidden text of a "!" test.
constexpr size_t kForbiddenMax = 255;
const char kDigitMsg[] = "Invalid digit:  %c\n";
const char kRealCharMsg[] = "Invalid character '%c'\nThis text may contain \"0123456789.\"";
// Built-in range text of the f test.
const char textmenu_060[] = "This number must be between %f to %f.";

// A translated message of set/number; its key text when missing.
struct Msg {
    char text[NLS_STRBUF_SIZE + 1] = {};
    Msg(int set, int number) { NlsFetchString(pDrvCoreDB, text, NLS_BY_NUMBER, set, number); }
};

char *SavedMsg(int number) {
    Msg m(25, number);
    return SaveStr_(m.text);
}

void LoadRangeMessages() {
    if (!pErrIntRange) pErrIntRange = SavedMsg(1003);
    if (!pErrFloatRange) pErrFloatRange = SavedMsg(1004);
    if (!pErrLongRange) pErrLongRange = SavedMsg(1024);
}

// Prints a prompt given as a format without arguments: "%%" gives "%", and
// any other directive is printed as it stands (there is nothing to fill it).
void PrintBare(const char *prompt) {
    for (const char *p = prompt ? prompt : ""; *p; p++) {
        if (p[0] == '%' && p[1] == '%') p++;
        putchar(*p);
    }
}

// One element of a format, as parsed.
struct Element {
    char type = 0;         // 0 literal, else A a p L t d x f D !
    char literal = 0;      // the literal character
    long min = 0, max = 0; // bounds of A a p L t d x
    double fmin = 0, fmax = 0;
    long double lmin = 0, lmax = 0;
    std::string plus, minus; // pair characters
    std::string text;        // forbidden text of "!"
    const char *end = nullptr;
};

const char *Skip(const char *p) {
    return *p ? p + 1 : p;
}

const char *ReadLong(const char *p, long *v) {
    char *end;
    *v = strtol(p, &end, 10);
    return end;
}

// Reads "(min,max)" as opening character, min, separator, max, closing.
const char *ReadBounds(const char *p, Element *el) {
    p = ReadLong(Skip(p), &el->min);
    p = ReadLong(Skip(p), &el->max);
    return Skip(p);
}

const char *ReadPairs(const char *p, Element *el) {
    while ((p[0] == '+' || p[0] == '-') && p[1]) {
        (p[0] == '+' ? el->plus : el->minus) += p[1];
        p += 2;
    }
    return p;
}

// Reads the forbidden text up to an unescaped ")"; escapes as the tokenizer.
const char *ReadForbidden(const char *p, Element *el) {
    p = Skip(p);
    for (; *p && *p != ')'; p++) {
        char c = *p;
        if (c == '\\' && p[1]) {
            c = *++p;
            c = c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
        }
        if (el->text.size() < kForbiddenMax) el->text += c;
    }
    return Skip(p);
}

const char *ReadRealBounds(const char *p, Element *el) {
    char *end;
    el->fmin = strtof(Skip(p), &end);
    el->fmax = strtof(Skip(end), &end);
    return Skip(end);
}

const char *ReadLongBounds(const char *p, Element *el) {
    char *end;
    el->lmin = strtold(Skip(p), &end);
    el->lmax = strtold(Skip(end), &end);
    return Skip(end);
}

Element ParseElement(const char *p) {
    Element el;
    char c = *p++;
    if (c == 't' && *p != '(') c = '!';
    switch (c) {
    case 'A':
    case 'a':
    case 'p':
    case 'd':
        el.end = ReadPairs(ReadBounds(p, &el), &el);
        break;
    case 'L':
    case 't':
    case 'x':
        el.end = ReadBounds(p, &el);
        break;
    case 'f':
        el.end = ReadRealBounds(p, &el);
        break;
    case 'D':
        el.end = ReadPairs(ReadLongBounds(p, &el), &el);
        break;
    case '!':
        el.end = ReadForbidden(p, &el);
        break;
    default:
        el.literal = c;
        el.end = p;
        return el;
    }
    el.type = c;
    return el;
}

// Kinds of failure, each with its report.
enum FailKind {
    kNone,
    kLiteral,
    kClassAp,
    kClassA,
    kDigit,
    kRealChar,
    kRealPoints,
    kLength,
    kIntRange,
    kHexRange,
    kRealRange,
    kLongChar,
    kLongRange,
    kForbidden
};

struct Failure {
    FailKind kind = kNone;
    char code = 0;
    char got = 0, expected = 0;
    std::string extra; // text so far, or the "+" characters
    long min = 0, max = 0;
    double fmin = 0, fmax = 0;
    long double lmin = 0, lmax = 0;
};

// State of one check: entry position and the text so far.
struct Checker {
    const char *entry = "";
    size_t pos = 0;
    std::string sofar;
    Failure fail;

    void Reset() { pos = 0, sofar.clear(); }
    void Take(size_t n) {
        for (size_t i = 0; i < n && entry[pos]; i++, pos++)
            if (sofar.size() < kSoFarMax) sofar += entry[pos];
    }
    bool Fail(FailKind kind, char code, char got = 0) {
        fail = Failure{};
        fail.kind = kind, fail.code = code, fail.got = got;
        return false;
    }
    bool Length(const Element &el) {
        long len = (long)strlen(entry);
        if (el.max == 0 || (len >= el.min && len <= el.max)) return true;
        Fail(kLength, 2);
        fail.min = el.min, fail.max = el.max;
        return false;
    }
    bool Class(const Element &el) {
        for (const char *p = entry + pos; *p; p++) {
            unsigned char c = (unsigned char)*p;
            bool ok = el.type == 'A' ? isalnum(c) : el.type == 'a' ? isalpha(c) : isprint(c);
            if (ok || el.plus.find((char)c) != std::string::npos) continue;
            Fail(el.type == 'a' ? kClassA : kClassAp, 3, (char)c);
            fail.extra = el.plus;
            return false;
        }
        Take(strlen(entry + pos));
        return Length(el);
    }
    // Checks that the whole entry has only digits (or points) and none of the
    // "-" characters.
    bool Digits(const Element &el, bool points, FailKind kind) {
        for (const char *p = entry; *p; p++) {
            bool ok = isdigit((unsigned char)*p) || (points && *p == '.');
            if (!ok || el.minus.find(*p) != std::string::npos) return Fail(kind, 3, *p);
        }
        return true;
    }
    // Takes the number's characters at the entry position, then passes over
    // the one character after them (a separator) without taking it.
    void TakeNumber(const char *end) {
        Take((size_t)(end - (entry + pos)));
        if (entry[pos]) pos++;
    }
    bool Integer(const Element &el) {
        if (!Digits(el, false, kDigit)) return false;
        char *end;
        long v = strtol(entry + pos, &end, 10);
        TakeNumber(end);
        return InRange(el, v, kIntRange);
    }
    bool Hex(const Element &el) {
        char *end;
        long v = strtol(entry + pos, &end, 16);
        TakeNumber(end);
        return InRange(el, v, kHexRange);
    }
    bool InRange(const Element &el, long v, FailKind kind) {
        if (el.max == 0 || (v >= el.min && v <= el.max)) return true;
        Fail(kind, 1);
        fail.min = el.min, fail.max = el.max;
        return false;
    }
    bool Real(const Element &el) {
        int points = 0;
        for (const char *p = entry + pos; *p; p++) {
            if (*p == '.')
                points++;
            else if (!isdigit((unsigned char)*p))
                return Fail(kRealChar, 3, *p);
        }
        if (points > 1) return Fail(kRealPoints, 1);
        char *end;
        double v = strtof(entry + pos, &end);
        TakeNumber(end);
        if (el.fmax == 0 || (v >= el.fmin && v <= el.fmax)) return true;
        Fail(kRealRange, 1);
        fail.fmin = el.fmin, fail.fmax = el.fmax;
        return false;
    }
    bool LongReal(const Element &el) {
        if (!Digits(el, true, kLongChar)) return false;
        char *end;
        long double v = strtold(entry + pos, &end);
        TakeNumber(end);
        if (el.lmax == 0 || (v >= el.lmin && v <= el.lmax)) return true;
        Fail(kLongRange, 1);
        fail.lmin = el.lmin, fail.lmax = el.lmax;
        return false;
    }
    bool Literal(const Element &el) {
        if (entry[pos] == el.literal) {
            Take(1);
            return true;
        }
        Fail(kLiteral, 3, entry[pos] ? entry[pos] : ' ');
        fail.expected = el.literal;
        fail.extra = sofar;
        return false;
    }
    bool Check(const Element &el) {
        switch (el.type) {
        case 0:
            return Literal(el);
        case 'A':
        case 'a':
        case 'p':
            return Class(el);
        case 'L':
        case 't':
            return Length(el);
        case 'd':
            return Integer(el);
        case 'x':
            return Hex(el);
        case 'f':
            return Real(el);
        case 'D':
            return LongReal(el);
        case '!':
            return strcmp(entry, el.text.c_str()) != 0 || Fail(kForbidden, 4);
        }
        return true;
    }
};

bool ReportsAtOnce(char type) {
    return strchr("dxfD!", type) && type;
}

char Report(const Failure &f, const char *entry) {
    switch (f.kind) {
    case kLiteral:
        if (!f.extra.empty()) PostMsg(Msg(25, 1010).text, f.got, f.expected, f.extra.c_str());
        break;
    case kClassAp:
        PostMsg(Msg(25, 1007).text, f.got, f.extra.c_str());
        break;
    case kClassA:
        PostMsg(Msg(25, 1008).text, f.got, f.extra.c_str());
        break;
    case kDigit:
        PostMsg(kDigitMsg, f.got);
        break;
    case kRealChar:
        PostMsg(Msg(25, 1006).text, f.got);
        break;
    case kLongChar:
        PostMsg(kRealCharMsg, f.got);
        break;
    case kRealPoints:
        PostMsg(Msg(25, 1020).text);
        break;
    case kLength:
        if (f.min == f.max)
            PostMsg(Msg(30, 44).text, (int)f.min);
        else
            PostMsg(Msg(30, 42).text, (int)f.min, (int)f.max);
        break;
    case kIntRange:
        PostMsg(pErrIntRange, (int)f.min, (int)f.max);
        break;
    case kHexRange:
        PostMsg(pErrFloatRange, (int)f.min, (int)f.max);
        break;
    case kRealRange:
        PostMsg(textmenu_060, f.fmin, f.fmax);
        break;
    case kLongRange:
        PostMsg(pErrLongRange, f.lmin, f.lmax);
        break;
    case kForbidden:
        PostMsg(Msg(25, 1009).text, entry);
        break;
    case kNone:
        break;
    }
    return f.code;
}

// The format without its blanks, tabs and newlines, which are ignored.
std::string Compact(const char *format) {
    std::string out;
    for (const char *p = format; *p; p++)
        if (*p != ' ' && *p != '\t' && *p != '\n') out += *p;
    return out;
}

} // namespace

char ValidateEntry(const char *entry, const char *format) {
    LoadRangeMessages();
    if (!format || !*format) return 0;
    Checker st;
    st.entry = entry ? entry : "";
    bool failed = false;
    const std::string compact = Compact(format);
    for (const char *f = compact.c_str();;) {
        if (*f == '\0') return failed ? Report(st.fail, st.entry) : 0;
        if (*f == '|' || *f == '&') {
            if (!failed && *f == '|') return 0;
            if (failed && *f == '&') return Report(st.fail, st.entry);
            failed = false;
            st.Reset();
            f++;
            continue;
        }
        if (failed) {
            // The rest of a failed alternative is passed over as plain text, so
            // a "|" or "&" inside a later element ends it all the same.
            f += strcspn(f, "|&");
            continue;
        }
        Element el = ParseElement(f);
        f = el.end;
        if (st.Check(el)) continue;
        if (ReportsAtOnce(el.type)) return Report(st.fail, st.entry);
        failed = true;
    }
}

int ValidateEntryTty(const char *entry, const char *bounds) {
    if (char *msg = ValidateEntryLen(entry, bounds)) {
        PostMsg("%s", msg);
        return 2;
    }
    if (char c = ValidateEntryDigit(entry)) {
        PostMsg(kDigitMsg, c);
        return 3;
    }
    return 0;
}

char *ValidateEntryLen(const char *entry, const char *bounds) {
    int len = entry ? (int)strlen(entry) : 0, min = 4, max = 4;
    if (bounds) max = getMinMax(bounds, &min);
    if (len >= min && len <= max) return nullptr;
    if (min == max)
        snprintf(NlsBuf, sizeof NlsBuf, Msg(30, 44).text, min);
    else
        snprintf(NlsBuf, sizeof NlsBuf, Msg(30, 42).text, min, max);
    return NlsBuf;
}

char ValidateEntryDigit(const char *entry) {
    for (const char *p = entry ? entry : ""; *p; p++)
        if (*p < '0' || *p > '9') return *p;
    return 0;
}

int getMinMax(const char *bounds, int *pmin) {
    const char *p = bounds ? bounds : "";
    if (*p && !isdigit((unsigned char)*p)) p++;
    int min = atoi(p);
    while (isdigit((unsigned char)*p))
        p++;
    if (*p) p++;
    if (pmin) *pmin = min;
    return atoi(p);
}

char PromptYN(const char *question, ...) {
    std::string format = std::string(question ? question : "") + "? [y/n] ";
    for (;;) {
        va_list ap;
        va_start(ap, question);
        vprintf(format.c_str(), ap);
        va_end(ap);
        fflush(stdout);
        if (!Gets(LineBuf, LINEBUF_SIZE)) return 0; // no more input: no answer is a no
        if (LineBuf[0] == 'y') return 1;
        if (LineBuf[0] == 'n') return 0;
    }
}

char TestName(const char *text) {
    for (const char *p = text ? text : ""; *p; p++) {
        unsigned char c = (unsigned char)*p;
        if (isalnum(c) || c == '_' || c == '-') continue;
        printf(Msg(25, 1002).text, c);
        PrintBare(Msg(25, 1000).text);
        fflush(stdout);
        Gets(LineBuf, LINEBUF_SIZE);
        return 0;
    }
    return 1;
}

char *PostMsg(const char *format, ...) {
    va_list ap;
    va_start(ap, format);
    vprintf(format ? format : "", ap);
    va_end(ap);
    PrintBare(Msg(25, 1001).text);
    fflush(stdout);
    return Gets(LineBuf, LINEBUF_SIZE);
}

char *PromptUser(const char *prompt, char *buffer) {
    PrintBare(prompt);
    fflush(stdout);
    if (buffer) return Gets(buffer, LINEBUF_SIZE);
    char local[1024];
    if (!Gets(local, sizeof local)) return nullptr;
    return SaveStr("%s", local);
}
