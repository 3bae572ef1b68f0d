// Menu model: menu and item records, item states, conditions and settings files.
#pragma once

#include <cstddef>
#include <cstdint>

#include "toolkit/runtime/shared.h"

struct Menu;
struct MenuItem;

// Menu flags (Menu::flags).
#define MENU_NO_EXIT_HINT 0x0001
#define MENU_HELP 0x0002
#define MENU_KEEP_ITEMS 0x0004
#define MENU_STORE_NAMED 0x0008
#define MENU_STORE_DEFAULT 0x0010
#define MENU_REINIT_ON_ACTION 0x0040
#define MENU_KIND_BEFORE 0x0080
#define MENU_COMPACT 0x0100

// Item kinds (MenuItem::kind); the numbers are stored in settings files.
#define ITEM_TEXT 0
#define ITEM_BAR_TEXT 1
#define ITEM_SPARE 2
#define ITEM_BAR 3
#define ITEM_APPLY 4
#define ITEM_CANCEL 5
#define ITEM_EXIT 6
#define ITEM_ACTION 7
#define ITEM_SUBMENU 8
#define ITEM_PICK_ONE 9
#define ITEM_PICK_MANY 10
#define ITEM_NAME 11
#define ITEM_TEXT_ENTRY 12
#define ITEM_INTEGER 13
#define ITEM_REAL 14

// Item states (MenuItem::state).
#define ITEM_ACTIVE 0
#define ITEM_INACTIVE 1
#define ITEM_HIDDEN 2

// Size of the text buffer of a name or text item (kinds 11, 12).
#define MENU_TEXT_SIZE 256

// Callbacks. An action returns 0 for success.
typedef intptr_t (*MenuApplyFn)(Menu *menu);
typedef void (*MenuRefreshFn)(Menu *menu);
typedef intptr_t (*MenuActionFn)(Menu *menu, MenuItem *item);

// One pointer-sized value cell of an item: which member is live depends on
// the item's kind (index or bit set, integer, real, text buffer, sub-menu or
// array of sub-menus). Writing `f` leaves the other half of the word as it was.
union MenuValue {
    intptr_t i;
    float f;
    char *s;
    const char *cs;
    Menu *menu;
    Menu **menus;
    void *p;
};
static_assert(sizeof(MenuValue) == sizeof(void *), "a menu value is one word");

// The menu record: nine words.
struct Menu {
    const char *title;               // title line(s); the first line is measured for centring
    alignas(void *) int title_align; // 0 left with colon, 1 centred, 2 right-aligned (80 columns)
    const char *apply_question;      // yes/no question asked on leaving after a change, or null
    MenuApplyFn on_apply;            // applies the menu; whole work of a non-interactive run
    intptr_t reserved;               // not read by the engine
    char **parent_name;       // points to the name of the menu returned to; null at top level
    MenuRefreshFn on_refresh; // run on entry, after a sub-menu and after an empty input
    MenuItem *items;          // ended by an item whose text is null
    alignas(void *) unsigned short flags; // MENU_* bits
};

// The item record: sixteen words, laid out statically by callers. Each
// field takes one word; the 32-bit ones are word-aligned.
struct MenuItem {
    const char *text;               // label; "~kx..." makes key-letter k; null ends the array
    alignas(void *) unsigned kind;  // ITEM_* kind
    alignas(void *) unsigned state; // ITEM_ACTIVE, ITEM_INACTIVE or ITEM_HIDDEN
    const char *prompt;             // prompt of the entry kinds 11-14
    char *choices;                  // kinds 9, 10: comma-separated choices, writable
    const char *choice_text;        // kind 9: the current choice's text as last looked up
    MenuValue default_value;        // initial value
    MenuValue value;                // current value
    MenuValue previous_value;
    MenuActionFn action;              // run on selection (kinds 4-7) and after a change
    alignas(void *) int text_length;  // length of text, set by InitMenu
    const char *condition;            // validation format, sub-menu conditions or state program
    MenuValue saved_value;            // put aside by the state command S; -1 = nothing
    alignas(void *) int choice_count; // number of choices (9, 10), set by InitMenu
    void *user_data;                  // for the action; not read by the engine
    alignas(void *) int key;          // selection key: 0, a key letter, or a running number
};
static_assert(sizeof(Menu) == 9 * sizeof(void *), "Menu is nine words");
static_assert(sizeof(MenuItem) == 16 * sizeof(void *), "MenuItem is sixteen words");
static_assert(offsetof(MenuItem, key) == 15 * sizeof(void *), "key is the sixteenth word");

// 1 once a settings file has been read by LoadMenu.
extern char flLoadedSettings;
// When set, RunMenu returns on entry and after the next selection.
extern char flExitTextMenu;

// Prepares every item (lengths, choice counts, values from defaults, keys)
// and returns the greatest label length. The second argument is not read.
int InitMenu(Menu *menu, int spare);
// Gives back the text buffers of the name and text items and nulls their values.
void FreeMenu(Menu *menu);
// Returns the first item of the given kind, or null.
MenuItem *FindTextMenuItem(Menu *menu, unsigned kind);
// Returns the sub-menu chosen by the kind-8 item at index: null when the item
// is not active or no condition holds.
Menu *ValidateMenu(Menu *menu, int index);

// Looks up the current choice into choice_text; a pick-one moves forward past
// disabled choices (at most choice_count steps).
void UpdateStateSelection(MenuItem *item);
// Disables choice n (0-based) by writing a blank over its first character,
// then updates the selection. A negative n does nothing.
void HideStateSelection(MenuItem *item, int n);
// Enables choice n (0-based) by writing "_" over its first character.
void ShowStateSelection(MenuItem *item, int n);

// Returns 1 when no name item (before the first hidden item) is empty;
// otherwise shows message 1011, waits for a line and returns 0.
char TestNames(Menu *menu);
// Evaluates an operand "[+|-]N.V" relative to item index: 0 when item N's
// value differs from V, 2 when it matches but the item is not active, 1 otherwise.
int TestState(Menu *menu, const char *operand, int index);
// Evaluates a sub-menu condition (operands, !, &, |, parentheses, A suffix)
// owned by the item at index; returns 1 or 0.
char TestStateCondition(Menu *menu, const char *condition, int index);
// Returns 1 when a number of the state list equals value or the list has "*".
char TestFormatState(const char *list, int value);
// Runs the state-format program of the pick item at index (N, H, P, S commands).
void ProcessStateFormat(Menu *menu, int index);

// Reads settings lines from pIn into the menu (recursing into sub-menu blocks).
void LoadMenu(Menu *menu);
// Writes the menu's storable values, and its sub-menus' blocks, to pOut.
void StoreMenu(Menu *menu);
