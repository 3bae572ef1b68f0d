// Menu interaction: the run loop, selections and value entry.
//
// The loop shows a menu, reads one line at a time from standard input into
// LineBuf, finds the item or command the line names, carries it out and
// decides when the menu is left.
#pragma once

#include <cstdint>

#include "toolkit/runtime/shared.h"
#include "toolkit/textmenu/menu.h"

// Argument of the current input: the text after its first word (in LineBuf).
extern char *pOption;
// Help file, its content and the title that the "h" command opens.
extern char *pTtyHtmlName;
extern char *pTtyHtmlData;
extern char *pTtyHtmlTitle;
// One-character value words of the module; nothing in the engine reads them.
extern const char *MENUVAL_SAVE;
extern const char *MENUVAL_CANCEL;
extern const char *MENUVAL_DEFAULT;

// Runs a menu. With settings_path, loads it before the first display (when it
// cannot be opened, returns the cancel item's action result, or that item).
// Not interactive: returns on_apply's result (the menu itself without one).
// Interactive: returns 0 when the user leaves the menu. End of input ends the
// process with status 1 (message 1016).
intptr_t RunMenu(Menu *menu, const char *settings_path, char interactive);
// The 1-based index of the item the line in LineBuf selects among the first
// count items, or 0 (also after the h and s commands). Sets pOption.
int FindSelection(Menu *menu, int spare, int count);
// Carries out the selection of the item at the 1-based index with the
// argument; 1 when a value changed or an action of kinds 4-7 succeeded.
char ProcessSelection(Menu *menu, int index, char *argument);
// The full-screen pick loop for the pick item at the 0-based index; input,
// when not empty, is taken as the first line. Returns 1 when the value changed.
int ProcessStateValue(Menu *menu, int index, char *input);
