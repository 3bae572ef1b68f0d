// Help navigation: following links and anchors, the page history, and the help menu
// whose items are the links of the current page (built anew on every page).
#include "toolkit/htmlhelp/htmlnav.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "toolkit/nls/nlsstring.h"
#include "toolkit/nls/transconf.h"
#include "toolkit/runtime/memory.h"
#include "toolkit/runtime/tokens.h"
#include "toolkit/textmenu/interact.h"

HtmlHistory History[HTML_HISTORY_SIZE];
int HistoryI = 0;
int TargetPos = 0;
char flBuildingFile = 0;

namespace {

HtmlPage *FirstPage(HtmlFile *file) {
    return file ? static_cast<HtmlPage *>(ListFindItemN(file->pages, 1)) : nullptr;
}

// True when the anchor or page name equals target.
bool Named(const char *name, const char *target) {
    return name != nullptr && strcmp(name, target) == 0;
}

} // namespace

void SetHistory(void) {
    if (HistoryI >= HTML_HISTORY_SIZE) return;
    History[HistoryI++] = HtmlHistory{CurrentFile, pCurrentPage, TargetPos};
}

char HtmlSetHistory(int how) {
    if (HistoryI == 0) return 0;
    if (how == 0) {
        HistoryI = 0;
        CurrentFile = 0;
        pCurrentPage = FirstPage(aFile[0]);
        TargetPos = 0;
    } else {
        HtmlHistory &last = History[--HistoryI];
        CurrentFile = last.file;
        pCurrentPage = last.page;
        TargetPos = last.targetPos;
    }
    return 1;
}

void GoToTarget(const char *target) {
    if (target == nullptr || CurrentFile < 0 || CurrentFile >= FileIndex) return;
    if (*target == '#') target++;
    HtmlFile *file = aFile[CurrentFile];
    HtmlPage *page;
    for (int i = 0; (page = static_cast<HtmlPage *>(ListWalk(file->pages, i))) != nullptr; i++) {
        if (Named(page->name, target)) {
            SetHistory();
            TargetPos = 0;
            pCurrentPage = page;
            return;
        }
        for (int j = 1; j <= page->links->count; j++) {
            auto *pl = static_cast<HtmlLink **>(ListFindItemN(page->links, j));
            HtmlLink *link = pl ? *pl : nullptr;
            if (link && link->kind == HTML_LINK_ANCHOR && Named(link->target, target)) {
                SetHistory();
                pCurrentPage = page;
                TargetPos = static_cast<int>(link->position[0]);
                return;
            }
        }
    }
}

void ProcessLink(HtmlLink *link) {
    if (link == nullptr || link->target == nullptr) return;
    flBuildingFile = 1;
    const char *target = link->target;
    const char *hash = strrchr(target, '#');
    bool remote = strncasecmp(target, "http://", 7) == 0 || strncasecmp(target, "file://", 7) == 0;
    HtmlFile *current = CurrentFile < FileIndex ? aFile[CurrentFile] : nullptr;
    if (target[0] == '#' && !remote) {
        GoToTarget(target);
    } else if (hash != nullptr && current != nullptr &&
               strlen(StripPath(current->name)) == static_cast<size_t>(hash - target) &&
               strncmp(target, StripPath(current->name), hash - target) == 0) {
        GoToTarget(hash);
    } else {
        HtmlFile *known = FindHtmlFile(target);
        if (known != nullptr && known->pages->count > 0) {
            pCurrentPage = FirstPage(known);
        } else {
            char ref[4096];
            if (snprintf(ref, sizeof ref, "%s", target) >= static_cast<int>(sizeof ref) ||
                ParseHtmlFile(ref, nullptr) == nullptr)
                printf("Error in reading file %s\n", target);
        }
    }
    flBuildingFile = 0;
}

void HtmlProcessLink(int offset) {
    if (flBuildingFile || FileIndex == 0 || pCurrentPage == nullptr) return;
    HtmlLink **pl;
    for (int i = 0; (pl = static_cast<HtmlLink **>(ListWalk(pCurrentPage->links, i))) != nullptr;
         i++) {
        HtmlLink *link = *pl;
        if (link->kind == HTML_LINK_HREF && link->position[0] <= offset &&
            offset < link->position[1]) {
            TargetPos = offset;
            ProcessLink(link);
            return;
        }
    }
}

char HtmlHelp(const char *path, char *content) {
    if (path == nullptr) return 0;
    HistoryI = 0;
    flBuildingFile = 1;
    char ref[4096];
    bool fits = snprintf(ref, sizeof ref, "%s", path) < static_cast<int>(sizeof ref);
    HtmlFile *file = fits ? ParseHtmlFile(ref, content) : nullptr;
    if (file == nullptr) {
        if (content != nullptr)
            printf("Error reading HTML buffer\n");
        else
            printf("Error in reading HTML file %s\n", path);
    }
    flBuildingFile = 0;
    return file != nullptr;
}

// ---- The help menu -------------------------------------------------------

Menu HelpMenu = {
    nullptr, 1,       nullptr,
    nullptr, 0,       nullptr,
    nullptr, nullptr, MENU_NO_EXIT_HINT | MENU_REINIT_ON_ACTION | MENU_KIND_BEFORE | MENU_COMPACT};
MenuItem *HelpMenuItems = nullptr;
int HelpMenuItemCnt = 0;
namespace {

// A fixed item: only text, kind, value, action and key are set.
constexpr MenuItem CommonItem(const char *text, unsigned kind, intptr_t value, MenuActionFn action,
                              int key) {
    MenuItem item{};
    item.text = text;
    item.kind = kind;
    item.value.i = value;
    item.action = action;
    item.key = key;
    return item;
}

constexpr const char *kCommonTexts[3] = {"~e Exit Help", "~c Contents", "~b Back"};

} // namespace

// The table stands ready before any menu is built; building only puts the
// translated texts and their key letters into entries 2 to 4.
constinit MenuItem HelpCommonItems[6] = {
    CommonItem("", ITEM_BAR, 1, nullptr, 0),
    CommonItem("", ITEM_BAR, 3, nullptr, 0),
    CommonItem(kCommonTexts[0], ITEM_EXIT, 0, nullptr, 'e'),
    CommonItem(kCommonTexts[1], ITEM_ACTION, 0, TtyHelpContents, 'c'),
    CommonItem(kCommonTexts[2], ITEM_ACTION, 0, TtyHelpBack, 'b'),
    CommonItem(nullptr, 0, 0, nullptr, 0),
};

namespace {

// Translated texts of Exit Help, Contents and Back (kept for the items).
char *CommonTexts[3];

void InitCommonItems() {
    MenuItem *c = HelpCommonItems;
    for (int i = 0; i < 3; i++) {
        PutMem(CommonTexts[i]);
        CommonTexts[i] = NlsFetchString(pDrvCoreDB, nullptr, NLS_BY_NUMBER, 20, 150 + i);
        const char *text = CommonTexts[i] ? CommonTexts[i] : kCommonTexts[i];
        c[2 + i].text = text;
        c[2 + i].key = text[0] ? static_cast<unsigned char>(text[1]) : 0;
    }
}

// Grows HelpMenuItems to at least n entries (never shrinks).
bool GrowItems(int n) {
    if (n <= HelpMenuItemCnt) return true;
    char *grown = AdjustMem(HelpMenuItems, static_cast<int>(sizeof(MenuItem)) * n);
    if (grown == nullptr) return false;
    HelpMenuItems = reinterpret_cast<MenuItem *>(grown);
    HelpMenuItemCnt = n;
    return true;
}

// The link's text on the page, without the "<" and ">" around it. Only the
// part of its span that lies inside the page text is read.
char *LinkText(const HtmlLink *link) {
    char buf[128] = {};
    const char *image = pCurrentPage->image ? pCurrentPage->image : "";
    long size = static_cast<long>(strlen(image));
    long start = std::clamp<long>(link->position[0], 0, size);
    long len = std::min<long>(link->position[2], size - start);
    if (len >= 2 && image[start] == '<') {
        start++;
        len -= 2;
    }
    if (len > 127) len = 127;
    if (len > 0) memcpy(buf, image + start, len);
    return SaveStr("%s", buf);
}

} // namespace

void TtyHelpBuildMenuItems(void) {
    if (pCurrentPage == nullptr) return;
    if (!GrowItems(pCurrentPage->links->count + 7)) return;
    for (int i = 0; i < HelpMenuItemCnt; i++)
        HelpMenuItems[i] = MenuItem{};
    HelpMenuItems[0].text = pCurrentPage->image ? pCurrentPage->image : "";
    HelpMenuItems[0].kind = ITEM_TEXT;
    if (pCurrentPage->name == nullptr) pCurrentPage->name = SaveStr_("contents");
    int n = 1;
    HtmlLink **pl;
    for (int i = 0; (pl = static_cast<HtmlLink **>(ListWalk(pCurrentPage->links, i))) != nullptr;
         i++) {
        HtmlLink *link = *pl;
        if (link->kind != HTML_LINK_HREF || link->position[2] == 0) continue;
        MenuItem &item = HelpMenuItems[n];
        item.text = LinkText(link);
        item.kind = ITEM_ACTION;
        item.state = ITEM_ACTIVE;
        item.key = n;
        item.action = TtyHelpGotoLink;
        item.user_data = link;
        n++;
    }
    InitCommonItems();
    for (int i = 0; i < 6; i++)
        HelpMenuItems[n + i] = HelpCommonItems[i];
    char title[128];
    Nlssnprintf(title, sizeof title, pDrvCoreDB, 30, 22, "Zarvo");
    PutMem(HelpMenu.title);
    HelpMenu.title = SaveStr_(title);
    HelpMenu.items = HelpMenuItems;
}

intptr_t TtyHelpGotoLink(Menu *, MenuItem *item) {
    if (item != nullptr) ProcessLink(static_cast<HtmlLink *>(item->user_data));
    TtyHelpBuildMenuItems();
    return 0;
}

intptr_t TtyHelpContents(Menu *, MenuItem *) {
    if (HtmlSetHistory(0)) TtyHelpBuildMenuItems();
    return 0;
}

intptr_t TtyHelpBack(Menu *, MenuItem *) {
    if (HtmlSetHistory(-1)) TtyHelpBuildMenuItems();
    return 0;
}

void TtyHtmlHelp(const char *path, char *content, const char *title) {
    if (path == nullptr || title == nullptr || !HtmlHelp(path, content)) return;
    PutMem(HelpMenu.title);
    HelpMenu.title = SaveStr_(title);
    TtyHelpBuildMenuItems(); // titles each page from the catalogue
    RunMenu(&HelpMenu, nullptr, 1);
}
