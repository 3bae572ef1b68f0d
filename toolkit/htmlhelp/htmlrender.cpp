// Rendering help pages as text: the body walk writes into a grid, tables are
// measured before they are drawn, and the grid is compacted into the text.
//
// Layout stays linear in the page's size: the column counts of all tables
// come from one pass made before the page is walked (instead of a walk ahead
// to each table's end), and a table nested deeper than HTML_MAX_TABLE_DEPTH
// is laid out as text, which also bounds the recursion of measuring and
// drawing.
#include "toolkit/htmlhelp/htmlrender.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <string>
#include <strings.h>
#include <unordered_map>
#include <utility>
#include <vector>

#include "toolkit/runtime/memory.h"
#include "toolkit/runtime/tokens.h"

namespace {

constexpr int kCols = HTML_IMAGE_COLUMNS;
// Rows the current page's grid holds.
int GridRows = 0;

enum Tag {
    T_P = 1,
    T_END_P,
    T_B,
    T_END_B,
    T_FONT,
    T_END_FONT,
    T_A,
    T_END_A,
    T_TR,
    T_END_TR,
    T_BR,
    T_TABLE,
    T_FITAB,
    T_END_TABLE,
    T_TD,
    T_END_TD,
    T_H1,
    T_H6 = T_H1 + 5,
    T_END_H1,
    T_END_H6 = T_END_H1 + 5,
    T_OL,
    T_END_OL,
    T_LI,
    T_END_LI,
    T_DIV,
    T_END_DIV,
    T_IMG
};
const char *kBodyTags = ",p,/p,b,/b,font,/font,a,/a,tr,/tr,br,table,fitab,/table,td,/td,h1,h2,h3,"
                        "h4,h5,h6,/h1,/h2,/h3,/h4,/h5,/h6,ol,/ol,li,/li,div,/div,img,";

// The mark of a measured table: its element's tag points here, and the tag
// text parsed from the file stays as it was. A "fitab" that a help file
// spells itself is another text, so its attributes are never taken for a
// table record.
char FitabMark[] = "fitab";

int TagOf(const HtmlElement *e) {
    if (e->tag == FitabMark) return T_FITAB;
    // A name holding the list's comma (or no name) would match several entries.
    if (e->tag == nullptr || *e->tag == '\0' || strchr(e->tag, ',') != nullptr) return 0;
    int tag = FindTokenC(e->tag, kBodyTags);
    return tag == T_FITAB ? 0 : tag;
}

bool OpensTable(int tag) {
    return tag == T_TABLE || tag == T_FITAB;
}

// Cells of the widest row of one table, counted at its own level.
struct CellCount {
    int cells = 0, most = 0;
    void Step(int tag) {
        if (tag == T_TR) cells = 0;
        if (tag == T_TD) cells++;
        if (tag == T_END_TR) most = std::max(most, cells);
    }
};

// Column counts of the tables of the page being walked, by element, or null
// outside a page walk. Forgotten when the walk ends.
using ColumnCounts = std::unordered_map<const void *, int>;
ColumnCounts *PageColumns = nullptr;

// Counts the columns of every table of body in one pass: a stack holds the
// tables open at each point, and the innermost one counts the cells.
void CountColumns(const ListHeader *body, ColumnCounts &counts) {
    std::vector<std::pair<const void *, CellCount>> open;
    for (const ListNode *n = body->first; n != nullptr; n = n->next) {
        int tag = TagOf(static_cast<const HtmlElement *>(n->item));
        if (OpensTable(tag)) {
            open.emplace_back(n->item, CellCount{});
        } else if (tag == T_END_TABLE) {
            if (open.empty()) continue;
            counts[open.back().first] = open.back().second.most;
            open.pop_back();
        } else if (!open.empty()) {
            open.back().second.Step(tag);
        }
    }
    for (const auto &[item, count] : open)
        counts[item] = count.most;
}

// Tables being measured or drawn around the walk position.
int TableDepth = 0;
struct InsideTable {
    InsideTable() { TableDepth++; }
    ~InsideTable() { TableDepth--; }
    InsideTable(const InsideTable &) = delete;
    InsideTable &operator=(const InsideTable &) = delete;
};

// True when a table starting here lies deeper than the limit: it is then
// laid out as text.
bool TooDeep() {
    return TableDepth >= HTML_MAX_TABLE_DEPTH;
}

// Inside a table laid out as text (*open > 0) its structure is dropped: true
// for such a tag. Its nesting is counted to find where it ends.
bool FlatStructure(int *open, int tag) {
    if (*open == 0) return false;
    if (OpensTable(tag))
        ++*open;
    else if (tag == T_END_TABLE)
        --*open;
    else if (tag != T_TR && tag != T_END_TR && tag != T_TD && tag != T_END_TD)
        return false;
    return true;
}

HtmlElement *Walk(int call) {
    return static_cast<HtmlElement *>(ListWalk(pCurrentPage->body, call));
}

// Makes the grid hold at least rows rows (plus a terminating NUL); 0 when
// memory is short, in which case nothing may be written.
bool EnsureRows(int rows) {
    if (rows <= GridRows && pCurrentPage->image != nullptr) return true;
    int want = std::max(rows, GridRows * 2);
    if (want > (1 << 30) / kCols) return false;
    char *grown = AdjustMem(pCurrentPage->image, want * kCols);
    if (grown == nullptr) return false;
    pCurrentPage->image = grown;
    GridRows = want;
    return true;
}

// Finds attribute key (any case) among the white-space separated key=value
// tokens of text and copies its value, quotes removed, into out ("" for a
// key without a value). The last occurrence wins. False when absent.
bool Attribute(const char *text, const char *key, char *out, size_t size) {
    bool found = false;
    size_t keyLen = strlen(key);
    const char *p = text;
    while (*p != '\0') {
        p += strspn(p, " \t\n\r");
        size_t n = strcspn(p, " \t\n\r");
        if (n == 0) break;
        const char *eq = static_cast<const char *>(memchr(p, '=', n));
        size_t k = eq ? static_cast<size_t>(eq - p) : n;
        if (k == keyLen && strncasecmp(p, key, k) == 0) {
            const char *value = eq ? eq + 1 : p + n;
            size_t vlen = p + n - value;
            if (vlen > 0 && *value == '"') value++, vlen--;
            const char *quote = static_cast<const char *>(memchr(value, '"', vlen));
            if (quote) vlen = quote - value;
            snprintf(out, size, "%.*s", static_cast<int>(vlen), value);
            found = true;
        }
        p += n;
    }
    return found;
}

// State of one body walk (a page, or one table's contents).
struct BodyWalk {
    HtmlFile *file;
    HtmlTable *table;
    int row, col;
    int rowTop = 0, cellLeft = 0, cellIndex = -1, rowIndex = 0;
    bool listMode = false;
    int listCounter = 0;
    HtmlLink *link = nullptr;
    bool linkOpen = false;
    int flat = 0; // open tables laid out as text

    int LeftColumn() const { return table ? cellLeft : 0; }
    void NewLines(int n) {
        row += n;
        col = LeftColumn();
    }
    int CellWidth() const {
        if (table == nullptr || cellIndex < 0 || cellIndex >= table->columns) return 0;
        return table->columnWidths[cellIndex];
    }
    void Write(const char *text, int len) { PrintText(file, &row, &col, text, len, 0); }
    void Element(HtmlElement *e, int tag);
    void PlaceTable(HtmlTable *t);
};

void BodyWalk::PlaceTable(HtmlTable *t) {
    if (table != nullptr) {
        t->column = cellLeft;
        t->row = col > cellLeft ? row + 1 : row;
        BuildTextBody(file, t, t->row, t->column);
        row = t->row + t->height;
        col = cellLeft;
    } else {
        t->column = col;
        t->row = row;
        BuildTextBody(file, t, t->row, t->column);
        row = t->row + t->height;
        col = t->column;
    }
}

void BodyWalk::Element(HtmlElement *e, int tag) {
    if (e->tag == nullptr) {
        Write(e->data, e->length);
        return;
    }
    if (tag >= T_H1 && tag <= T_H6) tag = T_H1;
    if (tag >= T_END_H1 && tag <= T_END_H6) tag = T_END_H1;
    switch (tag) {
    case T_P:
        if (table == nullptr) NewLines(2);
        break;
    case T_END_P:
        if (table == nullptr) NewLines(1);
        break;
    case T_END_OL:
        listMode = false;
        NewLines(1);
        break;
    case T_BR:
    case T_H1:
    case T_DIV:
        NewLines(1);
        break;
    case T_END_H1:
    case T_END_DIV:
        NewLines(2);
        break;
    case T_A:
        link = reinterpret_cast<HtmlLink *>(e->data);
        linkOpen = false;
        if (link == nullptr) break;
        link->position[0] = row;
        link->position[1] = col;
        if (link->kind == HTML_LINK_HREF) {
            Write("<", 1);
            linkOpen = true;
        }
        break;
    case T_END_A:
        if (link == nullptr) break;
        if (linkOpen) Write(">", 1);
        link->position[2] = col - link->position[1];
        ListPushItem(pCurrentPage->links, &link, sizeof link);
        link = nullptr;
        linkOpen = false;
        break;
    case T_OL:
        listMode = true;
        listCounter = 0;
        break;
    case T_LI:
        if (listMode) {
            char number[32];
            NewLines(1);
            int n = snprintf(number, sizeof number, "   %i. ", ++listCounter);
            Write(number, n);
        }
        break;
    case T_TR:
        rowTop = row;
        if (table != nullptr) {
            cellLeft = table->column + table->padding + 1;
            col = table->column + 1;
        }
        cellIndex = -1;
        break;
    case T_TD:
        row = rowTop;
        if (++cellIndex > 0 && table != nullptr) {
            int prev = cellIndex - 1 < table->columns ? table->columnWidths[cellIndex - 1] : 0;
            cellLeft += prev + 2 * table->padding + 1;
        }
        col = cellLeft;
        break;
    case T_END_TR:
        if (table != nullptr && rowIndex < table->rows)
            row = rowTop + table->rowHeights[rowIndex] + 1;
        rowIndex++;
        break;
    case T_TABLE: {
        if (TooDeep()) {
            flat = 1;
            break;
        }
        if (listMode) NewLines(1);
        ListNode *keep = pCurrentPage->body->cursor;
        HtmlTable *t = GetTextTable(file, e, table ? CellWidth() : 0);
        pCurrentPage->body->cursor = keep;
        if (t != nullptr) PlaceTable(t);
        break;
    }
    case T_FITAB:
        if (TooDeep())
            flat = 1;
        else
            PlaceTable(reinterpret_cast<HtmlTable *>(e->data));
        break;
    default:
        break;
    }
}

// Walks on from element e: to the end of the body, or inside a table to its
// "/table".
void RunWalk(BodyWalk &walk, HtmlElement *e) {
    for (; e != nullptr; e = Walk(1)) {
        int tag = TagOf(e);
        if (FlatStructure(&walk.flat, tag)) continue;
        if (walk.table != nullptr && tag == T_END_TABLE) break;
        walk.Element(e, tag);
    }
}

} // namespace

void PrintText(HtmlFile *, int *row, int *column, const char *text, int length, char fill) {
    if (pCurrentPage == nullptr || length <= 0 || *row < 0 || *column < 0) return;
    long offset = static_cast<long>(*row) * kCols + *column;
    long end = offset + length;
    if (end > (1L << 30) || !EnsureRows(static_cast<int>(end / kCols) + 1)) return;
    char *at = pCurrentPage->image + offset;
    if (length == 1)
        *at = text[0];
    else if (fill)
        memset(at, text[0], length);
    else
        memcpy(at, text, length);
    if (length < kCols) {
        *column += length;
    } else {
        *row += length / kCols;
        *column = length % kCols;
    }
}

int GetColumnCnt(void) {
    ListHeader *body = pCurrentPage->body;
    // While the page is walked the count of the table just walked past is known.
    ListNode *table = body->cursor ? body->cursor->previous : body->last;
    if (PageColumns != nullptr && table != nullptr) {
        auto known = PageColumns->find(table->item);
        if (known != PageColumns->end()) return known->second;
    }
    int level = 0;
    CellCount count;
    for (ListNode *n = body->cursor; n != nullptr; n = n->next) {
        int tag = TagOf(static_cast<HtmlElement *>(n->item));
        if (OpensTable(tag)) {
            level++;
        } else if (tag == T_END_TABLE) {
            if (level-- == 0) break;
        } else if (level == 0) {
            count.Step(tag);
        }
    }
    return count.most;
}

namespace {

// The table tag's attributes, in pixels as written.
struct TableAttributes {
    char border = 0;
    int borderSize = 0, cellspacing = 0, cellpadding = 0;
    char width[64] = ""; // the width value; empty when none is given
};

TableAttributes ReadTableAttributes(const char *attrs) {
    TableAttributes a;
    char value[64];
    if (Attribute(attrs, "border", value, sizeof value)) {
        a.border = 1;
        a.borderSize = *value ? atoi(value) : 1;
    }
    if (Attribute(attrs, "cellspacing", value, sizeof value)) a.cellspacing = atoi(value);
    if (Attribute(attrs, "cellpadding", value, sizeof value)) a.cellpadding = atoi(value);
    Attribute(attrs, "width", a.width, sizeof a.width);
    return a;
}

// The width the table's width attribute gives it in characters, or 0 for a
// width from the contents. A percentage needs an available width; pixels
// leave out the padding, spacing and borders of every column.
int TableWidth(const TableAttributes &a, int columns, int available) {
    if (a.width[0] == '\0') return 0;
    int v = atoi(a.width);
    if (strchr(a.width, '%') != nullptr) return available ? available * v / 100 : 0;
    return (v - 2 * a.cellpadding * columns - (columns + 1) * (a.cellspacing + a.borderSize)) /
           HTML_PIXELS_PER_CHAR;
}

// The content width a cell's width attribute gives its column: a percentage
// of the table's width less the padding and the rule, or pixels.
int GivenCellWidth(const char *value, int tableWidth, const HtmlTable *t) {
    int v = atoi(value);
    if (strchr(value, '%') != nullptr) return tableWidth * v / 100 - 2 * t->padding - t->rule;
    return v / HTML_PIXELS_PER_CHAR;
}

// What the walk over a table's contents finds.
struct TableContents {
    std::vector<int> widths;  // content width of each column
    std::vector<int> given;   // width a cell attribute gave each column (0: none)
    std::vector<int> heights; // lines of each row
    int rows = 0, columns = 0;

    explicit TableContents(int counted)
        : widths(std::max(counted, 1), 0), given(std::max(counted, 1), 0), columns(counted) {}
    // Column i's content width; widths and given grow to cover it.
    int &Width(int i) {
        if (i >= static_cast<int>(widths.size())) {
            widths.resize(i + 1, 0);
            given.resize(i + 1, 0);
        }
        return widths[i];
    }
    int &Height(int row) {
        if (row >= static_cast<int>(heights.size())) heights.resize(row + 1, 0);
        return heights[row];
    }
    int HeightOf(int row) const {
        return row < static_cast<int>(heights.size()) ? heights[row] : 0;
    }
};

// Walks the table's contents up to its "/table", measuring every table that
// starts in one of its cells on the way.
void MeasureContents(HtmlFile *file, const HtmlTable *t, int tableWidth, TableContents &c) {
    InsideTable inside;
    int cell = -1, lines = 0, flat = 0;
    char value[64];
    HtmlElement *e;
    while ((e = Walk(1)) != nullptr) {
        int tag = TagOf(e);
        if (FlatStructure(&flat, tag)) continue;
        if (tag == T_END_TABLE) break;
        if (tag == T_TR) {
            c.Height(c.rows) = 0;
            lines = 0;
            cell = -1;
        } else if (tag == T_TD) {
            cell++;
            c.Width(cell);
            if (tableWidth && c.given[cell] == 0 &&
                Attribute(e->data ? e->data : "", "width", value, sizeof value))
                c.given[cell] = GivenCellWidth(value, tableWidth, t);
        } else if (tag == T_END_TD) {
            lines = 0;
        } else if (tag == T_END_TR) {
            if (c.Height(c.rows) == 0) c.Height(c.rows) = lines;
            c.rows++;
            c.columns = std::max(c.columns, cell + 1);
        } else if (tag == T_TABLE && cell >= 0) {
            if (TooDeep()) {
                flat = 1;
                continue;
            }
            int avail = c.given[cell] ? c.given[cell] : c.Width(cell);
            HtmlTable *nested = GetTextTable(file, e, avail);
            if (nested != nullptr) {
                c.Width(cell) = std::max(c.Width(cell), nested->width);
                lines += nested->height;
                c.Height(c.rows) = std::max(c.Height(c.rows), lines);
            }
        } else if (e->tag == nullptr && cell >= 0) {
            c.Width(cell) = std::max(c.Width(cell), e->length);
            lines++;
            c.Height(c.rows) = std::max(c.Height(c.rows), lines);
        }
    }
}

// Marks the element measured: its tag reads "fitab", its data is the record.
void MarkMeasured(HtmlElement *elem, HtmlTable *t) {
    elem->tag = FitabMark;
    elem->data = reinterpret_cast<char *>(t);
}

// Fills in the record's size and its rows and columns from the contents:
// widths that cells gave replace the measured ones in a table of given width.
void FinishTable(HtmlTable *t, TableContents &c, int tableWidth) {
    int columns = std::max(c.columns, 0);
    c.Width(columns); // widths and given cover every column
    if (tableWidth)
        for (int i = 0; i < columns; i++)
            if (c.given[i]) c.widths[i] = c.given[i];
    int sum = 0;
    for (int i = 0; i < columns; i++)
        sum += c.widths[i];
    t->width = tableWidth ? tableWidth : 2 * t->padding * columns + columns + 1 + sum;
    t->rows = c.rows;
    t->columns = columns;
    int total = 0;
    for (int i = 0; i < c.rows; i++)
        total += c.HeightOf(i);
    t->height = total + c.rows + 1;
    t->rowHeights = reinterpret_cast<int *>(GetMem(sizeof(int) * (c.rows + 1)));
    t->columnWidths = reinterpret_cast<int *>(GetMem(sizeof(int) * (columns + 1)));
    if (!t->rowHeights || !t->columnWidths) {
        t->rows = t->columns = 0;
        return;
    }
    for (int i = 0; i < c.rows; i++)
        t->rowHeights[i] = c.HeightOf(i);
    for (int i = 0; i < columns; i++)
        t->columnWidths[i] = c.widths[i];
}

} // namespace

HtmlTable *GetTextTable(HtmlFile *file, HtmlElement *elem, int available) {
    auto *t = reinterpret_cast<HtmlTable *>(GetMem(sizeof(HtmlTable)));
    if (t == nullptr) return nullptr;
    TableAttributes a = ReadTableAttributes(elem->data ? elem->data : "");
    t->rule = 1;
    t->border = a.border;
    TableContents contents(GetColumnCnt());
    t->padding = a.cellpadding / HTML_PIXELS_PER_CHAR;
    t->spacing = a.cellspacing / HTML_PIXELS_PER_CHAR;
    int tableWidth = TableWidth(a, contents.columns, available);
    MeasureContents(file, t, tableWidth, contents);
    MarkMeasured(elem, t);
    FinishTable(t, contents, tableWidth);
    return t;
}

namespace {

// One line of a table's frame, width characters of it: end at both ends (the
// right one only when the table is not cut at the grid's edge), fill between
// and cross at each inner column boundary that lies inside the line.
std::vector<char> FrameLine(const HtmlTable *t, int width, char end, char fill, char cross) {
    std::vector<char> line(width, fill);
    line[0] = end;
    if (t->width <= width) line[width - 1] = end;
    int at = 0;
    for (int i = 0; i + 1 < t->columns; i++) {
        at += 2 * t->padding + t->columnWidths[i] + 1;
        if (at >= 0 && at < width) line[at] = cross;
    }
    return line;
}

// Gives the line the top corners.
std::vector<char> TopLine(const HtmlTable *t, std::vector<char> line) {
    int width = static_cast<int>(line.size());
    line[0] = ',';
    if (t->width <= width) line[width - 1] = ',';
    return line;
}

} // namespace

void DrawTableArea(HtmlFile *file, HtmlTable *t) {
    // Nothing of a table whose left edge lies outside the grid can be written.
    if (t == nullptr || t->width <= 0 || t->column < 0 || t->column >= kCols) return;
    int width = std::min(t->width, kCols - t->column); // cut at the grid's edge
    auto put = [&](const std::vector<char> &line, int row) {
        int r = row, c = t->column;
        PrintText(file, &r, &c, line.data(), width, 0);
    };
    if (!t->border) {
        std::vector<char> blanks(width, ' ');
        for (int r = 0; r < t->height; r++)
            put(blanks, t->row + r);
        return;
    }
    // Every row's rule and cell lines are alike: each is made once.
    std::vector<char> rule = FrameLine(t, width, '|', '-', '+');
    std::vector<char> cells = FrameLine(t, width, '|', ' ', '|');
    std::vector<char> bottom = FrameLine(t, width, '\'', '-', '+');
    int row = t->row;
    for (int i = 0; i < t->rows; i++) {
        put(i == 0 ? TopLine(t, rule) : rule, row++);
        for (int h = 0; h < t->rowHeights[i]; h++)
            put(cells, row++);
    }
    put(t->rows == 0 ? TopLine(t, bottom) : bottom, row);
}

int BuildTextBody(HtmlFile *file, HtmlTable *table, int row, int column) {
    BodyWalk walk{file, table, row, column};
    if (table != nullptr) {
        InsideTable inside;
        DrawTableArea(file, table);
        // Only the row moves below the top line: anything written before the
        // first row starts its cells stands at the column the table was given.
        walk.row = table->row + 1;
        walk.cellLeft = table->column + 1;
        RunWalk(walk, Walk(1));
        return walk.row;
    }
    ColumnCounts counts;
    CountColumns(pCurrentPage->body, counts);
    ColumnCounts *outer = std::exchange(PageColumns, &counts);
    RunWalk(walk, Walk(0));
    PageColumns = outer;
    pCurrentPage->lineCount = walk.row;
    // A last line that no line-breaking tag ends still belongs to the text.
    if (walk.row < GridRows && pCurrentPage->image != nullptr) {
        const char *line = pCurrentPage->image + static_cast<long>(walk.row) * kCols;
        if (std::any_of(line, line + kCols, [](char c) { return c != '\0'; }))
            pCurrentPage->lineCount = walk.row + 1;
    }
    return walk.row;
}

void BuildTextImage(HtmlFile *file) {
    if (pCurrentPage == nullptr) return;
    GridRows = 0;
    pCurrentPage->image = nullptr;
    pCurrentPage->lineCount = 0;
    if (!EnsureRows(std::max(pCurrentPage->body->count, 1))) return;
    int row = 0, col = 0;
    bool inTitle = false, titled = false;
    HtmlElement *e;
    for (int i = 0; (e = static_cast<HtmlElement *>(ListWalk(pCurrentPage->head, i))) != nullptr;
         i++) {
        if (e->tag != nullptr) {
            int t = FindTokenC(e->tag, ",title,/title,");
            if (t) inTitle = t == 1;
            continue;
        }
        if (!inTitle) continue;
        col = 0;
        int blanks = (80 - e->length) / 2;
        if (blanks > 0) PrintText(file, &row, &col, " ", blanks, 1);
        PrintText(file, &row, &col, e->data, e->length, 0);
        row += 2;
        col = 0;
        titled = true;
    }
    BuildTextBody(file, nullptr, titled ? row : 0, 0);
}

void PrintTextImage(HtmlFile *file) {
    if (pCurrentPage == nullptr || pCurrentPage->compacted) return;
    if (pCurrentPage->image == nullptr) BuildTextImage(file);
    char *grid = pCurrentPage->image;
    if (grid == nullptr) return;
    long gridBytes = static_cast<long>(GridRows) * kCols;
    int lines = std::max(pCurrentPage->lineCount, 0);
    std::vector<long> lineStart(lines + 1, 0);
    std::string text;
    for (int r = 0; r < lines;) {
        if (r >= GridRows) { // rows the walk passed without writing are empty lines
            lineStart[r++] = static_cast<long>(text.size());
            text.push_back('\n');
            continue;
        }
        const char *p = grid + static_cast<long>(r) * kCols;
        long len = strnlen(p, gridBytes - static_cast<long>(r) * kCols);
        lineStart[r] = static_cast<long>(text.size());
        text.append(p, len);
        text.push_back('\n');
        // Rows that a long text ran on into are part of its line.
        long rows = std::max(1L, (len + kCols - 1) / kCols);
        for (long k = 1; k < rows && r + k < lines; k++)
            lineStart[r + k] = lineStart[r] + k * kCols;
        r += static_cast<int>(rows);
    }
    char *out = GetMem(static_cast<int>(text.size()) + 1);
    if (out == nullptr) return;
    memcpy(out, text.data(), text.size());
    PutMem(grid);
    pCurrentPage->image = out;
    pCurrentPage->compacted = 1;
    GridRows = 0;
    HtmlLink **pl;
    for (int i = 0; (pl = static_cast<HtmlLink **>(ListWalk(pCurrentPage->links, i))) != nullptr;
         i++) {
        HtmlLink *link = *pl;
        long row = link->position[0];
        // A link on a row past the text's last line (written inside a table
        // below where the walk ended, say) has no place in it: its span is cut
        // at the text's end, as is any span that would run past it.
        long size = static_cast<long>(text.size());
        long start = std::min(size, (row >= 0 && row < lines ? lineStart[row] : size) +
                                        std::max<long>(link->position[1], 0));
        if (start + link->position[2] > size) link->position[2] = size - start;
        link->position[0] = start;
        link->position[1] = start + link->position[2];
    }
}

const char *const HtmlKeys = kBodyTags;
