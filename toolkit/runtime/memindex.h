// Search index of the memory manager: answers the two questions the
// allocator asks most (which block holds an address, where the first fit of
// k free nodes is) without walking the chain or reading block headers.
//
// The MAT, the node table and FreeNodes stay the allocator's state; the
// index only mirrors which nodes are free and where allocations start, and
// memory.cpp tells it of every change. Its answers are exactly those of the
// plain walk over the MATs and of the node table.
#pragma once

#include "toolkit/runtime/memory.h"

// Declared inline: memindex.cpp is compiled inside memory.cpp, the one unit
// that calls these, so that the calls on the GetMem/PutMem path inline.
// Starts indexing b, just appended at the tail of the chain; its MAT is
// taken as it stands.
inline void MemIndexAdd(MemBlock *b);
// Stops indexing b (it is about to leave the chain).
inline void MemIndexDrop(const MemBlock *b);
// The block whose data area holds p, or null; *node is the node p lies in,
// or -1 when the block is a dedicated one.
inline MemBlock *MemIndexBlockOf(const void *p, int *node);
// The first standard block in chain order with k free nodes in a row
// (1 <= k <= MEM_NODES), with the lowest such node in *node; null when no
// block has room.
inline MemBlock *MemIndexFirstFit(int k, int *node);
// Nodes [first, first + count) of b were just marked free (free true) or
// used, each of them having had the other mark. Returns b's free marks
// after the change, as the index counts them (what FreeNodes holds).
inline int MemIndexMark(const MemBlock *b, int first, int count, bool free);
// An allocation now starts (starts true) or no longer starts at node i of b.
inline void MemIndexStart(const MemBlock *b, int i, bool starts);
// b's data area, b->pData, as the index keeps it: in cache, where the
// header's page seldom is.
inline char *MemIndexData(const MemBlock *b);
// Nodes of the allocation that starts at node i of standard block b, 0 when
// none does: the node table's Count, without reading the node table.
inline int MemIndexCount(const MemBlock *b, int i);
