// The core catalogues built into <build>/nls: complete, consistent across languages, and
// holding the English texts the engine quotes.
#include "toolkit/toolkit.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

const std::string kToolDir = BINARY_DIR "/nls";
const char *const kLanguages[] = {"en_US", "de_DE", "fr_FR"};

std::vector<std::string> RequiredKeys() {
    std::vector<std::string> keys = {"20_150",  "20_151",  "20_152",  "30_22",   "30_42",
                                     "30_44",   "999_1",   "25_510",  "25_1016", "25_1017",
                                     "25_1018", "25_1020", "25_1024", "25_270",  "25_271"};
    for (int n : {201, 202, 203, 204, 205, 206, 207, 208, 230, 231, 232})
        keys.push_back("25_" + std::to_string(n));
    for (int n = 1000; n <= 1011; ++n)
        keys.push_back("25_" + std::to_string(n));
    return keys;
}

// The printf conversions of a format, in order ("%%" excluded).
std::string Conversions(const std::string &format) {
    std::string convs;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') continue;
        size_t j = i + 1;
        while (j < format.size() && strchr("0123456789.-+ #lLhzjt", format[j]))
            ++j;
        if (j < format.size() && format[j] != '%') convs += format.substr(i, j - i + 1) + ",";
        i = j;
    }
    return convs;
}

class Catalog : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = pToolPath;
        pToolPath = const_cast<char *>(kToolDir.c_str());
    }
    void TearDown() override { pToolPath = saved_; }

    DbTHandle *Open(const std::string &lang) {
        return DbTOpen((kToolDir + "/db/" + lang + "/CoreString.odb").c_str(), 0);
    }

    std::string Fetch(DbTHandle *db, const std::string &key) {
        char out[NLS_STRBUF_SIZE];
        char *r = NlsFetchString(db, out, NLS_BY_KEY, key.c_str());
        return r == out ? std::string(out) : "<missing " + key + ">";
    }

    char *saved_ = nullptr;
};

TEST_F(Catalog, EveryLanguageHasTheEnglishKeysAndConversions) {
    DbTHandle *en = Open("en_US");
    char *enKeys = DbmTGetRecordList(en, " ", "");
    ASSERT_NE(enKeys, nullptr);
    for (const std::string &key : RequiredKeys())
        EXPECT_NE(Fetch(en, key), "<missing " + key + ">");
    for (const char *lang : kLanguages) {
        DbTHandle *db = Open(lang);
        char *keys = DbmTGetRecordList(db, " ", "");
        ASSERT_NE(keys, nullptr) << lang;
        EXPECT_STREQ(keys, enKeys) << lang << ": same keys in the same order";
        for (const std::string &key : RequiredKeys())
            EXPECT_EQ(Conversions(Fetch(db, key)), Conversions(Fetch(en, key)))
                << lang << " " << key;
        PutMem(keys);
        DbTClose(db);
    }
    PutMem(enKeys);
    DbTClose(en);
}

TEST_F(Catalog, EnglishTextsAreTheQuotedOnes) {
    struct Case {
        const char *key, *text;
    } cases[] = {
        {"25_230", " or s for store settings in a file"},
        {"25_231", " or h for help"},
        {"25_232", " or <Return> to exit"},
        {"25_1001", "\nPress <Return> to continue "},
        {"25_1002", "\n'%c' is not a valid name character. \nOnly alphanumeric character, '-', "
                    "and '_' are valid: \n"},
        {"25_1003", "This number must be between %i to %i."},
        {"25_1004", "This number must be between %x to %x."},
        {"25_1006", "Invalid character '%c'\nThis text may contain \"0123456789.\""},
        {"25_1007", "Invalid character '%c'\nThis text may contain \"abc..zABC..Z012..9%s\""},
        {"25_1008", "Invalid character '%c'\nThis text may contain \"abc..zABC..Z%s\""},
        {"25_1009", "Invalid entry \"%s\""},
        {"25_1010", "Invalid character %c\n%c was expected after \"%s\""},
        {"25_1011", "\nAll names must be set before applying setup.\nPress <Return> to continue"},
        {"25_1016", "reading from standard input"},
        {"25_1017", "\nDo you want to return to %s menu"},
        {"25_1018", "\nDo you want to exit %s"},
        {"25_1020", "Only one '.' may be entered."},
        {"20_150", "~e Exit Help"},
        {"20_151", "~c Contents"},
        {"20_152", "~b Back"},
    };
    DbTHandle *en = Open("en_US");
    for (const Case &c : cases)
        EXPECT_EQ(Fetch(en, c.key), c.text) << c.key;
    EXPECT_EQ(Conversions(Fetch(en, "25_510")), "%s,%s,%s,");
    EXPECT_EQ(Conversions(Fetch(en, "25_203")), "%s,");
    EXPECT_EQ(Conversions(Fetch(en, "25_204")), "%s,");
    EXPECT_EQ(Conversions(Fetch(en, "25_1024")), "%Lg,%Lg,");
    EXPECT_EQ(Conversions(Fetch(en, "30_22")), "%s,");
    DbTClose(en);
}

TEST_F(Catalog, PickScreenAndHelpKeysAreUsable) {
    for (const char *lang : kLanguages) {
        DbTHandle *db = Open(lang);
        std::string save = Fetch(db, "25_201"), cancel = Fetch(db, "25_202");
        EXPECT_NE(save[0], cancel[0]) << lang << ": distinct command letters";
        EXPECT_FALSE(isdigit(static_cast<unsigned char>(save[0]))) << lang;
        std::set<char> keys;
        for (const char *k : {"20_150", "20_151", "20_152"}) {
            std::string t = Fetch(db, k);
            ASSERT_GE(t.size(), 4u) << lang << " " << k;
            EXPECT_EQ(t[0], '~');
            EXPECT_EQ(t[2], ' ');
            keys.insert(t[1]);
        }
        EXPECT_EQ(keys.size(), 3u) << lang << ": distinct help keys";
        EXPECT_LE(Fetch(db, "20_150").size(), size_t(NLS_LABEL_SIZE - 1));
        DbTClose(db);
    }
}

TEST_F(Catalog, FallbackConfigurationMatchesTransConf) {
    char *normalised = ParseTransFile("trans.conf");
    ASSERT_NE(normalised, nullptr);
    for (const char *lang : kLanguages) {
        DbTHandle *db = Open(lang);
        EXPECT_EQ(Fetch(db, "999_1"), normalised) << lang;
        DbTClose(db);
    }
    PutMem(normalised);
}

TEST_F(Catalog, LanguagesAreChosenFromTheBuiltToolDirectory) {
    struct Case {
        const char *lang, *expected;
    } cases[] = {
        {"de_CH.UTF-8", "de_DE"},      {"fr_CA", "fr_FR"}, {"C", "en_US"}, {"it_IT", "en_US"},
        {"en_GB.ISO-8859-1", "en_US"},
    };
    for (const Case &c : cases) {
        pNLSLang = nullptr;
        pTransBuf = nullptr;
        setenv("LANG", c.lang, 1);
        EXPECT_STREQ(GetDesiredNLSLang(), c.expected) << c.lang;
        DbTHandle *db = NlsOpenDB("CoreString", 0);
        ASSERT_NE(db, nullptr) << c.lang;
        char out[NLS_STRBUF_SIZE];
        EXPECT_EQ(NlsFetchString(db, out, NLS_BY_NUMBER, 25, 1016), out) << c.lang;
        DbTClose(db);
    }
    unsetenv("LANG");
    pNLSLang = nullptr;
    pTransBuf = nullptr;
}

} // namespace
