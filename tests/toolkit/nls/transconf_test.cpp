// Language choice from trans.conf and LANG, normalisation, redirects.
#include "tests/toolkit/nls/nls_fixture.h"

#include <cstring>
#include <filesystem>

using nlstest::ScratchToolDir;

namespace {

class TransConf : public ScratchToolDir {
  protected:
    std::string Normalised(const std::string &text) {
        WriteTransConf(text);
        char *out = ParseTransFile("trans.conf");
        EXPECT_NE(out, nullptr);
        std::string s = out ? out : "";
        PutMem(out);
        return s;
    }

    std::string Choose(const std::string &conf, const char *lang) {
        WriteTransConf(conf);
        ResetService();
        if (lang)
            setenv("LANG", lang, 1);
        else
            unsetenv("LANG");
        return GetDesiredNLSLang();
    }
};

const char *const kGerman = "de_DE = de_DE de_AT\nDefault en_US\n";

TEST_F(TransConf, NormalisesWordsEqualsCommentsAndLineEnds) {
    struct Case {
        const char *file, *normalised;
    } cases[] = {
        {"de_DE = de_DE de_AT\nDefault en_US\n", "de_DE = de_DE de_AT \nDefault en_US \n"},
        {"de_DE =de_DE\n", "de_DE = de_DE \n"},
        {"de_DE\t=\t de_AT  \n\n\n", "de_DE = de_AT "},
        {"a=b\n", "a=b \n"},
        {"# heading\nde_DE = de_DE\n", "de_DE = de_DE \n"},
        {"de_DE = x # trailing", "de_DE = x "},
        {"de_DE = de_DE\r\nfr_FR = fr_FR\r\n", "de_DE = de_DE fr_FR = fr_FR "},
        {"Default en_US\r\nx = y\r\n", "Default en_US \nx = y "},
        {"Default en_US", "Default en_US \n"},
        {"Default\nde_DE = de_DE\n", "Default \nde_DE \n= de_DE \n"},
        {"#only a comment\r\n", ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Normalised(c.file), c.normalised) << c.file;
}

TEST_F(TransConf, MissingFileGivesNull) {
    EXPECT_EQ(ParseTransFile("trans.conf"), nullptr);
    EXPECT_EQ(ParseTransFile(nullptr), nullptr);
}

// The scratch directory is also the working directory, so "." finds its files.
TEST_F(TransConf, AnUnsetOrEmptyToolDirectoryIsTheWorkingDirectory) {
    static char empty[] = "";
    char *tools[] = {nullptr, empty};
    for (char *tool : tools) {
        SCOPED_TRACE(tool ? "empty tool directory" : "unset tool directory");
        ResetService();
        WriteTransConf(kGerman);
        pToolPath = tool;
        char *out = ParseTransFile("trans.conf");
        ASSERT_NE(out, nullptr);
        EXPECT_STREQ(out, "de_DE = de_DE de_AT \nDefault en_US \n");
        PutMem(out);
        setenv("LANG", "de_AT.UTF-8", 1);
        EXPECT_STREQ(GetDesiredNLSLang(), "de_DE");

        // Without trans.conf the fallback string is read from ./db as well.
        ResetService();
        std::filesystem::remove(dir_ / "trans.conf");
        WriteDb("en_US", "CoreString", {{"999_1", "fr_FR = fr_FR \nDefault it_IT \n"}});
        setenv("LANG", "fr_FR", 1);
        EXPECT_STREQ(GetDesiredNLSLang(), "fr_FR");
        EXPECT_NE(pDrvCoreDB, nullptr);
        pToolPath = toolPath_.data();
    }
}

TEST_F(TransConf, ARelativeToolDirectoryIsReadFromTheWorkingDirectory) {
    WriteDb("en_US", "CoreString", {{"999_1", "fr_FR = fr_FR \nDefault it_IT \n"}});
    ASSERT_EQ(chdir(dir_.parent_path().c_str()), 0);
    std::string relative = dir_.filename().string();
    pToolPath = relative.data();
    setenv("LANG", "fr_FR", 1);
    EXPECT_STREQ(GetDesiredNLSLang(), "fr_FR") << "fallback database under a relative directory";

    ResetService();
    WriteTransConf(kGerman);
    setenv("LANG", "de_AT", 1);
    EXPECT_STREQ(GetDesiredNLSLang(), "de_DE");
    ASSERT_EQ(chdir(dir_.c_str()), 0);
    pToolPath = toolPath_.data();
}

TEST_F(TransConf, OverlongConfigurationIsCutAtAWordWithAWarning) {
    std::string text;
    for (int i = 0; text.size() < 3 * TRANSBUF_SIZE; ++i)
        text += "word" + std::to_string(i) + " ";
    testing::internal::CaptureStderr();
    std::string out = Normalised(text);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_LE(out.size(), size_t(TRANSBUF_SIZE - 1));
    EXPECT_GT(out.size(), size_t(TRANSBUF_SIZE - 16));
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out.back(), ' ');
    EXPECT_EQ(text.compare(0, out.size(), out), 0) << "whole words, in order";
    EXPECT_NE(err.find("WARNING: "), std::string::npos);
}

TEST_F(TransConf, ChoosesTheLanguageOfTheMatchingLine) {
    struct Case {
        std::string conf;
        const char *lang, *expected;
    } cases[] = {
        {kGerman, "de_AT.UTF-8", "de_DE"},
        {kGerman, "de_AT", "de_DE"},
        {kGerman, "de_DE", "de_DE"},
        {kGerman, "fr_FR", "en_US"},
        {kGerman, nullptr, "en_US"},
        {kGerman, "de", "en_US"},
        // Without a code set the whole name must match; with one, a prefix does.
        {"de_DE = de_DEX\nDefault fr_FR\n", "de_DE", "fr_FR"},
        {"de_DE = de_DEX\nDefault fr_FR\n", "de_DE.UTF-8", "de_DE"},
        // A mapping on the first line, and one after other lines.
        {"fr_FR = fr_FR fr_CA\nde_DE = de_DE\n", "fr_CA", "fr_FR"},
        {"fr_FR = fr_FR fr_CA\nde_DE = de_DE\n", "de_DE", "de_DE"},
        // Comment lines and blanks around "=" change nothing.
        {"# German\nde_DE   =de_DE de_AT\n# end\nDefault en_US\n", "de_AT", "de_DE"},
        // The default, or en_US without one.
        {"fr_FR = fr_FR\nDefault de_DE\n", "xx_XX", "de_DE"},
        {"fr_FR = fr_FR\nDefault\n", "xx_XX", "en_US"},
        {"fr_FR = fr_FR\n", "xx_XX", "en_US"},
        // A match with no "=" before it: en_US, even with a default.
        {"xx de_DE\nfr_FR = fr_FR\nDefault fr_FR\n", "de_DE", "en_US"},
        // The language word itself (no blank before it) is not a locale.
        {"fr_FR = fr_CA\nDefault de_DE\n", "fr_FR", "de_DE"},
        {"", "de_DE", "en_US"},
    };
    for (const Case &c : cases)
        EXPECT_STREQ(Choose(c.conf, c.lang).c_str(), c.expected)
            << c.conf << " LANG=" << (c.lang ? c.lang : "(unset)");
}

TEST_F(TransConf, DecidesOncePerProcess) {
    WriteTransConf(kGerman);
    setenv("LANG", "de_AT", 1);
    char *first = GetDesiredNLSLang();
    setenv("LANG", "fr_FR", 1);
    WriteTransConf("fr_FR = fr_FR\n");
    EXPECT_EQ(GetDesiredNLSLang(), first);
    EXPECT_STREQ(first, "de_DE");
    EXPECT_STREQ(pTransBuf, "de_DE = de_DE de_AT \nDefault en_US \n");
}

TEST_F(TransConf, AConfigurationTextAlreadySetIsSearchedAsItIs) {
    static char preset[] = "ge_GE = ge_GE de de_AT\nen_US = en_US\n";
    WriteTransConf(kGerman);
    pTransBuf = preset;
    setenv("LANG", "de_AT.UTF-8", 1);
    EXPECT_STREQ(GetDesiredNLSLang(), "ge_GE");
    EXPECT_EQ(pTransBuf, preset) << "trans.conf is read only when there is no text yet";
}

TEST_F(TransConf, FallsBackToString999Of_en_US) {
    WriteDb("en_US", "CoreString", {{"999_1", "de_DE = de_DE de_AT \nDefault fr_FR \n"}});
    setenv("LANG", "de_AT.UTF-8", 1);
    EXPECT_STREQ(GetDesiredNLSLang(), "de_DE");
    EXPECT_NE(pDrvCoreDB, nullptr);

    ResetService();
    setenv("LANG", "it_IT", 1);
    EXPECT_STREQ(GetDesiredNLSLang(), "fr_FR");

    // The string is searched as stored, whatever its spacing.
    struct Case {
        const char *lang, *expected;
    } cases[] = {{"de_AT.UTF-8", "de_DE"}, {"it_IT", "fr_FR"}};
    for (const Case &c : cases) {
        ResetService();
        WriteDb("en_US", "CoreString", {{"999_1", "de_DE = de_DE de_AT\nDefault fr_FR\n"}});
        setenv("LANG", c.lang, 1);
        EXPECT_STREQ(GetDesiredNLSLang(), c.expected) << c.lang;
    }
}

TEST_F(TransConf, NoConfigurationAtAllGives_en_US) {
    setenv("LANG", "de_DE", 1);
    EXPECT_STREQ(GetDesiredNLSLang(), "en_US");

    EXPECT_STREQ(pTransBuf, "999_1") << "the fetch result, a miss's key text";

    ResetService();
    WriteDb("en_US", "CoreString", {{"25_1", "no configuration here"}});
    EXPECT_STREQ(GetDesiredNLSLang(), "en_US");
    EXPECT_STREQ(pTransBuf, "999_1");
}

TEST_F(TransConf, FindRedirect) {
    struct Case {
        const char *name, *key, *left;
    } cases[] = {
        {"index$$intro.Redirect", "intro", "index$$intro"},
        {"index$$intro.redirect", "intro", "index$$intro"},
        {"$$k.REDIRECTED", "k", "$$k"},
        {"a$$b.c.redirect", nullptr, "a$$b.c.redirect"},
        {"index.redirect", nullptr, "index.redirect"},
        {"a$$b.html", nullptr, "a$$b.html"},
        {"a$$b", nullptr, "a$$b"},
        {"a$$b.redir", nullptr, "a$$b.redir"},
    };
    for (const Case &c : cases) {
        char name[64];
        snprintf(name, sizeof name, "%s", c.name);
        char *key = FindRedirect(name);
        if (c.key)
            EXPECT_STREQ(key, c.key) << c.name;
        else
            EXPECT_EQ(key, nullptr) << c.name;
        EXPECT_STREQ(name, c.left) << c.name;
    }
    EXPECT_EQ(FindRedirect(nullptr), nullptr);
}

TEST_F(TransConf, CheckForRedirectReplacesTheNameByItsTarget) {
    WriteDb("en_US", "Help", {{"intro", "setup.html#intro"}});
    pPrtHelpDB = OpenDb("en_US", "Help");

    char name[NLS_STRBUF_SIZE] = "index$$intro.redirect";
    EXPECT_EQ(CheckForRedirect(name), TmpKey);
    EXPECT_STREQ(TmpKey, "intro");
    EXPECT_STREQ(name, "setup.html#intro");

    snprintf(name, sizeof name, "index$$gone.redirect");
    EXPECT_EQ(CheckForRedirect(name), TmpKey);
    EXPECT_STREQ(name, "gone") << "a missing target yields the key";

    snprintf(name, sizeof name, "plain.html");
    EXPECT_EQ(CheckForRedirect(name), nullptr);
    EXPECT_STREQ(name, "plain.html");
}

TEST_F(TransConf, RedirectWithoutHelpDatabaseYieldsItsKey) {
    char name[NLS_STRBUF_SIZE] = "x$$target.redirect";
    EXPECT_EQ(CheckForRedirect(name), TmpKey);
    EXPECT_STREQ(name, "target");
}

TEST_F(TransConf, RedirectKeyAndTargetAreCutToTheirBuffers) {
    std::string longKey(100, 'k');
    WriteDb("en_US", "Help", {{longKey.substr(0, TMPKEY_SIZE - 1), std::string(300, 't')}});
    pPrtHelpDB = OpenDb("en_US", "Help");

    std::string name = "x$$" + longKey + ".redirect";
    std::vector<char> buf(name.begin(), name.end());
    buf.push_back('\0');
    std::vector<char> guarded(200, '#');
    std::copy(buf.begin(), buf.end(), guarded.begin());
    EXPECT_EQ(CheckForRedirectN(guarded.data(), 150), TmpKey);
    EXPECT_EQ(strlen(TmpKey), size_t(TMPKEY_SIZE - 1));
    EXPECT_EQ(std::string(guarded.data()), std::string(149, 't'));
    EXPECT_EQ(guarded[150], '#') << "nothing written past the stated size";
}

} // namespace
