// The memory manager against a first-fit model: node and MAT order, resizing, foreign
// addresses, and blocks unmapped and mapped again.
#include "toolkit/runtime/memory.h"

#include <gtest/gtest.h>
#include <sanitizer/asan_interface.h>

#include <cstring>
#include <random>
#include <vector>
#include <string>
#include <string_view>
#include <algorithm>
#include <sys/resource.h>

namespace {

// Every test starts and must end with an empty chain: the allocator unmaps a
// block as soon as its last allocation is given back.
class MemoryTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(pMemB, nullptr); }
    void TearDown() override { EXPECT_EQ(pMemB, nullptr) << "allocations leaked by the test"; }
};

int NodeOf(const void *p) {
    MemBlock *b = FindBlock(p);
    return (int)(((const char *)p - b->pData) / MEM_NODE_SIZE);
}

std::string MatPrefix(const MemBlock *b, int n) {
    return std::string(b->MAT, n);
}

// Under the address sanitizer the bytes no allocation holds are poisoned;
// the checks that given-back memory was zeroed read them on purpose.
bool AllZero(const char *p, int n) {
    ASAN_UNPOISON_MEMORY_REGION(p, n);
    for (int i = 0; i < n; i++)
        if (p[i] != 0) return false;
    return true;
}

TEST_F(MemoryTest, RequestLengthRoundsUpWithRoomForTerminator) {
    EXPECT_EQ(GetMem(0), nullptr);
    EXPECT_EQ(pMemB, nullptr);
    struct {
        int n, nodes;
    } cases[] = {{1, 1}, {31, 1}, {32, 2}, {63, 2}, {64, 3}, {1000, 32}};
    for (auto c : cases) {
        char *p = GetMem(c.n);
        ASSERT_NE(p, nullptr);
        MemBlock *b = FindBlock(p);
        EXPECT_EQ(b->Node[NodeOf(p)].Count, c.nodes) << "n=" << c.n;
        EXPECT_EQ(b->Node[NodeOf(p)].pStart, p);
        EXPECT_TRUE(AllZero(p, c.nodes * MEM_NODE_SIZE));
        PutMem(p);
    }
}

TEST_F(MemoryTest, FirstFitByLowestNodeAndMatAfterFrees) {
    char *a = GetMem(10);  // node 0
    char *b = GetMem(40);  // nodes 1-2
    char *c = GetMem(10);  // node 3
    char *d = GetMem(100); // nodes 4-7
    MemBlock *blk = pMemB;
    EXPECT_EQ(MatPrefix(blk, 10), "UUUUUUUU  ");
    EXPECT_EQ(blk->FreeNodes, MEM_NODES - 8);
    PutMem(b);
    PutMem(d);
    EXPECT_EQ(MatPrefix(blk, 10), "U  U      ");
    EXPECT_EQ(blk->Node[1].Count, 0);
    EXPECT_EQ(blk->Node[1].pStart, nullptr);
    EXPECT_EQ(blk->FreeNodes, MEM_NODES - 2);
    char *e = GetMem(1); // the lowest free node
    EXPECT_EQ(NodeOf(e), 1);
    char *f = GetMem(40); // node 2 alone is too small: nodes 4-5
    EXPECT_EQ(NodeOf(f), 4);
    EXPECT_EQ(MatPrefix(blk, 8), "UU UUU  ");
    for (char *p : {a, c, e, f})
        PutMem(p);
}

// Random churn against a model of the specified layout: blocks in creation
// order, each a MAT text; a request takes the lowest run of free nodes in the
// first block that has one, else a new block; an emptied block goes away.
TEST_F(MemoryTest, ChurnMatchesFirstFitModel) {
    struct Live {
        char *p;
        int block, node, nodes;
    };
    std::vector<std::string> model; // MATs, in chain order
    std::vector<Live> live;
    std::mt19937 rng(7);
    auto chainIndex = [](const void *p) {
        int i = 0;
        for (MemBlock *b = pMemB; b != nullptr; b = b->pNext, i++)
            if (b == FindBlock(p)) return i;
        return -1;
    };
    for (int step = 0; step < 6000; step++) {
        if (live.empty() || rng() % 100 < 55) {
            int n = 1 + (int)(rng() % (rng() % 8 == 0 ? 6000 : 600));
            int k = (n + 1 + 31) / 32;
            std::string want(k, ' ');
            int block = 0, node = -1;
            for (; block < (int)model.size(); block++) {
                size_t at = model[block].find(want);
                if (at != std::string::npos) {
                    node = (int)at;
                    break;
                }
            }
            if (node < 0) {
                model.emplace_back(MEM_NODES, ' ');
                node = 0;
            }
            model[block].replace(node, k, std::string(k, 'U'));
            char *p = GetMem(n);
            ASSERT_NE(p, nullptr);
            ASSERT_EQ(chainIndex(p), block) << "step " << step;
            ASSERT_EQ(NodeOf(p), node) << "step " << step;
            live.push_back({p, block, node, k});
        } else {
            size_t victim = rng() % live.size();
            Live v = live[victim];
            live.erase(live.begin() + victim);
            PutMem(v.p);
            model[v.block].replace(v.node, v.nodes, std::string(v.nodes, ' '));
            if (model[v.block] == std::string(MEM_NODES, ' ')) {
                model.erase(model.begin() + v.block);
                for (Live &l : live)
                    if (l.block > v.block) l.block--;
            }
        }
        if (step % 500 == 0) {
            int i = 0;
            for (MemBlock *b = pMemB; b != nullptr; b = b->pNext, i++)
                ASSERT_EQ(std::string(b->MAT), model[i]) << "step " << step;
            ASSERT_EQ(i, (int)model.size());
        }
    }
    for (Live &l : live)
        PutMem(l.p);
}

// Where the specified search would put a standard request of k nodes: the
// chain position of the first block whose MAT holds k free marks in a row,
// and the lowest such node; the chain length and 0 when none does.
std::pair<int, int> ExpectedFit(int k) {
    int i = 0;
    for (MemBlock *b = pMemB; b != nullptr; b = b->pNext, i++) {
        if (b->Size > MEM_BLOCK_SIZE) continue;
        size_t at = std::string_view(b->MAT).find(std::string(k, MEM_FREE));
        if (at != std::string_view::npos) return {i, (int)at};
    }
    return {i, 0};
}

void ExpectBlocksConsistent(int step) {
    for (MemBlock *b = pMemB; b != nullptr; b = b->pNext) {
        std::string mat(b->MAT);
        ASSERT_EQ(mat.size(), (size_t)MEM_NODES);
        ASSERT_EQ(b->FreeNodes, (int)std::count(mat.begin(), mat.end(), MEM_FREE)) << step;
        if (b->Size > MEM_BLOCK_SIZE) continue;
        std::string covered(MEM_NODES, MEM_FREE);
        for (int i = 0; i < MEM_NODES; i++) {
            if (b->Node[i].Count == 0) continue;
            ASSERT_EQ(b->Node[i].pStart, b->pData + MEM_NODE_SIZE * i) << step;
            covered.replace(i, b->Node[i].Count, b->Node[i].Count, MEM_USED);
        }
        ASSERT_EQ(covered, mat) << "step " << step;
    }
}

// Growth, shrinking and moves, dedicated blocks and frees, mixed at random:
// every request still lands where a search of the MATs says, the headers
// stay consistent and contents survive every resize.
TEST_F(MemoryTest, ResizeChurnKeepsFirstFitAndContents) {
    struct Live {
        char *p;
        int n;
        char fill;
    };
    std::vector<Live> live;
    std::mt19937 rng(11);
    auto size = [&] { return 1 + (int)(rng() % (rng() % 20 == 0 ? 140000 : 900)); };
    auto chainIndex = [](const void *p) {
        int i = 0;
        for (MemBlock *b = pMemB; b != nullptr; b = b->pNext, i++)
            if (b == FindBlock(p)) return i;
        return -1;
    };
    for (int step = 0; step < 5000; step++) {
        int op = (int)(rng() % 10);
        if (live.empty() || op < 4) {
            int n = size();
            long len = (n + 1 + 31) / 32 * 32;
            auto want = ExpectedFit((int)(len / 32));
            char *p = GetMem(n);
            ASSERT_NE(p, nullptr);
            if (len <= MEM_BLOCK_SIZE) {
                ASSERT_EQ(chainIndex(p), want.first) << "step " << step;
                ASSERT_EQ(NodeOf(p), want.second) << "step " << step;
            }
            char fill = (char)('a' + step % 26);
            memset(p, fill, n);
            live.push_back({p, n, fill});
        } else if (op < 7) {
            Live &v = live[rng() % live.size()];
            int n = rng() % 2 ? v.n + 1 + (int)(rng() % 200) : size();
            char *q = AdjustMem(v.p, n);
            ASSERT_NE(q, nullptr);
            int kept = std::min(n, v.n);
            ASSERT_EQ(std::string(q, kept), std::string(kept, v.fill)) << "step " << step;
            if (n > v.n) {
                ASSERT_TRUE(AllZero(q + v.n, n - v.n + 1)) << "step " << step;
            } else {
                // A shrink keeps the last node whole; clear what the test wrote there.
                memset(q + n, 0, (n + 1 + 31) / 32 * 32 - n);
            }
            v.p = q;
            v.n = kept;
        } else {
            size_t victim = rng() % live.size();
            PutMem(live[victim].p);
            live.erase(live.begin() + victim);
        }
        if (step % 100 == 0) ExpectBlocksConsistent(step);
    }
    for (Live &l : live)
        PutMem(l.p);
}

TEST_F(MemoryTest, FreeingIgnoresForeignAndInteriorAddresses) {
    char *a = GetMem(100);
    char local = 0;
    EXPECT_EQ(PutMem(nullptr), 0);
    EXPECT_EQ(PutMem(&local), 0);
    EXPECT_EQ(PutMem(a + 40), 0); // second node of the allocation
    EXPECT_EQ(pMemB->Node[0].Count, 4);
    EXPECT_EQ(PutMem(a), 1);
}

TEST_F(MemoryTest, EmptyBlockIsUnmappedAndRemapped) {
    char *a = SaveStr_("one"), *b = SaveStr_("two"), *c = SaveStr_("three");
    EXPECT_EQ(pMemB->pNext, nullptr);
    PutMem(a);
    PutMem(b);
    EXPECT_NE(pMemB, nullptr);
    PutMem(c);
    EXPECT_EQ(pMemB, nullptr);
    char *d = GetMem(5);
    ASSERT_NE(pMemB, nullptr);
    EXPECT_EQ(pMemB->FreeNodes, MEM_NODES - 1);
    PutMem(d);
}

TEST_F(MemoryTest, FullBlockRequestAndChainOrder) {
    char *small = GetMem(1);
    char *full = GetMem(65535); // all 2048 nodes: needs a fresh block
    MemBlock *first = pMemB, *second = first->pNext;
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(FindBlock(full), second);
    EXPECT_EQ(second->pPrev, first);
    EXPECT_EQ(second->FreeNodes, 0);
    EXPECT_EQ(second->Node[0].Count, MEM_NODES);
    char *next = GetMem(1); // first fit: back in the first block
    EXPECT_EQ(FindBlock(next), first);
    PutMem(small);
    PutMem(next); // the head goes; the second block becomes the head
    EXPECT_EQ(pMemB, second);
    EXPECT_EQ(second->pPrev, nullptr);
    PutMem(full);
}

TEST_F(MemoryTest, DedicatedBlockForLargeRequests) {
    char *p = GetMem(65536);
    ASSERT_NE(p, nullptr);
    MemBlock *b = FindBlock(p);
    EXPECT_EQ(b->Size, 131072);
    EXPECT_EQ(b->Used, 65568);
    EXPECT_EQ(b->FreeNodes, 0);
    EXPECT_EQ(b->pData, p);
    EXPECT_EQ(std::string(b->MAT), std::string(MEM_NODES, 'U'));
    char *small = GetMem(1); // passes over the dedicated block
    EXPECT_NE(FindBlock(small), b);
    EXPECT_EQ(PutMem(p), 1);
    EXPECT_EQ(pMemB, FindBlock(small));
    PutMem(small);
}

TEST_F(MemoryTest, ReusedNodesComeBackZeroed) {
    char *keep = GetMem(1); // keeps the block mapped
    char *a = GetMem(200);
    memset(a, 'x', 201);
    PutMem(a);
    char *b = GetMem(150);
    EXPECT_EQ(b, a);
    EXPECT_TRUE(AllZero(b, 5 * MEM_NODE_SIZE));
    PutMem(b);
    PutMem(keep);
}

TEST_F(MemoryTest, AdjustNullAndZero) {
    char *p = AdjustMem(nullptr, 20);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(pMemB->Node[0].Count, 1);
    EXPECT_EQ(AdjustMem(p, 0), nullptr);
    EXPECT_EQ(pMemB, nullptr);
    EXPECT_EQ(AdjustMem(nullptr, 0), nullptr);
}

TEST_F(MemoryTest, AdjustGrowsInPlaceWhenFollowingNodesAreFree) {
    char *p = GetMem(31);
    strcpy(p, "keep");
    char *q = AdjustMem(p, 100); // 4 nodes
    EXPECT_EQ(q, p);
    EXPECT_STREQ(q, "keep");
    EXPECT_EQ(pMemB->Node[0].Count, 4);
    EXPECT_EQ(MatPrefix(pMemB, 5), "UUUU ");
    EXPECT_EQ(pMemB->FreeNodes, MEM_NODES - 4);
    EXPECT_TRUE(AllZero(q + 5, 123));
    EXPECT_EQ(AdjustMem(q, 120), q); // same node count: unchanged
    PutMem(q);
}

TEST_F(MemoryTest, AdjustGrowsDownwardsIntoFreeNodesBefore) {
    char *a = GetMem(60); // nodes 0-1
    char *b = GetMem(20); // node 2
    char *c = GetMem(20); // node 3 blocks growth upwards
    memset(a, 'a', 61);
    strcpy(b, "content");
    PutMem(a);
    char *moved = AdjustMem(b, 90); // 3 nodes: needs the 2 nodes below
    EXPECT_EQ(NodeOf(moved), 0);
    EXPECT_STREQ(moved, "content");
    EXPECT_TRUE(AllZero(moved + 8, 96 - 8));
    EXPECT_EQ(pMemB->Node[0].Count, 3);
    EXPECT_EQ(pMemB->Node[2].Count, 0);
    EXPECT_EQ(pMemB->Node[2].pStart, nullptr);
    EXPECT_EQ(MatPrefix(pMemB, 5), "UUUU ");
    PutMem(moved);
    PutMem(c);
}

TEST_F(MemoryTest, AdjustMovesWhenNeighboursAreUsed) {
    char *a = GetMem(20);
    char *b = GetMem(20);
    char *c = GetMem(20);
    strcpy(b, "bbb");
    char *moved = AdjustMem(b, 70); // 3 nodes; nodes 0 and 2 are taken
    EXPECT_NE(moved, b);
    EXPECT_STREQ(moved, "bbb");
    EXPECT_EQ(MatPrefix(pMemB, 3), "U U");
    // The new area is obtained with the rounded length, hence one node more.
    EXPECT_EQ(pMemB->Node[NodeOf(moved)].Count, 4);
    for (char *p : {a, c, moved})
        PutMem(p);
}

// An address in the first node of an allocation names the allocation (as for
// PutMem); resizing in place hands that same address back, and a move keeps
// what lies from it on at the start of the new area.
TEST_F(MemoryTest, AdjustAnAddressInsideTheFirstNode) {
    char *p = GetMem(100); // nodes 0-3
    char *q = p + 5;
    strcpy(q, "view");
    EXPECT_EQ(AdjustMem(q, 100), q); // same node count
    EXPECT_EQ(AdjustMem(q, 40), q);  // shrink to 2 nodes
    EXPECT_EQ(MatPrefix(pMemB, 5), "UU   ");
    EXPECT_EQ(AdjustMem(q, 120), q); // grow in place to 4 nodes
    EXPECT_EQ(pMemB->Node[0].Count, 4);
    char *after = GetMem(1); // node 4 stops growth in place
    memset(after, 'n', 2);
    char *moved = AdjustMem(q, 200);
    ASSERT_NE(moved, nullptr);
    EXPECT_EQ(NodeOf(moved), 5);
    EXPECT_STREQ(moved, "view");
    EXPECT_TRUE(AllZero(moved + 5, 224 - 5)); // nothing of the neighbour
    char *big = AdjustMem(moved + 3, 70000);  // to a dedicated block
    ASSERT_NE(big, nullptr);
    EXPECT_STREQ(big, "w");
    EXPECT_TRUE(AllZero(big + 1, 70001));
    PutMem(big);
    PutMem(after);
}

TEST_F(MemoryTest, AdjustShrinkFreesAndZeroesTheTail) {
    char *p = GetMem(127); // 4 nodes
    char *after = GetMem(1);
    memset(p, 'x', 128);
    EXPECT_EQ(AdjustMem(p, 10), p);
    EXPECT_EQ(MatPrefix(pMemB, 5), "U   U");
    EXPECT_EQ(pMemB->FreeNodes, MEM_NODES - 2);
    EXPECT_EQ(std::string(p, 32), std::string(32, 'x'));
    EXPECT_TRUE(AllZero(p + 32, 96));
    PutMem(p);
    PutMem(after);
}

TEST_F(MemoryTest, AdjustDedicatedInPlaceAndMoving) {
    char *p = GetMem(70000);
    MemBlock *b = FindBlock(p);
    memset(p, 'y', 70001);
    EXPECT_EQ(AdjustMem(p, 100000), p); // still within 131072
    EXPECT_EQ(b->Used, 100032);
    EXPECT_TRUE(AllZero(p + 70016, 100032 - 70016));
    EXPECT_EQ(AdjustMem(p, 40000), p); // shrinks in place, tail zeroed
    EXPECT_EQ(b->Used, 40032);
    EXPECT_TRUE(AllZero(p + 40032, 70016 - 40032));
    EXPECT_EQ(p[40031], 'y');
    char *q = AdjustMem(p, 200000);
    ASSERT_NE(q, p);
    EXPECT_EQ(q[0], 'y');
    EXPECT_EQ(q[40031], 'y');
    EXPECT_EQ(q[40032], 0);
    EXPECT_EQ(FindBlock(q)->Size, 262144);
    EXPECT_EQ(pMemB, FindBlock(q)); // the old block is gone
    EXPECT_EQ(pMemB->pNext, nullptr);
    PutMem(q);
}

// Growing to exactly the data area's size records the new length too; a
// later shrink then zeroes only beyond what the caller keeps.
TEST_F(MemoryTest, AdjustDedicatedToItsFullSizeThenShrinkKeepsContent) {
    char *p = GetMem(70000); // 131072-byte data area
    EXPECT_EQ(AdjustMem(p, 131071), p);
    EXPECT_EQ(FindBlock(p)->Used, 131072);
    memset(p, 'f', 131072);
    EXPECT_EQ(AdjustMem(p, 99999), p);
    EXPECT_EQ(std::string(p, 100000), std::string(100000, 'f'));
    EXPECT_TRUE(AllZero(p + 100000, 131072 - 100000));
    PutMem(p);
}

TEST_F(MemoryTest, AdjustStandardToDedicatedCopiesContent) {
    char *p = SaveStr_("small text");
    char *q = AdjustMem(p, 80000);
    ASSERT_NE(q, nullptr);
    EXPECT_STREQ(q, "small text");
    EXPECT_GT(FindBlock(q)->Size, MEM_BLOCK_SIZE);
    EXPECT_EQ(pMemB, FindBlock(q));
    PutMem(q);
}

TEST_F(MemoryTest, AdjustFailureKeepsOldAllocation) {
    char *p = SaveStr_("still here");
    EXPECT_EQ(AdjustMem(p, 2147483647), nullptr);
    EXPECT_STREQ(p, "still here");
    EXPECT_EQ(pMemB->Node[0].Count, 1);
    PutMem(p);
}

// Runs in a child: with no address space left, growth must fail cleanly.
[[noreturn]] void GrowWithoutAddressSpace() {
    char *p = SaveStr_("kept");
    struct rlimit lim;
    getrlimit(RLIMIT_AS, &lim);
    lim.rlim_cur = 0;
    setrlimit(RLIMIT_AS, &lim);
    char *q = AdjustMem(p, 300000);
    exit(q == nullptr && strcmp(p, "kept") == 0 ? 3 : 4);
}

TEST_F(MemoryTest, AdjustFailureWhenTheSystemRefusesMemory) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "an address-space limit breaks the sanitizer's own allocations";
#endif
    EXPECT_EXIT(GrowWithoutAddressSpace(), ::testing::ExitedWithCode(3),
                "ERROR: Unable to allocate memory");
}

// Child: the string savers end the run rather than return null.
[[noreturn]] void SaveWithoutAddressSpace() {
    std::string big(200000, 's');
    struct rlimit lim;
    getrlimit(RLIMIT_AS, &lim);
    lim.rlim_cur = 0;
    setrlimit(RLIMIT_AS, &lim);
    SaveStr_(big.c_str());
    exit(4);
}

TEST_F(MemoryTest, SaversEndTheRunWhenMemoryIsOut) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "an address-space limit breaks the sanitizer's own allocations";
#endif
    EXPECT_EXIT(SaveWithoutAddressSpace(), ::testing::ExitedWithCode(1),
                ": Unable to allocate memory : ");
}

TEST_F(MemoryTest, TestMatStopsAtTerminator) {
    EXPECT_EQ(TestMAT("  U", ' ', 2), 1);
    EXPECT_EQ(TestMAT("  U", ' ', 3), 0);
    EXPECT_EQ(TestMAT("U", ' ', 0), 1);
    EXPECT_EQ(TestMAT("  ", ' ', 5), 0);
    // Looking for NUL marks, a NUL is a mark like any other: the test goes on.
    EXPECT_EQ(TestMAT("\0\0", '\0', 2), 1);
    EXPECT_EQ(TestMAT("\0U", '\0', 2), 0);
}

TEST_F(MemoryTest, FreeingIntoAnEmptyBlockReleasesIt) {
    MemBlock *b = GetNewBlock(0);
    ASSERT_EQ(pMemB, b);
    EXPECT_EQ(PutMem(b->pData + 64), 0); // starts no allocation: frees nothing
    EXPECT_EQ(pMemB, nullptr);           // but an empty block does not stay mapped
}

TEST_F(MemoryTest, GrowthAtTheEndOfTheTableMoves) {
    char *filler = GetMem(65535 - 64); // nodes 0-2045
    char *last = GetMem(1);            // node 2046
    ASSERT_EQ(NodeOf(last), MEM_NODES - 2);
    char *moved = AdjustMem(last, 100); // needs nodes up to 2049
    EXPECT_NE(FindBlock(moved), FindBlock(filler));
    PutMem(moved);
    PutMem(filler);
}

TEST_F(MemoryTest, StringSavers) {
    char *s = SaveStr("%s/%s", "a", "b");
    EXPECT_STREQ(s, "a/b");
    EXPECT_EQ(PutMem(s), 1);
    EXPECT_EQ(SaveStr__(nullptr), nullptr);
    char *t = SaveStr__("%d-%s", 42, "x");
    EXPECT_STREQ(t, "42-x");
    PutMem(t);
    // SaveStr formats in a working buffer of 4096 × (format length / 4096 + 2)
    // bytes taken first and given back last: its copy lands after the buffer's
    // nodes, which are free again afterwards. SaveStr__ formats on the stack.
    std::string longFormat(5000, 'f');
    auto expectPlaced = [](char *saved, int node) {
        EXPECT_EQ(NodeOf(saved), node);
        EXPECT_EQ(MatPrefix(FindBlock(saved), node), std::string(node, MEM_FREE));
        PutMem(saved);
    };
    expectPlaced(SaveStr("%s/%s", "a", "b"), 8192 / MEM_NODE_SIZE + 1);
    expectPlaced(SaveStr(longFormat.c_str()), 12288 / MEM_NODE_SIZE + 1);
    expectPlaced(SaveStr__("%s", "b"), 0);
    char *e = SaveStr_("");
    ASSERT_NE(e, nullptr);
    EXPECT_STREQ(e, "");
    PutMem(e);
    // A saved text of n characters is a request for n + 1 bytes, which
    // reserves n + 2: 31 characters take two nodes, 30 take one.
    std::string text(31, 'x');
    for (char *saved :
         {SaveStr_(text.c_str()), SaveStr("%s", text.c_str()), SaveStr__("%s", text.c_str())}) {
        EXPECT_EQ(FindBlock(saved)->Node[NodeOf(saved)].Count, 2);
        PutMem(saved);
    }
    char *shorter = SaveStr_(text.substr(1).c_str());
    EXPECT_EQ(FindBlock(shorter)->Node[NodeOf(shorter)].Count, 1);
    PutMem(shorter);
    // Formatted text far beyond any fixed working buffer.
    std::string big(100000, 'z');
    char *b = SaveStr("<%s>", big.c_str());
    EXPECT_EQ(std::string(b), "<" + big + ">");
    PutMem(b);
    char *c = SaveStr_(big.c_str());
    EXPECT_EQ(std::string(c), big);
    PutMem(c);
}

TEST_F(MemoryTest, DumpMemFormat) {
    char *big = GetMem(70000);
    char *hello = SaveStr_("hello");
    char *two = GetMem(40);
    MemBlock *d = FindBlock(big), *s = FindBlock(hello);
    char head[512];
    std::string want;
    snprintf(head, sizeof head,
             "\n============ Dedicated Block(%li) size(%li) FreeNodeCount(%i) <==(%li) (%li)==>",
             (long)d->pData, 131072L, 0, 0L, (long)s);
    want += head;
    snprintf(head, sizeof head,
             "\n============ Block(%li) size(%li) Free(%i) Used(%i) FreeNodeCount(%i) SizeCnt(%i) "
             "<==(%li) (%li)==>\n\tBlock MAT:",
             (long)s, 65536L, 2045, 3, 2045, 2045, (long)d, 0L);
    want += head;
    want += "\n\tUUU" + std::string(61, '_');
    for (int i = 1; i < 32; i++)
        want += "\n\t" + std::string(64, '_');
    want += "\n\n\tAllocated Nodes:\n";
    snprintf(head, sizeof head,
             "\tMAT index(%6i) Memory Addr(%6li) nodes(%5i) size(%5i) Memory(%s)\n", 0, (long)hello,
             1, 32, "hello");
    want += head;
    snprintf(head, sizeof head,
             "\tMAT index(%6i) Memory Addr(%6li) nodes(%5i) size(%5i) Memory(%s)\n", 1, (long)two,
             2, 64, "");
    want += head;
    want += "\n";
    testing::internal::CaptureStdout();
    DumpMem();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), want);
    for (char *p : {big, hello, two})
        PutMem(p);
}

#ifdef __SANITIZE_ADDRESS__
// Under the address sanitizer a read past an allocation into a free node, or
// of memory given back, is reported at the access.
TEST_F(MemoryTest, SanitizerReportsFreeNodesAndMemoryGivenBack) {
    char *keep = GetMem(1); // keeps the block mapped
    char *p = GetMem(31);   // one node; the next is free
    EXPECT_DEATH(((volatile char *)p)[MEM_NODE_SIZE] = 1, "use-after-poison");
    PutMem(p);
    EXPECT_DEATH((void)((volatile char *)p)[0], "use-after-poison");
    char *big = GetMem(70000); // dedicated: poisoned past its rounded length
    EXPECT_DEATH((void)((volatile char *)big)[70016], "use-after-poison");
    PutMem(big);
    PutMem(keep);
}
#endif

#ifdef MEM_CHECK_INDEX
// A MAT changed behind the allocator's back puts the search index out of
// step; the checking build stops at the next request instead of going on.
TEST_F(MemoryTest, CheckingBuildStopsWhenTheIndexDisagreesWithTheMat) {
    EXPECT_DEATH(
        {
            char *p = GetMem(10);
            FindBlock(p)->MAT[0] = MEM_FREE; // node 0 looks free, the index says used
            FindBlock(p)->FreeNodes++;
            GetMem(10);
        },
        "search index out of step with the MATs");
}
#endif

} // namespace
