// Node-table allocator. Each standard block serves 2048 nodes of 32 bytes and
// keeps its MAT as text, so free room is found by scanning for a run of
// blanks; the scan uses memchr (vectorised in libc) to jump over runs instead
// of testing node by node. First fit by lowest node in chain order is kept.
#include "toolkit/runtime/memory.h"

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

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

// Lowest node starting a run of k free marks in b's MAT, or -1.
int FindFreeRun(const MemBlock *b, int k) {
    const char *mat = b->MAT, *end = mat + MEM_NODES, *p = mat;
    while (end - p >= k) {
        p = (const char *)memchr(p, MEM_FREE, end - p);
        if (p == nullptr || end - p < k) return -1;
        const char *used = (const char *)memchr(p, MEM_USED, k);
        if (used == nullptr) return (int)(p - mat);
        p = used + 1;
    }
    return -1;
}

// Marks nodes [first, first + count) with mark.
void MarkNodes(MemBlock *b, int first, int count, char mark) {
    memset(b->MAT + first, mark, count);
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
    for (MemBlock *b = pMemB; b != nullptr; b = b->pNext) {
        if (b->FreeNodes < k) continue;
        int i = FindFreeRun(b, k);
        if (i >= 0) return TakeNodes(b, i, k);
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
    int err = errno;
    fprintf(stderr, "\n%s: %s : %s\n", my_name ? my_name : "", OutOfMem, strerror(err));
    exit(1);
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
    PushBlock(b);
    b->Size = dataSize;
    b->pData = data;
    b->FreeNodes = MEM_NODES;
    return b;
}

void PushBlock(MemBlock *b) {
    if (b == nullptr) return;
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
    for (MemBlock *b = pMemB; b != nullptr; b = b->pNext) {
        auto off = (const char *)p - b->pData;
        if (off >= 0 && off < b->Size) return b;
    }
    return nullptr;
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
