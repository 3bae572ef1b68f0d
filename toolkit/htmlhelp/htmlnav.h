// Help navigation: links, history and the help menu.
#pragma once

#include "toolkit/htmlhelp/htmlrender.h"
#include "toolkit/textmenu/menu.h"

// Places the history can hold.
#define HTML_HISTORY_SIZE 100

// A place in the help: file, page and text offset.
typedef struct HtmlHistory {
    int file;       // index into aFile
    HtmlPage *page; // the page
    int targetPos;  // text offset in the page
} HtmlHistory;

extern HtmlHistory History[HTML_HISTORY_SIZE];
// Entries of History in use.
extern int HistoryI;
// Text offset of the last target reached or position clicked (0: page start).
extern int TargetPos;
// Set while a file is loaded or a link followed; HtmlProcessLink waits for it.
extern char flBuildingFile;

// The help menu: the page text, one item per link, then the common items.
extern Menu HelpMenu;
extern MenuItem *HelpMenuItems;
extern int HelpMenuItemCnt;
// Bar, bar, Exit Help, Contents, Back, and the end of the array.
extern MenuItem HelpCommonItems[6];

// Loads the help file (or the given content) and runs the help menu with the
// title until the user leaves it with Exit Help. Nothing happens without a
// path and a title, or when the file cannot be loaded.
void TtyHtmlHelp(const char *path, char *content, const char *title);
// Clears the history and loads the file (or the content). Returns 1 when it
// is loaded; otherwise prints "Error in reading HTML file %s\n" (or "Error
// reading HTML buffer\n" for content) and returns 0.
char HtmlHelp(const char *path, char *content);
// Builds HelpMenuItems and the title for the current page.
void TtyHelpBuildMenuItems(void);
// Item action: follows the item's link and rebuilds the menu.
intptr_t TtyHelpGotoLink(Menu *menu, MenuItem *item);
// Item action of Contents.
intptr_t TtyHelpContents(Menu *menu, MenuItem *item);
// Item action of Back.
intptr_t TtyHelpBack(Menu *menu, MenuItem *item);
// Follows a link: a target in the current file, or another file.
void ProcessLink(HtmlLink *link);
// Shows the page or anchor named target ("#" optional) in the current file,
// recording the place left; an unknown target changes nothing.
void GoToTarget(const char *target);
// 0: back to the first page of the first file, history cleared; -1: back to
// the last recorded place. Returns 0 (and changes nothing) without history.
char HtmlSetHistory(int how);
// Follows the first href link of the current page covering text offset.
void HtmlProcessLink(int offset);
// Records the current place (nothing once 100 places are recorded).
void SetHistory(void);
