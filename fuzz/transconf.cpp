// trans.conf: normalise a fuzzed configuration and choose the language for a
// fuzzed LANG; redirect names are checked on the side.
// Input: LANG, NUL, help-page name, NUL, file content.
#include "fuzz/common.h"
#include "toolkit/nls/nlsstring.h"
#include "toolkit/nls/transconf.h"
#include "toolkit/runtime/memory.h"

#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static std::string dir = fuzz::Scratch("transconf");
    pToolPath = dir.data();
    std::string lang, rest, name, conf;
    fuzz::SplitAtNul(data, size, lang, rest);
    fuzz::SplitAtNul(reinterpret_cast<const uint8_t *>(rest.data()), rest.size(), name, conf);
    fuzz::Put(dir + "/trans.conf", conf.data(), conf.size());

    char *text = ParseTransFile("trans.conf");
    if (text != nullptr) {
        size_t n = strlen(text);
        // The normalised text fits its buffer and keeps no white space but blanks and newlines.
        if (n > TRANSBUF_SIZE - 1 || strpbrk(text, "\t\r") != nullptr) abort();
        PutMem(text);
    }

    PutMem(pNLSLang);
    pNLSLang = nullptr;
    PutMem(pTransBuf);
    pTransBuf = nullptr;
    if (lang.empty())
        unsetenv("LANG");
    else
        setenv("LANG", lang.c_str(), 1);
    const char *chosen = GetDesiredNLSLang();
    if (chosen == nullptr || chosen != GetDesiredNLSLang()) abort();

    char buf[NLS_STRBUF_SIZE];
    snprintf(buf, sizeof buf, "%s", name.c_str());
    char *key = CheckForRedirect(buf);
    if (key != nullptr && strlen(key) >= TMPKEY_SIZE) abort();
    return 0;
}
