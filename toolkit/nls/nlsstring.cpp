// Translated-string lookup and formatted output.
//
// Every fetch passes through StrBuf, which holds at most 2047 characters and a NUL;
// longer records are cut there (mode 3 alone hands out strings of any length). A miss
// never fails: the caller gets the key text, so a missing translation shows as its key.
#include "toolkit/nls/nlsstring.h"

#include "toolkit/dbm/dbt.h"
#include "toolkit/runtime/memory.h"

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <string>
#include <unordered_set>

DbTHandle *pPrtCoreDB = nullptr;
char StrBuf[NLS_STRBUF_SIZE];
char *pErrBuf = nullptr;
char StrVal[NLS_STRVAL_SIZE];
char NlsBuf[NLSBUF_SIZE];

namespace {

// Key text of the current numeric fetch.
char NumKey[32];
// Whether the last fetch missed.
bool LastMissed = false;

// The key text handed out on a numeric miss: one copy per key for the life of the process,
// so callers may keep it (the engine keeps some messages for good after one fetch).
char *StableKey(const char *key) {
    static std::unordered_set<std::string> keys;
    return const_cast<char *>(keys.emplace(key).first->c_str());
}

// Copies src into out (size bytes), cut and terminated.
void CopyCut(char *out, size_t size, const char *src) {
    if (size == 0) return;
    size_t n = std::min(strlen(src), size - 1);
    memcpy(out, src, n);
    out[n] = '\0';
}

// Reads record `key` into StrBuf, cut to NLS_STRBUF_SIZE - 1 characters and terminated.
// Returns the stored data length, 0 when there is no such record.
int ReadIntoStrBuf(DbTHandle *db, const char *key) {
    if (!db) return 0;
    char *p = StrBuf;
    int len = DbmTGetRecordV(db, key, &p, NLS_STRBUF_SIZE);
    if (len <= 0) return 0;
    if (p != StrBuf) {
        memcpy(StrBuf, p, NLS_STRBUF_SIZE - 1);
        PutMem(p);
    }
    StrBuf[std::min(len, NLS_STRBUF_SIZE - 1)] = '\0';
    return len;
}

// Mode 3: the whole record as a new string, or the key text.
char *FetchWhole(DbTHandle *db, const char *key) {
    char *p = StrBuf;
    int len = db ? DbmTGetRecordV(db, key, &p, NLS_STRBUF_SIZE) : 0;
    LastMissed = len <= 0;
    if (LastMissed) return StableKey(key);
    char *copy = GetMem(len); // len + 1 zero-filled bytes: always terminated
    if (copy) memcpy(copy, p, len);
    if (p != StrBuf) PutMem(p);
    return copy ? copy : StableKey(key);
}

// Modes 0-2 for a resolved key; `size` bounds what is written into `out`.
char *FetchKey(DbTHandle *db, const char *key, char *out, size_t size) {
    LastMissed = ReadIntoStrBuf(db, key) <= 0;
    if (!LastMissed) {
        if (!out) return SaveStr("%s", StrBuf);
        CopyCut(out, size, StrBuf);
        return out;
    }
    if (out) CopyCut(out, size, key);
    return const_cast<char *>(key);
}

char *Fetch(DbTHandle *db, char *out, size_t size, int mode, va_list ap) {
    if (!pErrBuf) pErrBuf = SaveStr_("Error");
    if (mode == NLS_BY_NUMBER || mode == NLS_BY_NUMBER_V) {
        int set = va_arg(ap, int);
        int number = va_arg(ap, int);
        if (!db && (set == 0 || number == 0)) return pErrBuf;
        snprintf(NumKey, sizeof NumKey, "%d_%d", set, number);
        if (mode == NLS_BY_NUMBER_V) return FetchWhole(db, NumKey);
        char *r = FetchKey(db, NumKey, out, size);
        return LastMissed ? StableKey(NumKey) : r;
    }
    if (mode == NLS_BY_KEY || mode == NLS_BY_KEY2) {
        const char *key = va_arg(ap, const char *);
        if (!db || !key) return pErrBuf;
        return FetchKey(db, key, out, size);
    }
    return pErrBuf;
}

// Fetches set/number as a format; null on a miss. Free with ReleaseFormat.
char *FetchFormat(DbTHandle *db, int set, int number) {
    char *text = NlsFetchString(db, nullptr, NLS_BY_NUMBER, set, number);
    return text != pErrBuf && LastMissed ? nullptr : text;
}

void ReleaseFormat(char *text) {
    if (text && text != pErrBuf && !LastMissed) PutMem(text);
}

} // namespace

char *NlsFetchString(DbTHandle *db, char *out, int mode, ...) {
    va_list ap;
    va_start(ap, mode);
    char *result = Fetch(db, out, NLS_STRBUF_SIZE, mode, ap);
    va_end(ap);
    return result;
}

char *NlsFetchStringN(DbTHandle *db, char *out, size_t size, int mode, ...) {
    va_list ap;
    va_start(ap, mode);
    char *result = Fetch(db, out, size, mode, ap);
    va_end(ap);
    return result;
}

DbTHandle *NlsOpenDB(const char *name, int flags) {
    if (!name) return nullptr;
    char *lang = SaveStr_(GetDesiredNLSLang());
    const char *tool = pToolPath && *pToolPath ? pToolPath : ".";
    char *path = SaveStr("%s/db/%s/%s.odb", tool, lang, name);
    // A relative tool path must still read as a path, not as a database name.
    bool bare = *tool != '/' && *tool != '.';
    char *open = bare ? SaveStr("./%s", path) : path;
    DbTHandle *db = DbTOpen(open, flags);
    if (db && db->format == 0 && strncmp(lang, "en_US", 5) == 0) {
        fprintf(stderr, "ERROR:  Could not open English database:  %s\n", path);
        DbTClose(db);
        db = nullptr;
    }
    if (open != path) PutMem(open);
    PutMem(lang);
    PutMem(path);
    return db;
}

void Nlsfprintf(FILE *fp, DbTHandle *db, int set, int number, ...) {
    char key[16];
    snprintf(key, sizeof key, "%d_%d", set, number);
    char *text = NlsFetchString(db, nullptr, NLS_BY_KEY, key);
    if (text == key) {
        fputs("Error", fp);
        return;
    }
    va_list ap;
    va_start(ap, number);
    vfprintf(fp, text, ap);
    va_end(ap);
    ReleaseFormat(text);
}

void Nlssprintf(char *out, DbTHandle *db, int set, int number, ...) {
    if (!out) return;
    char *text = FetchFormat(db, set, number);
    if (!text) {
        strcpy(out, "Error");
        return;
    }
    va_list ap;
    va_start(ap, number);
    vsprintf(out, text, ap);
    va_end(ap);
    ReleaseFormat(text);
}

void Nlssnprintf(char *out, size_t size, DbTHandle *db, int set, int number, ...) {
    if (!out || size == 0) return;
    char *text = FetchFormat(db, set, number);
    if (!text) {
        CopyCut(out, size, "Error");
        return;
    }
    va_list ap;
    va_start(ap, number);
    vsnprintf(out, size, text, ap);
    va_end(ap);
    ReleaseFormat(text);
}

char *NlsGuiStrCvt(const char *pattern, int set, char *out, int size) {
    if (!out || size <= 0) return out;
    memset(out, 0, size);
    if (!pattern) return out;
    char work[NLS_GUIWORK_SIZE] = {};
    size_t room = size - 1, len = 0;
    int number = 1;
    for (const char *p = pattern; *p && len < room; ++p) {
        if (p[0] == '%' && p[1] == 's') {
            NlsFetchStringN(pDrvCoreDB, work, sizeof work, NLS_BY_NUMBER, set, number++);
            size_t n = std::min(strlen(work), room - len);
            memcpy(out + len, work, n);
            len += n;
            memset(work, 0, sizeof work);
            ++p;
        } else {
            out[len++] = *p;
        }
    }
    return out;
}

char *NlsCalcStrVal(const char *text) {
    uint32_t sum = 0, weighted = 0;
    if (text) {
        uint32_t i = 1;
        for (const char *p = text; *p; ++p, ++i) {
            uint32_t c = static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(*p)));
            sum += c;
            weighted += i * i * c;
        }
    }
    snprintf(StrVal, sizeof StrVal, "%08X%08X", weighted, sum);
    return StrVal;
}
