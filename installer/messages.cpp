// Built-in message tables with their extra sections, and the two choices of
// language made from LANG.
#include "installer/messages.h"

#include "toolkit/runtime/memory.h"
#include "toolkit/runtime/tokens.h"

#include <cstdlib>
#include <cstring>

char **pCurLang = nullptr;
char *setup::pNLSLang = nullptr;

// Agreement languages and the LANG values that select them; the search is a
// plain substring search, so the order of lines and aliases matters.
static char TransText[] = "en_US = en_US en english en_AU en_BW en_CA\n"
                          "en_DK en_GB en_IE en_NZ en_SE en_ZA en_ZW\n"
                          "pr_BR = pr_BR pt portuguese pt_BR pt_PT\n"
                          "fr_FR = fr_FR fr fran\xC3\xA7"
                          "ais french fr_BE fr_CA fr_CH fr\n"
                          "it_IT = it_IT it italian\n"
                          "ge_GE = ge_GE ge german de de_AT de_CH De_DE de_DE\n"
                          "es_ES = es_ES es spanish espa\xC3\xB1"
                          "ol es_AR es_BO es_CL es_CO es_CR es_EC es_GT es_MX es_NI es_PA es_PE "
                          "es_PY es_SV es_UY es_VE\n"
                          "cs_CZ = cs_CZ\n"
                          "fi_FI = fi_FI finnish sv_FI\n"
                          "hu_HU = hu_HU hungarian\n"
                          "nl_NL = nl_NL nl_BE\n"
                          "no_NO = nb_NO nn_NO no_NO norwegian nynorsk se_NO\n"
                          "pl_PL = pl_PL\n"
                          "ru_RU = ru_RU russian ru_UA\n"
                          "sv_SE = sv_FI sv_SE\n"
                          "tr_TR = tr_TR\n"
                          "da_DK = da_DK danish dansk\n";
char *setup::pTransBuf = TransText;

// LANG cut at its first '.' in the environment itself, so that commands
// started later inherit the cut value; null when unset.
static char *cutLang(void) {
    char *lang = getenv("LANG");
    if (lang != nullptr) {
        char *dot = strchr(lang, '.');
        if (dot != nullptr) *dot = '\0';
    }
    return lang;
}

// One language: its table and the table's extra section.
struct Language {
    char **table, **extra;
};
// By position in the LANG list; position 0 (no match) is English.
static const Language Languages[] = {
    {NLS_ENGLISH, NLS_ENGLISH_EXTRA},      {NLS_ENGLISH, NLS_ENGLISH_EXTRA},
    {NLS_SPANISH, NLS_SPANISH_EXTRA},      {NLS_ITALIAN, NLS_ITALIAN_EXTRA},
    {NLS_FRENCH, NLS_FRENCH_EXTRA},        {NLS_GERMAN, NLS_GERMAN_EXTRA},
    {NLS_PORTUGUESE, NLS_PORTUGUESE_EXTRA}};

char *nlsSetupStrCvt(int index) {
    if (pCurLang == nullptr) {
        char *lang = cutLang();
        int pos = lang ? FindToken(lang, ",en_US,es_ES,it_IT,fr_FR,ge_GE,pr_BR") : 0;
        pCurLang = Languages[pos >= 1 && pos <= 6 ? pos : 0].table;
    }
    // A stray index must not read outside the table: it gets the empty text.
    if (index < 0 || index >= NLS_SETUP_MESSAGES) return pCurLang[57];
    return pCurLang[index];
}

char *nlsSetupMsg(int index) {
    char *text = nlsSetupStrCvt(index);
    if (index < NLS_SETUP_MESSAGES || index >= MSG_EXTRA_END) return text;
    // pCurLang is the run's one record of the choice: its table names the
    // extra section that goes with it.
    for (const Language &l : Languages)
        if (l.table == pCurLang) return l.extra[index - NLS_SETUP_MESSAGES];
    return NLS_ENGLISH_EXTRA[index - NLS_SETUP_MESSAGES];
}

// The key of the alias line that holds the first occurrence of lang: from
// 8 characters past the occurrence (kept inside the text) back to the
// nearest '=', then to the start of that line and its first word.
static const char *aliasKey(const char *lang) {
    const char *text = setup::pTransBuf;
    const char *hit = strstr(text, lang);
    if (hit == nullptr) return "en_US";
    const char *end = text + strlen(text);
    const char *p = end - hit > 8 ? hit + 8 : end;
    while (p > text && *p != '=')
        --p;
    while (p > text && p[-1] != '\n')
        --p;
    if (p == text) return "en_US";
    static char key[32];
    size_t n = strcspn(p, " =\n");
    if (n >= sizeof key) n = sizeof key - 1;
    memcpy(key, p, n);
    key[n] = '\0';
    return key;
}

char *GetTargetNLSLang(void) {
    if (setup::pNLSLang == nullptr) {
        char *lang = cutLang();
        setup::pNLSLang = SaveStr_(aliasKey(lang ? lang : "en_US"));
    }
    return setup::pNLSLang;
}
