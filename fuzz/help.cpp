// Help files: parse a fuzzed file, render every page, build the help menu of
// each page and follow its links, then release everything for the next input.
#include "fuzz/common.h"
#include "toolkit/dbm/dbt.h"
#include "toolkit/htmlhelp/htmlnav.h"
#include "toolkit/nls/transconf.h"
#include "toolkit/runtime/memory.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Gives back what loading and rendering a file allocated: per page the
// link records, measured tables, image and lists; then the file itself.
// Everything is looked at first and given back after, each once, so that no
// release reads memory another one gave back.
void Release(HtmlFile *file, size_t textSize) {
    // A measured table's tag is the renderer's own "fitab" text; a "fitab" that
    // the file spells itself points into the file text and holds attributes.
    auto measured = [&](const char *tag) {
        return strcmp(tag, "fitab") == 0 && (tag < file->text || tag > file->text + textSize);
    };
    std::vector<const void *> give;
    std::vector<ListHeader *> lists;
    HtmlPage *page;
    for (int i = 0; (page = static_cast<HtmlPage *>(ListWalk(file->pages, i))) != nullptr; i++) {
        for (ListHeader *list : {page->head, page->body}) {
            for (ListNode *n = list->first; n != nullptr; n = n->next) {
                auto *e = static_cast<HtmlElement *>(n->item);
                if (e->tag == nullptr) continue;
                if (strcasecmp(e->tag, "a") == 0) {
                    give.push_back(e->data);
                } else if (measured(e->tag) && e->data != nullptr) {
                    auto *t = reinterpret_cast<HtmlTable *>(e->data);
                    give.insert(give.end(), {t->rowHeights, t->columnWidths, t});
                }
            }
        }
        lists.insert(lists.end(), {page->head, page->body, page->links});
        give.insert(give.end(), {page->image, page->name});
    }
    std::sort(give.begin(), give.end());
    give.erase(std::unique(give.begin(), give.end()), give.end());
    // Names and unparsed link texts point into the file text, and an address in
    // an allocation's first 32 bytes would give back the whole text.
    for (const void *p : give)
        if (p < file->text || p > file->text + textSize) PutMem(p);
    for (ListHeader *list : lists)
        ListDel(list);
    ListDel(file->pages);
    PutMem(file->text);
    PutMem(file->name);
    PutMem(file);
}

// Every element still holds what the parser gave it: a tag and text inside the
// file text (or the renderer's table mark with its record). Anything else is
// memory written over by a stray write of this input.
void CheckElements(HtmlFile *file, size_t textSize) {
    auto inText = [&](const char *p) {
        return p == nullptr || (p >= file->text && p <= file->text + textSize);
    };
    HtmlPage *page;
    for (int i = 0; (page = static_cast<HtmlPage *>(ListWalk(file->pages, i))) != nullptr; i++) {
        for (ListHeader *list : {page->head, page->body}) {
            for (ListNode *n = list->first; n != nullptr; n = n->next) {
                auto *e = static_cast<HtmlElement *>(n->item);
                bool mark = e->tag != nullptr && !inText(e->tag);
                if (mark && strcmp(e->tag, "fitab") != 0) abort();
                bool link = e->tag != nullptr && inText(e->tag) && strcasecmp(e->tag, "a") == 0;
                if (!mark && !link && !inText(e->data)) abort();
            }
        }
    }
}

void ReleaseAll(size_t textSize) {
    for (int i = 0; i < FileIndex; i++) {
        if (aFile[i] != nullptr) Release(aFile[i], textSize);
        aFile[i] = nullptr;
    }
    FileIndex = 0;
    CurrentFile = 0;
    pCurrentPage = nullptr;
    HistoryI = 0;
    TargetPos = 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string &dir = fuzz::Scratch("help");
    if (pDrvCoreDB == nullptr) pDrvCoreDB = DbTOpen(FUZZ_CORE_DB, DBT_NO_RELOAD);
    // The file is read from disk so that NUL bytes and the file reader are part of the input.
    std::string path = dir + "/guide.html";
    fuzz::Put(path, data, size);
    if (HtmlHelp(path.c_str(), nullptr)) {
        const int first = CurrentFile;
        HtmlFile *file = aFile[first];
        // Following links walks the page list too (its walk cursor is shared), so
        // the pages are taken first.
        std::vector<HtmlPage *> pages;
        HtmlPage *p;
        for (int i = 0; (p = static_cast<HtmlPage *>(ListWalk(file->pages, i))) != nullptr; i++)
            pages.push_back(p);
        for (HtmlPage *page : pages) {
            // Back on this page of this file, as the viewer is after each move.
            auto back = [&] {
                pCurrentPage = page;
                CurrentFile = first;
            };
            back();
            TtyHelpBuildMenuItems();
            // Follow every link of the page; other files are looked for in the
            // scratch directory, which holds only this one.
            for (int n = 1; n < HelpMenuItemCnt && HelpMenuItems[n].text != nullptr; n++) {
                if (HelpMenuItems[n].action != TtyHelpGotoLink) break;
                auto *link = static_cast<HtmlLink *>(HelpMenuItems[n].user_data);
                // Only places in this directory: a path could name a device or a fifo.
                if (link->target != nullptr && strchr(link->target, '/') != nullptr) continue;
                HtmlProcessLink(static_cast<int>(link->position[0]));
                back();
            }
            HtmlSetHistory(-1);
            HtmlSetHistory(0);
        }
    }
    for (int i = 0; i < FileIndex; i++)
        if (aFile[i] != nullptr) CheckElements(aFile[i], size);
    ReleaseAll(size);
    return 0;
}
