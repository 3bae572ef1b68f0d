// String lookup by number and key, formatted output, pattern expansion, check values.
#include "tests/toolkit/nls/nls_fixture.h"

#include <cstring>

using nlstest::ScratchToolDir;

namespace {

class NlsString : public ScratchToolDir {
  protected:
    void SetUp() override {
        ScratchToolDir::SetUp();
        WriteTransConf("en_US = en_US\nfr_FR = fr_FR\nDefault en_US\n");
        setenv("LANG", "en_US", 1);
        WriteDb("en_US", "CoreString",
                {{"25_201", "Save"},
                 {"25_1003", "This number must be between %i to %i."},
                 {"40_1", "first"},
                 {"40_2", "second"},
                 {"41_1", std::string(1500, 'x')},
                 {"intro", "index.html"},
                 {"long", std::string(3000, 'L')}});
        db_ = NlsOpenDB("CoreString", 0);
        ASSERT_NE(db_, nullptr);
    }
    void TearDown() override {
        DbTClose(db_);
        ScratchToolDir::TearDown();
    }
    DbTHandle *db_ = nullptr;
};

TEST_F(NlsString, FetchesByNumberAndByKey) {
    char out[NLS_STRBUF_SIZE];
    EXPECT_EQ(NlsFetchString(db_, out, NLS_BY_NUMBER, 25, 201), out);
    EXPECT_STREQ(out, "Save");
    EXPECT_EQ(NlsFetchString(db_, out, NLS_BY_KEY, "intro"), out);
    EXPECT_STREQ(out, "index.html");
    EXPECT_EQ(NlsFetchString(db_, out, NLS_BY_KEY2, "intro"), out);

    char *copy = NlsFetchString(db_, nullptr, NLS_BY_NUMBER, 25, 201);
    EXPECT_STREQ(copy, "Save");
    EXPECT_NE(copy, StrBuf);
    PutMem(copy);
}

TEST_F(NlsString, MissReturnsTheKeyText) {
    char out[NLS_STRBUF_SIZE] = "old";
    char *r = NlsFetchString(db_, out, NLS_BY_NUMBER, 25, 7);
    EXPECT_STREQ(r, "25_7");
    EXPECT_NE(r, out) << "callers detect a miss by the key text";
    EXPECT_STREQ(out, "25_7");
    EXPECT_STREQ(NlsFetchString(db_, nullptr, NLS_BY_NUMBER, 25, 7), "25_7");

    const char *key = "no-such-key";
    EXPECT_EQ(NlsFetchString(db_, out, NLS_BY_KEY, key), key);
    EXPECT_STREQ(out, key);
    char *v = NlsFetchString(db_, nullptr, NLS_BY_NUMBER_V, 25, 8);
    EXPECT_STREQ(v, "25_8");

    // A missing numeric string may be kept: later fetches don't change it.
    char *kept = NlsFetchString(db_, nullptr, NLS_BY_NUMBER, 25, 1004);
    NlsFetchString(db_, nullptr, NLS_BY_NUMBER, 25, 1001);
    NlsFetchString(nullptr, out, NLS_BY_NUMBER, 26, 1);
    EXPECT_STREQ(kept, "25_1004");
    EXPECT_EQ(NlsFetchString(db_, nullptr, NLS_BY_NUMBER, 25, 1004), kept);
}

TEST_F(NlsString, NullHandleAndBadArguments) {
    char out[NLS_STRBUF_SIZE] = "untouched";
    EXPECT_STREQ(NlsFetchString(nullptr, out, NLS_BY_KEY, "intro"), "Error");
    EXPECT_STREQ(out, "untouched");
    EXPECT_EQ(NlsFetchString(nullptr, out, NLS_BY_NUMBER, 0, 5), pErrBuf);
    EXPECT_EQ(NlsFetchString(nullptr, out, NLS_BY_NUMBER, 25, 0), pErrBuf);
    EXPECT_STREQ(out, "untouched");
    EXPECT_STREQ(NlsFetchString(nullptr, out, NLS_BY_NUMBER, 25, 7), "25_7");
    EXPECT_STREQ(out, "25_7") << "a null handle with set and number misses";
    EXPECT_EQ(NlsFetchString(db_, out, NLS_BY_KEY, static_cast<char *>(nullptr)), pErrBuf);
    EXPECT_EQ(NlsFetchString(db_, out, 9), pErrBuf);
}

TEST_F(NlsString, Mode3ReturnsStringsOfAnyLength) {
    char *big = NlsFetchString(db_, nullptr, NLS_BY_NUMBER_V, 0, 0);
    EXPECT_STREQ(big, "0_0");
    // Text keys can't be read in mode 3; a 3000-byte string under a numeric key:
    WriteDb("en_US", "Big", {{"5_1", std::string(3000, 'L')}, {"5_2", "short"}});
    DbTHandle *db = OpenDb("en_US", "Big");
    char *whole = NlsFetchString(db, nullptr, NLS_BY_NUMBER_V, 5, 1);
    EXPECT_EQ(std::string(whole), std::string(3000, 'L'));
    char *small = NlsFetchString(db, nullptr, NLS_BY_NUMBER_V, 5, 2);
    EXPECT_STREQ(small, "short");
    EXPECT_NE(small, StrBuf);
    PutMem(whole);
    PutMem(small);
    DbTClose(db);
}

TEST_F(NlsString, LongStringsAreCutToStrBufInModes0To2) {
    std::vector<char> out(NLS_STRBUF_SIZE + 64, '#');
    NlsFetchString(db_, out.data(), NLS_BY_KEY, "long");
    EXPECT_EQ(std::string(out.data()), std::string(NLS_STRBUF_SIZE - 1, 'L'));
    EXPECT_EQ(out[NLS_STRBUF_SIZE], '#') << "nothing past the buffer";

    char *copy = NlsFetchString(db_, nullptr, NLS_BY_KEY, "long");
    EXPECT_EQ(strlen(copy), size_t(NLS_STRBUF_SIZE - 1));
    PutMem(copy);

    char small[8];
    EXPECT_EQ(NlsFetchStringN(db_, small, sizeof small, NLS_BY_KEY, "intro"), small);
    EXPECT_STREQ(small, "index.h");
    EXPECT_STREQ(NlsFetchStringN(db_, small, sizeof small, NLS_BY_NUMBER, 123, 456), "123_456");
    EXPECT_STREQ(small, "123_456");
}

TEST_F(NlsString, ReadsHeaderlessDatabasesToo) {
    WriteDb("en_US", "Flat", {{"25_1", "flat"}}, true);
    DbTHandle *db = OpenDb("en_US", "Flat");
    char out[NLS_STRBUF_SIZE];
    EXPECT_STREQ(NlsFetchString(db, out, NLS_BY_NUMBER, 25, 1), "flat");
    DbTClose(db);
}

TEST_F(NlsString, OpenDbReportsOnlyAMissingEnglishDatabase) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(NlsOpenDB("Missing", 0), nullptr);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err,
              "ERROR:  Could not open English database:  " + toolPath_ + "/db/en_US/Missing.odb\n");

    ResetService();
    setenv("LANG", "fr_FR", 1);
    testing::internal::CaptureStderr();
    DbTHandle *fr = NlsOpenDB("Missing", 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ASSERT_NE(fr, nullptr);
    char out[NLS_STRBUF_SIZE];
    EXPECT_STREQ(NlsFetchString(fr, out, NLS_BY_NUMBER, 25, 201), "25_201");
    DbTClose(fr);
}

TEST_F(NlsString, OpenDbWithARelativeToolPath) {
    std::string rel = ".";
    pToolPath = rel.data();
    DbTHandle *db = NlsOpenDB("CoreString", 0);
    ASSERT_NE(db, nullptr);
    char out[NLS_STRBUF_SIZE];
    EXPECT_STREQ(NlsFetchString(db, out, NLS_BY_NUMBER, 25, 201), "Save");
    DbTClose(db);

    std::string bare = "db/..";
    pToolPath = bare.data();
    db = NlsOpenDB("CoreString", 0);
    ASSERT_NE(db, nullptr);
    EXPECT_STREQ(NlsFetchString(db, out, NLS_BY_NUMBER, 25, 201), "Save");
    DbTClose(db);
    testing::internal::CaptureStderr();
    EXPECT_EQ(NlsOpenDB("Missing", 0), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "ERROR:  Could not open English database:  db/../db/en_US/Missing.odb\n");
}

std::string Printed(DbTHandle *db, int set, int number, int a, int b) {
    char *buf = nullptr;
    size_t len = 0;
    FILE *fp = open_memstream(&buf, &len);
    Nlsfprintf(fp, db, set, number, a, b);
    fclose(fp);
    std::string s(buf, len);
    free(buf);
    return s;
}

TEST_F(NlsString, FormattedOutput) {
    EXPECT_EQ(Printed(db_, 25, 1003, 1, 10), "This number must be between 1 to 10.");
    EXPECT_EQ(Printed(db_, 25, 9999, 1, 10), "Error");
    EXPECT_EQ(Printed(nullptr, 25, 1003, 1, 10), "Error");

    char out[128];
    Nlssprintf(out, db_, 25, 1003, 2, 8);
    EXPECT_STREQ(out, "This number must be between 2 to 8.");
    Nlssprintf(out, db_, 25, 9999, 2, 8);
    EXPECT_STREQ(out, "Error");

    std::vector<char> small(32, '#');
    Nlssnprintf(small.data(), 12, db_, 25, 1003, 2, 8);
    EXPECT_STREQ(small.data(), "This number");
    EXPECT_EQ(small[12], '#');
    Nlssnprintf(small.data(), 4, db_, 25, 9999);
    EXPECT_STREQ(small.data(), "Err");
}

TEST_F(NlsString, GuiStrCvtExpandsEachPercentS) {
    pDrvCoreDB = db_;
    char out[64];
    EXPECT_EQ(NlsGuiStrCvt("%s and %s", 40, out, sizeof out), out);
    EXPECT_STREQ(out, "first and second");
    EXPECT_STREQ(NlsGuiStrCvt("[%s|%s|%s]", 40, out, sizeof out), "[first|second|40_3]");
    EXPECT_STREQ(NlsGuiStrCvt("100% sure %d", 40, out, sizeof out), "100% sure %d");
    EXPECT_STREQ(NlsGuiStrCvt("ends in %", 40, out, sizeof out), "ends in %");

    // The output size is respected, also inside a substitution.
    std::vector<char> guarded(32, '#');
    NlsGuiStrCvt("ab %s cd", 40, guarded.data(), 8);
    EXPECT_STREQ(guarded.data(), "ab firs");
    EXPECT_EQ(guarded[8], '#');

    // Each "%s" brings at most 1023 characters.
    std::vector<char> wide(4000);
    NlsGuiStrCvt("<%s>", 41, wide.data(), wide.size());
    EXPECT_EQ(std::string(wide.data()), "<" + std::string(1023, 'x') + ">");
    pDrvCoreDB = nullptr;
}

TEST_F(NlsString, GuiStrCvtWithoutCoreDatabase) {
    char out[64];
    EXPECT_STREQ(NlsGuiStrCvt("%s and %s", 40, out, sizeof out), "40_1 and 40_2");
    EXPECT_STREQ(NlsGuiStrCvt("%s!", 0, out, sizeof out), "!");
    EXPECT_EQ(NlsGuiStrCvt("x", 40, out, 0), out);
}

TEST(NlsCalcStrVal, ChecksumsOfSumAndWeightedSum) {
    struct Case {
        const char *text, *value;
    } cases[] = {
        {"", "0000000000000000"},         {"abc", "0000056400000126"},
        {"a", "0000006100000061"},        {"\xff", "FFFFFFFFFFFFFFFF"}, // characters are signed
        {"\x80\x01", "FFFFFF84FFFFFF81"},
    };
    for (const Case &c : cases)
        EXPECT_STREQ(NlsCalcStrVal(c.text), c.value) << c.text;
    EXPECT_EQ(NlsCalcStrVal("abc"), StrVal);
    EXPECT_STREQ(NlsCalcStrVal(nullptr), "0000000000000000");
}

TEST(NlsCalcStrVal, WrapsIn32Bits) {
    std::string text(5000, '\x7f'); // W = 127 * sum(i^2) overflows 32 bits
    uint32_t s = 0, w = 0;
    for (uint32_t i = 1; i <= text.size(); ++i)
        s += 127, w += i * i * 127u;
    char expected[NLS_STRVAL_SIZE];
    snprintf(expected, sizeof expected, "%08X%08X", w, s);
    EXPECT_STREQ(NlsCalcStrVal(text.c_str()), expected);
}

} // namespace
