// Doubly linked lists of owned items with a built-in walk cursor.
#pragma once

#include "toolkit/runtime/shared.h"

// One link of a list; the item is a separate zero-filled block owned by the node.
typedef struct ListNode {
    struct ListNode *previous; // preceding node, or null
    struct ListNode *next;     // following node, or null
    void *item;                // the item's bytes
    int size;                  // the item's size in bytes
} ListNode;

// A list; an all-zero header (allocated or embedded in another record) is an empty list.
typedef struct ListHeader {
    ListNode *first;  // first node, or null
    ListNode *last;   // last node, or null
    ListNode *cursor; // walk cursor of ListWalk and ListWalkBackward
    int count;        // number of nodes
    int total;        // sum of the item sizes of all nodes
    char pushAtFront; // 0: new nodes go after the last node; non-zero: before the first
} ListHeader;

// Returns a new empty list, or null when memory is short.
ListHeader *ListCreate(void);
// Links node into list (at the front or the back by the list's setting); adds its size to total.
void ListPushLink(ListHeader *list, ListNode *node);
// Unlinks node (the first node when node is null); leaves the node's own links and the cursor.
void ListPopLink(ListHeader *list, ListNode *node);
// Adds a zero-filled item of size bytes, copied from src when src is not null.
// Returns the new item, or null for a null list, a size of 0 or short memory.
void *ListPushItem(ListHeader *list, const void *src, int size);
// Removes the node holding item (the first node when item is null). Frees the item and returns
// null when freeFlag is set; otherwise returns the item, which then belongs to the caller.
void *ListPopItem(ListHeader *list, void *item, char freeFlag);
// As ListPopItem for the first node.
void *ListPopFirstItem(ListHeader *list, char freeFlag);
// As ListPopItem for the last node.
void *ListPopLastItem(ListHeader *list, char freeFlag);
// Returns the item at position n (counted from 1), or null for 0 or a position past the end.
void *ListFindItemN(ListHeader *list, int n);
// Returns the position (from 1) of the first node holding item, or 0.
int ListGetItemPos(ListHeader *list, const void *item);
// Moves the node holding item from src into dst; nothing happens when item is not in src.
void ListMoveItem(void *item, ListHeader *src, ListHeader *dst);
// Appends to dst a copy of every item of src, in order.
void ListCopy(ListHeader *src, ListHeader *dst);
// Frees every item and node, then the header itself.
void ListDel(ListHeader *list);
// Frees every item and node; the header stays as an empty list.
void ListDelAllItems(ListHeader *list);
// Prints "%3i) %li\n" with each position and the first long word of its item.
void ListDump(ListHeader *list);
// Returns the next item of a walk (call 0 restarts at the first node), or null at the end.
void *ListWalk(ListHeader *list, int call);
// Returns the previous item of a backward walk (call 0 restarts at the last node), or null.
void *ListWalkBackward(ListHeader *list, int call);
