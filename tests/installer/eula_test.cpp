// Licence agreements: the form of all sixteen texts, which answers accept, the text chosen
// from LANG, and a refusal that leaves the machine untouched.
#include "installer/eula.h"
#include "installer/messages.h"
#include "tests/support/sandbox.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct Agreement {
    const char *key;
    char *const *text;
};

const Agreement kAgreements[] = {
    {"en_US", &pEnglishEULA}, {"es_ES", &pSpanishEULA},   {"it_IT", &pItalianEULA},
    {"fr_FR", &pFrenchEULA},  {"ge_GE", &pGermanEULA},    {"pr_BR", &pPortugueseEULA},
    {"cs_CZ", &pCzechEULA},   {"fi_FI", &pFinnishEULA},   {"hu_HU", &pHungarianEULA},
    {"nl_NL", &pDutchEULA},   {"no_NO", &pNorwegianEULA}, {"pl_PL", &pPolishEULA},
    {"ru_RU", &pRussianEULA}, {"sv_SE", &pSwedishEULA},   {"tr_TR", &pTurkishEULA},
    {"da_DK", &pDanishEULA},
};

const std::string kBom = "\xEF\xBB\xBF";

bool validUtf8(const std::string &s) {
    for (size_t i = 0; i < s.size();) {
        unsigned char c = s[i];
        int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (extra < 0 || (extra > 0 && i + extra >= s.size())) return false;
        for (int k = 1; k <= extra; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += extra + 1;
    }
    return true;
}

std::string readFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Checks the form every agreement must have; returns "" or the first fault.
std::string formFault(const std::string &key, const std::string &t) {
    std::string head = key == "ru_RU" ? kBom : "\n" + kBom;
    if (t.compare(0, head.size(), head) != 0)
        return "does not start with its newline and byte-order mark";
    if (t.size() < 10000 || t.size() > 26624) return "is not between 10,000 and 26,624 bytes long";
    if (t.find(kBom, head.size()) != std::string::npos) return "has a second byte-order mark";
    if (!validUtf8(t)) return "is not valid UTF-8";
    if (t.find('\r') != std::string::npos || t.find("\n\n") != std::string::npos)
        return "has other than single newlines";
    if (t.back() == '\n') return "ends with a newline";
    std::string question = t.substr(t.rfind('\n') + 1);
    if (question.find("(y)") == std::string::npos || question.find("(n)") == std::string::npos ||
        question.find("(y)") > question.find("(n)"))
        return "does not end with the (y) / (n) question";
    return "";
}

TEST(Agreements, AllSixteenHaveTheirForm) {
    std::set<std::string> seen;
    for (const Agreement &a : kAgreements) {
        ASSERT_NE(*a.text, nullptr) << a.key;
        std::string text = *a.text;
        EXPECT_EQ(formFault(a.key, text), "") << a.key;
        EXPECT_TRUE(seen.insert(text).second) << a.key << " repeats another text";
        // The compiled text is the data file, byte for byte.
        EXPECT_EQ(text,
                  readFile(std::string(SOURCE_DIR) + "/installer/messages/eula_" + a.key + ".txt"))
            << a.key;
    }
}

TEST(Agreements, EnglishEndsWithItsExactQuestion) {
    std::string t = pEnglishEULA;
    EXPECT_EQ(t.substr(t.rfind('\n') + 1), "Agree (y) / Disagree (n)?");
}

TEST(Agreements, FormCheckCatchesBrokenTexts) {
    std::string good = pGermanEULA;
    EXPECT_EQ(formFault("ge_GE", good), "");
    EXPECT_NE(formFault("ge_GE", good + "\n"), "");
    EXPECT_NE(formFault("ge_GE", good.substr(1)), "");
    EXPECT_NE(formFault("ru_RU", good), "");
    EXPECT_NE(formFault("ge_GE", good.substr(0, 1500) + "\nAgree (y) / Disagree (n)?"), "");
    std::string overlong = good;
    while (overlong.size() <= 26624)
        overlong.insert(overlong.rfind('\n'), "\nWeitere Bestimmung.");
    EXPECT_NE(formFault("ge_GE", overlong), "");
    std::string crlf = good;
    crlf.insert(crlf.find('\n', 10), "\r");
    EXPECT_NE(formFault("ge_GE", crlf), "");
    EXPECT_NE(formFault("ge_GE", good.substr(0, good.rfind('\n')) + "\nDisagree (n) or (x)?"), "");
}

// Runs UserAcceptedEULA in a child process with LANG, standard input and
// output of its own; reports its result, what it printed and what it left
// unread on standard input.
struct Outcome {
    int accepted = -1;
    std::string shown, unread;
};

Outcome runEula(const char *lang, const std::string &input) {
    char dir[] = "/tmp/eula_test_XXXXXX";
    EXPECT_NE(mkdtemp(dir), nullptr);
    std::string in = std::string(dir) + "/in", out = std::string(dir) + "/out",
                rest = std::string(dir) + "/rest";
    std::ofstream(in, std::ios::binary) << input;
    fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        if (lang)
            setenv("LANG", lang, 1);
        else
            unsetenv("LANG");
        pCurLang = nullptr;
        setup::pNLSLang = nullptr;
        if (!freopen(in.c_str(), "r", stdin) || !freopen(out.c_str(), "w", stdout)) _exit(99);
        int accepted = UserAcceptedEULA();
        FILE *r = fopen(rest.c_str(), "w");
        for (int c; r && (c = getchar()) != EOF;)
            fputc(c, r);
        if (r) fclose(r);
        fflush(stdout);
        _exit(accepted);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    Outcome o;
    o.accepted = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    o.shown = readFile(out);
    o.unread = readFile(rest);
    unlink(in.c_str());
    unlink(out.c_str());
    unlink(rest.c_str());
    rmdir(dir);
    return o;
}

TEST(UserAcceptedEULA, OnlyAnAnswerStartingWithYAccepts) {
    struct Case {
        const char *input;
        int accepted;
        const char *unread;
    };
    const Case cases[] = {
        {"y\n", 1, ""},  {"Y\n", 1, ""},      {"yes\n", 1, "\n"}, {"yup, fine\n", 1, ", fine\n"},
        {"y", 1, ""},    {"n\n", 0, ""},      {"no\n", 0, ""},    {"\n", 0, ""},
        {"", 0, ""},     {"j\n", 0, ""},      {"s\n", 0, ""},     {"o\n", 0, ""},
        {" y\n", 0, ""}, {"\ny\n", 0, "y\n"}, {"N\n", 0, ""},
    };
    for (const Case &c : cases) {
        Outcome o = runEula(nullptr, c.input);
        EXPECT_EQ(o.accepted, c.accepted) << "answer: " << c.input;
        EXPECT_EQ(o.unread, c.unread) << "answer: " << c.input;
        EXPECT_EQ(o.shown, std::string(pEnglishEULA) + " ") << "answer: " << c.input;
    }
}

TEST(UserAcceptedEULA, ShowsTheAgreementOfTheLanguageChosenFromLang) {
    struct Case {
        const char *lang;
        char *const *text;
    };
    const Case cases[] = {
        {nullptr, &pEnglishEULA},      {"de_DE.UTF-8", &pGermanEULA}, {"ge_GE", &pGermanEULA},
        {"es", &pPortugueseEULA},      {"es_MX", &pSpanishEULA},      {"fr_CA", &pFrenchEULA},
        {"it_IT", &pItalianEULA},      {"cs_CZ", &pCzechEULA},        {"sv_FI", &pFinnishEULA},
        {"hu_HU", &pHungarianEULA},    {"nl_BE", &pDutchEULA},        {"nb_NO", &pNorwegianEULA},
        {"pl_PL.UTF-8", &pPolishEULA}, {"ru_UA", &pRussianEULA},      {"sv_SE", &pSwedishEULA},
        {"tr_TR", &pTurkishEULA},      {"danish", &pDanishEULA},      {"ja_JP", &pEnglishEULA},
        {"C", &pEnglishEULA},          {"POSIX", &pEnglishEULA},      {"en_GB", &pEnglishEULA},
    };
    for (const Case &c : cases) {
        Outcome o = runEula(c.lang, "n\n");
        EXPECT_EQ(o.accepted, 0);
        EXPECT_EQ(o.shown, std::string(*c.text) + " ") << (c.lang ? c.lang : "(unset)");
    }
}

// The built installer, run in the sandbox: a refusal or a version query
// after the licence touches nothing.
struct SetupRun {
    const char *lang;
    std::vector<std::string> args;
    const char *input;
    char *const *shown;
    const char *err;
};

TEST(SetupLicenceStep, RefusalAndVersionQueryTouchNothing) {
    NEED_SANDBOX();
    const SetupRun runs[] = {
        {nullptr, {}, "n\n", &pEnglishEULA, ""},
        {nullptr, {}, "", &pEnglishEULA, ""},
        {nullptr, {"/w", "install", "/opt"}, "no\n", &pEnglishEULA, ""},
        {nullptr, {"-v"}, "n\n", &pEnglishEULA, ""},
        {nullptr, {"-v"}, "y\n", &pEnglishEULA, "setup 4.30.18\n"},
        {"de_DE.UTF-8", {}, "n\n", &pGermanEULA, ""},

    };
    for (const SetupRun &r : runs) {
        Sandbox sb;
        sb.args = r.args;
        sb.input = r.input;
        if (r.lang) sb.env = {std::string("LANG=") + r.lang};
        ASSERT_TRUE(sandboxRun(sb));
        std::string label = std::string(r.lang ? r.lang : "") + " input " + r.input;
        EXPECT_EQ(sb.status, 0) << label;
        EXPECT_EQ(sb.out, std::string(*r.shown) + " ") << label;
        EXPECT_EQ(sb.err, r.err) << label;
        EXPECT_TRUE(sandboxChanges(sb).empty()) << label;
        for (const char *path : {"/tmp/setup.log", "/tmp/ZarvoInstall", "/w", "/usr/Zarvo"})
            EXPECT_FALSE(sandboxChanged(sb, path)) << label << " " << path;
    }
}

} // namespace
