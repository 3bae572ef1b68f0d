// Node-table allocator. Each standard block serves 2048 nodes of 32 bytes and
// keeps its MAT as text; a request takes the lowest run of free nodes that
// fits, in the first block (in chain order) that has one.
//
// Block headers live in mappings of their own, one page set per block, and
// their node tables are large; walking them for every request would touch a
// page per block. So a compact index in chain order keeps, per block, what
// the search needs: the MAT as 64-bit words, a tree of free-run summaries
// over them, and where allocations start. The MAT, the node table and
// FreeNodes stay the authoritative state, updated exactly as before; the
// index only finds the same first fit faster.
#include "toolkit/runtime/memory.h"

#include "toolkit/runtime/logging.h"

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

MemBlock *pMemB = nullptr;
int MemId = -1;
const char *OutOfMem = "Unable to allocate memory";

namespace {

// Areas that came from the heap because /dev/zero could not be opened; they
// are released with free() instead of munmap(). Rare, so a short list does.
constexpr int kMaxHeapAreas = 256;
void *HeapAreas[kMaxHeapAreas];
int HeapAreaCount = 0;

long PageSize() {
    static long size = sysconf(_SC_PAGESIZE);
    return size > 0 ? size : 4096;
}

// Bytes MapBlock maps for a request of size bytes.
size_t MappedLength(long size) {
    return (size_t)(size / PageSize() + 1) * PageSize();
}

bool TakeHeapArea(void *p) {
    for (int i = 0; i < HeapAreaCount; i++) {
        if (HeapAreas[i] == p) {
            HeapAreas[i] = HeapAreas[--HeapAreaCount];
            return true;
        }
    }
    return false;
}

void ReleaseArea(void *p, long size) {
    if (p == nullptr) return;
    if (TakeHeapArea(p))
        free(p);
    else
        munmap(p, MappedLength(size));
}

// Rounded length of a request for n bytes: n + 1 up to a multiple of 32;
// -1 when that would not fit the block sizes an int can describe.
long RoundedLength(int n) {
    if (n <= 0 || n > INT_MAX - 2 * MEM_BLOCK_SIZE) return -1;
    return ((long)n + 1 + MEM_NODE_SIZE - 1) / MEM_NODE_SIZE * MEM_NODE_SIZE;
}

bool IsDedicated(const MemBlock *b) {
    return b->Size > MEM_BLOCK_SIZE;
}

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

// Search state of one block: its MAT as bits, and a tree of run summaries
// over those bits, so that the longest free run of a block is known at once
// and the lowest run that fits is found in a few steps.
struct BlockRef {
    MemBlock *Block;
    const char *pData;
    long Size;
    uint32_t Pos; // position in Index, that is in chain order
    int Free;     // free marks; the header's FreeNodes is only written
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
std::vector<std::unique_ptr<BlockRef>> Index;
// MaxRun[pos]: the longest free run of Index[pos]; one dense array, so
// skipping full blocks reads a cache line or two, not a header each.
std::vector<uint16_t> MaxRun;
// The entries sorted by data address, for address lookups; the address is
// kept beside the pointer so that the search reads one small array.
struct Area {
    const char *pData;
    BlockRef *Ref;
};
std::vector<Area> ByAddress;

std::vector<Area>::iterator AreaAfter(const char *p) {
    return std::upper_bound(ByAddress.begin(), ByAddress.end(), p,
                            [](const char *a, const Area &r) { return a < r.pData; });
}

BlockRef *RefOf(const MemBlock *b) {
    for (auto &r : Index)
        if (r->Block == b) return r.get();
    return nullptr;
}

// The entry whose data area holds p, or null. Data areas never overlap, so
// the one holding p is also the first in chain order.
BlockRef *RefHolding(const void *p) {
    const char *q = (const char *)p;
    if (ByAddress.empty()) return nullptr;
    // Branch-free halving: frees come in no predictable order.
    const Area *base = ByAddress.data();
    for (size_t n = ByAddress.size(); n > 1; n -= n / 2)
        base = base[n / 2].pData <= q ? base + n / 2 : base;
    if (q < base->pData) return nullptr;
    BlockRef *r = base->Ref;
    return q - r->pData < r->Size ? r : nullptr;
}

// Recomputes the summaries over words w1 .. w2 and above them.
void Resum(BlockRef &r, int w1, int w2) {
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

// Rebuilds r's search state from its block's MAT and node table.
void Resync(BlockRef &r) {
    const MemBlock *b = r.Block;
    r.Free = (int)std::count(b->MAT, b->MAT + MEM_NODES, MEM_FREE);
    r.StartBits.fill(0);
    for (int i = 0; i < MEM_NODES; i++)
        if (b->Node[i].Count != 0 && b->Node[i].pStart != nullptr)
            r.StartBits[i / 64] |= 1ULL << (i % 64);
    for (int w = 0; w < kWords; w++)
        r.FreeBits[w] = FreeMask(b->MAT + 64 * w);
    Resum(r, 0, kWords - 1);
}

// Lowest node starting a run of k free nodes in r's block, or -1. Going
// down the tree, the left half is taken whenever it holds such a run, then
// a run across the middle, and only then the right half.
int FindFreeRun(const BlockRef &r, int k) {
    if (r.Sum[1].Max < k) return -1;
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

// Marks nodes [first, first + count) with mark and keeps the search state.
void MarkNodes(BlockRef &r, int first, int count, char mark) {
    memset(r.Block->MAT + first, mark, count);
    SetBits(r.FreeBits.data(), first, count, mark == MEM_FREE);
    r.Free += mark == MEM_FREE ? count : -count;
    r.Block->FreeNodes = r.Free;
    Resum(r, first / 64, (first + count - 1) / 64);
}

char *NodeAddress(const MemBlock *b, int i) {
    return b->pData + (long)MEM_NODE_SIZE * i;
}

// Records an allocation of count nodes starting at node i (0: none).
void SetNode(BlockRef &r, int i, int count) {
    MemBlock *b = r.Block;
    b->Node[i].Count = (unsigned short)count;
    b->Node[i].pStart = count ? NodeAddress(b, i) : nullptr;
    uint64_t bit = 1ULL << (i % 64);
    r.StartBits[i / 64] = count ? r.StartBits[i / 64] | bit : r.StartBits[i / 64] & ~bit;
}

// Nodes of the allocation that starts at node i, 0 if none does: it ends
// at the next free node or the next allocation's start.
int CountAt(const BlockRef &r, int i) {
    if ((r.StartBits[i / 64] >> (i % 64) & 1) == 0) return 0;
    for (int at = i + 1, w = at / 64; at < MEM_NODES; w++, at = w * 64) {
        uint64_t ends = (r.FreeBits[w] | r.StartBits[w]) >> (at % 64);
        if (ends != 0) return at + __builtin_ctzll(ends) - i;
    }
    return MEM_NODES - i;
}

// Takes k nodes from i on in r's standard block; returns their zeroed memory.
char *TakeNodes(BlockRef &r, int i, int k) {
    MemBlock *b = r.Block;
    char *p = NodeAddress(b, i);
    MarkNodes(r, i, k, MEM_USED);
    SetNode(r, i, k);
    memset(p, 0, (size_t)k * MEM_NODE_SIZE);
    return p;
}

// The first Index position from at on whose block has a run of k free
// nodes, or Index.size().
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

char *GetDedicated(long len) {
    long size = (len + MEM_BLOCK_SIZE - 1) / MEM_BLOCK_SIZE * MEM_BLOCK_SIZE;
    MemBlock *b = GetNewBlock((int)size);
    if (b == nullptr) return nullptr;
    memset(b->pData, 0, len);
    MarkNodes(*Index.back(), 0, MEM_NODES, MEM_USED);
    b->FreeNodes = 0;
    b->Used = (int)len;
    return b->pData;
}

char *GetStandard(long len) {
    int k = (int)(len / MEM_NODE_SIZE);
    if (pMemB == nullptr && GetNewBlock((int)len) == nullptr) return nullptr;
    for (size_t at = WithRoom(0, k); at < Index.size(); at = WithRoom(at + 1, k)) {
        BlockRef &r = *Index[at];
        int i = FindFreeRun(r, k);
        if (i >= 0) return TakeNodes(r, i, k);
        Resync(r); // the summary was wrong; trust the MAT
    }
    if (GetNewBlock((int)len) == nullptr) return nullptr;
    return TakeNodes(*Index.back(), 0, k);
}

// Bytes of p's allocation from p on: all of a dedicated block's data area
// after p, else the nodes of the allocation that starts at node i. A move
// copies these, so the caller's address keeps its content and nothing of a
// neighbouring allocation comes along.
size_t BytesFrom(const MemBlock *b, const char *p, int i) {
    if (IsDedicated(b)) return (size_t)(b->Size - (p - b->pData));
    return (size_t)(b->Node[i].pStart + (long)b->Node[i].Count * MEM_NODE_SIZE - p);
}

// Resizes a dedicated block's allocation (or moves any allocation to a
// dedicated-size area). i is p's node in a standard block.
char *AdjustLarge(MemBlock *b, char *p, int i, long len) {
    if (b->Size < len) {
        char *q = GetMem((int)len);
        if (q == nullptr) return nullptr;
        memcpy(q, p, BytesFrom(b, p, i));
        PutMem(p);
        return q;
    }
    // Staying in place, also when the new length is the whole data area:
    // Used must follow every resize, or a later shrink would zero from a
    // stale Used on and wipe content the caller still owns. Bytes between the
    // old and new length are zero, so a later growth hands out zeroed memory
    // and a shrink loses the tail.
    if (b->Used < len)
        memset(b->pData + b->Used, 0, len - b->Used);
    else
        memset(b->pData + len, 0, b->Used - len);
    b->Used = (int)len;
    return p;
}

// p lies in node i, the first node of an allocation; in place it is handed
// back as it came.
char *AdjustStandard(BlockRef &r, char *p, int i, long len) {
    MemBlock *b = r.Block;
    int k = (int)(len / MEM_NODE_SIZE), a = b->Node[i].Count;
    char *start = b->Node[i].pStart;
    if (k == a) return p;
    if (k < a) {
        MarkNodes(r, i + k, a - k, MEM_FREE);
        memset(NodeAddress(b, i + k), 0, (size_t)(a - k) * MEM_NODE_SIZE);
        SetNode(r, i, k);
        return p;
    }
    int d = k - a;
    if (i + k <= MEM_NODES && TestMAT(b->MAT + i + a, MEM_FREE, d)) {
        MarkNodes(r, i + a, d, MEM_USED);
        memset(NodeAddress(b, i + a), 0, (size_t)d * MEM_NODE_SIZE);
        SetNode(r, i, k);
        return p;
    }
    if (i - d >= 0 && TestMAT(b->MAT + i - d, MEM_FREE, d)) {
        char *q = NodeAddress(b, i - d);
        MarkNodes(r, i - d, d, MEM_USED);
        memmove(q, start, (size_t)a * MEM_NODE_SIZE);
        memset(q + (size_t)a * MEM_NODE_SIZE, 0, (size_t)d * MEM_NODE_SIZE);
        SetNode(r, i - d, k);
        SetNode(r, i, 0);
        return q;
    }
    char *q = GetMem((int)len);
    if (q == nullptr) return nullptr;
    memcpy(q, p, BytesFrom(b, p, i));
    PutMem(p);
    return q;
}

// Formats into managed memory; null when memory cannot be had. With
// workSize > 0 the text is formatted in a working buffer of at least
// workSize bytes (more when the text needs it), taken before the copy and
// given back after it, so the copy lands after the buffer's nodes.
char *SaveFormatted(const char *fmt, va_list ap, long workSize) {
    va_list copy;
    va_copy(copy, ap);
    int len = vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    if (len < 0) len = 0; // a conversion that cannot be made gives the empty text
    if (len > INT_MAX / 2) return nullptr;
    char *work = nullptr;
    if (workSize > 0) {
        work = GetMem((int)std::max(workSize, len + 1L));
        if (work == nullptr) return nullptr;
        vsnprintf(work, (size_t)len + 1, fmt, ap);
    }
    char *p = GetMem(len + 1);
    if (p != nullptr && work != nullptr)
        memcpy(p, work, (size_t)len);
    else if (p != nullptr)
        vsnprintf(p, (size_t)len + 1, fmt, ap);
    PutMem(work);
    return p;
}

[[noreturn]] void OutOfMemory() {
    SysError("%s", OutOfMem);
}

void DumpDedicated(const MemBlock *b) {
    printf("\n============ Dedicated Block(%li) size(%li) FreeNodeCount(%i) <==(%li) (%li)==>",
           (long)b->pData, (long)b->Size, b->FreeNodes, (long)b->pPrev, (long)b->pNext);
}

void DumpStandard(const MemBlock *b) {
    int freeMarks = 0, counted = 0;
    for (int i = 0; i < MEM_NODES; i++) {
        freeMarks += b->MAT[i] == MEM_FREE;
        counted += b->Node[i].Count;
    }
    printf("\n============ Block(%li) size(%li) Free(%i) Used(%i) FreeNodeCount(%i) SizeCnt(%i) "
           "<==(%li) (%li)==>\n\tBlock MAT:",
           (long)b, (long)b->Size, freeMarks, MEM_NODES - freeMarks, b->FreeNodes,
           MEM_NODES - counted, (long)b->pPrev, (long)b->pNext);
    char line[64 + 1];
    for (int i = 0; i < MEM_NODES; i += 64) {
        for (int j = 0; j < 64; j++)
            line[j] = b->MAT[i + j] == MEM_FREE ? '_' : b->MAT[i + j];
        line[64] = '\0';
        printf("\n\t%s", line);
    }
    printf("\n\n\tAllocated Nodes:\n");
    for (int i = 0; i < MEM_NODES; i++) {
        const MemNode &n = b->Node[i];
        if (n.Count == 0 || n.pStart == nullptr) continue;
        printf("\tMAT index(%6i) Memory Addr(%6li) nodes(%5i) size(%5i) Memory(%.*s)\n", i,
               (long)n.pStart, n.Count, n.Count * MEM_NODE_SIZE, n.Count * MEM_NODE_SIZE, n.pStart);
    }
    printf("\n");
}

} // namespace

void *MapBlock(int size) {
    if (size < 0) return nullptr;
    size_t len = MappedLength(size);
    if (MemId < 0) MemId = open("/dev/zero", O_RDWR | O_CLOEXEC);
    if (MemId < 0) {
        if (HeapAreaCount == kMaxHeapAreas) return nullptr;
        void *p = malloc(len);
        if (p != nullptr) HeapAreas[HeapAreaCount++] = p;
        return p;
    }
    void *p = mmap(nullptr, len, PROT_READ | PROT_WRITE, MAP_PRIVATE, MemId, 0);
    return p == MAP_FAILED ? nullptr : p;
}

MemBlock *GetNewBlock(int size) {
    int dataSize = size > MEM_BLOCK_SIZE ? size : MEM_BLOCK_SIZE;
    auto *b = (MemBlock *)MapBlock((int)sizeof(MemBlock));
    char *data = b ? (char *)MapBlock(dataSize) : nullptr;
    if (data == nullptr) {
        ReleaseArea(b, sizeof(MemBlock));
        fprintf(stderr, "ERROR: %s\n", OutOfMem);
        return nullptr;
    }
    memset((void *)b, 0, sizeof(MemBlock));
    memset(b->MAT, MEM_FREE, MEM_NODES);
    b->MAT[MEM_NODES] = '\0';
    b->Size = dataSize;
    b->pData = data;
    b->FreeNodes = MEM_NODES;
    PushBlock(b);
    return b;
}

void PushBlock(MemBlock *b) {
    if (b == nullptr) return;
    auto ref = std::make_unique<BlockRef>();
    ref->Block = b;
    ref->pData = b->pData;
    ref->Size = b->Size;
    ref->Pos = (uint32_t)Index.size();
    MaxRun.push_back(0);
    ByAddress.insert(AreaAfter(ref->pData), {ref->pData, ref.get()});
    Index.push_back(std::move(ref));
    Resync(*Index.back());
    b->pNext = nullptr;
    if (pMemB == nullptr) {
        b->pPrev = nullptr;
        pMemB = b;
        return;
    }
    MemBlock *tail = pMemB;
    while (tail->pNext != nullptr)
        tail = tail->pNext;
    tail->pNext = b;
    b->pPrev = tail;
}

MemBlock *PopBlock(MemBlock *b) {
    if (b == nullptr) return nullptr;
    if (BlockRef *r = RefOf(b)) {
        uint32_t pos = r->Pos;
        ByAddress.erase(AreaAfter(r->pData) - 1);
        MaxRun.erase(MaxRun.begin() + pos);
        Index.erase(Index.begin() + pos);
        for (size_t i = pos; i < Index.size(); i++)
            Index[i]->Pos = (uint32_t)i;
    }
    MemBlock *result = b;
    if (b == pMemB) {
        pMemB = b->pNext;
        result = pMemB;
    }
    if (b->pPrev != nullptr) b->pPrev->pNext = b->pNext;
    if (b->pNext != nullptr) b->pNext->pPrev = b->pPrev;
    b->pNext = b->pPrev = nullptr;
    return result;
}

MemBlock *FindBlock(const void *p) {
    if (p == nullptr) return nullptr;
    BlockRef *r = RefHolding(p);
    return r == nullptr ? nullptr : r->Block;
}

void FreeBlock(MemBlock *b) {
    if (b == nullptr) return;
    PopBlock(b);
    ReleaseArea(b->pData, b->Size);
    ReleaseArea(b, sizeof(MemBlock));
}

int TestMAT(const char *s, char c, int count) {
    // A NUL differs from every mark but NUL, so the terminator ends a search
    // for marks; a search for NULs goes on past it.
    for (int i = 0; i < count; i++)
        if (s[i] != c) return 0;
    return 1;
}

char *GetMem(int n) {
    long len = RoundedLength(n);
    if (len < 0) return nullptr;
    return len > MEM_BLOCK_SIZE ? GetDedicated(len) : GetStandard(len);
}

int PutMem(const void *p) {
    BlockRef *r = RefHolding(p);
    if (r == nullptr) return 0;
    MemBlock *b = r->Block;
    if (r->Size > MEM_BLOCK_SIZE) {
        FreeBlock(b);
        return 1;
    }
    int i = (int)(((const char *)p - r->pData) / MEM_NODE_SIZE);
    int count = CountAt(*r, i);
    if (count != 0) {
        MarkNodes(*r, i, count, MEM_FREE);
        SetNode(*r, i, 0);
    }
    // Whether or not p freed anything, an empty block does not stay mapped.
    if (r->Free == MEM_NODES) FreeBlock(b);
    return count != 0;
}

char *AdjustMem(void *p, int n) {
    if (n == 0) {
        if (p != nullptr) PutMem(p);
        return nullptr;
    }
    BlockRef *r = RefHolding(p);
    if (r == nullptr) return GetMem(n);
    MemBlock *b = r->Block;
    long len = RoundedLength(n);
    if (len < 0) return nullptr;
    if (IsDedicated(b)) return AdjustLarge(b, (char *)p, 0, len);
    // An address that starts no allocation cannot be resized.
    int i = (int)(((char *)p - b->pData) / MEM_NODE_SIZE);
    if (b->Node[i].Count == 0 || b->Node[i].pStart == nullptr) return nullptr;
    if (len > MEM_BLOCK_SIZE) return AdjustLarge(b, (char *)p, i, len);
    return AdjustStandard(*r, (char *)p, i, len);
}

void DumpMem() {
    for (MemBlock *b = pMemB; b != nullptr; b = b->pNext) {
        if (IsDedicated(b))
            DumpDedicated(b);
        else
            DumpStandard(b);
    }
}

char *SaveStr(const char *fmt, ...) {
    if (fmt == nullptr) fmt = "";
    // The working buffer: 4096 × (format pages + 2) bytes.
    size_t pages = std::min<size_t>(strlen(fmt) / 4096 + 2, INT_MAX / 8192);
    va_list ap;
    va_start(ap, fmt);
    char *p = SaveFormatted(fmt, ap, (long)(4096 * pages));
    va_end(ap);
    if (p == nullptr) OutOfMemory();
    return p;
}

char *SaveStr_(const char *src) {
    if (src == nullptr) return nullptr;
    size_t len = strlen(src);
    if (len > (size_t)INT_MAX / 2) OutOfMemory();
    char *p = GetMem((int)len + 1);
    if (p == nullptr) OutOfMemory();
    memcpy(p, src, len);
    return p;
}

char *SaveStr__(const char *fmt, ...) {
    if (fmt == nullptr) return nullptr;
    va_list ap;
    va_start(ap, fmt);
    char *p = SaveFormatted(fmt, ap, 0);
    va_end(ap);
    if (p == nullptr) OutOfMemory();
    return p;
}
