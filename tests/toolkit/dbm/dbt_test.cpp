// Typed databases: both file formats, deletes, deferred write-back, reloads by modification
// time, the key index through changes, and a file that cannot be read.
#include "toolkit/dbm/dbt.h"
#include "toolkit/runtime/memory.h"
#include "toolkit/runtime/tokens.h"

#include "tests/toolkit/dbm/dbm_fixture.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace {

// Headered records built by hand: body length and key size most significant byte first, then the
// key with its NUL and the data, each scrambled as a chain of its own.
const Bytes kHK = {0x00, 0x07, 0x00, 0x02, 0x6b, 0x00, 0x03, 0x01, 0x63};        // k:abc
const Bytes kHA = {0x00, 0x05, 0x00, 0x02, 0x61, 0x00, 0x31};                    // a:1
const Bytes kHA2 = {0x00, 0x05, 0x00, 0x02, 0x61, 0x00, 0x32};                   // a:2
const Bytes kHAb = {0x00, 0x08, 0x00, 0x03, 0x03, 0x62, 0x00, 0x01, 0x03, 0x7a}; // ab:xyz
const Bytes kHAbc = {0x00, 0x07, 0x00, 0x04, 0x03, 0x01, 0x63, 0x00, 0x5a};      // abc:Z
// Headerless records (host order, little-endian here; one chain over the body).
const Bytes kRecA = {0x05, 0x00, 0x02, 0x61, 0x61, 0x31, 0x31};                    // a:1
const Bytes kRecAb = {0x08, 0x00, 0x03, 0x61, 0x03, 0x62, 0x78, 0x01, 0x03, 0x7a}; // ab:xyz

// A 16-byte header with the given count and a fixed filler.
Bytes Header(const std::string &count) {
    Bytes h(16, 0xee);
    std::string text = "TODBAA" + count;
    std::copy(text.begin(), text.end(), h.begin());
    h[text.size()] = 0;
    return h;
}

Bytes Records(const Bytes &file) {
    return Bytes(file.begin() + 16, file.end());
}

std::string HeaderText(const Bytes &file) {
    return std::string(file.begin(), file.begin() + 16).c_str();
}

ino_t Inode(const std::string &path) {
    struct stat st {};
    stat(path.c_str(), &st);
    return st.st_ino;
}

// Moves the file's modification time away from the one a handle has seen.
void Touch(const std::string &path, int secondsAhead) {
    struct stat st {};
    stat(path.c_str(), &st);
    struct timespec times[2] = {{st.st_mtime + secondsAhead, 0}, {st.st_mtime + secondsAhead, 0}};
    utimensat(AT_FDCWD, path.c_str(), times, 0);
}

class DbT : public DbDir {
  protected:
    void TearDown() override {
        DbTClose(h);
        DbDir::TearDown();
    }
    DbTHandle *Open(const std::string &name, int flags = 0) {
        DbTClose(h);
        h = DbTOpen(name.c_str(), flags);
        return h;
    }
    std::string Get(const char *key) {
        char buf[DBM_RECORD_BUF];
        int n = DbmTGetRecord(h, key, buf);
        return std::string(buf, (size_t)n);
    }
    std::string Take(char *managed) {
        std::string s = managed ? managed : "<null>";
        PutMem(managed);
        return s;
    }
    DbTHandle *h = nullptr;
};

TEST_F(DbT, FirstPutCreatesAHeaderedFile) {
    ASSERT_NE(Open("t"), nullptr);
    EXPECT_EQ(h->format, 0);
    EXPECT_EQ(h->image, nullptr);
    EXPECT_EQ(Get("k"), "");
    ASSERT_TRUE(DbmTPutRecord(h, "k", "abc", 3));
    Bytes file = ReadBytes(Db("t"));
    ASSERT_EQ(file.size(), 25u);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 8), (Bytes{'T', 'O', 'D', 'B', 'A', 'A', '1', 0}));
    EXPECT_EQ(Records(file), kHK);
    EXPECT_EQ(h->format, 2);
    EXPECT_EQ(h->recordCount, 1);
    EXPECT_FALSE(Exists(Db("t") + "_new"));
    EXPECT_FALSE(Exists(root + "/db/t.odb_new"));
    // Same key again: one record, at the end; the count stays 1.
    ASSERT_TRUE(DbmTPutRecord(h, "a", "1", 1));
    ASSERT_TRUE(DbmTPutRecord(h, "k", "abc", 3));
    file = ReadBytes(Db("t"));
    EXPECT_EQ(Records(file), Concat({kHA, kHK}));
    EXPECT_EQ(HeaderText(file), "TODBAA2");
    ASSERT_TRUE(DbmTPutRecord(h, "a", "1", 1));
    ASSERT_TRUE(DbmTPutRecord(h, "a", "1", 1));
    file = ReadBytes(Db("t"));
    EXPECT_EQ(Records(file), Concat({kHK, kHA}));
    EXPECT_EQ(HeaderText(file), "TODBAA2");
    // A fresh handle reads what was written.
    Open("t");
    EXPECT_EQ(h->format, 2);
    EXPECT_EQ(h->recordCount, 2);
    EXPECT_EQ(Get("k"), "abc");
}

TEST_F(DbT, ReadsHandBuiltHeaderedFiles) {
    WriteBytes(Db("t"), Concat({Header("4"), kHA, kHAbc, kHAb, kHA2}));
    Open("t");
    EXPECT_EQ(h->format, 2);
    EXPECT_EQ(h->swapFlag, 1);
    EXPECT_EQ(h->recordCount, 4);
    EXPECT_EQ(Get("a"), "1"); // the first of two equal keys
    EXPECT_EQ(Get("ab"), "xyz");
    EXPECT_EQ(Get("abc"), "Z");
    EXPECT_EQ(Get("abcd"), "");
    EXPECT_EQ(DbmTGetRecordSize(h, "ab"), 3);
    EXPECT_EQ(Take(DbmTGetRecordList(h, "<", ">")), "<a<abc<ab<a>");
    DbLinkNode *list = DbmTGetDbLinkList(h, "b");
    ASSERT_NE(list, nullptr);
    EXPECT_STREQ(list->key, "abc");
    EXPECT_EQ(std::string(list->data, (size_t)list->dataLen), "Z");
    ASSERT_NE(list->next, nullptr);
    EXPECT_STREQ(list->next->key, "ab");
    EXPECT_EQ(std::string(list->next->data, (size_t)list->next->dataLen), "xyz");
    EXPECT_EQ(list->next->next, nullptr);
    DbmFreeDbLinkList(list);
    // Removing a key removes every record holding it.
    ASSERT_TRUE(DbmTDeleteRecord(h, "a"));
    EXPECT_EQ(Get("a"), "");
    Bytes file = ReadBytes(Db("t"));
    EXPECT_EQ(Records(file), Concat({kHAbc, kHAb}));
    EXPECT_EQ(HeaderText(file), "TODBAA2");
}

TEST_F(DbT, HeaderlessFilesStayHeaderless) {
    WriteBytes(Db("t"), kRecA);
    Open("t");
    EXPECT_EQ(h->format, 1);
    EXPECT_EQ(h->swapFlag, 0);
    EXPECT_EQ(Get("a"), "1");
    ASSERT_TRUE(DbmTPutRecord(h, "ab", "xyz", 3));
    EXPECT_EQ(ReadBytes(Db("t")), Concat({kRecA, kRecAb}));
    ASSERT_TRUE(DbmTDeleteRecord(h, "a"));
    EXPECT_EQ(ReadBytes(Db("t")), kRecAb);
    EXPECT_EQ(h->recordCount, 0);
    // An emptied image has nothing to write: the delete fails and the file keeps the record.
    char ok = 1;
    std::string err = CaptureStderr([&] { ok = DbmTDeleteRecord(h, "ab"); });
    EXPECT_FALSE(ok);
    EXPECT_EQ(err, "ERROR: Can't write to t");
    EXPECT_EQ(ReadBytes(Db("t")), kRecAb);
    EXPECT_FALSE(Exists(root + "/db/t.odb_new"));
    EXPECT_EQ(Get("ab"), "xyz");
}

TEST_F(DbT, DeletesByKeyAndByPrefix) {
    Open("t");
    for (const char *k : {"a", "ab", "abc", "abd"})
        ASSERT_TRUE(DbmTPutRecord(h, k, k, 1));
    ASSERT_TRUE(DbmTDeleteRecords(h, "ab"));
    EXPECT_EQ(Take(DbmTGetRecordList(h, " ", "")), " a");
    EXPECT_EQ(HeaderText(ReadBytes(Db("t"))), "TODBAA1");
    ino_t before = Inode(Db("t"));
    Bytes bytes = ReadBytes(Db("t"));
    EXPECT_FALSE(DbmTDeleteRecord(h, "zz"));
    EXPECT_TRUE(DbmTDeleteRecords(h, "zz"));
    EXPECT_EQ(Inode(Db("t")), before); // nothing was written
    EXPECT_EQ(ReadBytes(Db("t")), bytes);
    EXPECT_FALSE(DbmTDeleteRecord(h, ""));
    EXPECT_FALSE(DbmTDeleteRecords(h, ""));
}

TEST_F(DbT, DeferredWriteBack) {
    WriteBytes(Db("t"), Concat({Header("1"), kHA}));
    Open("t", DBT_NO_WRITEBACK);
    ASSERT_TRUE(DbmTPutRecord(h, "ab", "xyz", 3));
    ASSERT_TRUE(DbmTDeleteRecord(h, "a"));
    EXPECT_EQ(Get("ab"), "xyz");
    EXPECT_EQ(ReadBytes(Db("t")), Concat({Header("1"), kHA}));
    ASSERT_TRUE(DbmTArchiveDb(h));
    Bytes file = ReadBytes(Db("t"));
    EXPECT_EQ(Records(file), kHAb);
    EXPECT_EQ(HeaderText(file), "TODBAA1");
    // Changes that are never archived never reach the file.
    ASSERT_TRUE(DbmTPutRecord(h, "abc", "Z", 1));
    DbTClose(h);
    h = nullptr;
    EXPECT_EQ(Records(ReadBytes(Db("t"))), kHAb);
}

TEST_F(DbT, ReloadFollowsTheModificationTime) {
    WriteBytes(Db("t"), Concat({Header("1"), kHA}));
    DbTHandle *fixed = DbTOpen("t", DBT_NO_RELOAD);
    Open("t");
    EXPECT_EQ(Get("a"), "1");
    WriteBytes(Db("t"), Concat({Header("1"), kHA2}));
    Touch(Db("t"), 10);
    EXPECT_EQ(Get("a"), "2");
    char buf[8];
    ASSERT_EQ(DbmTGetRecord(fixed, "a", buf), 1);
    EXPECT_EQ(buf[0], '1'); // flag 2: the image is the only truth
    DbTClose(fixed);
    fixed = DbTOpen("t", DBT_NO_RELOAD);
    ASSERT_EQ(DbmTGetRecord(fixed, "a", buf), 1);
    EXPECT_EQ(buf[0], '2');
    DbTClose(fixed);
}

TEST_F(DbT, GetRecordVAllocatesWhenTheBufferIsSmall) {
    Open("t");
    ASSERT_TRUE(DbmTPutRecord(h, "k", "abcdef", 6));
    char small[4];
    char *buf = small;
    ASSERT_EQ(DbmTGetRecordV(h, "k", &buf, sizeof small), 6);
    ASSERT_NE(buf, small);
    EXPECT_EQ(std::string(buf, 6), "abcdef");
    PutMem(buf);
    char large[16] = {};
    buf = large;
    ASSERT_EQ(DbmTGetRecordV(h, "k", &buf, sizeof large), 6);
    EXPECT_EQ(buf, large);
    EXPECT_STREQ(large, "abcdef");
    EXPECT_EQ(DbmTGetRecordV(h, "missing", &buf, 16), 0);
}

TEST_F(DbT, KeyListsAndKeyTests) {
    Open("t", DBT_NO_WRITEBACK);
    for (const char *k : {"ab", "b", "cd"})
        ASSERT_TRUE(DbmTPutRecord(h, k, "v", 1));
    EXPECT_EQ(Take(DbmTGetRecordListS(h, "a,c", "<", ">")), "<ab<cd>");
    EXPECT_EQ(Take(DbmTGetRecordList(h, "<", ">")), "<ab<b<cd>");
    EXPECT_EQ(Take(DbmTGetRecordListS(h, "x", "<", ">")), "<null>");
    EXPECT_EQ(DbmTGetRecordListS(h, "", "<", ">"), nullptr);
    struct {
        const char *key, *list;
        char expected;
    } cases[] = {{"abc", "x,ab", 1}, {"abc", ",,ab,", 1}, {"abc", "abcd", 0},
                 {"abc", "", 0},     {"b", "a,c", 0},     {"cd", "a,c", 1}};
    for (auto &c : cases)
        EXPECT_EQ(TestKeyName(c.key, c.list), c.expected) << c.key << c.list;
}

TEST(DbTKeyNames, EntriesAreTokensWithEscapes) {
    struct {
        const char *key, *list;
        char expected;
    } cases[] = {
        {"a,b1", "x,a\\,b", 1}, {"b1", "x,a\\,b", 0}, {"a\tb", "a\\tb", 1}, {"a\\x", "q,a\\\\", 1}};
    char input[] = "one two";
    GetToken(input, " ");
    char *rest = szTokenIn;
    for (auto &c : cases)
        EXPECT_EQ(TestKeyName(c.key, c.list), c.expected) << c.key << " in " << c.list;
    EXPECT_EQ(szTokenIn, rest); // the caller's remainder survives the test
}

TEST_F(DbT, ManyKeysStayFindableThroughChanges) {
    for (bool headerless : {false, true}) {
        if (headerless) WriteBytes(Db("many"), kRecA);
        Open("many", DBT_NO_RELOAD | DBT_NO_WRITEBACK);
        const int n = 3000;
        for (int i = 0; i < n; i++) {
            std::string k = "k" + std::to_string(i), v = "v" + std::to_string(i);
            ASSERT_TRUE(DbmTPutRecord(h, k.c_str(), v.c_str(), (int)v.size()));
        }
        ASSERT_TRUE(DbmTDeleteRecords(h, "k1")); // k1, k10..k19, k100..k199, k1000..k1999
        ASSERT_TRUE(DbmTPutRecord(h, "k5", "again", 5));
        for (int i = 0; i < n; i++) {
            std::string k = "k" + std::to_string(i);
            std::string want = k[1] == '1' ? "" : i == 5 ? "again" : "v" + std::to_string(i);
            ASSERT_EQ(Get(k.c_str()), want) << k;
        }
        EXPECT_EQ(Get("k"), "");
        EXPECT_EQ(Get("k30000"), "");
        EXPECT_EQ(h->format, headerless ? 1 : 2);
    }
}

TEST_F(DbT, CopyRecord) {
    Open("t");
    ASSERT_TRUE(DbmTPutRecord(h, "k", "abc", 3));
    EXPECT_TRUE(DbmTCopyRecord(h, "k", "a"));
    EXPECT_EQ(Get("a"), "abc");
    EXPECT_FALSE(DbmTCopyRecord(h, "none", "b"));
    Open("t");
    EXPECT_EQ(Get("a"), "abc");
}

TEST_F(DbT, DamagedImagesAreCutAtTheBadRecord) {
    const Bytes pastEnd = {0x00, 0x40, 0x00, 0x02, 0x61};
    const Bytes keyPastBody = {0x00, 0x04, 0x00, 0x09, 0x00, 0x00};
    const Bytes lonelyByte = {0x00};
    for (const Bytes &bad : {pastEnd, keyPastBody, lonelyByte}) {
        WriteBytes(Db("t"), Concat({Header("2"), kHA, bad}));
        Open("t");
        EXPECT_EQ(Take(DbmTGetRecordList(h, "<", ">")), "<a>");
        EXPECT_EQ(h->imageLength, (int)(16 + kHA.size()));
        EXPECT_EQ(Get("zz"), "");
        ASSERT_TRUE(DbmTPutRecord(h, "ab", "xyz", 3));
        EXPECT_EQ(Records(ReadBytes(Db("t"))), Concat({kHA, kHAb}));
    }
    const Bytes headerlessKeyPastBody = {0x04, 0x00, 0x10, 0x61, 0x61, 0x00};
    WriteBytes(Db("u"), Concat({kRecA, headerlessKeyPastBody}));
    Open("u");
    EXPECT_EQ(Take(DbmTGetRecordList(h, "<", ">")), "<a>");
    EXPECT_EQ(h->imageLength, (int)kRecA.size());
}

TEST_F(DbT, EmptyAndShortFiles) {
    WriteBytes(Db("t"), {});
    Open("t");
    EXPECT_EQ(h->format, 0);
    EXPECT_EQ(h->imageLength, 16);
    ASSERT_NE(h->image, nullptr);
    EXPECT_EQ(std::string(h->image, 7), std::string("TODBAA0", 7));
    EXPECT_EQ(DbmTGetRecordList(h, "<", ">"), nullptr);
    ASSERT_TRUE(DbmTPutRecord(h, "k", "abc", 3));
    Bytes file = ReadBytes(Db("t"));
    EXPECT_EQ(HeaderText(file), "TODBAA1");
    EXPECT_EQ(Records(file), kHK);
    // Changes held back on an empty file stay in the image until archived.
    WriteBytes(Db("e"), {});
    Open("e", DBT_NO_WRITEBACK);
    ASSERT_TRUE(DbmTPutRecord(h, "k", "abc", 3));
    EXPECT_EQ(Get("k"), "abc");
    ASSERT_TRUE(DbmTArchiveDb(h));
    EXPECT_EQ(Records(ReadBytes(Db("e"))), kHK);
    // A header cut short still gets its 16 bytes before the first record.
    WriteBytes(Db("s"), {'T', 'O', 'D', 'B', 'A', 'A', '0'});
    Open("s");
    EXPECT_EQ(h->format, 2);
    ASSERT_TRUE(DbmTPutRecord(h, "k", "abc", 3));
    file = ReadBytes(Db("s"));
    EXPECT_EQ(HeaderText(file), "TODBAA1");
    EXPECT_EQ(Records(file), kHK);
}

TEST_F(DbT, OversizeRecordsAndKeysAreRefused) {
    Open("t");
    std::string key(DBT_MAX_KEY + 1, 'k');
    EXPECT_FALSE(DbmTPutRecord(h, key.c_str(), "v", 1));
    key.pop_back();
    EXPECT_TRUE(DbmTPutRecord(h, key.c_str(), "v", 1));
    EXPECT_EQ(Get(key.c_str()), "v");
    std::string data(65524, 'd');
    EXPECT_FALSE(DbmTPutRecord(h, "k", data.data(), 65524));
    EXPECT_TRUE(DbmTPutRecord(h, "k", data.data(), 65523));
    Open("t");
    EXPECT_EQ(DbmTGetRecordSize(h, "k"), 65523);
    EXPECT_FALSE(DbmTPutRecord(h, "k", "v", 0));
    EXPECT_FALSE(DbmTPutRecord(h, nullptr, "v", 1));
    EXPECT_FALSE(DbmTPutRecord(nullptr, "k", "v", 1));
}

TEST_F(DbT, NullArguments) {
    EXPECT_EQ(DbTOpen(nullptr, 0), nullptr);
    char buf[8];
    char *p = buf;
    EXPECT_EQ(DbmTGetRecord(nullptr, "k", buf), 0);
    EXPECT_EQ(DbmTGetRecordV(nullptr, "k", &p, 8), 0);
    EXPECT_EQ(DbmTGetRecordSize(nullptr, "k"), 0);
    EXPECT_EQ(DbmTGetRecordList(nullptr, "", ""), nullptr);
    EXPECT_EQ(DbmTGetDbLinkList(nullptr, ""), nullptr);
    EXPECT_FALSE(DbmTArchiveDb(nullptr));
    EXPECT_FALSE(DbmTDeleteRecord(nullptr, "k"));
    EXPECT_FALSE(DbmTCopyRecord(nullptr, "a", "b"));
    Open("missing");
    EXPECT_FALSE(DbmTArchiveDb(h));             // nothing loaded, nothing to write
    EXPECT_FALSE(DbmTPutRecord(h, "", "x", 1)); // no lookup could find it again
    EXPECT_FALSE(Exists(Db("missing")));
}

TEST_F(DbT, PathNames) {
    WriteBytes(root + "/abs.odb", Concat({Header("1"), kHA}));
    Open(root + "/abs");
    EXPECT_EQ(Get("a"), "1");
    Open("./db/plain.odb");
    EXPECT_EQ(h->image, nullptr);
    WriteBytes(Db("plain"), kRecA);
    Open("./db/plain.odb");
    EXPECT_EQ(Get("a"), "1");
}

TEST_F(DbT, V4PathHandlingWritesTheFileByPath) {
    std::string path = root + "/v4/x.odb";
    Open(path);
    DbmSetV4DriverPathHandling(); // after Open: any DbTClose, even of nothing, clears it
    ASSERT_TRUE(DbmTPutRecord(h, "k", "abc", 3));
    ASSERT_TRUE(DbmTPutRecord(h, "a", "1", 1));
    EXPECT_EQ(Records(ReadBytes(path)), Concat({kHK, kHA}));
    EXPECT_FALSE(Exists(path + "_new"));
    DbTClose(h);
    h = nullptr;
    EXPECT_EQ(DbmV4DriverPathHandling, 0);
}

TEST_F(DbT, FullDiskLeavesTheDatabaseUntouched) {
    std::string disk = root + "/disk";
    RunOnTinyDisk(disk, [&]() -> std::string {
        pToolPath = const_cast<char *>(disk.c_str());
        DbTHandle *t = DbTOpen("t", 0);
        std::string big(30000, 'x');
        if (!DbmTPutRecord(t, "one", big.data(), (int)big.size())) return "first put failed";
        Bytes before = ReadBytes(disk + "/db/t.odb");
        char ok = 1;
        std::string err = CaptureStderr([&] { ok = DbmTPutRecord(t, "two", big.data(), 30000); });
        // What could not be stored is not found either; what was stored stays.
        int two = DbmTGetRecordSize(t, "two"), one = DbmTGetRecordSize(t, "one");
        DbTClose(t);
        if (ok) return "a put on a full disk succeeded";
        if (two != 0 || one != 30000) return "image out of step with the file";
        if (err != "ERROR: Can't write to t") return "message: " + err;
        if (ReadBytes(disk + "/db/t.odb") != before) return "database changed";
        if (Exists(disk + "/db/t.odb_new")) return "working copy left behind";
        return "";
    });
}

TEST_F(DbT, ADatabaseThatCannotBeReadIsNeverWrittenOver) {
    const Bytes file = Concat({Header("2"), kHA, kHAb});
    WriteBytes(Db("t"), file);
    LockAway(root, Db("t"));
    RunUnprivileged([&]() -> std::string {
        if (FILE *f = fopen(Db("t").c_str(), "rb")) {
            fclose(f);
            return "SKIP: the file stays readable";
        }
        DbTHandle *t = DbTOpen("t", DBT_NO_RELOAD);
        char ok = 1;
        std::string err = CaptureStderr([&] { ok = DbmTPutRecord(t, "k", "abc", 3); });
        DbTClose(t);
        if (ok) return "a put over an unreadable database succeeded";
        if (err != "ERROR: Can't write to t") return "message: " + err;
        if (Exists(root + "/db/t.odb_new")) return "working copy left behind";
        return "";
    });
    ASSERT_EQ(chmod(Db("t").c_str(), 0600), 0);
    EXPECT_EQ(ReadBytes(Db("t")), file);
    // Once the file can be read again, the handle works as usual.
    Open("t", DBT_NO_RELOAD);
    EXPECT_EQ(Get("ab"), "xyz");
    ASSERT_TRUE(DbmTPutRecord(h, "k", "abc", 3));
    EXPECT_EQ(Records(ReadBytes(Db("t"))), Concat({kHA, kHAb, kHK}));
}

} // namespace
