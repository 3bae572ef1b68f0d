// Record databases: the scrambling, the headerless file format byte for byte, lookups,
// walks, and files that are full, unreadable or refused.
#include "toolkit/dbm/dbm.h"
#include "toolkit/runtime/memory.h"
#include "toolkit/runtime/tokens.h"

#include "tests/toolkit/dbm/dbm_fixture.h"

#include <algorithm>
#include <sstream>

namespace {

// Headerless records built by hand: length (host order, little-endian here), then the scrambled
// body (key size, key, NUL, data).
const Bytes kRecA = {0x05, 0x00, 0x02, 0x61, 0x61, 0x31, 0x31};                    // a -> "1"
const Bytes kRecAbc = {0x07, 0x00, 0x04, 0x61, 0x03, 0x01, 0x63, 0x5a, 0x5a};      // abc -> "Z"
const Bytes kRecAb = {0x08, 0x00, 0x03, 0x61, 0x03, 0x62, 0x78, 0x01, 0x03, 0x7a}; // ab -> "xyz"

std::vector<std::string> Split(const std::string &s, char sep) {
    std::vector<std::string> out;
    std::stringstream in(s);
    for (std::string item; std::getline(in, item, sep);)
        out.push_back(item);
    return out;
}

class Dbm : public DbDir {
  protected:
    std::string Get(const char *name, const char *key) {
        char buf[DBM_RECORD_BUF];
        int n = DbmGetRecord(name, key, buf);
        return std::string(buf, (size_t)n);
    }
    std::string Take(char *managed) {
        std::string s = managed ? managed : "<null>";
        PutMem(managed);
        return s;
    }
};

TEST(DbmScrambling, ChainsBytesBothWays) {
    unsigned char b[] = {0x61, 0x62, 0x63};
    DbmScramble(b, 3);
    EXPECT_EQ(Bytes(b, b + 3), (Bytes{0x03, 0x01, 0x63}));
    DbmUnscramble(b, 3);
    EXPECT_EQ(Bytes(b, b + 3), (Bytes{0x61, 0x62, 0x63}));
    unsigned char one[] = {0x7f};
    DbmScramble(one, 1);
    EXPECT_EQ(one[0], 0x7f);
}

TEST_F(Dbm, PutWritesTheHeaderlessFormatAndReplacesAtTheEnd) {
    ASSERT_TRUE(DbmPutRecord("t", "ab", "xyz", 3));
    EXPECT_EQ(ReadBytes(Db("t")), kRecAb);
    ASSERT_TRUE(DbmPutRecord("t", "a", "1", 1));
    EXPECT_EQ(ReadBytes(Db("t")), Concat({kRecAb, kRecA}));
    ASSERT_TRUE(DbmPutRecord("t", "ab", "xyz", 3));
    EXPECT_EQ(ReadBytes(Db("t")), Concat({kRecA, kRecAb}));
    ASSERT_TRUE(DbmPutRecord("t", "a", "2", 1));
    EXPECT_EQ(Get("t", "a"), "2");
    EXPECT_FALSE(Exists(Db("t") + "_new"));
    EXPECT_FALSE(Exists(root + "/db/t.odb_new"));
}

TEST_F(Dbm, RefusedPutsLeaveTheFileAlone) {
    WriteBytes(Db("t"), kRecA);
    EXPECT_FALSE(DbmPutRecord("t", "k", "x", 0));
    EXPECT_FALSE(DbmPutRecord("t", nullptr, "x", 1));
    EXPECT_FALSE(DbmPutRecord("t", "k", nullptr, 1));
    EXPECT_FALSE(DbmPutRecord(nullptr, "k", "x", 1));
    // key length + data length + 3 may reach 65,527 but not pass it.
    std::string big(65523, 'd');
    EXPECT_FALSE(DbmPutRecord("t", "k", big.data(), 65524));
    EXPECT_EQ(ReadBytes(Db("t")), kRecA);
    EXPECT_TRUE(DbmPutRecord("t", "k", big.data(), 65523));
    EXPECT_EQ(DbmGetRecordSize("t", "k"), 65523);
}

TEST_F(Dbm, LookupsOnAHandBuiltFile) {
    WriteBytes(Db("t"), Concat({kRecA, kRecAbc, kRecAb}));
    EXPECT_EQ(Get("t", "a"), "1");
    EXPECT_EQ(Get("t", "abc"), "Z");
    EXPECT_EQ(Get("t", "ab"), "xyz");
    EXPECT_EQ(Get("t", "b"), "");
    EXPECT_EQ(Get("missing", "a"), "");
    EXPECT_EQ(DbmGetRecordSize("t", "ab"), 3);
    EXPECT_EQ(DbmGetRecordSize("t", "abcd"), 0);
    EXPECT_EQ(DbmGetRecord("t", "a", nullptr), 0);
    EXPECT_EQ(Take(DbmGetRecordList("t", "<", ">")), "<a<abc<ab>");
    EXPECT_EQ(Take(DbmGetRecordList("missing", "<", ">")), "<null>");

    DbLinkNode *list = DbmGetDbLinkList("t", "b");
    ASSERT_NE(list, nullptr);
    EXPECT_STREQ(list->key, "abc");
    EXPECT_EQ(std::string(list->data, (size_t)list->dataLen), "Z");
    ASSERT_NE(list->next, nullptr);
    EXPECT_STREQ(list->next->key, "ab");
    EXPECT_EQ(std::string(list->next->data, (size_t)list->next->dataLen), "xyz");
    EXPECT_EQ(list->next->next, nullptr);
    DbmFreeDbLinkList(list);
    EXPECT_EQ(DbmGetDbLinkList("t", "q"), nullptr);
}

TEST_F(Dbm, EmptyDatabaseGivesNoList) {
    WriteBytes(Db("t"), {});
    EXPECT_EQ(Take(DbmGetRecordList("t", "<", ">")), "<null>");
}

TEST_F(Dbm, SequentialReadNeverRestarts) {
    WriteBytes(Db("t"), Concat({kRecA, kRecAb}));
    Ent2Get = 0;
    char buf[64];
    ASSERT_EQ(DbmGetNextRecord("t", buf), 1);
    EXPECT_EQ(buf[0], '1');
    ASSERT_EQ(DbmGetNextRecord("t", buf), 3);
    EXPECT_EQ(std::string(buf, 3), "xyz");
    EXPECT_EQ(DbmGetNextRecord("t", buf), 0);
    EXPECT_EQ(DbmGetNextRecord("t", buf), 0);
    EXPECT_EQ(Ent2Get, 2);
}

TEST_F(Dbm, DeletesByKeyAndByPrefix) {
    Bytes all = Concat({kRecA, kRecAbc, kRecAb});
    WriteBytes(Db("t"), all);
    EXPECT_TRUE(DbmDeleteRecord("t", "ab"));
    EXPECT_EQ(ReadBytes(Db("t")), Concat({kRecA, kRecAbc}));
    EXPECT_TRUE(DbmDeleteRecord("t", "zz")); // rewritten, nothing removed
    EXPECT_EQ(ReadBytes(Db("t")), Concat({kRecA, kRecAbc}));
    WriteBytes(Db("t"), all);
    EXPECT_TRUE(DbmDeleteRecords("t", "ab"));
    EXPECT_EQ(ReadBytes(Db("t")), kRecA);
    EXPECT_FALSE(DbmDeleteRecords("t", ""));
    EXPECT_FALSE(DbmDeleteRecord("missing", "a"));
    EXPECT_FALSE(DbmDeleteRecords("missing", "a"));
    EXPECT_FALSE(Exists(root + "/db/missing.odb"));
}

TEST_F(Dbm, CopyRecord) {
    WriteBytes(Db("t"), Concat({kRecAb}));
    EXPECT_TRUE(DbmCopyRecord("t", "ab", "a"));
    EXPECT_EQ(Get("t", "a"), "xyz");
    EXPECT_EQ(Get("t", "ab"), "xyz");
    EXPECT_FALSE(DbmCopyRecord("t", "nope", "b"));
}

TEST_F(Dbm, OverlongBodyLengthIsCut) {
    // Body length 0xFFFF: key k, then zeros, so the first 65,527 bytes unscramble unchanged.
    Bytes rec(2 + 65535, 0);
    rec[0] = rec[1] = 0xff;
    const unsigned char body[] = {0x02, 0x00, 'k', 0x00};
    std::copy(body, body + 4, rec.begin() + 2);
    DbmScramble(rec.data() + 2, 65535);
    WriteBytes(Db("t"), rec);
    EXPECT_EQ(DbmGetRecordSize("t", "k"), 65527 - 2 - 2);
}

TEST_F(Dbm, DamagedFilesEndTheScan) {
    const Bytes keyPastBody = {0x04, 0x00, 0x10, 0x61, 0x61, 0x00}; // key size 16 in a 4-byte body
    const Bytes tooShort = {0x01, 0x00, 0x00};                      // no room for the key size
    const Bytes pastEnd = {0xff, 0x00, 0x01, 0x02, 0x03};
    const Bytes truncated(kRecAb.begin(), kRecAb.begin() + 4);
    for (const Bytes &tail : {keyPastBody, tooShort, pastEnd, truncated}) {
        WriteBytes(Db("t"), Concat({kRecA, tail}));
        EXPECT_EQ(Take(DbmGetRecordList("t", " ", "")), " a");
        EXPECT_EQ(Get("t", "a"), "1");
        // An update keeps what could be read.
        EXPECT_TRUE(DbmPutRecord("t", "ab", "xyz", 3));
        EXPECT_EQ(ReadBytes(Db("t")), Concat({kRecA, kRecAb}));
    }
}

TEST_F(Dbm, DatabaseListNamesOdbFilesOnly) {
    EXPECT_EQ(Take(DbmGetDbList(0)), "");
    EXPECT_EQ(Take(DbmGetDbList(1)), " ");
    for (const char *f : {"a.odb", "b.odb_new", "c.odb", "d.txt", "e.x.odb"})
        WriteBytes(root + "/db/" + f, {});
    std::string comma = Take(DbmGetDbList(0));
    auto names = Split(comma, ',');
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a", "c"})) << comma;
    std::string spaced = Take(DbmGetDbList(1));
    ASSERT_EQ(spaced.size(), 4u);
    EXPECT_EQ(spaced[0], ' ');
    EXPECT_EQ(spaced[2], ' ');
    EXPECT_TRUE(spaced == " a c" || spaced == " c a") << spaced;
    // Entries are read as tokens: a backslash escapes the character after it, and the caller's
    // tokenizer state is left as it was.
    WriteBytes(root + "/db/f\\.odb", {});
    char input[] = "one two";
    GetToken(input, " ");
    char *in = szIn, *rest = szTokenIn;
    names = Split(Take(DbmGetDbList(0)), ',');
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a", "c", "f"}));
    EXPECT_EQ(szIn, in);
    EXPECT_EQ(szTokenIn, rest);
    EXPECT_STREQ(GetTokenBuf, "one");
    EXPECT_EQ(chTokenDel, ' ');
    ASSERT_EQ(chdir("/"), 0);
    EXPECT_EQ(DbmGetDbList(0), nullptr); // no ./db here
}

TEST_F(Dbm, DumpPrintsRecords) {
    WriteBytes(root + "/dump.db", Concat({kRecA, kRecAb}));
    testing::internal::CaptureStdout();
    DumpDbm("dump");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "5 2 ==>{a.1}\n8 3 ==>{ab.xyz}\n");
    DumpDbm(nullptr);
}

TEST_F(Dbm, V4PathHandlingUpdatesTheFileItself) {
    std::string path = root + "/v4/x.odb";
    DbmSetV4DriverPathHandling();
    ASSERT_TRUE(DbmPutRecord(path.c_str(), "ab", "xyz", 3));
    ASSERT_TRUE(DbmPutRecord(path.c_str(), "a", "1", 1));
    EXPECT_EQ(ReadBytes(path), Concat({kRecAb, kRecA}));
    EXPECT_FALSE(Exists(path + "_new"));
    EXPECT_EQ(Get(path.c_str(), "ab"), "xyz");
    EXPECT_TRUE(DbmDeleteRecord(path.c_str(), "ab"));
    EXPECT_EQ(ReadBytes(path), kRecA);
    DbTClose(nullptr);
    EXPECT_EQ(DbmV4DriverPathHandling, 0);
}

TEST_F(Dbm, UnsafeNamesAreRefused) {
    for (const char *name : {"a b", "x;rm", "$(id)", "q\"uote"}) {
        EXPECT_FALSE(DbmPutRecord(name, "k", "v", 1)) << name;
        EXPECT_FALSE(Exists(Db(name)));
        // Reading needs no shell: such a database can still be read.
        WriteBytes(Db(name), kRecA);
        EXPECT_EQ(Get(name, "a"), "1");
        EXPECT_FALSE(DbmDeleteRecord(name, "a"));
        EXPECT_EQ(ReadBytes(Db(name)), kRecA);
    }
    std::string longName(300, 'n');
    EXPECT_FALSE(DbmPutRecord(longName.c_str(), "k", "v", 1));
}

TEST_F(Dbm, FullDiskLeavesTheDatabaseUntouched) {
    std::string disk = root + "/disk";
    RunOnTinyDisk(disk, [&]() -> std::string {
        pToolPath = const_cast<char *>(disk.c_str());
        std::string big(30000, 'x');
        if (!DbmPutRecord("t", "one", big.data(), (int)big.size())) return "first put failed";
        Bytes before = ReadBytes(disk + "/db/t.odb");
        char ok = 1;
        std::string err = CaptureStderr([&] { ok = DbmPutRecord("t", "two", big.data(), 30000); });
        if (ok) return "a put on a full disk succeeded";
        if (err != "ERROR: Can't write to t") return "message: " + err;
        if (ReadBytes(disk + "/db/t.odb") != before) return "database changed";
        if (Exists(disk + "/db/t.odb_new")) return "working copy left behind";
        if (!DbmDeleteRecord("t", "one")) return "delete after the failure failed";
        return "";
    });
}

TEST_F(Dbm, PutLeavesADatabaseItCannotReadAlone) {
    WriteBytes(Db("t"), Concat({kRecA, kRecAb}));
    LockAway(root, Db("t"));
    RunUnprivileged([&]() -> std::string {
        if (FILE *f = fopen(Db("t").c_str(), "rb")) {
            fclose(f);
            return "SKIP: the file stays readable";
        }
        if (DbmPutRecord("t", "k", "v", 1)) return "a put over an unreadable database succeeded";
        if (waitedSeconds != 10) return "waited " + std::to_string(waitedSeconds) + " s, not 10";
        if (Exists(root + "/db/t.odb_new")) return "working copy left behind";
        return "";
    });
    ASSERT_EQ(chmod(Db("t").c_str(), 0600), 0);
    EXPECT_EQ(ReadBytes(Db("t")), Concat({kRecA, kRecAb}));
}

} // namespace
