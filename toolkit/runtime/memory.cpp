// Node-table allocator. Each standard block serves 2048 nodes of 32 bytes and
// keeps its MAT as text; a request takes the lowest run of free nodes that
// fits, in the first block (in chain order) that has one.
//
// Block headers live in mappings of their own, one page set per block, and
// their node tables are large; walking them for every request would touch a
// page per block. So a compact index in chain order keeps, per block, what
// the search needs: the MAT as 64-bit words, the count of free runs of each
// length (hence the longest run), where a search for a given length may
// start, and a dense copy of the node counts. The MAT, the node table and
// FreeNodes stay the authoritative state, updated exactly as before; the
// index only lets the search skip what cannot fit. First fit is unchanged.
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
    for (int end = first + count; first < end;) {
        int w = first / 64, lo = first % 64, n = std::min(64 - lo, end - first);
        uint64_t mask = (n == 64 ? ~0ULL : ((1ULL << n) - 1)) << lo;
        bits[w] = free ? bits[w] | mask : bits[w] & ~mask;
        first += n;
    }
}

// Free nodes right before node first, read from the MAT's bits.
int BitsFreeBefore(const uint64_t *bits, int first) {
    int n = 0;
    for (int w = (first - 1) / 64; first > 0 && w >= 0; w--) {
        int top = (w == (first - 1) / 64) ? (first - 1) % 64 : 63;
        // Bits 0..top of this word, moved to the top of the register.
        uint64_t m = bits[w] << (63 - top);
        uint64_t used = ~m & (~0ULL << (63 - top));
        if (used != 0) return n + __builtin_clzll(used);
        n += top + 1;
    }
    return n;
}

// Free nodes from node from on, read from the MAT's bits.
int BitsFreeAfter(const uint64_t *bits, int from) {
    int n = 0;
    for (int w = from / 64; w < MEM_NODES / 64; w++) {
        int lo = (w == from / 64) ? from % 64 : 0;
        uint64_t used = ~(bits[w] >> lo);
        if (lo != 0) used &= ~0ULL >> lo;
        if (used != 0) return n + __builtin_ctzll(used);
        n += 64 - lo;
    }
    return n;
}

// Search state of one block. Runs[n] counts the runs of exactly n free
// nodes; the longest is kept as BlockRef::MaxRun, so a block is searched
// only when it really has room.
struct RunDetail {
    std::array<uint16_t, MEM_NODES + 1> Runs;
    // From[k], k <= 64: no run of k free nodes starts below this node (k
    // above 64 uses From[64]); searches start there.
    std::array<uint16_t, 65> From;
    // Bit i of word w set when node 64 * w + i is free: the MAT as bits.
    std::array<uint64_t, MEM_NODES / 64> FreeBits;
    // Copy of Node[].Count: frees read it here, in a few dense pages, rather
    // than in the node tables spread over every header.
    std::array<uint16_t, MEM_NODES> Counts;
};
struct BlockRef {
    MemBlock *Block;
    long Size;
    int MaxRun;
    std::unique_ptr<RunDetail> D;
};
std::vector<BlockRef> Index;
// Data ranges of the blocks, in the order of Index, for address lookups.
struct Range {
    const char *pData;
    long Size;
};
std::vector<Range> Ranges;
// FirstRoom[k], k <= 64: no block before this Index position has a run of k
// free nodes (k above 64 uses FirstRoom[64]); searches start there.
std::array<uint32_t, 65> FirstRoom{};
// Position of the entry used last; most lookups ask for it again.
size_t LastRef = 0;

BlockRef *RefOf(const MemBlock *b) {
    if (LastRef < Index.size() && Index[LastRef].Block == b) return &Index[LastRef];
    for (size_t i = 0; i < Index.size(); i++) {
        if (Index[i].Block == b) {
            LastRef = i;
            return &Index[i];
        }
    }
    return nullptr;
}

// The first entry whose block holds p, or null.
BlockRef *RefHolding(const void *p) {
    const char *q = (const char *)p;
    for (size_t i = 0; i < Ranges.size(); i++) {
        if (q >= Ranges[i].pData && q - Ranges[i].pData < Ranges[i].Size) {
            LastRef = i;
            return &Index[i];
        }
    }
    return nullptr;
}

// Free marks from node from on.
int FreeAfter(const char *mat, int from) {
    if (from >= MEM_NODES) return 0;
    const char *used = (const char *)memchr(mat + from, MEM_USED, MEM_NODES - from);
    return (used ? (int)(used - mat) : MEM_NODES) - from;
}

void AddRun(BlockRef &r, int len) {
    if (len <= 0) return;
    r.D->Runs[len]++;
    if (len <= r.MaxRun) return;
    auto at = (uint32_t)(&r - Index.data());
    for (int k = r.MaxRun + 1; k <= std::min(len, 64); k++)
        FirstRoom[k] = std::min(FirstRoom[k], at);
    r.MaxRun = len;
}

void DropRun(BlockRef &r, int len) {
    if (len > 0 && r.D->Runs[len] > 0) r.D->Runs[len]--;
    while (r.MaxRun > 0 && r.D->Runs[r.MaxRun] == 0)
        r.MaxRun--;
}

// Recounts the free runs of r's block from its MAT.
void CountRuns(BlockRef &r) {
    r.D->Runs.fill(0);
    r.MaxRun = 0;
    r.D->From.fill(0);
    for (int i = 0; i < MEM_NODES; i++)
        r.D->Counts[i] = r.Block->Node[i].Count;
    for (int w = 0; w < MEM_NODES / 64; w++)
        r.D->FreeBits[w] = FreeMask(r.Block->MAT + 64 * w);
    for (int i = 0; i < MEM_NODES;) {
        int len = FreeAfter(r.Block->MAT, i);
        AddRun(r, len);
        i += len + 1;
    }
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

// Lowest node starting a run of k free marks in b's MAT, or -1, given that
// none starts below from. The MAT is read 64 marks at a time as a bit mask;
// `run` carries the free marks at the end of the previous word into the next.
int FindFreeRun(const uint64_t *bits, int k, int from) {
    int run = 0;
    for (int base = from / 64 * 64; base < MEM_NODES; base += 64) {
        uint64_t m = bits[base / 64];
        if (m == 0) {
            run = 0;
            continue;
        }
        if (m == ~0ULL) {
            run += 64;
            if (run >= k) return base + 64 - run;
            continue;
        }
        if (run > 0 && run + __builtin_ctzll(~m) >= k) return base - run;
        if (k <= 64) {
            uint64_t starts = RunStarts(m, k);
            if (starts != 0) return base + __builtin_ctzll(starts);
        }
        run = __builtin_clzll(~m);
    }
    return -1;
}

// Marks nodes [first, first + count) with mark and keeps the run counts:
// used marks cut a piece out of one free run; free marks join the freed
// nodes with the runs on either side.
void MarkNodes(MemBlock *b, int first, int count, char mark) {
    BlockRef *r = RefOf(b);
    if (r == nullptr) {
        memset(b->MAT + first, mark, count);
        return;
    }
    const uint64_t *bits = r->D->FreeBits.data();
    int before = BitsFreeBefore(bits, first);
    int after = BitsFreeAfter(bits, mark == MEM_USED ? first : first + count);
    memset(b->MAT + first, mark, count);
    SetBits(r->D->FreeBits.data(), first, count, mark == MEM_FREE);
    if (mark == MEM_USED) {
        AddRun(*r, before);
        AddRun(*r, after - count);
        DropRun(*r, before + after);
    } else {
        int len = before + count + after;
        AddRun(*r, len);
        DropRun(*r, before);
        DropRun(*r, after);
        auto start = (uint16_t)(first - before);
        for (int k = 1; k <= std::min(len, 64); k++)
            r->D->From[k] = std::min(r->D->From[k], start);
    }
}

char *NodeAddress(const MemBlock *b, int i) {
    return b->pData + (long)MEM_NODE_SIZE * i;
}

// Records an allocation of count nodes starting at node i (0: none).
void SetNode(MemBlock *b, int i, int count) {
    b->Node[i].Count = (unsigned short)count;
    b->Node[i].pStart = count ? NodeAddress(b, i) : nullptr;
    if (BlockRef *r = RefOf(b)) r->D->Counts[i] = (uint16_t)count;
}

// Takes k nodes from i on in standard block b; returns their zeroed memory.
char *TakeNodes(MemBlock *b, int i, int k) {
    char *p = NodeAddress(b, i);
    MarkNodes(b, i, k, MEM_USED);
    SetNode(b, i, k);
    memset(p, 0, (size_t)k * MEM_NODE_SIZE);
    b->FreeNodes -= k;
    return p;
}

char *GetDedicated(long len) {
    long size = (len + MEM_BLOCK_SIZE - 1) / MEM_BLOCK_SIZE * MEM_BLOCK_SIZE;
    MemBlock *b = GetNewBlock((int)size);
    if (b == nullptr) return nullptr;
    memset(b->pData, 0, len);
    MarkNodes(b, 0, MEM_NODES, MEM_USED);
    b->FreeNodes = 0;
    b->Used = (int)len;
    return b->pData;
}

char *GetStandard(long len) {
    int k = (int)(len / MEM_NODE_SIZE);
    if (pMemB == nullptr && GetNewBlock((int)len) == nullptr) return nullptr;
    uint32_t &first = FirstRoom[std::min(k, 64)];
    for (size_t at = first; at < Index.size(); at++) {
        BlockRef &r = Index[at];
        if (r.MaxRun < k || r.Size > MEM_BLOCK_SIZE || r.Block->FreeNodes < k) continue;
        uint16_t &from = r.D->From[std::min(k, 64)];
        int i = FindFreeRun(r.D->FreeBits.data(), k, from);
        LastRef = at;
        if (i >= 0) {
            if (k <= 64) {
                from = (uint16_t)i;
                first = (uint32_t)at;
            }
            return TakeNodes(r.Block, i, k);
        }
        CountRuns(r); // the counts were wrong; trust the MAT
    }
    MemBlock *b = GetNewBlock((int)len);
    return b == nullptr ? nullptr : TakeNodes(b, 0, k);
}

// Resizes a dedicated block's allocation (or moves any allocation to a
// dedicated-size area). i is p's node in a standard block.
char *AdjustLarge(MemBlock *b, char *p, int i, long len) {
    if (b->Size < len) {
        char *q = GetMem((int)len);
        if (q == nullptr) return nullptr;
        size_t old = IsDedicated(b) ? (size_t)(b->Size - (p - b->pData))
                                    : (size_t)b->Node[i].Count * MEM_NODE_SIZE;
        memcpy(q, p, old);
        PutMem(p);
        return q;
    }
    // Staying in place: bytes between the old and new length are zero, so a
    // later growth hands out zeroed memory and a shrink loses the tail.
    if (b->Used < len)
        memset(b->pData + b->Used, 0, len - b->Used);
    else
        memset(b->pData + len, 0, b->Used - len);
    b->Used = (int)len;
    return p;
}

char *AdjustStandard(MemBlock *b, int i, long len) {
    int k = (int)(len / MEM_NODE_SIZE), a = b->Node[i].Count;
    char *p = b->Node[i].pStart;
    if (k == a) return p;
    if (k < a) {
        MarkNodes(b, i + k, a - k, MEM_FREE);
        memset(NodeAddress(b, i + k), 0, (size_t)(a - k) * MEM_NODE_SIZE);
        SetNode(b, i, k);
        b->FreeNodes += a - k;
        return p;
    }
    int d = k - a;
    if (i + k <= MEM_NODES && TestMAT(b->MAT + i + a, MEM_FREE, d)) {
        MarkNodes(b, i + a, d, MEM_USED);
        memset(NodeAddress(b, i + a), 0, (size_t)d * MEM_NODE_SIZE);
        SetNode(b, i, k);
        b->FreeNodes -= d;
        return p;
    }
    if (i - d >= 0 && TestMAT(b->MAT + i - d, MEM_FREE, d)) {
        char *q = NodeAddress(b, i - d);
        MarkNodes(b, i - d, d, MEM_USED);
        memmove(q, p, (size_t)a * MEM_NODE_SIZE);
        memset(q + (size_t)a * MEM_NODE_SIZE, 0, (size_t)d * MEM_NODE_SIZE);
        SetNode(b, i - d, k);
        SetNode(b, i, 0);
        b->FreeNodes -= d;
        return q;
    }
    char *q = GetMem((int)len);
    if (q == nullptr) return nullptr;
    memcpy(q, p, (size_t)a * MEM_NODE_SIZE);
    PutMem(p);
    return q;
}

// Formats into managed memory; null when memory cannot be had.
char *SaveFormatted(const char *fmt, va_list ap) {
    va_list copy;
    va_copy(copy, ap);
    int len = vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    if (len < 0) len = 0;
    char *p = GetMem(len > 0 ? len : 1);
    if (p != nullptr) vsnprintf(p, (size_t)len + 1, fmt, ap);
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
    Index.push_back({b, b->Size, 0, std::make_unique<RunDetail>()});
    Ranges.push_back({b->pData, b->Size});
    CountRuns(Index.back());
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
        Ranges.erase(Ranges.begin() + (r - Index.data()));
        Index.erase(Index.begin() + (r - Index.data()));
        FirstRoom.fill(0); // positions moved
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
    for (int i = 0; i < count; i++) {
        if (s[i] != c) return 0;
        if (s[i] == '\0') return c == '\0';
    }
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
    int i = (int)(((const char *)p - Ranges[r - Index.data()].pData) / MEM_NODE_SIZE);
    int count = r->D->Counts[i];
    if (count == 0) return 0;
    b->FreeNodes += count;
    MarkNodes(b, i, count, MEM_FREE);
    SetNode(b, i, 0);
    if (b->FreeNodes == MEM_NODES) FreeBlock(b);
    return 1;
}

char *AdjustMem(void *p, int n) {
    if (n == 0) {
        if (p != nullptr) PutMem(p);
        return nullptr;
    }
    MemBlock *b = FindBlock(p);
    if (b == nullptr) return GetMem(n);
    long len = RoundedLength(n);
    if (len < 0) return nullptr;
    if (IsDedicated(b)) return AdjustLarge(b, (char *)p, 0, len);
    // An address that starts no allocation cannot be resized.
    int i = (int)(((char *)p - b->pData) / MEM_NODE_SIZE);
    if (b->Node[i].Count == 0 || b->Node[i].pStart == nullptr) return nullptr;
    if (len > MEM_BLOCK_SIZE) return AdjustLarge(b, b->Node[i].pStart, i, len);
    return AdjustStandard(b, i, len);
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
    va_list ap;
    va_start(ap, fmt);
    char *p = SaveFormatted(fmt ? fmt : "", ap);
    va_end(ap);
    if (p == nullptr) OutOfMemory();
    return p;
}

char *SaveStr_(const char *src) {
    if (src == nullptr) return nullptr;
    size_t len = strlen(src);
    if (len > (size_t)INT_MAX / 2) OutOfMemory();
    char *p = GetMem(len > 0 ? (int)len : 1);
    if (p == nullptr) OutOfMemory();
    memcpy(p, src, len);
    return p;
}

char *SaveStr__(const char *fmt, ...) {
    if (fmt == nullptr) return nullptr;
    va_list ap;
    va_start(ap, fmt);
    char *p = SaveFormatted(fmt, ap);
    va_end(ap);
    if (p == nullptr) OutOfMemory();
    return p;
}
