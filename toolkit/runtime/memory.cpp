// Node-table allocator. Each standard block serves 2048 nodes of 32 bytes and
// keeps its MAT as text, so free room is found by scanning for a run of
// blanks; the scan uses memchr (vectorised in libc) to jump over runs instead
// of testing node by node. First fit by lowest node in chain order is kept.
//
// Block headers live in mappings of their own, so walking the chain touches
// one page per block. A compact index in chain order mirrors what the walks
// need (data range and an upper bound of the longest free run) so that
// finding a block and skipping full ones stays within a few cache lines.
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

// One chain entry of the index, with the lengths of the block's free runs:
// Runs[n] counts the runs of exactly n free nodes, and MaxRun is the longest,
// so a block is searched only when it really has room.
struct BlockRef {
    MemBlock *Block;
    const char *pData;
    long Size;
    int MaxRun;
    std::vector<uint16_t> Runs;
};
std::vector<BlockRef> Index;
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
    for (size_t i = 0; i < Index.size(); i++) {
        BlockRef &r = Index[i];
        if (q >= r.pData && q - r.pData < r.Size) {
            LastRef = i;
            return &r;
        }
    }
    return nullptr;
}

// Free marks right before node first.
int FreeBefore(const char *mat, int first) {
    const char *used = (const char *)memrchr(mat, MEM_USED, first);
    return first - (used ? (int)(used - mat) + 1 : 0);
}

// Free marks from node from on.
int FreeAfter(const char *mat, int from) {
    if (from >= MEM_NODES) return 0;
    const char *used = (const char *)memchr(mat + from, MEM_USED, MEM_NODES - from);
    return (used ? (int)(used - mat) : MEM_NODES) - from;
}

void AddRun(BlockRef &r, int len) {
    if (len <= 0) return;
    r.Runs[len]++;
    if (len > r.MaxRun) r.MaxRun = len;
}

void DropRun(BlockRef &r, int len) {
    if (len > 0 && r.Runs[len] > 0) r.Runs[len]--;
    while (r.MaxRun > 0 && r.Runs[r.MaxRun] == 0)
        r.MaxRun--;
}

// Recounts the free runs of r's block from its MAT.
void CountRuns(BlockRef &r) {
    r.Runs.assign(MEM_NODES + 1, 0);
    r.MaxRun = 0;
    for (int i = 0; i < MEM_NODES;) {
        int len = FreeAfter(r.Block->MAT, i);
        AddRun(r, len);
        i += len + 1;
    }
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

// Bit i set when bits i .. i+k-1 of m are all set (1 <= k <= 64).
uint64_t RunStarts(uint64_t m, int k) {
    for (int have = 1; have < k && m != 0;) {
        int shift = std::min(have, k - have);
        m &= m >> shift;
        have += shift;
    }
    return m;
}

// Lowest node starting a run of k free marks in b's MAT, or -1. The MAT is
// read 64 marks at a time as a bit mask; `run` carries the free marks at the
// end of the previous word into the next.
int FindFreeRun(const MemBlock *b, int k) {
    int run = 0;
    for (int base = 0; base < MEM_NODES; base += 64) {
        uint64_t m = FreeMask(b->MAT + base);
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
    int before = FreeBefore(b->MAT, first);
    int after = FreeAfter(b->MAT, mark == MEM_USED ? first : first + count);
    memset(b->MAT + first, mark, count);
    if (r == nullptr) return;
    if (mark == MEM_USED) {
        AddRun(*r, before);
        AddRun(*r, after - count);
        DropRun(*r, before + after);
    } else {
        AddRun(*r, before + count + after);
        DropRun(*r, before);
        DropRun(*r, after);
    }
}

char *NodeAddress(const MemBlock *b, int i) {
    return b->pData + (long)MEM_NODE_SIZE * i;
}

// Takes k nodes from i on in standard block b; returns their zeroed memory.
char *TakeNodes(MemBlock *b, int i, int k) {
    char *p = NodeAddress(b, i);
    MarkNodes(b, i, k, MEM_USED);
    b->Node[i].Count = (unsigned short)k;
    b->Node[i].pStart = p;
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
    for (size_t at = 0; at < Index.size(); at++) {
        BlockRef &r = Index[at];
        if (r.MaxRun < k || r.Size > MEM_BLOCK_SIZE || r.Block->FreeNodes < k) continue;
        int i = FindFreeRun(r.Block, k);
        LastRef = at;
        if (i >= 0) return TakeNodes(r.Block, i, k);
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
        b->Node[i].Count = (unsigned short)k;
        b->FreeNodes += a - k;
        return p;
    }
    int d = k - a;
    if (i + k <= MEM_NODES && TestMAT(b->MAT + i + a, MEM_FREE, d)) {
        MarkNodes(b, i + a, d, MEM_USED);
        memset(NodeAddress(b, i + a), 0, (size_t)d * MEM_NODE_SIZE);
        b->Node[i].Count = (unsigned short)k;
        b->FreeNodes -= d;
        return p;
    }
    if (i - d >= 0 && TestMAT(b->MAT + i - d, MEM_FREE, d)) {
        char *q = NodeAddress(b, i - d);
        MarkNodes(b, i - d, d, MEM_USED);
        memmove(q, p, (size_t)a * MEM_NODE_SIZE);
        memset(q + (size_t)a * MEM_NODE_SIZE, 0, (size_t)d * MEM_NODE_SIZE);
        b->Node[i - d].Count = (unsigned short)k;
        b->Node[i - d].pStart = q;
        b->Node[i].Count = 0;
        b->Node[i].pStart = nullptr;
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
    Index.push_back({b, b->pData, b->Size, 0, {}});
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
    if (BlockRef *r = RefOf(b)) Index.erase(Index.begin() + (r - Index.data()));
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
    MemBlock *b = FindBlock(p);
    if (b == nullptr) return 0;
    if (IsDedicated(b)) {
        FreeBlock(b);
        return 1;
    }
    int i = (int)(((const char *)p - b->pData) / MEM_NODE_SIZE);
    MemNode &node = b->Node[i];
    if (node.Count == 0 || node.pStart == nullptr) return 0;
    b->FreeNodes += node.Count;
    MarkNodes(b, i, node.Count, MEM_FREE);
    node.Count = 0;
    node.pStart = nullptr;
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
