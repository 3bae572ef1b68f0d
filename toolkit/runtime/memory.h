// Memory manager: node-table allocator over blocks mapped from /dev/zero, string savers.
//
// Small requests are served in 32-byte nodes of 64 KiB standard blocks; each
// block keeps a MAT, a text of one mark per node (' ' free, 'U' used), so that
// finding room is a substring search (first fit, lowest node). Requests whose
// rounded length exceeds 64 KiB get a dedicated block. Memory is zero-filled.
// Single-threaded.
#pragma once

#include "toolkit/runtime/shared.h"

// Unit of allocation in a standard block.
#define MEM_NODE_SIZE 32
// Nodes per block: the length of the MAT and of the node table.
#define MEM_NODES 2048
// Data area of a standard block (and the smallest data area of any block).
#define MEM_BLOCK_SIZE (MEM_NODES * MEM_NODE_SIZE)
// MAT marks.
#define MEM_FREE ' '
#define MEM_USED 'U'

// Node table entry: the allocation that starts at this node, if any.
struct MemNode {
    unsigned short Count; // nodes of the allocation, 0 if none starts here
    char *pStart;         // its address (pData + 32 * i), null if none
};

// Block header; lives in a mapping of its own, apart from the data area.
struct MemBlock {
    MemBlock *pNext;         // next block, null at the tail
    MemBlock *pPrev;         // previous block, null at the head
    int Size;                // data area bytes: 65536, or a multiple above it (dedicated)
    int Used;                // dedicated blocks: rounded length in use; 0 otherwise
    int FreeNodes;           // number of ' ' marks (0 in a dedicated block)
    char *pData;             // start of the data area
    MemNode Node[MEM_NODES]; // node table
    char MAT[MEM_NODES + 1]; // one mark per node, NUL-terminated
};

// Head of the block chain (blocks in order of creation); null at start.
extern MemBlock *pMemB;
// Descriptor of /dev/zero, kept open; -1 until first opened.
extern int MemId;
// The out-of-memory text.
extern const char *OutOfMem;
// Fault injection for tests: while positive, every GetMem and every mapping
// of a new area counts it down, and the call that brings it to 0 fails as if
// no memory could be had (the out-of-memory error is printed, null given).
// 0, the start, injects nothing.
extern long MemFailCountdown;

// Zero-filled memory for at least n + 1 bytes; null if n is 0 (or negative)
// or no memory can be had (then "ERROR: Unable to allocate memory" is printed).
char *GetMem(int n);
// Gives back an allocation. Null, or an address in no block, is ignored. An
// address in the first 32-byte node of an allocation gives it back; one past
// that node frees nothing. Returns 1 if something was freed, else 0 (callers
// may ignore it).
int PutMem(const void *p);
// Resizes an allocation to at least n + 1 bytes, zero-filling new bytes and
// bytes given up by a shrink. Returns the (possibly moved) address; n == 0
// frees p and returns null; a null or unmanaged p gives GetMem(n). When new
// memory cannot be had, returns null and p stays valid and unchanged.
char *AdjustMem(void *p, int n);
// Prints the state of every block to standard output.
void DumpMem();
// printf-style text saved in managed memory; ends the process (status 1)
// when memory cannot be had. fmt is always read as a format.
char *SaveStr(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
// A saved copy of src (no formatting); null src gives null.
// Ends the process (status 1) when memory cannot be had.
char *SaveStr_(const char *src);
// As SaveStr, but a null fmt gives null.
char *SaveStr__(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

// Internal operations, exposed for tests and diagnostics.

// A zero-filled area of (size / page size + 1) pages, or null.
void *MapBlock(int size);
// A new block with a data area of max(size, 65536) bytes appended to the
// chain, or null (after printing the out-of-memory error).
MemBlock *GetNewBlock(int size);
// Appends b at the tail of the chain; null is ignored.
void PushBlock(MemBlock *b);
// Unlinks b; returns the new head when b was the head, else b.
MemBlock *PopBlock(MemBlock *b);
// The first block whose data area holds p, or null.
MemBlock *FindBlock(const void *p);
// Unlinks b and releases its data area and header.
void FreeBlock(MemBlock *b);
// 1 if the count characters at s all equal c (also for count 0), else 0; a
// NUL ends the test with 0 unless c is NUL.
int TestMAT(const char *s, char c, int count);
