// Translation configuration (trans.conf) and the choice of language.
//
// The configuration is normalised once into a text of blank-separated words in
// which every mapping line ends in " \n"; the language is then found by plain
// substring search for " <locale> " and a backwards walk to the line's first word.
#include "toolkit/nls/transconf.h"

#include "toolkit/dbm/dbt.h"
#include "toolkit/nls/nlsstring.h"
#include "toolkit/runtime/files.h"
#include "toolkit/runtime/memory.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <strings.h>

char *pNLSLang = nullptr;
char *pTransBuf = nullptr;
DbTHandle *pDrvCoreDB = nullptr;
DbTHandle *pPrtHelpDB = nullptr;
char TmpKey[TMPKEY_SIZE];

namespace {

const char *const kFallbackLang = "en_US";
const char *const kWhite = " \t\r\n";

// The tool directory; without one the files are looked for in the working directory, as the
// databases are.
const char *ToolDir() {
    return pToolPath && *pToolPath ? pToolPath : ".";
}

bool IsWhite(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The normalised text under construction; refuses what would not fit.
struct TransText {
    char buf[TRANSBUF_SIZE] = {};
    size_t len = 0;
    bool full = false;

    bool Append(std::string_view word, std::string_view tail) {
        if (full || len + word.size() + tail.size() > TRANSBUF_SIZE - 1) {
            full = true;
            return false;
        }
        memcpy(buf + len, word.data(), word.size());
        memcpy(buf + len + word.size(), tail.data(), tail.size());
        len += word.size() + tail.size();
        return true;
    }
};

void Normalise(const char *text, TransText &out) {
    const char *p = text;
    bool afterDefault = false;
    while (*p && !out.full) {
        if (*p == '#') {
            const char *cr = strchr(p, '\r');
            const char *nl = strchr(p, '\n');
            if (!cr && !nl) return;
            p = (cr && (!nl || cr < nl)) ? cr : nl;
        } else if (*p == '=') {
            out.Append("=", " ");
            ++p;
        } else if (IsWhite(*p)) {
            ++p;
        } else {
            size_t n = strcspn(p, kWhite);
            std::string_view word(p, n);
            bool atNewline = p[n] == '\n';
            out.Append(word, (atNewline || afterDefault) ? " \n" : " ");
            afterDefault = word == "Default";
            p += n;
            if (*p) ++p;
        }
    }
}

// The default language named after "Default", or an empty string.
std::string DefaultLanguage(const char *text) {
    const char *p = strstr(text, "Default");
    if (!p) return {};
    p += strlen("Default");
    if (*p == '\n') return {};
    while (*p && *p != ' ')
        ++p;
    while (*p == ' ' || *p == '\t')
        ++p;
    if (*p == '\n' || *p == '\r') return {};
    p += strspn(p, kWhite);
    return std::string(p, strcspn(p, kWhite));
}

// The language of the mapping line on which `hit` lies, or en_US without an "=" before it.
std::string MappedLanguage(const char *text, const char *hit) {
    const char *eq = hit;
    while (eq > text && *eq != '=')
        --eq;
    if (*eq != '=') return kFallbackLang;
    const char *line = eq;
    while (line > text && line[-1] != '\n')
        --line;
    line += strspn(line, " =");
    std::string lang(line, strcspn(line, " ="));
    return lang.empty() ? std::string(kFallbackLang) : lang;
}

// String 999/1 of the English core database, or null without a database. A miss yields
// the key text 999_1, which holds no mapping and no default, so the choice ends in en_US.
char *FallbackConfiguration() {
    if (!pDrvCoreDB) pDrvCoreDB = DbTOpen("en_US/CoreString", 0);
    if (!pDrvCoreDB) return nullptr;
    return NlsFetchString(pDrvCoreDB, nullptr, NLS_BY_NUMBER, 999, 1);
}

std::string Needle() {
    const char *lang = getenv("LANG");
    std::string needle = std::string(" ") + (lang ? lang : "___LANG_NOT_SET___") + " ";
    size_t dot = needle.find('.');
    if (dot != std::string::npos) needle.resize(dot);
    return needle;
}

} // namespace

char *ParseTransFile(const char *name) {
    if (!name) return nullptr;
    char *text = GetSavedFileContent(ToolDir(), name);
    if (!text) return nullptr;
    TransText out;
    Normalise(text, out);
    PutMem(text);
    if (out.full)
        fprintf(stderr, "WARNING: %s/%s: text beyond %d characters ignored\n", ToolDir(), name,
                TRANSBUF_SIZE - 1);
    return SaveStr_(out.buf);
}

char *GetDesiredNLSLang(void) {
    if (pNLSLang) return pNLSLang;
    std::string needle = Needle();
    if (!pTransBuf) pTransBuf = ParseTransFile("trans.conf");
    if (!pTransBuf) pTransBuf = FallbackConfiguration();
    std::string lang = kFallbackLang;
    if (pTransBuf && pTransBuf != pErrBuf) {
        const char *hit = strstr(pTransBuf, needle.c_str());
        if (hit) {
            lang = MappedLanguage(pTransBuf, hit);
        } else {
            std::string def = DefaultLanguage(pTransBuf);
            if (!def.empty()) lang = def;
        }
    }
    pNLSLang = SaveStr_(lang.c_str());
    return pNLSLang;
}

char *FindRedirect(char *name) {
    if (!name) return nullptr;
    char *dollars = strstr(name, "$$");
    if (!dollars) return nullptr;
    char *dot = strchr(dollars + 2, '.');
    if (!dot || strncasecmp(dot, ".redirect", 9) != 0) return nullptr;
    *dot = '\0';
    return dollars + 2;
}

char *CheckForRedirectN(char *name, size_t size) {
    char *key = FindRedirect(name);
    if (!key) return nullptr;
    memset(TmpKey, 0, sizeof TmpKey);
    snprintf(TmpKey, sizeof TmpKey, "%s", key);
    if (size == 0) return TmpKey;
    // Without a help database the key itself is the target.
    if (pPrtHelpDB)
        NlsFetchStringN(pPrtHelpDB, name, size, NLS_BY_KEY, TmpKey);
    else
        snprintf(name, size, "%s", TmpKey);
    return TmpKey;
}

char *CheckForRedirect(char *name) {
    return CheckForRedirectN(name, NLS_STRBUF_SIZE);
}
