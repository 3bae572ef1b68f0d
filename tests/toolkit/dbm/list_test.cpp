// The linked list library: appends and pushes, pops, positions, copies and moves.
#include "toolkit/dbm/list.h"
#include "toolkit/runtime/memory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// Items of these tests are NUL-terminated texts.
void Push(ListHeader *l, const char *s) {
    ListPushItem(l, s, (int)strlen(s) + 1);
}

std::vector<std::string> Walk(ListHeader *l, bool backward = false) {
    std::vector<std::string> out;
    for (int i = 0;; i++) {
        void *item = backward ? ListWalkBackward(l, i) : ListWalk(l, i);
        if (!item) break;
        out.emplace_back(static_cast<char *>(item));
    }
    return out;
}

using Strings = std::vector<std::string>;

TEST(List, AppendsOrPushesAtFrontAndWalksBothWays) {
    for (char front : {0, 1}) {
        ListHeader *l = ListCreate();
        ASSERT_NE(l, nullptr);
        l->pushAtFront = front;
        Push(l, "a");
        Push(l, "b");
        Push(l, "c");
        Strings forward = front ? Strings{"c", "b", "a"} : Strings{"a", "b", "c"};
        Strings backward(forward.rbegin(), forward.rend());
        EXPECT_EQ(Walk(l), forward);
        EXPECT_EQ(Walk(l, true), backward);
        // A finished walk restarts with call number 0.
        EXPECT_EQ(ListWalk(l, 1), nullptr);
        EXPECT_STREQ(static_cast<char *>(ListWalk(l, 0)), forward[0].c_str());
        EXPECT_EQ(l->count, 3);
        EXPECT_EQ(l->total, 6);
        ListDel(l);
    }
}

TEST(List, PushItemSizesAndZeroFill) {
    ListHeader l{};
    EXPECT_EQ(ListPushItem(&l, "x", 0), nullptr);
    EXPECT_EQ(ListPushItem(nullptr, "x", 1), nullptr);
    EXPECT_EQ(l.count, 0);
    auto *zero = static_cast<unsigned char *>(ListPushItem(&l, nullptr, 12));
    ASSERT_NE(zero, nullptr);
    for (int i = 0; i < 12; i++)
        EXPECT_EQ(zero[i], 0);
    ListPushItem(&l, "abcd", 4);
    EXPECT_EQ(l.total, 16);
    EXPECT_EQ(l.count, 2);
    ListDelAllItems(&l);
    EXPECT_EQ(l.count, 0);
    EXPECT_EQ(l.total, 0);
    EXPECT_EQ(l.first, nullptr);
    EXPECT_EQ(l.last, nullptr);
}

TEST(List, PopOperations) {
    ListHeader l{};
    Push(&l, "only");
    void *item = ListPopFirstItem(&l, 0);
    ASSERT_NE(item, nullptr);
    EXPECT_STREQ(static_cast<char *>(item), "only");
    PutMem(item);
    EXPECT_EQ(l.first, nullptr);
    EXPECT_EQ(l.last, nullptr);
    EXPECT_EQ(l.count, 0);
    EXPECT_EQ(l.total, 0);

    for (const char *s : {"a", "b", "c", "d"})
        Push(&l, s);
    void *b = ListFindItemN(&l, 2);
    EXPECT_EQ(ListPopItem(&l, b, 1), nullptr); // freed
    EXPECT_EQ(Walk(&l), (Strings{"a", "c", "d"}));
    EXPECT_EQ(ListPopLastItem(&l, 1), nullptr);
    EXPECT_EQ(Walk(&l, true), (Strings{"c", "a"}));
    void *first = ListPopItem(&l, nullptr, 0); // no item: the first
    EXPECT_STREQ(static_cast<char *>(first), "a");
    PutMem(first);
    EXPECT_EQ(l.first, l.last);
    EXPECT_EQ(l.total, 2);
    char stranger[] = "c";
    EXPECT_EQ(ListPopItem(&l, stranger, 1), nullptr);
    EXPECT_EQ(l.count, 1);
    ListDelAllItems(&l);
}

TEST(List, Positions) {
    ListHeader l{};
    for (const char *s : {"a", "b", "c"})
        Push(&l, s);
    EXPECT_STREQ(static_cast<char *>(ListFindItemN(&l, 1)), "a");
    EXPECT_STREQ(static_cast<char *>(ListFindItemN(&l, 3)), "c");
    EXPECT_EQ(ListFindItemN(&l, 0), nullptr);
    EXPECT_EQ(ListFindItemN(&l, 4), nullptr);
    EXPECT_EQ(ListGetItemPos(&l, ListFindItemN(&l, 2)), 2);
    int other = 0;
    EXPECT_EQ(ListGetItemPos(&l, &other), 0);
    ListDelAllItems(&l);
}

TEST(List, CopyKeepsSizesAndContents) {
    ListHeader src{}, dst{};
    const char four[4] = {1, 2, 3, 4};
    char twelve[12];
    for (int i = 0; i < 12; i++)
        twelve[i] = (char)(20 + i);
    ListPushItem(&src, four, 4);
    ListPushItem(&src, twelve, 12);
    ListCopy(&src, &dst);
    ASSERT_EQ(dst.count, 2);
    EXPECT_EQ(dst.total, 16);
    EXPECT_EQ(dst.first->size, 4);
    EXPECT_EQ(dst.last->size, 12);
    EXPECT_NE(dst.first->item, src.first->item);
    EXPECT_EQ(memcmp(dst.first->item, four, 4), 0);
    EXPECT_EQ(memcmp(dst.last->item, twelve, 12), 0);
    // Copying a list into itself doubles it once.
    ListCopy(&src, &src);
    EXPECT_EQ(src.count, 4);
    ListDelAllItems(&src);
    ListDelAllItems(&dst);
}

TEST(List, MoveItemBetweenLists) {
    ListHeader a{}, b{};
    for (const char *s : {"1", "2", "3"})
        Push(&a, s);
    Push(&b, "x");
    b.pushAtFront = 1;
    ListMoveItem(ListFindItemN(&a, 2), &a, &b);
    EXPECT_EQ(Walk(&a), (Strings{"1", "3"}));
    EXPECT_EQ(Walk(&b), (Strings{"2", "x"}));
    EXPECT_EQ(a.total, 4);
    EXPECT_EQ(b.total, 4);
    ListHeader empty{};
    ListMoveItem(ListFindItemN(&a, 1), &empty, &b); // not in the source
    EXPECT_EQ(b.count, 2);
    ListDelAllItems(&a);
    ListDelAllItems(&b);
}

TEST(List, PoppingTheNextItemOfAWalkIsSafe) {
    ListHeader l{};
    for (const char *s : {"a", "b", "c"})
        Push(&l, s);
    EXPECT_STREQ(static_cast<char *>(ListWalk(&l, 0)), "a");
    // The cursor rests on "b"; removing it must not leave the walk on freed memory.
    ListPopItem(&l, ListFindItemN(&l, 2), 1);
    EXPECT_STREQ(static_cast<char *>(ListWalk(&l, 1)), "c");
    EXPECT_EQ(ListWalk(&l, 2), nullptr);
    ListDelAllItems(&l);
}

TEST(List, NullListsAreIgnored) {
    EXPECT_EQ(ListPopItem(nullptr, nullptr, 1), nullptr);
    EXPECT_EQ(ListPopFirstItem(nullptr, 1), nullptr);
    EXPECT_EQ(ListPopLastItem(nullptr, 1), nullptr);
    EXPECT_EQ(ListFindItemN(nullptr, 1), nullptr);
    EXPECT_EQ(ListGetItemPos(nullptr, nullptr), 0);
    EXPECT_EQ(ListWalk(nullptr, 0), nullptr);
    EXPECT_EQ(ListWalkBackward(nullptr, 0), nullptr);
    ListCopy(nullptr, nullptr);
    ListDel(nullptr);
    ListDelAllItems(nullptr);
    ListDump(nullptr);
    ListPushLink(nullptr, nullptr);
    ListPopLink(nullptr, nullptr);
}

TEST(List, DumpPrintsPositionsAndFirstWords) {
    ListHeader l{};
    long one = 7, two = -3;
    ListPushItem(&l, &one, sizeof one);
    ListPushItem(&l, &two, sizeof two);
    testing::internal::CaptureStdout();
    ListDump(&l);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "  1) 7\n  2) -3\n");
    ListDelAllItems(&l);
}

TEST(List, LinkLevelLeavesNodeLinksAndCursor) {
    ListHeader l{};
    for (const char *s : {"a", "b", "c"})
        Push(&l, s);
    ListNode *b = l.first->next;
    EXPECT_STREQ(static_cast<char *>(ListWalk(&l, 0)), "a");
    ASSERT_EQ(l.cursor, b);
    // Unlinking by hand: the caller owns the node, its links and the cursor stay as they were.
    ListPopLink(&l, b);
    EXPECT_EQ(l.count, 2);
    EXPECT_EQ(l.total, 4);
    EXPECT_EQ(l.cursor, b);
    EXPECT_EQ(b->previous, l.first);
    EXPECT_EQ(b->next, l.last);
    EXPECT_EQ(l.first->next, l.last);
    EXPECT_EQ(l.last->previous, l.first);
    // No node given: the first one goes.
    ListNode *a = l.first;
    ListPopLink(&l, nullptr);
    EXPECT_EQ(l.first, l.last);
    EXPECT_EQ(l.first->previous, nullptr);
    EXPECT_EQ(l.total, 2);
    // Linking back in front of the remaining node.
    l.pushAtFront = 1;
    ListPushLink(&l, a);
    EXPECT_EQ(l.first, a);
    EXPECT_EQ(a->previous, nullptr);
    EXPECT_EQ(l.count, 2);
    EXPECT_EQ(l.total, 4);
    l.cursor = nullptr;
    EXPECT_EQ(Walk(&l), (Strings{"a", "c"}));
    PutMem(b->item);
    PutMem(b);
    ListDelAllItems(&l);
}

TEST(List, DelAllItemsClearsTheCursorAndKeepsTheSetting) {
    ListHeader l{};
    l.pushAtFront = 1;
    for (const char *s : {"a", "b"})
        Push(&l, s);
    ListWalk(&l, 0);
    ListDelAllItems(&l);
    EXPECT_EQ(l.cursor, nullptr);
    EXPECT_EQ(l.pushAtFront, 1);
    EXPECT_EQ(ListWalk(&l, 1), nullptr);
    for (const char *s : {"x", "y"})
        Push(&l, s);
    EXPECT_EQ(Walk(&l), (Strings{"y", "x"}));
    ListDelAllItems(&l);
}

TEST(List, MovingTheNodeUnderTheCursorMovesTheCursorOn) {
    ListHeader a{}, b{};
    for (const char *s : {"1", "2", "3"})
        Push(&a, s);
    ListWalk(&a, 0);
    ListMoveItem(ListFindItemN(&a, 2), &a, &b);
    EXPECT_STREQ(static_cast<char *>(ListWalk(&a, 1)), "3");
    EXPECT_EQ(b.cursor, nullptr);
    EXPECT_EQ(Walk(&b), (Strings{"2"}));
    ListDelAllItems(&a);
    ListDelAllItems(&b);
}

} // namespace
