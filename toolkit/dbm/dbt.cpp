// Typed databases. A handle keeps the whole database file as an image in memory; reads and
// changes work on the image, and changes are written back through the working copy of the plain
// operations. Lookups go through a key index over the image, rebuilt whenever the image changes,
// so they cost the same in small and large databases while keeping first-match semantics.
#include "toolkit/dbm/dbt.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "toolkit/runtime/files.h"
#include "toolkit/runtime/memory.h"
#include "toolkit/runtime/shared.h"
#include "toolkit/runtime/tokens.h"

char *pMem = nullptr;

namespace {

constexpr int kHeaderSize = 16;
constexpr int kScratchSize = 65535;

// Key index of one handle: an open-addressing table of the first record of every key, holding
// the key's hash and the record's start. It describes the image it was built for, identified by
// address and length; a hit is confirmed against the record itself.
struct Slot {
    uint32_t hash;
    int start; // negative: empty slot
};

struct KeyIndex {
    const char *image = nullptr;
    int length = -1;
    int used = 0;
    std::vector<Slot> slots; // size a power of two, at most half full
};

// What the module keeps about one open handle beside the handle itself (whose layout is the
// public record): made on first use, forgotten in Forget() when the handle is opened or closed.
struct HandleState {
    KeyIndex index;
    // The image stands in for a database file that has contents but could not be read. Such an
    // image is never written back: it would take the place of every record in the file.
    bool unread = false;
};

std::unordered_map<const DbTHandle *, HandleState> states;

HandleState &State(const DbTHandle *h) {
    return states[h];
}

// A new handle may sit at the address of one given back earlier.
void Forget(const DbTHandle *h) {
    states.erase(h);
}

void DropIndex(const DbTHandle *h) {
    auto it = states.find(h);
    if (it != states.end()) it->second.index = KeyIndex();
}

KeyIndex *CurrentIndex(const DbTHandle *h) {
    auto it = states.find(h);
    if (it == states.end()) return nullptr;
    KeyIndex &ix = it->second.index;
    return ix.image == h->image && ix.length == h->imageLength ? &ix : nullptr;
}

uint32_t KeyHash(std::string_view key) {
    uint32_t hash = 2166136261u;
    for (unsigned char c : key)
        hash = (hash ^ c) * 16777619u;
    return hash;
}

void Insert(KeyIndex &ix, uint32_t hash, int start);

void Grow(KeyIndex &ix) {
    std::vector<Slot> old = std::move(ix.slots);
    ix.slots.assign(old.empty() ? 16 : old.size() * 2, Slot{0, -1});
    ix.used = 0;
    for (const Slot &slot : old)
        if (slot.start >= 0) Insert(ix, slot.hash, slot.start);
}

void Insert(KeyIndex &ix, uint32_t hash, int start) {
    if ((size_t)(ix.used + 1) * 2 > ix.slots.size()) Grow(ix);
    size_t mask = ix.slots.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask)
        if (ix.slots[i].start < 0) {
            ix.slots[i] = {hash, start};
            ix.used++;
            return;
        }
}

bool HostIsBigEndian() {
    uint32_t v;
    memcpy(&v, TLBuf, 4);
    return v == 0x01020304;
}

uint16_t Swapped(uint16_t v, bool swap) {
    return swap ? (uint16_t)((v >> 8) | (v << 8)) : v;
}

unsigned ReadLength(const DbTHandle *h, int offset) {
    uint16_t v;
    memcpy(&v, h->image + offset, 2);
    return Swapped(v, h->swapFlag);
}

void WriteLength(DbTHandle *h, int offset, unsigned value) {
    uint16_t v = Swapped((uint16_t)value, h->swapFlag);
    memcpy(h->image + offset, &v, 2);
}

bool Headerless(const DbTHandle *h) {
    return h->format == 1;
}

void Refresh(DbTHandle *h) {
    if (!(h->openFlags & DBT_NO_RELOAD)) DbTUpDate(h);
}

// The file a handle loads: a path as given (".odb" added to an absolute path without any '.'),
// else the database of that name under the tool directory.
std::string LoadPath(const char *name) {
    if (name[0] == '/') return strchr(name, '.') ? name : std::string(name) + ".odb";
    if (name[0] == '.') return name;
    const char *tool = pToolPath && *pToolPath ? pToolPath : ".";
    return std::string(tool) + "/db/" + name + ".odb";
}

// Why the last walk ended early (DBT_DAMAGE_*), for DbTCheckImage.
int lastDamage = DBT_DAMAGE_NONE;

// Ends every walk at a damaged record by cutting the image at its start.
DbTRecord *Cut(DbTHandle *h, int start, int reason) {
    h->imageLength = start;
    lastDamage = reason;
    DropIndex(h);
    return nullptr;
}

// The key of the record just walked, with its NUL; for a headered image this moves the cursor
// from the key to the data.
std::string ReadKey(DbTHandle *h, const DbTRecord &r) {
    if (Headerless(h)) return std::string(r.key, r.keySize);
    std::string key(r.keySize, '\0');
    DbmTGetData(h, key.data(), r.keySize);
    return key;
}

std::string_view KeyText(const std::string &key) {
    return {key.c_str(), strlen(key.c_str())};
}

// Copies the data of the record just found or walked (key already passed) into dest.
void CopyData(DbTHandle *h, const DbTRecord &r, void *dest, int n) {
    if (Headerless(h))
        memcpy(dest, r.key + r.keySize, (size_t)n);
    else
        DbmTGetData(h, dest, n);
}

int DataLength(const DbTRecord &r) {
    return (int)r.bodyLength - (int)r.keySize - 2;
}

KeyIndex &BuildIndex(DbTHandle *h) {
    KeyIndex fresh;
    std::unordered_set<std::string> seen;
    DbTRecord r;
    for (int call = 0; WalkDbTRecords(h, &r, call); call++) {
        std::string key = ReadKey(h, r);
        if (seen.insert(key).second)
            Insert(fresh, KeyHash(key), h->walkPosition - r.bodyLength - 2);
    }
    KeyIndex &ix = State(h).index;
    ix = std::move(fresh);
    ix.image = h->image;
    ix.length = h->imageLength;
    return ix;
}

KeyIndex &Index(DbTHandle *h) {
    KeyIndex *ix = CurrentIndex(h);
    return ix ? *ix : BuildIndex(h);
}

// Finds the first record whose key (with its NUL) is key through the index. On a hit rec is
// filled and, for a headered image, the cursor stands at the record's data.
bool Lookup(DbTHandle *h, std::string_view key, DbTRecord *rec) {
    KeyIndex &ix = Index(h);
    if (ix.slots.empty()) return false;
    uint32_t hash = KeyHash(key);
    std::string scrambled(key); // headered keys are compared in their stored form
    DbmScramble(reinterpret_cast<unsigned char *>(scrambled.data()), (int)scrambled.size());
    size_t mask = ix.slots.size() - 1;
    for (size_t i = hash & mask; ix.slots[i].start >= 0; i = (i + 1) & mask) {
        if (ix.slots[i].hash != hash) continue;
        h->walkPosition = ix.slots[i].start;
        if (!WalkDbTRecords(h, rec, 1) || rec->keySize != key.size()) continue;
        if (Headerless(h)) {
            if (memcmp(rec->key, key.data(), key.size()) == 0) return true;
        } else if (memcmp(h->image + h->cursor, scrambled.data(), key.size()) == 0) {
            h->cursor += rec->keySize;
            return true;
        }
    }
    return false;
}

char *SaveText(const std::string &text) {
    char *s = GetMem((int)text.size() + 1);
    if (s) memcpy(s, text.data(), text.size());
    return s;
}

// prefix + key for every record whose key passes keys (all when null), then suffix; null if none.
char *KeyList(DbTHandle *h, const char *keys, const char *prefix, const char *suffix) {
    Refresh(h);
    std::string text;
    bool any = false;
    DbTRecord r;
    for (int call = 0; WalkDbTRecords(h, &r, call); call++) {
        std::string key = ReadKey(h, r);
        if (keys && !TestKeyName(key.c_str(), keys)) continue;
        text += prefix;
        text += KeyText(key);
        any = true;
    }
    if (!any) return nullptr;
    text += suffix;
    return SaveText(text);
}

// Writes a change through. When that fails the image no longer matches the file, so the next
// operation reloads the file and the change is dropped (unless open flag 2 makes the image the
// only truth).
char WriteThrough(DbTHandle *h) {
    if (DbmTArchiveDb(h)) return 1;
    h->fileTime = 0;
    return 0;
}

} // namespace

void DbTSetDbType(DbTHandle *h, int format) {
    if (!h) return;
    h->format = format;
    h->swapFlag = format != 1 && !HostIsBigEndian();
}

void UpdateHeader(DbTHandle *h) {
    if (!h || !h->image || h->imageLength < kHeaderSize) return;
    char count[32], text[kHeaderSize];
    snprintf(count, sizeof count, "%li", (long)h->recordCount);
    count[9] = '\0';
    int n = snprintf(text, sizeof text, "TODBAA%s", count);
    memcpy(h->image, text, (size_t)n + 1);
    for (int i = n + 1; i < kHeaderSize; i++)
        h->image[i] = (char)(rand() % 256);
}

void DbTUpDate(DbTHandle *h) {
    if (!h || !h->name) return;
    std::string path = LoadPath(h->name);
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return;
    if (h->image && st.st_mtime == h->fileTime) return;
    PutMem(h->image);
    h->image = nullptr;
    DropIndex(h);
    h->changedFlag = 1;
    char *content = nullptr;
    for (int tries = 0; tries < 10; tries++) {
        if (tries) WaitSeconds(1);
        content = GetSavedFileContent(path.c_str(), nullptr);
        if (content || SavedFileSize == 0) break;
    }
    if (!content) {
        State(h).unread = SavedFileSize != 0;
        h->imageLength = h->cursor = h->walkPosition = h->recordCount = 0;
        // An empty file is loaded as it stands (a time of 0 would reload it at every
        // operation and drop the changes held back for DbmTArchiveDb); one that could
        // not be read is tried again.
        h->fileTime = SavedFileSize == 0 ? st.st_mtime : 0;
        h->changedFlag = 0;
        h->format = 0;
        if ((h->image = GetMem(kHeaderSize))) {
            h->imageLength = kHeaderSize;
            UpdateHeader(h);
        }
        return;
    }
    State(h).unread = false;
    h->image = content;
    h->imageLength = SavedFileSize;
    h->fileTime = st.st_mtime;
    h->cursor = h->walkPosition = 0;
    if (SavedFileSize >= 5 && memcmp(content, "TODBAA", 5) == 0) {
        h->recordCount = SavedFileSize > 6 ? atoi(content + 6) : 0;
        DbTSetDbType(h, 2);
    } else {
        DbTSetDbType(h, 1);
    }
}

DbTHandle *DbTOpen(const char *name, int flags) {
    if (!name) return nullptr;
    auto *h = reinterpret_cast<DbTHandle *>(GetMem(sizeof(DbTHandle)));
    if (!h) return nullptr;
    Forget(h);
    h->name = SaveStr_(name);
    h->changedFlag = 0;
    h->openFlags = (unsigned)flags;
    DbTUpDate(h);
    return h;
}

void DbTClose(DbTHandle *h) {
    DbmV4DriverPathHandling = 0;
    if (!h) return;
    Forget(h);
    PutMem(h->image);
    PutMem(h->name);
    PutMem(h);
}

void DbmTPutData(DbTHandle *h, const void *src, int n) {
    if (!h || !h->image || n <= 0) return;
    auto *p = reinterpret_cast<unsigned char *>(h->image + h->cursor);
    memcpy(p, src, (size_t)n);
    DbmScramble(p, n);
    h->cursor += n;
}

void DbmTGetData(DbTHandle *h, void *dst, int n) {
    if (!h || n <= 0) return;
    if (!h->image || h->cursor < 0 || h->cursor + n > h->imageLength) {
        memset(dst, 0, (size_t)n);
        return;
    }
    memcpy(dst, h->image + h->cursor, (size_t)n);
    DbmUnscramble(static_cast<unsigned char *>(dst), n);
    h->cursor += n;
}

DbTRecord *WalkDbTRecords(DbTHandle *h, DbTRecord *rec, int call) {
    if (!h || !h->image || !rec) return nullptr;
    if (Headerless(h) && !pMem && !(pMem = GetMem(kScratchSize))) return nullptr;
    if (call == 0) {
        h->walkPosition = Headerless(h) ? 0 : kHeaderSize;
        lastDamage = DBT_DAMAGE_NONE;
    }
    int start = h->walkPosition;
    if (start >= h->imageLength) return nullptr;
    if (start + 2 > h->imageLength) return Cut(h, start, DBT_DAMAGE_LENGTH_CUT);
    unsigned len = ReadLength(h, start);
    if (start + 2 + (int)len > h->imageLength) return Cut(h, start, DBT_DAMAGE_PAST_END);
    if (len < 2) return Cut(h, start, DBT_DAMAGE_SHORT_BODY);
    h->cursor = start + 2;
    unsigned keySize;
    if (Headerless(h)) {
        DbmTGetData(h, pMem, (int)len);
        uint16_t k;
        memcpy(&k, pMem, 2);
        keySize = k;
        rec->key = pMem + 2;
    } else {
        keySize = ReadLength(h, h->cursor);
        h->cursor += 2;
        rec->key = nullptr;
    }
    // A body must hold its key size field and its key.
    if (keySize + 2 > len) return Cut(h, start, DBT_DAMAGE_SHORT_BODY);
    rec->bodyLength = (unsigned short)len;
    rec->keySize = (unsigned short)keySize;
    h->walkPosition = start + (int)len + 2;
    return rec;
}

char FindTRecord(DbTHandle *h, const char *key, DbTRecord *rec) {
    if (!h || !h->image || !key || !*key || !rec) return 0;
    return Lookup(h, std::string_view(key, strlen(key) + 1), rec);
}

char PurgeTRecord(DbTHandle *h, const char *key, int prefixLen) {
    if (!h || !key || !*key) return 0;
    Refresh(h);
    if (!h->image) return 0;
    size_t keyLen = strlen(key);
    // Whole-key removal of a key the image does not hold needs no walk.
    DbTRecord found;
    if (prefixLen <= 0 && !Lookup(h, std::string_view(key, keyLen + 1), &found)) return 0;
    bool removed = false;
    DbTRecord r;
    for (int call = 0; WalkDbTRecords(h, &r, call); call++) {
        size_t n = prefixLen > 0 ? (size_t)prefixLen : keyLen + 1;
        bool candidate = prefixLen > 0 ? r.keySize >= n : r.keySize == n;
        if (!candidate || memcmp(ReadKey(h, r).data(), key, n) != 0) continue;
        int end = h->walkPosition, start = end - r.bodyLength - 2;
        memmove(h->image + start, h->image + end, (size_t)(h->imageLength - end));
        h->imageLength -= end - start;
        if (h->recordCount > 0) h->recordCount--;
        h->walkPosition = start;
        removed = true;
    }
    if (!removed) return 0;
    // An emptied headerless image keeps an allocation: a loaded database always has an image.
    if (char *shrunk = AdjustMem(h->image, h->imageLength > 0 ? h->imageLength : 1))
        h->image = shrunk;
    h->changedFlag = 1;
    DropIndex(h);
    return 1;
}

char DbmTPutRecord(DbTHandle *h, const char *key, const void *data, int len) {
    // An empty key is refused like a null one: no lookup or removal can reach it.
    if (!h || !key || !*key || !data || len <= 0) return 0;
    size_t keyLen = strlen(key);
    if (keyLen > DBT_MAX_KEY || keyLen + (size_t)len + 3 > DBM_MAX_BODY) return 0;
    if (h->format == 0) DbTSetDbType(h, 2);
    PurgeTRecord(h, key, 0);
    unsigned keySize = (unsigned)keyLen + 1, body = keySize + (unsigned)len + 2;
    int start = h->imageLength;
    if (!Headerless(h) && start < kHeaderSize) start = kHeaderSize;
    KeyIndex *ix = CurrentIndex(h);
    char *image = AdjustMem(h->image, start + (int)body + 2);
    if (!image) return 0;
    h->image = image;
    h->cursor = start;
    WriteLength(h, h->cursor, body);
    h->cursor += 2;
    if (Headerless(h)) {
        std::vector<unsigned char> rec(body);
        uint16_t k = (uint16_t)keySize;
        memcpy(rec.data(), &k, 2);
        memcpy(rec.data() + 2, key, keySize);
        memcpy(rec.data() + 2 + keySize, data, (size_t)len);
        DbmTPutData(h, rec.data(), (int)body);
    } else {
        WriteLength(h, h->cursor, keySize);
        h->cursor += 2;
        DbmTPutData(h, key, (int)keySize);
        DbmTPutData(h, data, len);
        h->recordCount++;
    }
    h->imageLength = start + (int)body + 2;
    h->changedFlag = 1;
    if (ix) { // the index stays valid: the record is appended and its key was not present
        Insert(*ix, KeyHash(std::string_view(key, keySize)), start);
        ix->image = h->image;
        ix->length = h->imageLength;
    }
    if (h->openFlags & DBT_NO_WRITEBACK) return 1;
    return WriteThrough(h);
}

char DbmTDeleteRecord(DbTHandle *h, const char *key) {
    if (!h || !key || !*key || !PurgeTRecord(h, key, 0)) return 0;
    return (h->openFlags & DBT_NO_WRITEBACK) ? 1 : WriteThrough(h);
}

char DbmTDeleteRecords(DbTHandle *h, const char *prefix) {
    if (!h || !prefix || !*prefix) return 0;
    if (PurgeTRecord(h, prefix, (int)strlen(prefix)) && !(h->openFlags & DBT_NO_WRITEBACK))
        WriteThrough(h);
    return 1;
}

int DbmTGetRecord(DbTHandle *h, const char *key, void *dest) {
    if (!h || !key || !dest) return 0;
    Refresh(h);
    DbTRecord r;
    if (!FindTRecord(h, key, &r)) return 0;
    int n = DataLength(r);
    CopyData(h, r, dest, n);
    return n;
}

int DbmTGetRecordV(DbTHandle *h, const char *key, char **buf, int capacity) {
    if (!h || !key || !buf) return 0;
    Refresh(h);
    DbTRecord r;
    if (!FindTRecord(h, key, &r)) return 0;
    int n = DataLength(r);
    if (n <= 0) return 0;
    if (n > capacity || !*buf) {
        char *fresh = GetMem(n);
        if (!fresh) return 0;
        *buf = fresh;
    }
    CopyData(h, r, *buf, n);
    return n;
}

int DbmTGetRecordSize(DbTHandle *h, const char *key) {
    if (!h || !key) return 0;
    Refresh(h);
    DbTRecord r;
    return FindTRecord(h, key, &r) ? DataLength(r) : 0;
}

char DbmTCopyRecord(DbTHandle *h, const char *srcKey, const char *dstKey) {
    if (!h || !srcKey || !dstKey) return 0;
    Refresh(h);
    std::vector<char> buf(DBM_RECORD_BUF);
    int n = DbmTGetRecord(h, srcKey, buf.data());
    return n ? DbmTPutRecord(h, dstKey, buf.data(), n) : 0;
}

char *DbmTGetRecordList(DbTHandle *h, const char *prefix, const char *suffix) {
    if (!h || !prefix || !suffix) return nullptr;
    return KeyList(h, nullptr, prefix, suffix);
}

char *DbmTGetRecordListS(DbTHandle *h, const char *keys, const char *prefix, const char *suffix) {
    if (!h || !keys || !*keys || !prefix || !suffix) return nullptr;
    return KeyList(h, keys, prefix, suffix);
}

char TestKeyName(const char *key, const char *list) {
    if (!key || !list) return 0;
    // The entries are tokens of the shared tokenizer (escapes included); only the remainder
    // pointer, which callers use to take the rest of a line, is given back.
    char *rest = szTokenIn;
    char found = 0;
    // GetToken only reads its input.
    for (char *entry = GetToken(const_cast<char *>(list), ","); entry && !found;
         entry = GetToken(nullptr, ","))
        found = strncmp(key, entry, strlen(entry)) == 0;
    szTokenIn = rest;
    return found;
}

DbLinkNode *DbmTGetDbLinkList(DbTHandle *h, const char *pattern) {
    if (!h || !pattern) return nullptr;
    Refresh(h);
    DbLinkNode *head = nullptr, **tail = &head;
    DbTRecord r;
    for (int call = 0; WalkDbTRecords(h, &r, call); call++) {
        std::string key = ReadKey(h, r);
        if (KeyText(key).find(pattern) == std::string_view::npos) continue;
        auto *node = reinterpret_cast<DbLinkNode *>(GetMem(sizeof(DbLinkNode)));
        if (!node) continue;
        if ((node->key = GetMem(r.bodyLength))) {
            memcpy(node->key, key.data(), r.keySize);
            node->data = node->key + r.keySize;
            node->dataLen = DataLength(r);
            CopyData(h, r, node->data, node->dataLen);
        }
        *tail = node;
        tail = &node->next;
    }
    return head;
}

char DbmTArchiveDb(DbTHandle *h) {
    if (!h || !h->name) return 0;
    if (State(h).unread) {
        fprintf(stderr, "ERROR: Can't write to %s", h->name);
        return 0;
    }
    if (!Headerless(h)) UpdateHeader(h);
    if (!FindFile(".", "db")) CreateFile("./db", nullptr, "777", nullptr, nullptr);
    FILE *out = OpenNewDataBase(h->name);
    if (!out) return 0;
    // An image of no bytes (nothing loaded, or every record of a headerless database removed)
    // counts as a failed write.
    bool ok = h->image && h->imageLength > 0 &&
              fwrite(h->image, 1, (size_t)h->imageLength, out) == (size_t)h->imageLength;
    return CommitNewDataBase(h->name, out, ok, 0);
}

char DbTCheckImage(DbTHandle *h, DbTCheck *out) {
    if (!h || !out) return 0;
    *out = DbTCheck{0, h->image ? h->imageLength : 0, -1, DBT_DAMAGE_NONE};
    if (!h->image) return 1;
    if (!Headerless(h) && h->imageLength < kHeaderSize) {
        out->damageOffset = 0;
        out->damage = DBT_DAMAGE_HEADER_CUT;
        return 0;
    }
    DbTRecord r;
    for (int call = 0; WalkDbTRecords(h, &r, call); call++)
        out->records++;
    if (lastDamage == DBT_DAMAGE_NONE) return 1;
    out->damageOffset = h->imageLength;
    out->damage = lastDamage;
    return 0;
}
