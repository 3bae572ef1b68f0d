// Rendering help pages and tables as text.
//
// A page renders into a grid of 132-column rows, which grows as rendering
// needs it, and is then compacted into one text of newline-ended lines; the
// links of the page get their offsets in that text.
#pragma once

#include "toolkit/htmlhelp/htmlparse.h"

// Columns of a row of the render grid.
#define HTML_IMAGE_COLUMNS 132
// Characters per pixel of width attributes.
#define HTML_PIXELS_PER_CHAR 7
// Deepest nesting of tables laid out as tables; a table nested deeper is laid
// out as text (its rows and cells dropped, its texts written in place).
#define HTML_MAX_TABLE_DEPTH 32

// The tags the body renderer knows, as a comma list (",p,/p,b,...,img,").
extern const char *const HtmlKeys;

// A measured table; the data of its element, whose tag then reads "fitab"
// (the parsed tag text itself is left as it was).
typedef struct HtmlTable {
    int column;        // left edge in the grid (set when placed)
    int row;           // top row in the grid (set when placed)
    int width;         // total width, borders included
    int height;        // total height in rows, borders included
    int padding;       // cellpadding / 7
    int spacing;       // cellspacing / 7 (stored, not drawn)
    int rule;          // 1
    char border;       // 1 if the table tag has a border attribute
    int *rowHeights;   // lines of each row
    int *columnWidths; // content width of each column
    int rows;          // number of rows
    int columns;       // number of columns
} HtmlTable;

// Renders the current page if it has no image, then compacts it into its
// final text and sets the links' offsets. Does nothing once compacted.
void PrintTextImage(HtmlFile *file);
// Renders the current page's title and body into a new grid.
void BuildTextImage(HtmlFile *file);
// Renders body elements from the body's walk position; with a table, its
// frame and then its contents up to "/table". Returns the row reached.
int BuildTextBody(HtmlFile *file, HtmlTable *table, int row, int column);
// Measures the table whose element elem was just walked past (the walk goes
// on to its "/table"), marks the element "fitab" and returns the record.
// Tables that start in its cells are measured on the way.
HtmlTable *GetTextTable(HtmlFile *file, HtmlElement *elem, int available);
// Number of columns of the table whose elements follow the walk position;
// the walk position is kept.
int GetColumnCnt(void);
// Draws the table's frame, or blanks its area when it has no border.
void DrawTableArea(HtmlFile *file, HtmlTable *table);
// Writes into the grid at (*row, *column): one character for length 1, length
// copies of text[0] with fill set, else length bytes of text; then advances
// the position. The grid grows as needed; nothing is written outside it.
void PrintText(HtmlFile *file, int *row, int *column, const char *text, int length, char fill);
