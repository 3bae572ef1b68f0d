// Node-table allocator. Each standard block serves 2048 nodes of 32 bytes and
// keeps its MAT as text; a request takes the lowest run of free nodes that
// fits, in the first block (in chain order) that has one.
//
// The MAT, the node table and FreeNodes are the state, kept exactly as the
// invariants say. Finding a block by address and finding the first fit are
// asked of the search index (memindex.h), which every change here keeps in
// step; a build with MEM_CHECK_INDEX also walks the chain and the MATs the
// plain way and stops at once when the two answers differ.
#include "toolkit/runtime/memory.h"

#include "toolkit/runtime/logging.h"
#include "toolkit/runtime/memindex.h"

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sanitizer/asan_interface.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>

MemBlock *pMemB = nullptr;
int MemId = -1;
const char *OutOfMem = "Unable to allocate memory";
long MemFailCountdown = 0;

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

// Under the address sanitizer the bytes of a data area that no allocation
// holds (free nodes, a dedicated block past Used) are poisoned, so that a
// caller reading or writing them, or memory it gave back, is reported at
// the access; in other builds these do nothing.
void Poison(const void *p, size_t n) {
    ASAN_POISON_MEMORY_REGION(p, n);
}

void Unpoison(const void *p, size_t n) {
    ASAN_UNPOISON_MEMORY_REGION(p, n);
}

void ReleaseArea(void *p, long size) {
    if (p == nullptr) return;
    // Whatever is mapped here next must not inherit the marks.
    Unpoison(p, MappedLength(size));
    if (TakeHeapArea(p))
        free(p);
    else
        munmap(p, MappedLength(size));
}

// True when the injected failure is due now (see MemFailCountdown).
inline bool InjectedFailure() {
    return MemFailCountdown > 0 && --MemFailCountdown == 0;
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

// Address of node i; the data area's start is asked of the index, which
// has it in cache where the header seldom is.
char *NodeAddress(const MemBlock *b, int i) {
    return MemIndexData(b) + (long)MEM_NODE_SIZE * i;
}

// Marks nodes [first, first + count) of b with mark, tells the index and
// counts them. FreeNodes is stored from the index's count rather than
// updated in place: a free then only writes the header, whose page is
// seldom in cache, and never waits to read it.
void MarkNodes(MemBlock *b, int first, int count, char mark) {
    memset(b->MAT + first, mark, count);
    b->FreeNodes = MemIndexMark(b, first, count, mark == MEM_FREE);
}

// Records an allocation of count nodes starting at node i (0: none); the
// caller tells the index when an allocation starts or stops at i.
void SetNode(MemBlock *b, int i, int count) {
    b->Node[i].Count = (unsigned short)count;
    b->Node[i].pStart = count ? NodeAddress(b, i) : nullptr;
}

#ifdef MEM_CHECK_INDEX
[[noreturn]] void IndexFault(const char *what) {
    fprintf(stderr, "memory manager: search index out of step with the MATs (%s)\n", what);
    abort();
}

// The plain first fit: the chain walked from pMemB, each block with enough
// free nodes searched for the lowest run of k free marks.
MemBlock *FirstFitByMAT(int k, int *node) {
    char pattern[MEM_NODES + 1];
    memset(pattern, MEM_FREE, k);
    pattern[k] = '\0';
    for (MemBlock *b = pMemB; b != nullptr; b = b->pNext) {
        if (b->FreeNodes < k) continue;
        if (const char *at = strstr(b->MAT, pattern)) {
            *node = (int)(at - b->MAT);
            return b;
        }
    }
    return nullptr;
}

MemBlock *BlockByWalk(const void *p) {
    for (MemBlock *b = pMemB; b != nullptr; b = b->pNext)
        if ((const char *)p >= b->pData && (const char *)p - b->pData < b->Size) return b;
    return nullptr;
}

void CheckFreeCount(const MemBlock *b) {
    if (b->FreeNodes != (int)std::count(b->MAT, b->MAT + MEM_NODES, MEM_FREE))
        IndexFault("FreeNodes differs from the free marks");
}
#endif

// The block whose data area holds p, or null; *node is p's node in it, -1
// in a dedicated block.
MemBlock *FindNode(const void *p, int *node) {
    if (p == nullptr) return nullptr;
    MemBlock *b = MemIndexBlockOf(p, node);
#ifdef MEM_CHECK_INDEX
    if (b != BlockByWalk(p)) IndexFault("block of an address");
    if (b != nullptr &&
        *node != (IsDedicated(b) ? -1 : (int)(((const char *)p - b->pData) / MEM_NODE_SIZE)))
        IndexFault("node of an address");
#endif
    return b;
}

// The first block in chain order with k free nodes in a row, and the lowest
// such node; null when none has room.
MemBlock *FirstFit(int k, int *node) {
    MemBlock *b = MemIndexFirstFit(k, node);
#ifdef MEM_CHECK_INDEX
    int plainNode = -1;
    MemBlock *plain = FirstFitByMAT(k, &plainNode);
    if (plain != b || (b != nullptr && plainNode != *node)) IndexFault("first fit");
    if (b != nullptr && MemIndexData(b) != b->pData) IndexFault("data area of a block");
#endif
    return b;
}

// Takes k nodes from i on in b; returns their zeroed memory.
char *TakeNodes(MemBlock *b, int i, int k) {
    char *p = NodeAddress(b, i);
    MarkNodes(b, i, k, MEM_USED);
    SetNode(b, i, k);
    MemIndexStart(b, i, true);
    Unpoison(p, (size_t)k * MEM_NODE_SIZE);
    memset(p, 0, (size_t)k * MEM_NODE_SIZE);
    return p;
}

char *GetDedicated(long len) {
    long size = (len + MEM_BLOCK_SIZE - 1) / MEM_BLOCK_SIZE * MEM_BLOCK_SIZE;
    MemBlock *b = GetNewBlock((int)size);
    if (b == nullptr) return nullptr;
    Unpoison(b->pData, len);
    memset(b->pData, 0, len);
    MarkNodes(b, 0, MEM_NODES, MEM_USED);
    b->FreeNodes = 0;
    b->Used = (int)len;
    return b->pData;
}

char *GetStandard(long len) {
    int k = (int)(len / MEM_NODE_SIZE), i = 0;
    if (pMemB == nullptr && GetNewBlock((int)len) == nullptr) return nullptr;
    MemBlock *b = FirstFit(k, &i);
    if (b == nullptr) {
        // No block has room: a new one at the tail, empty, so the fit is node 0.
        b = GetNewBlock((int)len);
        if (b == nullptr) return nullptr;
        i = 0;
    }
    return TakeNodes(b, i, k);
}

// Bytes of p's allocation from p on: all of a dedicated block's data area
// after p, else the nodes of the allocation that starts at node i. A move
// copies these, so the caller's address keeps its content and nothing of a
// neighbouring allocation comes along.
size_t BytesFrom(const MemBlock *b, const char *p, int i) {
    if (IsDedicated(b)) return (size_t)(b->Size - (p - b->pData));
    return (size_t)(b->Node[i].pStart + (long)b->Node[i].Count * MEM_NODE_SIZE - p);
}

// Copies p's allocation (node i of b) into q and gives p back; returns q.
char *MoveTo(char *q, MemBlock *b, char *p, int i) {
    // A dedicated block is copied whole; its part past Used is zero.
    if (IsDedicated(b)) Unpoison(b->pData, b->Size);
    memcpy(q, p, BytesFrom(b, p, i));
    PutMem(p);
    return q;
}

// Resizes a dedicated block's allocation (or moves any allocation to a
// dedicated-size area). i is p's node in a standard block.
char *AdjustLarge(MemBlock *b, char *p, int i, long len) {
    if (b->Size < len) {
        char *q = GetMem((int)len);
        return q != nullptr ? MoveTo(q, b, p, i) : nullptr;
    }
    // Staying in place, also when the new length is the whole data area:
    // Used must follow every resize, or a later shrink would zero from a
    // stale Used on and wipe content the caller still owns. Bytes between the
    // old and new length are zero, so a later growth hands out zeroed memory
    // and a shrink loses the tail.
    if (b->Used < len) {
        Unpoison(b->pData + b->Used, len - b->Used);
        memset(b->pData + b->Used, 0, len - b->Used);
    } else {
        memset(b->pData + len, 0, b->Used - len);
        Poison(b->pData + len, b->Used - len);
    }
    b->Used = (int)len;
    return p;
}

// p lies in node i, the first node of an allocation; in place it is handed
// back as it came.
char *AdjustStandard(MemBlock *b, char *p, int i, long len) {
    int k = (int)(len / MEM_NODE_SIZE), a = b->Node[i].Count;
    char *start = b->Node[i].pStart;
    if (k == a) return p;
    if (k < a) {
        MarkNodes(b, i + k, a - k, MEM_FREE);
        memset(NodeAddress(b, i + k), 0, (size_t)(a - k) * MEM_NODE_SIZE);
        Poison(NodeAddress(b, i + k), (size_t)(a - k) * MEM_NODE_SIZE);
        SetNode(b, i, k);
        return p;
    }
    int d = k - a;
    if (i + k <= MEM_NODES && TestMAT(b->MAT + i + a, MEM_FREE, d)) {
        MarkNodes(b, i + a, d, MEM_USED);
        Unpoison(NodeAddress(b, i + a), (size_t)d * MEM_NODE_SIZE);
        memset(NodeAddress(b, i + a), 0, (size_t)d * MEM_NODE_SIZE);
        SetNode(b, i, k);
        return p;
    }
    if (i - d >= 0 && TestMAT(b->MAT + i - d, MEM_FREE, d)) {
        char *q = NodeAddress(b, i - d);
        MarkNodes(b, i - d, d, MEM_USED);
        Unpoison(q, (size_t)d * MEM_NODE_SIZE);
        memmove(q, start, (size_t)a * MEM_NODE_SIZE);
        memset(q + (size_t)a * MEM_NODE_SIZE, 0, (size_t)d * MEM_NODE_SIZE);
        SetNode(b, i - d, k);
        SetNode(b, i, 0);
        MemIndexStart(b, i - d, true);
        MemIndexStart(b, i, false);
        return q;
    }
    char *q = GetMem((int)len);
    return q != nullptr ? MoveTo(q, b, p, i) : nullptr;
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
    if (size < 0 || InjectedFailure()) return nullptr;
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
    Poison(data, dataSize);
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
    b->pNext = nullptr;
    if (pMemB == nullptr) {
        b->pPrev = nullptr;
        pMemB = b;
    } else {
        MemBlock *tail = pMemB;
        while (tail->pNext != nullptr)
            tail = tail->pNext;
        tail->pNext = b;
        b->pPrev = tail;
    }
    MemIndexAdd(b);
}

MemBlock *PopBlock(MemBlock *b) {
    if (b == nullptr) return nullptr;
    MemIndexDrop(b);
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
    int node = 0;
    return FindNode(p, &node);
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
    if (InjectedFailure()) {
        fprintf(stderr, "ERROR: %s\n", OutOfMem);
        return nullptr;
    }
    return len > MEM_BLOCK_SIZE ? GetDedicated(len) : GetStandard(len);
}

int PutMem(const void *p) {
    // The block, its kind and p's node come from the index, and so does
    // Node[i]'s Count (when it has a pStart): a free reads nothing of the
    // header or the node table.
    int i = 0;
    MemBlock *b = FindNode(p, &i);
    if (b == nullptr) return 0;
    if (i < 0) {
        FreeBlock(b);
        return 1;
    }
    int count = MemIndexCount(b, i);
#ifdef MEM_CHECK_INDEX
    if (count != (b->Node[i].pStart != nullptr ? b->Node[i].Count : 0))
        IndexFault("length of an allocation");
#endif
    if (count != 0) {
        MarkNodes(b, i, count, MEM_FREE);
        SetNode(b, i, 0);
        MemIndexStart(b, i, false);
        Poison(NodeAddress(b, i), (size_t)count * MEM_NODE_SIZE);
    }
#ifdef MEM_CHECK_INDEX
    CheckFreeCount(b);
#endif
    // Whether or not p freed anything, an empty block does not stay mapped;
    // every mark free is what FreeNodes counts.
    if (b->FreeNodes == MEM_NODES) FreeBlock(b);
    return count != 0;
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
    if (len > MEM_BLOCK_SIZE) return AdjustLarge(b, (char *)p, i, len);
    return AdjustStandard(b, (char *)p, i, len);
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

// The search index is its own unit but is compiled here, in the allocator's
// translation unit, so that its calls on the GetMem/PutMem path inline.
#include "toolkit/runtime/memindex.cpp"
