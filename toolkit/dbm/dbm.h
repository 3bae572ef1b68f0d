// Record database files (headerless and headered formats) and their plain operations.
#pragma once

#include <cstdio>

#include "toolkit/runtime/shared.h"

// Largest record body read from a file (0xFFF7); key length + data length + 3 may not exceed it.
#define DBM_MAX_BODY 65527
// Size of the buffer a record is built or read in.
#define DBM_RECORD_BUF 65536

// One record of a record list: key, NUL and data in one buffer.
typedef struct DbLinkNode {
    struct DbLinkNode *next; // next node, or null
    char *key;               // buffer holding the key, its NUL and the data
    char *data;              // points into key at the data
    int dataLen;             // data length
} DbLinkNode;

// Sequential read counter of DbmGetNextRecord; never reset, shared by all databases.
extern int Ent2Get;
// 1 while database names are full file paths (set by DbmSetV4DriverPathHandling, cleared by
// DbTClose).
extern char DbmV4DriverPathHandling;
// Byte-order probe: the bytes 01 02 03 04.
extern unsigned char TLBuf[4];

// Stores data under key, replacing every record with an equal key; the record goes to the end.
// Returns 1 when stored and renamed into place; 0 for null or empty arguments, an over-size
// record, a database file that exists but can't be read, or a failed write (the database file is
// then left as it was).
char DbmPutRecord(const char *name, const char *key, const void *data, int len);
// Removes the records whose key equals key. Returns 1 when the database was rewritten (also when
// no record matched), 0 when it is missing or a write failed.
char DbmDeleteRecord(const char *name, const char *key);
// Removes the records whose key begins with prefix (non-empty). Returns 1 once both the database
// and its working copy were opened, 0 otherwise.
char DbmDeleteRecords(const char *name, const char *prefix);
// Copies the data of the first record with key into dest (large enough; no size is passed).
// Returns the data length, 0 when there is none.
int DbmGetRecord(const char *name, const char *key, void *dest);
// Copies the data of record number Ent2Get into dest and advances Ent2Get.
// Returns the data length, 0 past the end (Ent2Get then stays).
int DbmGetNextRecord(const char *name, void *dest);
// Returns the data length of the first record with key, 0 when there is none.
int DbmGetRecordSize(const char *name, const char *key);
// Returns a new string of prefix + key for every record, then suffix once; null when the
// database is missing or empty.
char *DbmGetRecordList(const char *name, const char *prefix, const char *suffix);
// Returns a new list of the records whose key contains pattern, in file order, or null.
DbLinkNode *DbmGetDbLinkList(const char *name, const char *pattern);
// Frees every node of list and its buffer.
void DbmFreeDbLinkList(DbLinkNode *list);
// Stores the data of the record srcKey under dstKey. Returns 1 when stored.
char DbmCopyRecord(const char *name, const char *srcKey, const char *dstKey);
// Returns a new string of the database names in ./db: "a,b" for flag 0, " a b" otherwise;
// null when ./db can't be read.
char *DbmGetDbList(int flag);
// Prints every headerless record of <name>.db in the current directory (debug aid).
void DumpDbm(const char *name);
// Switches to full-path database names.
void DbmSetV4DriverPathHandling(void);
// Kept for compatibility; does nothing.
void DbmCreate(void);
// Kept for compatibility; does nothing.
void DbmDelete(void);

// Scrambles n bytes in place into an XOR chain.
void DbmScramble(unsigned char *b, int n);
// Restores n scrambled bytes in place.
void DbmUnscramble(unsigned char *b, int n);
// Scrambles the body of the headerless record in rec (2-byte host-order length, then the body)
// and writes length and body with one write. Returns 1 on success, 0 when the write fails.
char PutData(FILE *f, char *rec);
// Reads one headerless record into rec (DBM_RECORD_BUF bytes) and unscrambles its body.
// Returns 0 at end of file, on a short read, or for a damaged record.
char GetData(FILE *f, char *rec);
// Opens the database file of name with extension ext and mode (up to 10 tries, 1 s apart).
// Returns null at once when the file does not exist.
FILE *OpenDataBase(const char *name, const char *ext, const char *mode, int report);
// Creates and truncates the working copy of name. Returns the stream, or null.
FILE *OpenNewDataBase(const char *name);
// Finishes an update of name: flushes, syncs and closes the working copy out and renames it over
// the database. ok says whether everything written so far succeeded. On any failure prints
// "ERROR: Can't write to %s" (unless reported says it was printed already), removes the working
// copy and leaves the database as it was. Returns 1 when the database holds the new contents.
char CommitNewDataBase(const char *name, FILE *out, char ok, char reported);
// Renames the file of name with extension from over the one with extension to.
// Returns 1 when the target now holds the source.
char RenameDataBase(const char *name, const char *from, const char *to);
// Copies the records of in to out, dropping those whose key matches key (over prefixLen bytes,
// or whole keys when prefixLen is 0). Returns 0 after a failed write.
char PurgeRecord(const char *name, FILE *in, FILE *out, const char *key, int prefixLen);
