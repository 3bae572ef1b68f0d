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

// Starts indexing b, just appended at the tail of the chain; its MAT is
// taken as it stands.
void MemIndexAdd(MemBlock *b);
// Stops indexing b (it is about to leave the chain).
void MemIndexDrop(const MemBlock *b);
// The block whose data area holds p, or null.
MemBlock *MemIndexBlockOf(const void *p);
// The first standard block in chain order with k free nodes in a row
// (1 <= k <= MEM_NODES), with the lowest such node in *node; null when no
// block has room.
MemBlock *MemIndexFirstFit(int k, int *node);
// Nodes [i, i + k) of b now hold an allocation that starts at node i.
void MemIndexTake(const MemBlock *b, int i, int k);
// The allocation of k nodes at node i of b was given back.
void MemIndexRelease(const MemBlock *b, int i, int k);
// Nodes [first, first + count) of b were just marked free (free true) or used.
void MemIndexMark(const MemBlock *b, int first, int count, bool free);
// An allocation now starts (starts true) or no longer starts at node i of b.
void MemIndexStart(const MemBlock *b, int i, bool starts);
// Nodes of the allocation that starts at node i of standard block b, 0 when
// none does: the node table's Count, without reading the node table.
int MemIndexCount(const MemBlock *b, int i);
