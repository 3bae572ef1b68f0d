// Typed databases: a record database loaded into memory, changed there and written back.
#pragma once

#include <ctime>

#include "toolkit/dbm/dbm.h"
#include "toolkit/runtime/shared.h"

// Longest key of a typed database (keys are unscrambled into 4096-byte buffers).
#define DBT_MAX_KEY 4095

// Open flag: do not reload the file before each operation.
#define DBT_NO_RELOAD 2
// Open flag: do not write the database back after each change.
#define DBT_NO_WRITEBACK 4

// An open typed database.
typedef struct DbTHandle {
    char *name;             // database name or path as given to DbTOpen (owned copy)
    char swapFlag;          // 1 when length fields are byte-reversed
    unsigned int openFlags; // DBT_NO_RELOAD, DBT_NO_WRITEBACK
    char *image;            // the whole file as loaded and changed; null while nothing is loaded
    int imageLength;        // bytes used in the image
    time_t fileTime;        // modification time of the file when it was loaded
    int cursor;             // image offset of the next scrambled read or write
    int walkPosition;       // image offset of the next record of a walk
    int recordCount;        // the header's record count (headered format)
    char changedFlag;       // 1 once the image was (re)loaded or changed
    int format;             // 0 new, 1 headerless, 2 headered
} DbTHandle;

// A record found by a walk.
typedef struct DbTRecord {
    unsigned short bodyLength; // L
    unsigned short keySize;    // K: key length + 1
    char *key;                 // headerless only: the unscrambled key, followed by the data
} DbTRecord;

// Why a walk ended before the end of the image (DbTCheck::damage).
#define DBT_DAMAGE_NONE 0
#define DBT_DAMAGE_LENGTH_CUT 1 // fewer than 2 bytes left for a record's length field
#define DBT_DAMAGE_PAST_END 2   // the record's body runs past the end of the file
#define DBT_DAMAGE_SHORT_BODY 3 // the body is too short for its key size field and key
#define DBT_DAMAGE_HEADER_CUT 4 // a headered file shorter than its 16-byte header

// What DbTCheckImage found.
typedef struct DbTCheck {
    int records;      // records walked before the end or the damage
    int length;       // bytes in the image before the walk
    int damageOffset; // file offset of the first damaged record, -1 when none
    int damage;       // DBT_DAMAGE_*
} DbTCheck;

// Process-wide scratch buffer (65535 bytes) into which headerless record bodies are unscrambled.
extern char *pMem;

// Opens a typed database by name or path with the open flags. Returns the handle (with no image
// and format 0 when the file is missing), or null for a null name or short memory.
DbTHandle *DbTOpen(const char *name, int flags);
// (Re)loads the image when the file's modification time differs from the loaded one.
void DbTUpDate(DbTHandle *h);
// Frees the handle without writing; clears DbmV4DriverPathHandling in every case.
void DbTClose(DbTHandle *h);
// Sets the format (0, 1 or 2) and the swap flag that goes with it.
void DbTSetDbType(DbTHandle *h, int format);
// Stores data under key. Returns 1 when stored (and written back unless flag 4 is set); 0 for
// bad arguments (an empty key among them), an over-size record or key, an image that can't grow, or
// a failed write-back.
char DbmTPutRecord(DbTHandle *h, const char *key, const void *data, int len);
// Removes the records with an equal key. Returns 1 when one was removed (and written back).
char DbmTDeleteRecord(DbTHandle *h, const char *key);
// Removes the records whose key begins with prefix. Returns 1 for valid arguments.
char DbmTDeleteRecords(DbTHandle *h, const char *prefix);
// Copies the data of the first record with key into dest. Returns the data length, 0 if none.
int DbmTGetRecord(DbTHandle *h, const char *key, void *dest);
// As DbmTGetRecord into *buf; when the data exceeds capacity, *buf first receives a new buffer
// of exactly the data length (the old one is not freed). Returns the data length, 0 if none.
int DbmTGetRecordV(DbTHandle *h, const char *key, char **buf, int capacity);
// Returns the data length of the first record with key, 0 if none.
int DbmTGetRecordSize(DbTHandle *h, const char *key);
// Stores the data of srcKey under dstKey. Returns 1 when stored.
char DbmTCopyRecord(DbTHandle *h, const char *srcKey, const char *dstKey);
// Returns a new string of prefix + key for every record, then suffix once; null if no records.
char *DbmTGetRecordList(DbTHandle *h, const char *prefix, const char *suffix);
// As DbmTGetRecordList for the keys beginning with an entry of the comma-separated keys list.
char *DbmTGetRecordListS(DbTHandle *h, const char *keys, const char *prefix, const char *suffix);
// Returns a new list of the records whose key contains pattern, in image order, or null.
DbLinkNode *DbmTGetDbLinkList(DbTHandle *h, const char *pattern);
// Writes the image back through the working copy. Returns 1 when written and renamed into place;
// 0 (with "ERROR: Can't write to %s") also when the image stands in for a database file that has
// contents but could not be read.
char DbmTArchiveDb(DbTHandle *h);

// Scrambles n bytes from src into the image at the cursor and advances the cursor.
void DbmTPutData(DbTHandle *h, const void *src, int n);
// Unscrambles n bytes from the image at the cursor into dst and advances the cursor.
void DbmTGetData(DbTHandle *h, void *dst, int n);
// Returns rec filled with the next record of a walk (call 0 starts it), or null at the end; a
// damaged record cuts the image at its start and ends the walk.
DbTRecord *WalkDbTRecords(DbTHandle *h, DbTRecord *rec, int call);
// Walks every record of the image as the readers do and fills out with the records found and
// where and why the walk stopped early. Like every walk it cuts the image at the damage, so a
// later write-back stores only the records before it. Returns 1 when nothing is damaged.
char DbTCheckImage(DbTHandle *h, DbTCheck *out);
// Finds the first record whose key equals key. Returns 1 with rec filled (and, headered, the
// cursor at its data), else 0.
char FindTRecord(DbTHandle *h, const char *key, DbTRecord *rec);
// Removes the records matching key (whole keys, or prefixLen bytes). Returns 1 if any was removed.
char PurgeTRecord(DbTHandle *h, const char *key, int prefixLen);
// Returns 1 when key begins with an entry of the comma-separated list.
char TestKeyName(const char *key, const char *list);
// Rewrites the 16-byte header ("TODBAA", count, NUL, random filler) at the image start.
void UpdateHeader(DbTHandle *h);
