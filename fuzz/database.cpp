// Record databases: a fuzzed .odb file is opened typed (list, get, put, copy,
// delete, write back) and then worked on by the plain file operations.
// Input: control byte, key, NUL, second key, NUL, data, NUL, file content.
#include "fuzz/common.h"
#include "toolkit/dbm/dbm.h"
#include "toolkit/dbm/dbt.h"
#include "toolkit/runtime/memory.h"

#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<char> gBuf(DBM_RECORD_BUF);

void Typed(int control, const std::string &key, const std::string &key2, const std::string &value) {
    int flags = control & (DBT_NO_RELOAD | DBT_NO_WRITEBACK);
    DbTHandle *h = DbTOpen("t", flags);
    if (h == nullptr) return;
    PutMem(DbmTGetRecordList(h, "<", ">"));
    PutMem(DbmTGetRecordListS(h, (key + "," + key2).c_str(), " ", "\n"));
    // Every record the list shows is found again by its key with the same data
    // (the first of equal keys).
    DbLinkNode *list = DbmTGetDbLinkList(h, "");
    std::vector<std::string> seen;
    for (DbLinkNode *n = list; n != nullptr; n = n->next) {
        // A damaged file may hold a key with a NUL inside, which no key text names.
        if (n->key == nullptr || n->key[0] == '\0' ||
            strlen(n->key) + 1 != size_t(n->data - n->key))
            continue;
        std::string k = n->key;
        bool first = true;
        for (const std::string &s : seen)
            if (s == k) first = false;
        if (!first) continue;
        seen.push_back(k);
        int len = DbmTGetRecord(h, n->key, gBuf.data());
        if (len != n->dataLen || DbmTGetRecordSize(h, n->key) != len) {
            fprintf(stderr, "key %s len %d list %d size %d\n", n->key, len, n->dataLen,
                    DbmTGetRecordSize(h, n->key));
            abort();
        }
        if (len > 0 && memcmp(gBuf.data(), n->data, len) != 0) abort();
        char small[4];
        char *p = small;
        if (DbmTGetRecordV(h, n->key, &p, sizeof small) != len) {
            fprintf(stderr, "key %s len %d v %d\n", n->key, len,
                    DbmTGetRecordV(h, n->key, &p, sizeof small));
            abort();
        }
        if (p != small) PutMem(p);
    }
    DbmFreeDbLinkList(list);

    const char *k = key.c_str();
    if (DbmTPutRecord(h, k, value.data(), static_cast<int>(value.size()))) {
        int len = DbmTGetRecord(h, k, gBuf.data());
        if (len != static_cast<int>(value.size()) || memcmp(gBuf.data(), value.data(), len) != 0)
            abort();
    }
    DbmTCopyRecord(h, k, key2.c_str());
    DbmTDeleteRecord(h, key2.c_str());
    if (!key.empty()) DbmTDeleteRecords(h, key.substr(0, 1).c_str());
    if (control & 8) DbmTArchiveDb(h);
    DbTClose(h);
}

void Plain(const std::string &key, const std::string &key2, const std::string &value) {
    Ent2Get = 0;
    PutMem(DbmGetRecordList("t", "<", ">"));
    DbmFreeDbLinkList(DbmGetDbLinkList("t", ""));
    for (int i = 0; i < 64 && DbmGetNextRecord("t", gBuf.data()) > 0; i++) {
    }
    int size = DbmGetRecordSize("t", key.c_str());
    if (DbmGetRecord("t", key.c_str(), gBuf.data()) != size) abort();
    if (DbmPutRecord("t", key.c_str(), value.data(), static_cast<int>(value.size()))) {
        if (DbmGetRecord("t", key.c_str(), gBuf.data()) != static_cast<int>(value.size()) ||
            memcmp(gBuf.data(), value.data(), value.size()) != 0)
            abort();
    }
    DbmCopyRecord("t", key.c_str(), key2.c_str());
    DbmDeleteRecord("t", key2.c_str());
    if (!key.empty()) DbmDeleteRecords("t", key.substr(0, 1).c_str());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static std::string dir = fuzz::Scratch("database");
    pToolPath = dir.data();
    if (size < 1) return 0;
    int control = data[0];
    std::string key, key2, value, file, rest;
    fuzz::SplitAtNul(data + 1, size - 1, key, rest);
    std::string r2;
    fuzz::SplitAtNul(reinterpret_cast<const uint8_t *>(rest.data()), rest.size(), key2, r2);
    fuzz::SplitAtNul(reinterpret_cast<const uint8_t *>(r2.data()), r2.size(), value, file);
    fuzz::Empty(dir);
    mkdir((dir + "/db").c_str(), 0777);
    fuzz::Put(dir + "/db/t.odb", file.data(), file.size());
    Typed(control, key, key2, value);
    // The plain operations read the headerless format; start from the fuzzed file again.
    fuzz::Put(dir + "/db/t.odb", file.data(), file.size());
    Plain(key, key2, value);
    return 0;
}
