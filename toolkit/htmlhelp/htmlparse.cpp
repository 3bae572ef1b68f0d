// Help file parsing: the file is read whole and cut into pages, each a flat list of
// tag and text elements pointing into the one copy of the file.
#include "toolkit/htmlhelp/htmlparse.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "toolkit/htmlhelp/htmlnav.h"
#include "toolkit/htmlhelp/htmlrender.h"
#include "toolkit/runtime/files.h"
#include "toolkit/runtime/memory.h"
#include "toolkit/runtime/tokens.h"

HtmlFile *aFile[HTML_MAX_FILES];
int FileIndex = 0;
int CurrentFile = 0;
HtmlPage *pCurrentPage = nullptr;

const char *HTMLKeys =
    ",nbsp;,iexcl;,cent;,pound;,curren;,yen;,brvbar;,sect;,uml;,copy;,ordf;,laquo;,not;,shy;,"
    "reg;,macr;,deg;,plusmn;,sup2;,sup3;,acute;,micro;,para;,middot;,cedil;,supl;,ordm;,raquo;,"
    "frac14;,frac12;,frac34;,iquest;,Agrave;,Aacute;,Acirc;,Atilde;,Auml;,Aring;,AElig;,Ccedil;,"
    "Egrave;,Eacute;,Ecirc;,Euml;,Igrave;,Iacute;,Icirc;,Iuml;,ETH;,Ntilde;,Ograve;,Oacute;,"
    "Ocirc;,Otilde;,Ouml;,times;,Oslash;,Ugrave;,Uacute;,Ucirc;,Uuml;,Yacute;,THORN;,szlig;,"
    "agrave;,aacute;,acirc;,atilde;,auml;,aring;,aelig;,ccedil;,egrave;,eacute;,ecirc;,euml;,"
    "igrave;,iacute;,icirc;,iuml;,eth;,ntilde;,ograve;,oacute;,ocirc;,otilde;,ouml;,divide;,"
    "oslash;,ugrave;,uacute;,ucirc;,uuml;,yacute;,thorn;,yuml;,";

const int HTMLKeySizes[97] = {0, 5, 6, 5, 6, 7, 4, 7, 5, 4, 5, 5, 6, 4, 4, 4, 5, 4, 7, 5,
                              5, 6, 6, 5, 7, 6, 5, 5, 6, 7, 7, 7, 7, 7, 7, 6, 7, 5, 6, 6,
                              7, 7, 7, 6, 5, 7, 7, 6, 5, 4, 7, 7, 7, 6, 7, 5, 6, 7, 7, 7,
                              6, 5, 7, 6, 6, 7, 7, 6, 7, 5, 6, 6, 7, 7, 7, 6, 5, 7, 7, 6,
                              5, 4, 7, 7, 7, 6, 7, 5, 7, 7, 7, 7, 6, 5, 7, 6, 5};

const unsigned char HTMLChars[96] = {
    0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF,
    0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7, 0xB8, 0xB9, 0xBA, 0xBB, 0xBC, 0xBD, 0xBE, 0xBF,
    0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xCB, 0xCC, 0xCD, 0xCE, 0xCF,
    0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA, 0xDB, 0xDC, 0xDD, 0xDE, 0xDF,
    0xE0, 0xE1, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA, 0xEB, 0xEC, 0xED, 0xEE, 0xEF,
    0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF};

namespace {

constexpr const char *kWhite = " \t\n\r";

bool IsWhite(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Splits a tag text into its name (cut at the first white space) and the
// attribute text after it; leading white space is skipped.
void SplitTag(char *text, char **name, char **attrs) {
    while (IsWhite(*text))
        text++;
    *name = text;
    size_t n = strcspn(text, kWhite);
    if (text[n] == '\0') {
        *attrs = text + n;
        return;
    }
    text[n] = '\0';
    *attrs = text + n + 1;
}

// The character of the entity at p ("&name;"), with *len set to the entity's
// length; -1 when p is not a known entity.
int LookUpEntity(const char *p, int *len) {
    // The ';' must come within 15 characters; the text may end before that.
    const char *semi = p + 1;
    while (semi <= p + 15 && *semi != '\0' && *semi != ';')
        semi++;
    if (semi > p + 15 || *semi != ';') return -1;
    char name[20];
    size_t n = semi - p; // name with its ';'
    if (n + 2 > sizeof name) return -1;
    name[0] = ',';
    memcpy(name + 1, p + 1, n);
    name[n + 1] = '\0';
    const char *hit = strstr(HTMLKeys, name);
    // A hit must start at an item boundary: the comma matched is one.
    if (hit == nullptr) return -1;
    int k = 0; // entries before the hit
    for (const char *c = HTMLKeys; c < hit; c++)
        if (*c == ',') k++;
    *len = static_cast<int>(n) + 1;
    return HTMLChars[k];
}

HtmlPage *NewPage(HtmlFile *file, char *name) {
    HtmlPage page{};
    page.name = name;
    page.head = ListCreate();
    page.body = ListCreate();
    page.links = ListCreate();
    HtmlPage *added = nullptr;
    if (page.head && page.body && page.links)
        added = static_cast<HtmlPage *>(ListPushItem(file->pages, &page, sizeof page));
    if (added == nullptr) {
        // Out of memory: the lists are still empty, so their headers are all there is.
        PutMem(page.head);
        PutMem(page.body);
        PutMem(page.links);
    }
    return added;
}

// The value of page="..." in attrs (cut at its closing quote), or null.
char *PageAttribute(char *attrs) {
    char *p = StrCaseStr(attrs, "page=\"");
    if (p == nullptr) return nullptr;
    char *value = p + 6;
    char *end = strchr(value, '"');
    if (end != nullptr) *end = '\0';
    return value;
}

// Moves the parse position past the next "/HTML" (any case) and its '>'.
void SkipSection(HtmlFile *file) {
    char *end = StrCaseStr(file->position, "/HTML");
    char *gt = end ? strchr(end, '>') : nullptr;
    file->position = gt ? gt + 1 : file->position + strlen(file->position);
}

// Splits the file's text into pages; returns the number of pages.
int ParsePages(HtmlFile *file) {
    HtmlPage *current = nullptr;
    bool firstHtml = true;
    char *tag;
    while ((tag = GetKeyWord(file)) != nullptr) {
        char *name, *attrs;
        SplitTag(tag, &name, &attrs);
        switch (FindTokenC(name, ",html,head,body,/html,")) {
        case 1:
            if (strstr(attrs, "SkipPage") != nullptr) {
                SkipSection(file);
            } else {
                char *pageName = PageAttribute(attrs);
                if (firstHtml || pageName != nullptr) {
                    current = NewPage(file, pageName);
                    // A page that can't be had fails the whole file.
                    if (current == nullptr) return 0;
                }
                firstHtml = false;
            }
            break;
        case 2:
            if (current != nullptr && current->head->count == 0)
                ParseHtml(file, current->head, "head");
            break;
        case 3:
            if (current != nullptr) ParseHtml(file, current->body, "body");
            break;
        default:
            break;
        }
    }
    return file->pages->count;
}

void FreeFile(HtmlFile *file) {
    HtmlPage *page;
    for (int i = 0; (page = static_cast<HtmlPage *>(ListWalk(file->pages, i))) != nullptr; i++) {
        ListDel(page->head);
        ListDel(page->body);
        ListDel(page->links);
    }
    ListDel(file->pages);
    PutMem(file->text);
    PutMem(file->name);
    PutMem(file);
}

} // namespace

char *GetKeyWord(HtmlFile *file) {
    if (file == nullptr || file->position == nullptr) return nullptr;
    char *lt = strchr(file->position, '<');
    if (lt == nullptr) return nullptr;
    *lt = '\0';
    char *gt = strchr(lt + 1, '>');
    if (gt == nullptr) {
        file->position = lt + 1 + strlen(lt + 1);
        return nullptr;
    }
    *gt = '\0';
    file->position = gt + 1;
    return lt + 1;
}

void AddAtribute(ListHeader *list, char *tag, char *data) {
    HtmlElement elem{tag, data, data ? static_cast<int>(strlen(data)) : 0};
    if (tag != nullptr && strcasecmp(tag, "a") == 0) {
        auto *link = reinterpret_cast<HtmlLink *>(GetMem(sizeof(HtmlLink)));
        if (link != nullptr) {
            char *p = data ? data : const_cast<char *>("");
            while (*p != '\0') {
                p += strspn(p, kWhite);
                if (*p == '\0') break;
                char *token = p;
                // A backslash keeps the character after it in the token, as
                // the tokenizer does for every delimited list.
                while (*p != '\0' && !IsWhite(*p))
                    p += p[0] == '\\' && p[1] != '\0' ? 2 : 1;
                if (*p != '\0') *p++ = '\0';
                char *eq = strchr(token, '=');
                if (eq == nullptr) continue;
                *eq = '\0';
                char *value = eq + 1;
                if (*value == '"') value++;
                char *quote = strchr(value, '"');
                if (quote != nullptr) *quote = '\0';
                int key = FindTokenC(token, ",name,href,");
                if (key != 0) {
                    link->target = value;
                    link->kind = key == 1 ? HTML_LINK_ANCHOR : HTML_LINK_HREF;
                }
            }
        }
        // A link element's data is its record, or null when none could be made.
        elem.data = reinterpret_cast<char *>(link);
    }
    ListPushItem(list, &elem, sizeof elem);
}

HtmlFile *ParseHtml(HtmlFile *file, ListHeader *list, const char *closing) {
    if (file == nullptr || file->position == nullptr) return file;
    char *r = file->position; // read position
    char *w = r;              // write position of the open run
    char *run = nullptr;      // start of the open run
    auto closeRun = [&]() {
        if (run != nullptr) {
            *w = '\0';
            AddAtribute(list, nullptr, run);
            run = nullptr;
        }
    };
    auto put = [&](char c) {
        if (run == nullptr) run = w;
        *w++ = c;
    };
    while (*r != '\0') {
        char c = *r;
        if (c == '<') {
            closeRun();
            char *tag = r + 1;
            char *gt = strchr(tag, '>');
            if (gt != nullptr) {
                *gt = '\0';
                r = gt + 1;
            } else {
                r = tag + strlen(tag);
            }
            w = r;
            char *name, *attrs;
            SplitTag(tag, &name, &attrs);
            if (name[0] == '/' && strcasecmp(name + 1, closing) == 0) {
                file->position = r;
                return nullptr;
            }
            AddAtribute(list, name, attrs);
            continue;
        }
        if (IsWhite(c)) {
            if (run != nullptr) *w++ = c;
            r++;
            while (IsWhite(*r))
                r++;
            continue;
        }
        if (c == '&') {
            int len = 0, ch;
            if (r[1] == '#' && isdigit(static_cast<unsigned char>(r[2]))) {
                put(static_cast<char>(atoi(r + 2) % 256));
                char *semi = strchr(r, ';');
                r = semi ? semi + 1 : r + 2 + strspn(r + 2, "0123456789");
            } else if (strncasecmp(r + 1, "quot;", 5) == 0) {
                put('"');
                r += 6;
            } else if ((ch = LookUpEntity(r, &len)) >= 0) {
                put(static_cast<char>(ch));
                r += len;
            } else {
                if (run != nullptr) *w++ = c;
                r++;
            }
            continue;
        }
        put(c);
        r++;
    }
    file->position = r;
    return file;
}

HtmlFile *FindHtmlFile(const char *name) {
    if (name == nullptr) return nullptr;
    for (int i = 0; i < FileIndex; i++) {
        if (aFile[i] != nullptr && strcmp(aFile[i]->name, name) == 0) {
            CurrentFile = i;
            return aFile[i];
        }
    }
    return nullptr;
}

HtmlFile *ParseHtmlFile(char *ref, char *content) {
    if (ref == nullptr || strncasecmp(ref, "http://", 7) == 0) return nullptr;
    if (strncasecmp(ref, "file://", 7) == 0) ref += 7;
    char *hash = strchr(ref, '#');
    char *target = nullptr;
    if (hash != nullptr) {
        *hash = '\0';
        target = hash + 1;
    }
    HtmlFile *known = FindHtmlFile(ref);
    if (known != nullptr && known->pages->count > 0) {
        pCurrentPage = static_cast<HtmlPage *>(ListFindItemN(known->pages, 1));
        return known;
    }
    if (FileIndex >= HTML_MAX_FILES) return nullptr;
    char *text = content ? SaveStr_(content) : GetSavedFileContent(ref, nullptr);
    if (text == nullptr) return nullptr;
    auto *file = reinterpret_cast<HtmlFile *>(GetMem(sizeof(HtmlFile)));
    if (file == nullptr) {
        PutMem(text);
        return nullptr;
    }
    file->name = SaveStr_(ref);
    file->text = text;
    file->position = text;
    file->pages = ListCreate();
    if (file->pages == nullptr || ParsePages(file) == 0) {
        FreeFile(file);
        return nullptr;
    }
    CurrentFile = FileIndex;
    aFile[FileIndex++] = file;
    HtmlPage *page;
    for (int i = 0; (page = static_cast<HtmlPage *>(ListWalk(file->pages, i))) != nullptr; i++) {
        pCurrentPage = page;
        PrintTextImage(file);
    }
    pCurrentPage = static_cast<HtmlPage *>(ListFindItemN(file->pages, 1));
    if (target != nullptr) GoToTarget(target);
    return file;
}
