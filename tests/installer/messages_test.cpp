// Built-in message tables: conversions equal in every language, valid UTF-8, the exact
// English texts the installer relies on, and the language chosen from LANG.
#include "installer/entry.h"
#include "installer/messages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

struct NamedTable {
    const char *name;
    char **table;
};

const NamedTable kTables[] = {
    {"English", NLS_ENGLISH}, {"Spanish", NLS_SPANISH}, {"Italian", NLS_ITALIAN},
    {"French", NLS_FRENCH},   {"German", NLS_GERMAN},   {"Portuguese", NLS_PORTUGUESE},
};

// The printf conversions of a format in order, each with its flags, width,
// precision and length ("%%" is text, not a conversion).
std::vector<std::string> conversions(const char *f) {
    std::vector<std::string> out;
    for (const char *p = f; *p; ++p) {
        if (*p != '%') continue;
        const char *q = p + 1;
        if (*q == '%') {
            p = q;
            continue;
        }
        q += strspn(q, "-+ #0'123456789.*hlLqjzt");
        out.emplace_back(p, *q ? q + 1 : q);
        if (!*q) break;
        p = q;
    }
    return out;
}

bool validUtf8(const unsigned char *s) {
    while (*s) {
        int extra = *s < 0x80         ? 0
                    : (*s >> 5) == 6  ? 1
                    : (*s >> 4) == 14 ? 2
                    : (*s >> 3) == 30 ? 3
                                      : -1;
        if (extra < 0) return false;
        for (++s; extra > 0; --extra, ++s)
            if ((*s & 0xC0) != 0x80) return false;
    }
    return true;
}

bool isLabelList(int i) {
    return i == 40 || i == 41 || (i >= 45 && i <= 48) || i == 50;
}

// Runs both language choices afresh with the given LANG (null: unset) and
// restores the environment afterwards.
class LangChoice : public ::testing::Test {
  protected:
    void SetUp() override {
        const char *lang = getenv("LANG");
        saved = lang != nullptr;
        if (saved) old = lang;
    }
    void TearDown() override {
        if (saved)
            setenv("LANG", old.c_str(), 1);
        else
            unsetenv("LANG");
        pCurLang = nullptr;
        setup::pNLSLang = nullptr;
    }
    static void freshRun(const char *lang) {
        if (lang)
            setenv("LANG", lang, 1);
        else
            unsetenv("LANG");
        pCurLang = nullptr;
        setup::pNLSLang = nullptr;
    }
    bool saved = false;
    std::string old;
};

TEST(MessageTables, EveryEntryHasTheEnglishConversionsInOrder) {
    for (const NamedTable &t : kTables)
        for (int i = 0; i < NLS_SETUP_MESSAGES; ++i) {
            ASSERT_NE(t.table[i], nullptr) << t.name << " " << i;
            EXPECT_EQ(conversions(t.table[i]), conversions(NLS_ENGLISH[i]))
                << t.name << " entry " << i << ": " << t.table[i];
        }
}

TEST(MessageTables, ConversionParserSeesWhatPrintfSees) {
    using V = std::vector<std::string>;
    EXPECT_EQ(conversions("a %s b %e c %i"), (V{"%s", "%e", "%i"}));
    EXPECT_EQ(conversions("100%% of %-10.3s%ld"), (V{"%-10.3s", "%ld"}));
    EXPECT_EQ(conversions("no conversions"), V{});
    EXPECT_EQ(conversions("dangling %"), V{"%"});
}

TEST(MessageTables, TranslationsAreValidUtf8AndKeepTheLayoutOfMenuLabels) {
    for (const NamedTable &t : kTables)
        for (int i = 0; i < NLS_SETUP_MESSAGES; ++i) {
            const char *e = NLS_ENGLISH[i], *s = t.table[i];
            EXPECT_TRUE(validUtf8(reinterpret_cast<const unsigned char *>(s))) << t.name << i;
            // Menu label lists keep their item count.
            if (isLabelList(i)) {
                EXPECT_EQ(std::count(e, e + strlen(e), ','), std::count(s, s + strlen(s), ','))
                    << t.name << " entry " << i;
            }
            // Texts keep their final newline, and only the empty entry is empty.
            ASSERT_EQ(*e == '\0', *s == '\0') << t.name << " entry " << i;
            if (*e) {
                EXPECT_EQ(e[strlen(e) - 1] == '\n', s[strlen(s) - 1] == '\n')
                    << t.name << " entry " << i;
            }
        }
}

TEST(MessageTables, EnglishEntriesUsedByTheInstallerAreExact) {
    EXPECT_STREQ(NLS_ENGLISH[3], "ERROR: couldn't open %s");
    EXPECT_STREQ(NLS_ENGLISH[15], "\t\t\"wrong number of arguments to interface program\" \\\n");
    EXPECT_STREQ(NLS_ENGLISH[20], "\nWarning defining another installation directory will "
                                  "invalidate any defined print queues [%s]\n ");
    EXPECT_STREQ(NLS_ENGLISH[35], "%s is logged in\nYou must become root to run %s\n");
    EXPECT_STREQ(NLS_ENGLISH[39], "                  offset_files size total will be used to "
                                  "reduce disk1 file. \n");
    EXPECT_STREQ(NLS_ENGLISH[49],
                 "There isn't enough space in %s to perform the installation activities. The "
                 "temporary work area should be at least %e bytes. Restart the installation "
                 "procedure using a work area that has enough space. \nie: 1. Use "
                 "/new_work_area_path in place of /tmp\n    2. Run `setup /new_work_area_path`\n");
    EXPECT_STREQ(NLS_ENGLISH[57], "");
    EXPECT_STREQ(NLS_ENGLISH[63], "\nDo You want to continue with the installation? [yn] ");
    EXPECT_STREQ(NLS_ENGLISH[70], "\nEnter a selection:  ");
}

// The continue question names the answers in the user's language, though
// only the English y/yes/n/no are recognised.
TEST(MessageTables, ContinueQuestionNamesTheAnswersInItsLanguage) {
    const char *const brackets[] = {"[yn] ", "[sn] ", "[sn] ", "[on] ", "[jn] ", "[sn] "};
    for (size_t i = 0; i < std::size(kTables); ++i) {
        std::string q = kTables[i].table[63];
        ASSERT_GE(q.size(), 6u) << kTables[i].name;
        EXPECT_EQ(q.substr(q.size() - 5), brackets[i]) << kTables[i].name << ": " << q;
        EXPECT_EQ(q[0], '\n') << kTables[i].name;
    }
}

TEST_F(LangChoice, MessagesAndAgreementFollowTheirOwnRules) {
    struct Case {
        const char *lang;
        char **table;
        const char *key;
    };
    const Case cases[] = {
        {nullptr, NLS_ENGLISH, "en_US"},
        {"en_US", NLS_ENGLISH, "en_US"},
        {"de_DE.UTF-8", NLS_ENGLISH, "ge_GE"},
        {"ge_GE", NLS_GERMAN, "ge_GE"},
        {"es", NLS_ENGLISH, "pr_BR"},
        {"es_MX", NLS_ENGLISH, "es_ES"},
        {"es_ES.ISO-8859-1", NLS_SPANISH, "es_ES"},
        {"it_IT@euro", NLS_ENGLISH, "en_US"},
        {"it_IT", NLS_ITALIAN, "it_IT"},
        {"fr_FR.UTF-8", NLS_FRENCH, "fr_FR"},
        {"fr_CA", NLS_ENGLISH, "fr_FR"},
        {"pr_BR", NLS_PORTUGUESE, "pr_BR"},
        {"pt_BR", NLS_ENGLISH, "pr_BR"},
        {"sv_FI", NLS_ENGLISH, "fi_FI"},
        {"sv", NLS_ENGLISH, "fi_FI"},
        {"sv_SE", NLS_ENGLISH, "sv_SE"},
        {"nb_NO", NLS_ENGLISH, "no_NO"},
        {"C", NLS_ENGLISH, "en_US"},
        {"POSIX", NLS_ENGLISH, "en_US"},
        {"ja_JP.eucJP", NLS_ENGLISH, "en_US"},
        {"en_GB", NLS_ENGLISH, "en_US"},
        {"ru_UA", NLS_ENGLISH, "ru_RU"},
        {"dansk", NLS_ENGLISH, "da_DK"},
        {"da_DK.UTF-8", NLS_ENGLISH, "da_DK"},
        {"", NLS_ENGLISH, "en_US"},
        {"GE_GE", NLS_ENGLISH, "en_US"},
        {"français", NLS_ENGLISH, "fr_FR"},
    };
    for (const Case &c : cases) {
        freshRun(c.lang);
        EXPECT_STREQ(GetTargetNLSLang(), c.key) << (c.lang ? c.lang : "(unset)");
        EXPECT_EQ(nlsSetupStrCvt(3), c.table[3]) << (c.lang ? c.lang : "(unset)");
        EXPECT_EQ(pCurLang, c.table);
    }
}

TEST_F(LangChoice, IndicesOutsideTheTableGiveTheEmptyText) {
    freshRun("fr_FR");
    for (int index : {-1, 71, 1000, -100000})
        EXPECT_STREQ(nlsSetupStrCvt(index), "") << index;
    EXPECT_EQ(nlsSetupStrCvt(70), NLS_FRENCH[70]);
}

// The extra section follows the same choice; nlsSetupStrCvt does not reach it.
TEST_F(LangChoice, ExtraSectionIsReachedByNameOnly) {
    freshRun("ge_GE");
    EXPECT_STREQ(nlsSetupStrCvt(MSG_FULL_FILE_SYSTEM), "");
    EXPECT_EQ(nlsSetupMsg(MSG_FULL_FILE_SYSTEM), NLS_GERMAN_EXTRA[0]);
    EXPECT_EQ(nlsSetupMsg(MSG_USAGE), NLS_GERMAN_EXTRA[NLS_SETUP_EXTRA - 1]);
    EXPECT_EQ(nlsSetupMsg(35), NLS_GERMAN[35]);
    for (int index : {-1, static_cast<int>(MSG_EXTRA_END), 1000})
        EXPECT_STREQ(nlsSetupMsg(index), "") << index;
}

TEST_F(LangChoice, MessagesAloneCutLangToo) {
    freshRun("ge_GE.UTF-8");
    EXPECT_EQ(nlsSetupStrCvt(63), NLS_GERMAN[63]);
    EXPECT_STREQ(getenv("LANG"), "ge_GE");
}

TEST_F(LangChoice, LangIsCutInTheEnvironmentForCommandsStartedLater) {
    freshRun("de_DE.UTF-8");
    GetTargetNLSLang();
    EXPECT_STREQ(getenv("LANG"), "de_DE");
    FILE *child = popen("printf %s \"$LANG\"", "r");
    ASSERT_NE(child, nullptr);
    char buf[32] = "";
    ASSERT_NE(fgets(buf, sizeof buf, child), nullptr);
    pclose(child);
    EXPECT_STREQ(buf, "de_DE");
}

TEST_F(LangChoice, BothChoicesAreMadeOncePerRun) {
    freshRun("it_IT");
    char *key = GetTargetNLSLang();
    char *msg = nlsSetupStrCvt(0);
    setenv("LANG", "fr_FR", 1);
    EXPECT_EQ(GetTargetNLSLang(), key);
    EXPECT_STREQ(key, "it_IT");
    EXPECT_EQ(nlsSetupStrCvt(0), msg);
    EXPECT_EQ(nlsSetupStrCvt(1), NLS_ITALIAN[1]);
}

TEST(AliasText, HasSeventeenLinesEachEndedByANewline) {
    const char *t = setup::pTransBuf;
    EXPECT_EQ(std::count(t, t + strlen(t), '\n'), 17);
    EXPECT_EQ(t[strlen(t) - 1], '\n');
    EXPECT_EQ(strncmp(t, "en_US = en_US en english en_AU en_BW en_CA\n", 43), 0);
    EXPECT_NE(strstr(t, "\nfr_FR = fr_FR fr fran\xC3\xA7"
                        "ais french fr_BE fr_CA fr_CH fr\n"),
              nullptr);
    EXPECT_NE(strstr(t, "\nda_DK = da_DK danish dansk\n"), nullptr);
}

// A work area that cannot be made is reported with message 3 of the table
// in the user's language, then two newlines, and status 2.
TEST(MessageTables, UncreatableWorkAreaIsReportedInTheUsersLanguage) {
    char dir[] = "/tmp/messages_test_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string file = std::string(dir) + "/plain", bad = file + "/sub";
    fclose(fopen(file.c_str(), "w"));
    char *argv[] = {const_cast<char *>("setup"), bad.data(), nullptr};
    EXPECT_EXIT(
        {
            setenv("LANG", "ge_GE.UTF-8", 1);
            pCurLang = nullptr;
            dup2(2, 1);
            parseCommandLineOptions(2, argv);
        },
        ::testing::ExitedWithCode(2),
        "^FEHLER: " + bad +
            " kann nicht ge\xC3\xB6"
            "ffnet werden\n\n$");
    unlink(file.c_str());
    rmdir(dir);
}

} // namespace
