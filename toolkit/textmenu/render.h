// Menu rendering: the line menu, menu bars and the pick screen.
#pragma once

#include "toolkit/runtime/shared.h"
#include "toolkit/textmenu/menu.h"

// Pick-screen words from the core catalogue (set 25, 201-205), fetched on the
// first pick screen; null before.
extern char *OSATTYMENU_SAVE;
extern char *OSATTYMENU_CANCEL;
extern char *OSATTYMENU_CURSEL;
extern char *OSATTYMENU_CURSELTRUNC;
extern char *OSATTYMENU_OPTION;

// Prints the line menu (title, items with keys and values, prompt line) on
// standard output, clearing the terminal first when `clear` is available.
// Returns the number of item positions walked.
int PrintMenu(Menu *menu, int value_column, int title_length);
// Prints the column block that starts at item (kind 1 or 3), advancing
// *index and *number for each item consumed; returns the last item consumed.
MenuItem *PrintMenuBarItem(MenuItem *item, int kind, int *index, int *number);
// Draws one page of the full-screen pick screen for a pick item, starting at
// the 0-based choice offset; fills *disabled_set with the disabled choices.
// Returns the number of choices shown, or -1 when the terminal is too small
// or the list has no choice at the offset.
int PrintPickOneManyScreen(MenuItem *item, unsigned *disabled_set, int offset);
