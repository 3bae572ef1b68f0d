// Doubly linked lists of owned items; nodes and items live in managed memory.
#include "toolkit/dbm/list.h"

#include <cstdio>
#include <cstring>

#include "toolkit/runtime/memory.h"

namespace {

// The first node holding item, or null.
ListNode *FindNode(ListHeader *list, const void *item) {
    for (ListNode *n = list->first; n; n = n->next)
        if (n->item == item) return n;
    return nullptr;
}

// Unlinks node; a cursor resting on it moves on, so a walk never visits a node that is gone.
void Detach(ListHeader *list, ListNode *node) {
    if (list->cursor == node) list->cursor = node->next;
    ListPopLink(list, node);
}

// Unlinks and frees node; returns its item, or null after freeing it too.
void *Release(ListHeader *list, ListNode *node, char freeFlag) {
    if (!node) return nullptr;
    void *item = node->item;
    Detach(list, node);
    PutMem(node);
    if (!freeFlag) return item;
    PutMem(item);
    return nullptr;
}

} // namespace

ListHeader *ListCreate(void) {
    return reinterpret_cast<ListHeader *>(GetMem(sizeof(ListHeader)));
}

void ListPushLink(ListHeader *list, ListNode *node) {
    if (!list || !node) return;
    if (list->count <= 0 || !list->first || !list->last) {
        node->previous = node->next = nullptr;
        list->first = list->last = node;
        list->count = 1;
    } else if (list->pushAtFront) {
        node->previous = nullptr;
        node->next = list->first;
        list->first->previous = node;
        list->first = node;
        list->count++;
    } else {
        node->next = nullptr;
        node->previous = list->last;
        list->last->next = node;
        list->last = node;
        list->count++;
    }
    list->total += node->size;
}

void ListPopLink(ListHeader *list, ListNode *node) {
    if (!list || !list->first) return;
    if (!node) node = list->first;
    list->count--;
    list->total -= node->size;
    if (list->count <= 0) {
        list->count = 0;
        list->first = list->last = nullptr;
    } else if (node == list->first) {
        list->first = node->next;
        list->first->previous = nullptr;
    } else if (node == list->last) {
        list->last = node->previous;
        list->last->next = nullptr;
    } else {
        node->previous->next = node->next;
        node->next->previous = node->previous;
    }
}

void *ListPushItem(ListHeader *list, const void *src, int size) {
    if (!list || size <= 0) return nullptr;
    ListNode *node = reinterpret_cast<ListNode *>(GetMem(sizeof(ListNode)));
    if (!node) return nullptr;
    node->item = GetMem(size);
    if (!node->item) {
        PutMem(node);
        return nullptr;
    }
    if (src) memcpy(node->item, src, size);
    node->size = size;
    ListPushLink(list, node);
    return node->item;
}

void *ListPopItem(ListHeader *list, void *item, char freeFlag) {
    if (!list) return nullptr;
    return Release(list, item ? FindNode(list, item) : list->first, freeFlag);
}

void *ListPopFirstItem(ListHeader *list, char freeFlag) {
    return list ? Release(list, list->first, freeFlag) : nullptr;
}

void *ListPopLastItem(ListHeader *list, char freeFlag) {
    return list ? Release(list, list->last, freeFlag) : nullptr;
}

void *ListFindItemN(ListHeader *list, int n) {
    if (!list || n < 1) return nullptr;
    ListNode *node = list->first;
    for (int i = 1; node && i < n; i++)
        node = node->next;
    return node ? node->item : nullptr;
}

int ListGetItemPos(ListHeader *list, const void *item) {
    if (!list) return 0;
    int pos = 1;
    for (ListNode *n = list->first; n; n = n->next, pos++)
        if (n->item == item) return pos;
    return 0;
}

void ListMoveItem(void *item, ListHeader *src, ListHeader *dst) {
    if (!src || !dst || !src->first) return;
    ListNode *node = FindNode(src, item);
    if (!node) return;
    Detach(src, node);
    ListPushLink(dst, node);
}

void ListCopy(ListHeader *src, ListHeader *dst) {
    if (!src || !dst) return;
    // Counted, so that copying a list into itself ends.
    ListNode *node = src->first;
    for (int left = src->count; node && left > 0; left--, node = node->next)
        ListPushItem(dst, node->item, node->size);
}

void ListDelAllItems(ListHeader *list) {
    if (!list) return;
    for (ListNode *node = list->first; node;) {
        ListNode *next = node->next;
        PutMem(node->item);
        PutMem(node);
        node = next;
    }
    list->first = list->last = list->cursor = nullptr;
    list->count = list->total = 0;
}

void ListDel(ListHeader *list) {
    if (!list) return;
    ListDelAllItems(list);
    PutMem(list);
}

void ListDump(ListHeader *list) {
    if (!list) return;
    int pos = 1;
    for (ListNode *n = list->first; n; n = n->next, pos++) {
        long word = 0;
        size_t len = n->size < (int)sizeof word ? n->size : sizeof word;
        if (n->item && len > 0) memcpy(&word, n->item, len);
        printf("%3i) %li\n", pos, word);
    }
}

void *ListWalk(ListHeader *list, int call) {
    if (!list) return nullptr;
    if (call == 0) list->cursor = list->first;
    ListNode *node = list->cursor;
    if (!node) return nullptr;
    list->cursor = node->next;
    return node->item;
}

void *ListWalkBackward(ListHeader *list, int call) {
    if (!list) return nullptr;
    if (call == 0) list->cursor = list->last;
    ListNode *node = list->cursor;
    if (!node) return nullptr;
    list->cursor = node->previous;
    return node->item;
}
