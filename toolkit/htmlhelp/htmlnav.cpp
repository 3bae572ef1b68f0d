#include "toolkit/htmlhelp/htmlnav.h"

#include <cstdio>
#include <cstring>
#include <strings.h>

#include "toolkit/runtime/tokens.h"

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
