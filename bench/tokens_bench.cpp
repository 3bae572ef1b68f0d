// Tokenizer and list search speed, each beside a plain table-driven version
// of the same rules run on the same text in the same run: compare BM_X with
// BM_X_Plain (the target is at most 1.25 times the plain time).
//
// The text is 1 MiB of words of 1 to 12 letters, each followed by a blank, a
// comma, a comma and a blank, or a newline; the delimiters are " ,\n".
#include "toolkit/runtime/tokens.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstring>
#include <random>
#include <string>

namespace {

const char kDelims[] = " ,\n";

const std::string &Words() {
    static const std::string text = [] {
        static const char *seps[] = {" ", ",", ", ", "\n"};
        std::mt19937 rng(19);
        std::string t;
        while (t.size() < (1u << 20)) {
            int len = 1 + (int)(rng() % 12);
            for (int i = 0; i < len; i++)
                t += (char)('a' + rng() % 26);
            t += seps[rng() % 4];
        }
        return t;
    }();
    return text;
}

// The same words as a comma list ",w1,w2,...,wn".
const std::string &WordList() {
    static const std::string list = [] {
        std::string l = ",";
        for (char c : Words())
            if (c != ' ' && c != '\n')
                l += c;
            else if (l.back() != ',')
                l += ',';
        if (l.back() == ',') l.pop_back();
        return l;
    }();
    return list;
}

// ---- The plain versions: a 256-entry table built once for the whole text.
// They are called per token like the real ones (not inlined into the loop).

using Table = std::array<bool, 256>;

Table MakeTable(const char *delims) {
    Table t{};
    for (const char *d = delims; *d; d++)
        t[(unsigned char)*d] = true;
    return t;
}

char PlainUnescape(char c) {
    return c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
}

// Copying tokenizer: escapes, skipped leading delimiters, the 255 cut.
[[gnu::noinline]] char *PlainToken(char *&pos, const Table &isDelim, char *buf, char &del) {
    del = 0;
    size_t n = 0;
    char *s = pos;
    while (*s) {
        char c = *s;
        if (c == '\\' && s[1]) {
            c = PlainUnescape(s[1]);
            s += 2;
        } else if (isDelim[(unsigned char)c]) {
            del = c;
            s++;
            if (n == 0) continue;
            break;
        } else {
            s++;
        }
        if (n < 255) buf[n++] = c;
    }
    buf[n] = 0;
    pos = s;
    return n ? buf : nullptr;
}

// Cutting tokenizer: delimiters become NUL, escapes stay.
[[gnu::noinline]] char *PlainParse(char *&pos, const Table &isDelim, char &del) {
    del = 0;
    char *s = pos;
    while (*s && isDelim[(unsigned char)*s]) {
        del = *s;
        *s++ = 0;
    }
    char *start = s;
    while (*s) {
        if (*s == '\\' && s[1]) {
            s += 2;
            continue;
        }
        if (isDelim[(unsigned char)*s]) {
            del = *s;
            *s++ = 0;
            break;
        }
        s++;
    }
    pos = s;
    return *start ? start : nullptr;
}

// Item search: walk the items comparing each with the name.
[[gnu::noinline]] int PlainFind(const char *name, const char *list) {
    char d = list[0];
    size_t len = strlen(name);
    int count = 0;
    for (const char *p = list; *p; p++) {
        if (*p != d) continue;
        count++;
        if (strncmp(p + 1, name, len) == 0 && (p[1 + len] == d || p[1 + len] == 0)) return count;
    }
    return 0;
}

void Bytes(benchmark::State &state, size_t size) {
    state.SetBytesProcessed(state.iterations() * (int64_t)size);
}

// ---- Pairs.

void BM_GetToken(benchmark::State &state) {
    std::string text = Words();
    size_t tokens = 0;
    for (auto _ : state) {
        for (char *t = GetToken(text.data(), kDelims); t; t = GetToken(nullptr, kDelims))
            tokens++;
    }
    benchmark::DoNotOptimize(tokens);
    Bytes(state, text.size());
}

void BM_GetToken_Plain(benchmark::State &state) {
    std::string text = Words();
    static char buf[256];
    char del = 0;
    size_t tokens = 0;
    for (auto _ : state) {
        Table t = MakeTable(kDelims);
        char *pos = text.data();
        while (PlainToken(pos, t, buf, del))
            tokens++;
        benchmark::DoNotOptimize(del);
    }
    benchmark::DoNotOptimize(tokens);
    Bytes(state, text.size());
}

void BM_GetTokenD(benchmark::State &state) {
    std::string text = Words();
    char buf[256], *cursor = nullptr;
    size_t tokens = 0;
    for (auto _ : state) {
        for (char *t = GetTokenD(text.data(), kDelims, &cursor, buf); t;
             t = GetTokenD(nullptr, kDelims, &cursor, buf))
            tokens++;
    }
    benchmark::DoNotOptimize(tokens);
    Bytes(state, text.size());
}

void BM_GetTokenD_Plain(benchmark::State &state) {
    std::string text = Words();
    char buf[256], del = 0;
    size_t tokens = 0;
    for (auto _ : state) {
        Table t = MakeTable(kDelims);
        char *pos = text.data();
        while (PlainToken(pos, t, buf, del))
            tokens++;
        benchmark::DoNotOptimize(del);
    }
    benchmark::DoNotOptimize(tokens);
    Bytes(state, text.size());
}

// Both sides restore the text they cut before each pass (the copy is
// included in both times).
void BM_GetTokenParse(benchmark::State &state) {
    const std::string &words = Words();
    std::string text = words;
    size_t tokens = 0;
    for (auto _ : state) {
        memcpy(text.data(), words.data(), words.size());
        for (char *t = GetTokenParse(text.data(), kDelims); t; t = GetTokenParse(nullptr, kDelims))
            tokens++;
    }
    benchmark::DoNotOptimize(tokens);
    Bytes(state, text.size());
}

void BM_GetTokenParse_Plain(benchmark::State &state) {
    const std::string &words = Words();
    std::string text = words;
    char del = 0;
    size_t tokens = 0;
    for (auto _ : state) {
        memcpy(text.data(), words.data(), words.size());
        Table t = MakeTable(kDelims);
        char *pos = text.data();
        while (PlainParse(pos, t, del))
            tokens++;
        benchmark::DoNotOptimize(del);
    }
    benchmark::DoNotOptimize(tokens);
    Bytes(state, text.size());
}

// The last item of a 1 MiB list, then one that is absent.
void BM_FindToken(benchmark::State &state) {
    const std::string &list = WordList();
    std::string last = list.substr(list.rfind(',') + 1);
    for (auto _ : state) {
        benchmark::DoNotOptimize(FindToken(last.c_str(), list.c_str()));
        benchmark::DoNotOptimize(FindToken("absentword", list.c_str()));
    }
    Bytes(state, 2 * list.size());
}

void BM_FindToken_Plain(benchmark::State &state) {
    const std::string &list = WordList();
    std::string last = list.substr(list.rfind(',') + 1);
    for (auto _ : state) {
        benchmark::DoNotOptimize(PlainFind(last.c_str(), list.c_str()));
        benchmark::DoNotOptimize(PlainFind("absentword", list.c_str()));
    }
    Bytes(state, 2 * list.size());
}

} // namespace

BENCHMARK(BM_GetToken);
BENCHMARK(BM_GetToken_Plain);
BENCHMARK(BM_GetTokenD);
BENCHMARK(BM_GetTokenD_Plain);
BENCHMARK(BM_GetTokenParse);
BENCHMARK(BM_GetTokenParse_Plain);
BENCHMARK(BM_FindToken);
BENCHMARK(BM_FindToken_Plain);
BENCHMARK_MAIN();
