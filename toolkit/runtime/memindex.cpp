// Search index of the memory manager.
//
// Block headers live in mappings of their own and their node tables are
// large; walking them for every request would touch a page per block. So a
// compact entry per block, kept in chain order, holds what the search needs:
// the MAT as 64-bit words and a tree of free-run summaries over them, so the
// longest free run of a block is known at once and the lowest run that fits
// is found in a few steps. A dense array of each block's longest run lets a
// request skip full blocks reading a cache line or two, and a copy of the
// entries sorted by data address answers address lookups by halving.
#include "toolkit/runtime/memindex.h"

#include <cstdint>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

namespace {

// Bit i set when MAT character i of the 64 at p is a free mark.
uint64_t FreeMask(const char *p) {
#ifdef __SSE2__
    const __m128i free = _mm_set1_epi8(MEM_FREE);
    uint64_t mask = 0;
    for (int i = 0; i < 4; i++) {
        __m128i v = _mm_loadu_si128((const __m128i *)(p + 16 * i));
        mask |= (uint64_t)(uint16_t)_mm_movemask_epi8(_mm_cmpeq_epi8(v, free)) << (16 * i);
    }
    return mask;
#else
    uint64_t mask = 0;
    for (int i = 0; i < 64; i++)
        mask |= (uint64_t)(p[i] == MEM_FREE) << i;
    return mask;
#endif
}

// Sets (free) or clears bits [first, first + count) of bits.
void SetBits(uint64_t *bits, int first, int count, bool free) {
    int w = first / 64, lo = first % 64;
    for (; count > 0; w++, lo = 0) {
        int n = std::min(64 - lo, count);
        uint64_t mask = (~0ULL >> (64 - n)) << lo;
        bits[w] = free ? bits[w] | mask : bits[w] & ~mask;
        count -= n;
    }
}

// The longest run of set bits in m.
int LongestRun(uint64_t m) {
    if (m == ~0ULL) return 64;
    int best = 0;
    while (m != 0) {
        m >>= __builtin_ctzll(m);
        int len = __builtin_ctzll(~m);
        best = std::max(best, len);
        m >>= len; // len < 64: m was not all ones
    }
    return best;
}

// Bit i set when bits i .. i+k-1 of m are all set (1 <= k <= 64).
uint64_t RunStarts(uint64_t m, int k) {
    for (int have = 1; have < k && m != 0;) {
        int shift = std::min(have, k - have);
        m &= m >> shift;
        have += shift;
    }
    return m;
}

// Free runs of a stretch of nodes: the free nodes at its start (Pre) and at
// its end (Suf), and its longest free run (Max).
struct RunSum {
    uint16_t Pre, Suf, Max;
};

[[gnu::always_inline]] inline RunSum WordSum(uint64_t m) {
    if (m == ~0ULL) return {64, 64, 64};
    return {(uint16_t)__builtin_ctzll(~m), (uint16_t)__builtin_clzll(~m), (uint16_t)LongestRun(m)};
}

// The runs of two adjacent stretches of len nodes each, taken together.
[[gnu::always_inline]] inline RunSum Join(RunSum a, RunSum b, int len) {
    return {(uint16_t)(a.Pre == len ? len + b.Pre : a.Pre),
            (uint16_t)(b.Suf == len ? len + a.Suf : b.Suf),
            std::max({a.Max, b.Max, (uint16_t)(a.Suf + b.Pre)})};
}

constexpr int kWords = MEM_NODES / 64;

struct Entry {
    MemBlock *Block;
    char *pData;
    long Size;
    uint32_t Pos; // position in Entries, that is in chain order
    int Free;     // free marks
    // Bit i of word w set when node 64 * w + i is free.
    std::array<uint64_t, kWords> FreeBits;
    // Bit i of word w set when an allocation starts at node 64 * w + i, so
    // a free finds the allocation's length here, in cache, instead of
    // reading the node table.
    std::array<uint64_t, kWords> StartBits;
    // Sum[1] covers the block, Sum[j] joins Sum[2j] and Sum[2j + 1], and
    // Sum[kWords + w] is word w of FreeBits.
    std::array<RunSum, 2 * kWords> Sum;
};
std::vector<std::unique_ptr<Entry>> Entries;
// MaxRun[pos]: the longest free run of Entries[pos].
std::vector<uint16_t> MaxRun;
// The entries sorted by data address; the address is kept beside the
// pointer so that the search reads one small array.
struct Area {
    const char *pData;
    Entry *Ref;
};
std::vector<Area> ByAddress;
// The entry last looked up: a change nearly always follows a lookup of the
// same block.
Entry *Last = nullptr;

std::vector<Area>::iterator AreaAfter(const char *p) {
    return std::upper_bound(ByAddress.begin(), ByAddress.end(), p,
                            [](const char *a, const Area &r) { return a < r.pData; });
}

// The entry whose data area holds p, or null. Data areas never overlap, so
// the one holding p is also the first in chain order.
Entry *Holding(const void *p) {
    const char *q = (const char *)p;
    if (ByAddress.empty()) return nullptr;
    // Branch-free halving: frees come in no predictable order.
    const Area *base = ByAddress.data();
    for (size_t n = ByAddress.size(); n > 1; n -= n / 2)
        base = base[n / 2].pData <= q ? base + n / 2 : base;
    if (q < base->pData) return nullptr;
    Entry *r = base->Ref;
    return q - r->pData < r->Size ? r : nullptr;
}

Entry *EntryOf(const MemBlock *b) {
    if (Last != nullptr && Last->Block == b) return Last;
    Entry *r = Holding(b->pData);
    return r != nullptr && r->Block == b ? (Last = r) : nullptr;
}

// Recomputes the summaries over words w1 .. w2 and above them.
void Resum(Entry &r, int w1, int w2) {
    if (w1 == w2) {
        // One word changed, the usual case: walk its path to the root with
        // the running summary kept at hand.
        int j = kWords + w1;
        RunSum cur = WordSum(r.FreeBits[w1]);
        r.Sum[j] = cur;
        for (int span = 64; j > 1; j /= 2, span *= 2) {
            RunSum sibling = r.Sum[j ^ 1];
            // Selected by masks, not by a branch on the path.
            uint16_t right = (uint16_t) - (j & 1);
            auto pick = [right](uint16_t whenRight, uint16_t whenLeft) {
                return (uint16_t)(whenLeft ^ ((whenLeft ^ whenRight) & right));
            };
            RunSum a = {pick(sibling.Pre, cur.Pre), pick(sibling.Suf, cur.Suf),
                        pick(sibling.Max, cur.Max)};
            RunSum b = {pick(cur.Pre, sibling.Pre), pick(cur.Suf, sibling.Suf),
                        pick(cur.Max, sibling.Max)};
            cur = Join(a, b, span);
            r.Sum[j / 2] = cur;
        }
        MaxRun[r.Pos] = cur.Max;
        return;
    }
    for (int w = w1; w <= w2; w++)
        r.Sum[kWords + w] = WordSum(r.FreeBits[w]);
    int span = 64;
    for (int lo = (kWords + w1) / 2, hi = (kWords + w2) / 2; lo >= 1; lo /= 2, hi /= 2) {
        for (int j = lo; j <= hi; j++)
            r.Sum[j] = Join(r.Sum[2 * j], r.Sum[2 * j + 1], span);
        span *= 2;
    }
    MaxRun[r.Pos] = r.Sum[1].Max;
}

// Lowest node starting a run of k free nodes in r's block, given that the
// block has one. Going down the tree, the left half is taken whenever it
// holds such a run, then a run across the middle, and only then the right
// half.
int FreeRun(const Entry &r, int k) {
    int j = 1, start = 0;
    for (int span = MEM_NODES / 2; j < kWords; span /= 2) {
        const RunSum &a = r.Sum[2 * j], &b = r.Sum[2 * j + 1];
        bool right = a.Max < k;
        if (right & (a.Suf + b.Pre >= k)) return start + span - a.Suf;
        j = 2 * j + right;
        start += right ? span : 0;
    }
    // A run inside one word, so k <= 64.
    return start + __builtin_ctzll(RunStarts(r.FreeBits[j - kWords], k));
}

// The first position from at on whose block has a run of k free nodes, or
// the number of entries.
size_t WithRoom(size_t at, int k) {
    const uint16_t *max = MaxRun.data();
    size_t n = MaxRun.size();
#ifdef __SSE2__
    // Runs are at most 2048 long, so signed 16-bit compares do.
    const __m128i need = _mm_set1_epi16((short)(k - 1));
    for (; at + 8 <= n; at += 8) {
        __m128i v = _mm_loadu_si128((const __m128i *)(max + at));
        int fits = _mm_movemask_epi8(_mm_cmpgt_epi16(v, need));
        if (fits != 0) return at + __builtin_ctz(fits) / 2;
    }
#endif
    while (at < n && max[at] < k)
        at++;
    return at;
}

} // namespace

void MemIndexAdd(MemBlock *b) {
    auto ref = std::make_unique<Entry>();
    ref->Block = b;
    ref->pData = b->pData;
    ref->Size = b->Size;
    ref->Pos = (uint32_t)Entries.size();
    ref->Free = (int)std::count(b->MAT, b->MAT + MEM_NODES, MEM_FREE);
    for (int w = 0; w < kWords; w++)
        ref->FreeBits[w] = FreeMask(b->MAT + 64 * w);
    ref->StartBits.fill(0);
    for (int i = 0; i < MEM_NODES; i++)
        if (b->Node[i].Count != 0 && b->Node[i].pStart != nullptr)
            ref->StartBits[i / 64] |= 1ULL << (i % 64);
    MaxRun.push_back(0);
    ByAddress.insert(AreaAfter(ref->pData), {ref->pData, ref.get()});
    Entries.push_back(std::move(ref));
    Resum(*Entries.back(), 0, kWords - 1);
}

void MemIndexDrop(const MemBlock *b) {
    Entry *r = EntryOf(b);
    if (r == nullptr) return;
    if (Last == r) Last = nullptr;
    uint32_t pos = r->Pos;
    ByAddress.erase(AreaAfter(r->pData) - 1);
    MaxRun.erase(MaxRun.begin() + pos);
    Entries.erase(Entries.begin() + pos);
    for (size_t i = pos; i < Entries.size(); i++)
        Entries[i]->Pos = (uint32_t)i;
}

MemBlock *MemIndexBlockOf(const void *p, int *node) {
    Entry *r = Holding(p);
    if (r == nullptr) return nullptr;
    Last = r;
    *node = r->Size > MEM_BLOCK_SIZE ? -1 : (int)(((const char *)p - r->pData) / MEM_NODE_SIZE);
    return r->Block;
}

MemBlock *MemIndexFirstFit(int k, int *node) {
    // Dedicated blocks are all used, so their longest run is 0.
    size_t at = WithRoom(0, k);
    if (at == Entries.size()) return nullptr;
    Entry &r = *Entries[at];
    Last = &r;
    *node = FreeRun(r, k);
    return r.Block;
}

namespace {

void Mark(Entry &r, int first, int count, bool free) {
    SetBits(r.FreeBits.data(), first, count, free);
    r.Free += free ? count : -count;
    Resum(r, first / 64, (first + count - 1) / 64);
}

void Start(Entry &r, int i, bool starts) {
    uint64_t bit = 1ULL << (i % 64);
    r.StartBits[i / 64] = starts ? r.StartBits[i / 64] | bit : r.StartBits[i / 64] & ~bit;
}

} // namespace

int MemIndexMark(const MemBlock *b, int first, int count, bool free) {
    Entry *r = EntryOf(b);
    if (r == nullptr) return (int)std::count(b->MAT, b->MAT + MEM_NODES, MEM_FREE);
    if (count > 0) Mark(*r, first, count, free);
    return r->Free;
}

void MemIndexStart(const MemBlock *b, int i, bool starts) {
    if (Entry *r = EntryOf(b)) Start(*r, i, starts);
}

char *MemIndexData(const MemBlock *b) {
    const Entry *r = EntryOf(b);
    return r != nullptr ? r->pData : b->pData;
}

int MemIndexCount(const MemBlock *b, int i) {
    const Entry *r = EntryOf(b);
    if (r == nullptr || (r->StartBits[i / 64] >> (i % 64) & 1) == 0) return 0;
    // The allocation ends at the next free node or the next allocation's start.
    for (int at = i + 1, w = at / 64; at < MEM_NODES; w++, at = w * 64) {
        uint64_t ends = (r->FreeBits[w] | r->StartBits[w]) >> (at % 64);
        if (ends != 0) return at + __builtin_ctzll(ends) - i;
    }
    return MEM_NODES - i;
}
