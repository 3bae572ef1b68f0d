// Rendering help pages as text: a grid of 132-column rows that grows as needed,
// tables measured before they are laid out, then compacted into newline-ended lines.
#include "toolkit/htmlhelp/htmlrender.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <string>
#include <strings.h>
#include <unordered_set>
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

// Table records made by GetTextTable. An element counts as "fitab" only when
// its data is one of them: a help file may spell that tag itself, and its
// attribute text must never be taken for a table record.
std::unordered_set<const void *> Measured;

int TagOf(const HtmlElement *e) {
    // A name holding the list's comma (or no name) would match several entries.
    if (e->tag == nullptr || *e->tag == '\0' || strchr(e->tag, ',') != nullptr) return 0;
    int tag = FindTokenC(e->tag, kBodyTags);
    if (tag == T_FITAB && Measured.count(e->data) == 0) return 0;
    return tag;
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
    void Element(HtmlElement *e);
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

void BodyWalk::Element(HtmlElement *e) {
    int tag = TagOf(e);
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
        if (listMode) NewLines(1);
        ListNode *keep = pCurrentPage->body->cursor;
        HtmlTable *t = GetTextTable(file, e, table ? CellWidth() : 0);
        pCurrentPage->body->cursor = keep;
        if (t != nullptr) PlaceTable(t);
        break;
    }
    case T_FITAB:
        PlaceTable(reinterpret_cast<HtmlTable *>(e->data));
        break;
    default:
        break;
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
    ListNode *keep = body->cursor;
    int level = 0, cells = 0, most = 0;
    HtmlElement *e;
    while ((e = Walk(1)) != nullptr) {
        int tag = TagOf(e);
        if (tag == T_TABLE || tag == T_FITAB) {
            level++;
        } else if (tag == T_END_TABLE) {
            if (level-- == 0) break;
        } else if (level == 0) {
            if (tag == T_TR) cells = 0;
            if (tag == T_TD) cells++;
            if (tag == T_END_TR) most = std::max(most, cells);
        }
    }
    body->cursor = keep;
    return most;
}

HtmlTable *GetTextTable(HtmlFile *file, HtmlElement *elem, int available) {
    auto *t = reinterpret_cast<HtmlTable *>(GetMem(sizeof(HtmlTable)));
    if (t == nullptr) return nullptr;
    t->rule = 1;
    char value[64];
    const char *attrs = elem->data ? elem->data : "";
    int borderSize = 0, cellspacing = 0, cellpadding = 0;
    if (Attribute(attrs, "border", value, sizeof value)) {
        t->border = 1;
        borderSize = *value ? atoi(value) : 1;
    }
    if (Attribute(attrs, "cellspacing", value, sizeof value)) cellspacing = atoi(value);
    if (Attribute(attrs, "cellpadding", value, sizeof value)) cellpadding = atoi(value);
    char widthValue[64] = "";
    bool hasWidth = Attribute(attrs, "width", widthValue, sizeof widthValue) && *widthValue;

    int columns = GetColumnCnt();
    t->padding = cellpadding / HTML_PIXELS_PER_CHAR;
    t->spacing = cellspacing / HTML_PIXELS_PER_CHAR;
    int tableWidth = 0;
    if (hasWidth) {
        int v = atoi(widthValue);
        if (strchr(widthValue, '%') != nullptr)
            tableWidth = available ? available * v / 100 : 0;
        else
            tableWidth =
                (v - 2 * cellpadding * columns - (columns + 1) * (cellspacing + borderSize)) /
                HTML_PIXELS_PER_CHAR;
    }

    std::vector<int> widths(std::max(columns, 1), 0), given(std::max(columns, 1), 0), heights;
    int rowIndex = 0, cell = -1, lines = 0;
    auto column = [&](int i) -> int & {
        if (i >= static_cast<int>(widths.size())) {
            widths.resize(i + 1, 0);
            given.resize(i + 1, 0);
        }
        return widths[i];
    };
    auto height = [&]() -> int & {
        if (rowIndex >= static_cast<int>(heights.size())) heights.resize(rowIndex + 1, 0);
        return heights[rowIndex];
    };
    HtmlElement *e;
    while ((e = Walk(1)) != nullptr) {
        int tag = TagOf(e);
        if (tag == T_END_TABLE) break;
        if (tag == T_TR) {
            height() = 0;
            lines = 0;
            cell = -1;
        } else if (tag == T_TD) {
            cell++;
            column(cell);
            if (tableWidth && given[cell] == 0 &&
                Attribute(e->data ? e->data : "", "width", value, sizeof value)) {
                int v = atoi(value);
                given[cell] = strchr(value, '%') ? tableWidth * v / 100 - 2 * t->padding - t->rule
                                                 : v / HTML_PIXELS_PER_CHAR;
            }
        } else if (tag == T_END_TD) {
            lines = 0;
        } else if (tag == T_END_TR) {
            if (height() == 0) height() = lines;
            rowIndex++;
            columns = std::max(columns, cell + 1);
        } else if (tag == T_TABLE && cell >= 0) {
            int avail = given[cell] ? given[cell] : column(cell);
            HtmlTable *nested = GetTextTable(file, e, avail);
            if (nested != nullptr) {
                column(cell) = std::max(column(cell), nested->width);
                lines += nested->height;
                height() = std::max(height(), lines);
            }
        } else if (e->tag == nullptr && cell >= 0) {
            column(cell) = std::max(column(cell), e->length);
            lines++;
            height() = std::max(height(), lines);
        }
    }
    memcpy(elem->tag, "fitab", 6); // the tag text was "table": exactly as long
    elem->data = reinterpret_cast<char *>(t);
    Measured.insert(t);

    columns = std::max(columns, 0);
    column(columns); // widths and given cover every column
    if (hasWidth && tableWidth)
        for (int i = 0; i < columns; i++)
            if (given[i]) widths[i] = given[i];
    int sum = 0;
    for (int i = 0; i < columns; i++)
        sum += widths[i];
    t->width = tableWidth ? tableWidth : 2 * t->padding * columns + columns + 1 + sum;
    t->rows = rowIndex;
    t->columns = columns;
    int total = 0;
    for (int i = 0; i < rowIndex; i++)
        total += i < static_cast<int>(heights.size()) ? heights[i] : 0;
    t->height = total + rowIndex + 1;
    t->rowHeights = reinterpret_cast<int *>(GetMem(sizeof(int) * (rowIndex + 1)));
    t->columnWidths = reinterpret_cast<int *>(GetMem(sizeof(int) * (columns + 1)));
    if (t->rowHeights)
        for (int i = 0; i < rowIndex; i++)
            t->rowHeights[i] = i < static_cast<int>(heights.size()) ? heights[i] : 0;
    if (t->columnWidths)
        for (int i = 0; i < columns; i++)
            t->columnWidths[i] = widths[i];
    if (!t->rowHeights || !t->columnWidths) t->rows = t->columns = 0;
    return t;
}

void DrawTableArea(HtmlFile *file, HtmlTable *t) {
    if (t == nullptr || t->width <= 0 || t->column >= kCols) return;
    int width = std::min(t->width, kCols - t->column); // cut at the grid's edge
    std::vector<char> line(width);
    auto put = [&](int row) {
        int r = row, c = t->column;
        PrintText(file, &r, &c, line.data(), width, 0);
    };
    if (!t->border) {
        std::fill(line.begin(), line.end(), ' ');
        for (int r = 0; r < t->height; r++)
            put(t->row + r);
        return;
    }
    auto draw = [&](char end, char fill, char cross) {
        std::fill(line.begin(), line.end(), fill);
        line[0] = end;
        if (t->width <= width) line[width - 1] = end;
        int at = 0;
        for (int i = 0; i + 1 < t->columns; i++) {
            at += 2 * t->padding + t->columnWidths[i] + 1;
            if (at < width) line[at] = cross;
        }
    };
    int row = t->row;
    for (int i = 0; i < t->rows; i++) {
        draw('|', '-', '+');
        if (i == 0) {
            line[0] = ',';
            if (t->width <= width) line[width - 1] = ',';
        }
        put(row++);
        draw('|', ' ', '|');
        for (int h = 0; h < t->rowHeights[i]; h++)
            put(row++);
    }
    draw('\'', '-', '+');
    if (t->rows == 0) {
        line[0] = ',';
        if (t->width <= width) line[width - 1] = ',';
    }
    put(row);
}

int BuildTextBody(HtmlFile *file, HtmlTable *table, int row, int column) {
    BodyWalk walk{file, table, row, column};
    HtmlElement *e;
    if (table != nullptr) {
        DrawTableArea(file, table);
        // Only the row moves below the top line: anything written before the
        // first row starts its cells stands at the column the table was given.
        walk.row = table->row + 1;
        walk.cellLeft = table->column + 1;
        e = Walk(1);
    } else {
        e = Walk(0);
    }
    for (; e != nullptr; e = Walk(1)) {
        if (table != nullptr && TagOf(e) == T_END_TABLE) break;
        walk.Element(e);
    }
    if (table == nullptr) {
        pCurrentPage->lineCount = walk.row;
        // A last line that no line-breaking tag ends still belongs to the text.
        if (walk.row < GridRows && pCurrentPage->image != nullptr) {
            const char *line = pCurrentPage->image + static_cast<long>(walk.row) * kCols;
            if (std::any_of(line, line + kCols, [](char c) { return c != '\0'; }))
                pCurrentPage->lineCount = walk.row + 1;
        }
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
        long start = (row >= 0 && row < lines ? lineStart[row] : static_cast<long>(text.size())) +
                     link->position[1];
        link->position[0] = start;
        link->position[1] = start + link->position[2];
    }
}
