// Help file parsing into pages, elements and links.
//
// A help file is read whole into memory and split into pages (one per html
// section); each page's head and body become flat lists of elements: tags with
// their attribute text, and runs of text with entities resolved and white
// space collapsed. Element texts point into the file's text, which the parser
// cuts with NUL bytes, so the text lives as long as the file stays loaded.
#pragma once

#include <cstdint>

#include "toolkit/dbm/list.h"
#include "toolkit/runtime/shared.h"

// Most help files one run can load.
#define HTML_MAX_FILES 100

// Link kinds (HtmlLink::kind).
#define HTML_LINK_NONE 0
#define HTML_LINK_ANCHOR 1
#define HTML_LINK_HREF 2

// Made for every "a" tag. While a page renders, position holds the row, the
// column and the length in characters; once the page is compacted it holds
// the start offset and end offset in the page text and the length.
typedef struct HtmlLink {
    char *target;         // name or href value (points into the file text)
    intptr_t position[4]; // see above; the fourth word is unused
    int kind;             // HTML_LINK_*
} HtmlLink;

// An item of a head or body list.
typedef struct HtmlElement {
    char *tag;  // tag name as written ("td", "/td"), or null for a text run
    char *data; // attribute text or text run; an HtmlLink * for an "a" tag;
                // an HtmlTable * once a table is measured (tag "fitab")
    int length; // length of the data text (taken before "a" replaces it)
} HtmlElement;

// One html section of a file.
typedef struct HtmlPage {
    char *name;        // value of the page attribute of its html tag, or null
    char *image;       // rendered text (null until rendered)
    ListHeader *head;  // HtmlElement items of the head section
    ListHeader *body;  // HtmlElement items of the body section
    ListHeader *links; // HtmlLink * items, in rendering order
    int lineCount;     // rendered lines
    char compacted;    // 1 once image holds the final text
} HtmlPage;

// One loaded help file.
typedef struct HtmlFile {
    char *name;        // the file name as given (copy)
    char *text;        // whole content, cut in place by the parser
    char *position;    // parse position in text
    ListHeader *pages; // HtmlPage items
} HtmlFile;

// Loaded files; FileIndex counts them, CurrentFile is the one in use.
extern HtmlFile *aFile[HTML_MAX_FILES];
extern int FileIndex;
extern int CurrentFile;
// The page in use.
extern HtmlPage *pCurrentPage;

// The 96 entity names, each with its ';': the k-th (from 1) stands for
// ISO 8859-1 character 0xA0 + k - 1.
extern const char *HTMLKeys;
// Length of the k-th name with its ';' (entry 0 is 0).
extern const int HTMLKeySizes[97];
// The characters 0xA0 to 0xFF in list order.
extern const unsigned char HTMLChars[96];

// Loads a help file (or parses content instead of reading it when content is
// not null), renders its pages and shows its target ("file#target"). A file
// already loaded is returned as it is, its first page current. Returns null
// for "http://" references, unreadable files, files without html sections and
// past the 100th file; nothing is kept then.
HtmlFile *ParseHtmlFile(char *ref, char *content);
// The loaded file of exactly that name (it becomes CurrentFile), or null.
HtmlFile *FindHtmlFile(const char *name);
// Parses elements into list from the file's parse position up to the tag
// "/" + closing (any case): null when that tag was found, the file when the
// text ended first (an open text run is then dropped).
HtmlFile *ParseHtml(HtmlFile *file, ListHeader *list, const char *closing);
// Appends an element; for an "a" tag (any case) the data becomes an HtmlLink
// made from its name or href attribute.
void AddAtribute(ListHeader *list, char *tag, char *data);
// The text of the next tag (between '<' and '>', both cut) from the parse
// position, which moves past it; null when no complete tag is left.
char *GetKeyWord(HtmlFile *file);
