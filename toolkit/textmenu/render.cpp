// Menu rendering: the line menu, menu bars and the full-screen pick screen.
#include "toolkit/textmenu/render.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

#include "toolkit/nls/nlsstring.h"
#include "toolkit/nls/transconf.h"
#include "toolkit/runtime/memory.h"
#include "toolkit/runtime/tokens.h"
#include "toolkit/syscmd/comtable.h"
#include "toolkit/syscmd/syscmd.h"
#include "toolkit/textmenu/screen.h"

char *OSATTYMENU_SAVE = nullptr;
char *OSATTYMENU_CANCEL = nullptr;
char *OSATTYMENU_CURSEL = nullptr;
char *OSATTYMENU_CURSELTRUNC = nullptr;
char *OSATTYMENU_OPTION = nullptr;

namespace {

// Width of the line menu.
constexpr int kLineWidth = 80;
// Most columns of the pick screen, and the size of its selection text.
constexpr int kMaxColumns = 512;
constexpr size_t kSelectionSize = 64;

// A translated message of set 25; its key text when missing.
struct Msg {
    char text[NLS_STRBUF_SIZE + 1] = {};
    explicit Msg(int number) { NlsFetchString(pDrvCoreDB, text, NLS_BY_NUMBER, 25, number); }
};

// The label as shown: a key-letter label loses its "~", key and separator.
const char *Shown(const MenuItem *item) {
    if (item->text[0] != '~') return item->text;
    size_t n = strnlen(item->text, 3);
    return item->text + n;
}

void ClearTerminal() {
    if (!isatty(STDOUT_FILENO) || !TestCmd(ROW_CLEAR)) return;
    fflush(stdout);
    SysCmd(ROW_CLEAR, SYSCMD_TERMINAL, "%s", "");
}

void PrintTitle(const Menu *menu, int title_length) {
    const char *title = menu->title ? menu->title : "";
    if (menu->title_align == 1 || menu->title_align == 2) {
        int pad =
            menu->title_align == 1 ? (kLineWidth - title_length) / 2 : kLineWidth - title_length;
        printf("\f\n%*s%s\n\n", std::max(pad, 0), "", title);
    } else {
        printf("\f\n%s:\n\n", title);
    }
}

// The current choice of a pick-one, looked up afresh; null when missing.
const char *CurrentChoice(const MenuItem *item) {
    if (!item->choices || item->value.i < 0 || item->value.i >= item->choice_count) return nullptr;
    return GetTokenN(item->choices, ",", (int)item->value.i + 1);
}

void PrintValue(const MenuItem *item) {
    switch (item->kind) {
    case ITEM_PICK_ONE: {
        const char *c = CurrentChoice(item);
        if (!c || c[0] == ' ')
            printf(" [ ]");
        else
            printf(" [%i. %s]", (int)item->value.i + 1, c + (c[0] == '_'));
        break;
    }
    case ITEM_PICK_MANY: {
        fputs(Msg(270).text, stdout);
        if (item->value.i == 1) {
            fputs(Msg(271).text, stdout);
        } else {
            const char *sep = "";
            for (int bit = 0; bit < 32; bit++) {
                if (!((uintptr_t)item->value.i & (1u << bit))) continue;
                printf("%s%d", sep, bit + 1);
                sep = ",";
            }
        }
        printf("]");
        break;
    }
    case ITEM_NAME:
    case ITEM_TEXT_ENTRY:
        printf(" [%s]", item->value.s ? item->value.s : "");
        break;
    case ITEM_INTEGER:
        printf(" [%i]", (int)item->value.i);
        break;
    case ITEM_REAL:
        printf(" [%.3f]", item->value.f);
        break;
    default:
        break;
    }
}

// Prints one item of the line menu; returns 0 when it takes no line.
bool PrintItem(Menu *menu, int index, int value_column) {
    MenuItem *item = &menu->items[index];
    if (item->kind == ITEM_SUBMENU) {
        Menu *sub = ValidateMenu(menu, index);
        if (!sub) return false;
        printf("%2i) %s ", item->key, sub->title ? sub->title : "");
        return true;
    }
    // A text line prints its label whatever its state; hidden, it only loses
    // its line end.
    if (item->kind == ITEM_TEXT) {
        printf("%s ", item->text);
        return item->state != ITEM_HIDDEN;
    }
    if (item->state == ITEM_HIDDEN) return false;
    if (item->state == ITEM_INACTIVE)
        printf("%*s  %s ", 2, " ", item->text);
    else if (item->kind == ITEM_SPARE) // no key, so no number
        printf("%*s  %s ", 2, " ", Shown(item));
    else if (item->text[0] == '~')
        printf(" %c) %s ", item->key, Shown(item));
    else
        printf("%2i) %s ", item->key, item->text);
    if (item->kind >= ITEM_PICK_ONE && item->kind <= ITEM_REAL) {
        for (int n = (int)strlen(item->text); n < value_column; n++)
            putchar('.');
        PrintValue(item);
    }
    return true;
}

void PrintPrompt(const Menu *menu) {
    Msg store(230), help(231), exit(232), format(510);
    const char *a = menu->flags & (MENU_STORE_NAMED | MENU_STORE_DEFAULT) ? store.text : "";
    const char *b = menu->flags & MENU_HELP ? help.text : "";
    const char *c = menu->flags & MENU_NO_EXIT_HINT ? "" : exit.text;
    printf(format.text, a, b, c);
    fflush(stdout);
}

// One cell of a column block: cut to width - 2 characters and one blank.
void PrintCell(const MenuItem *item, bool numbered, int width, int length) {
    int pad = width - (length + 5);
    char cell[LINEBUF_SIZE];
    if (!numbered)
        snprintf(cell, sizeof cell, "%-*s", std::max(width, 0), item->text);
    else if (item->text[0] == '~')
        snprintf(cell, sizeof cell, " %c) %s%*s ", item->key, Shown(item), std::max(pad + 2, 0),
                 " ");
    else
        snprintf(cell, sizeof cell, "%2i) %s%*s", item->key, item->text, std::max(pad, 0), " ");
    size_t keep = (size_t)std::max(width - 2, 0);
    if (strlen(cell) > keep) cell[keep] = '\0';
    printf("%s ", cell);
}

int BarColumns(const MenuItem *item) {
    return item->value.i > 0 ? (int)item->value.i : 3;
}

} // namespace

int PrintMenu(Menu *menu, int value_column, int title_length) {
    if (!menu) return 0;
    ClearTerminal();
    PrintTitle(menu, title_length);
    int i = 0, number = 0;
    for (; menu->items && menu->items[i].text; i++) {
        MenuItem *item = &menu->items[i];
        bool line;
        if (item->kind == ITEM_BAR || item->kind == ITEM_BAR_TEXT) {
            PrintMenuBarItem(item, (int)item->kind, &i, &number);
            line = true;
        } else {
            if (item->kind >= ITEM_APPLY) number++;
            line = PrintItem(menu, i, value_column);
        }
        if (line) printf("\n%s", menu->flags & MENU_COMPACT ? "" : "\n");
    }
    PrintPrompt(menu);
    return i;
}

// Kind 3 blocks run to the end of the list, every further kind-3 item
// starting a new row. Kind 1 is taken as a block of the following kind-0
// rows only, shown as plain cells, and ends before the first other item.
MenuItem *PrintMenuBarItem(MenuItem *item, int kind, int *index, int *number) {
    if (!item) return item;
    int columns = BarColumns(item), width = kLineWidth / columns, pos = 0;
    MenuItem *last = item;
    for (MenuItem *it = item + 1; it->text; it++) {
        if (kind == ITEM_BAR_TEXT && it->kind != ITEM_TEXT) break;
        if (index) (*index)++;
        if (number) (*number)++;
        last = it;
        if (it->kind == ITEM_BAR) {
            printf("\n");
            columns = BarColumns(it), width = kLineWidth / columns, pos = 0;
            continue;
        }
        int length = (int)strlen(it->text);
        if (pos + length > kLineWidth || (pos != 0 && length > width - 5)) {
            printf("\n");
            pos = 0;
        }
        if (it->state == ITEM_HIDDEN) continue;
        PrintCell(it, kind == ITEM_BAR, width, length);
        if (length > width - columns) {
            printf("\n");
            pos = 0;
        } else {
            pos += width;
        }
    }
    return last;
}

namespace {

// Pick-screen state kept between pages.
ScreenImage *PickImage = nullptr;
int CurScreenCol = 0;
char CurrentSelection[kSelectionSize];
int PickWidths[kMaxColumns];

void LoadPickWords() {
    if (OSATTYMENU_SAVE) return;
    OSATTYMENU_SAVE = SaveStr_(Msg(201).text);
    OSATTYMENU_CANCEL = SaveStr_(Msg(202).text);
    OSATTYMENU_CURSEL = SaveStr_(Msg(203).text);
    OSATTYMENU_CURSELTRUNC = SaveStr_(Msg(204).text);
    OSATTYMENU_OPTION = SaveStr_(Msg(205).text);
}

void AppendSelection(const char *text, bool replace) {
    if (replace) CurrentSelection[0] = '\0';
    size_t used = strlen(CurrentSelection);
    size_t room = sizeof CurrentSelection - 1 - used;
    size_t n = std::min(strlen(text), room);
    memcpy(CurrentSelection + used, text, n);
    CurrentSelection[used + n] = '\0';
}

// Fails with messages 206-208 when the screen cannot hold the pick screen.
bool ScreenTooSmall(const ScreenImage *image, int widest) {
    int need = widest / 2 + 20;
    int footer = (int)(strlen(OSATTYMENU_SAVE) + strlen(OSATTYMENU_CANCEL));
    if (image->rows - 6 >= 1 && image->columns >= footer && image->columns >= need) return false;
    fputs(Msg(206).text, stdout);
    printf(Msg(207).text, image->columns, image->rows);
    printf(Msg(208).text, std::max(need, footer), 7);
    fflush(stdout);
    (void)getchar();
    return true;
}

// Takes the columns of the page from CurScreenCol on; returns how many.
int TakeColumns(int screen_columns, int *used) {
    int pos = 0, taken = 0, c = CurScreenCol;
    while (pos < screen_columns && c < kMaxColumns && PickWidths[c] > 0) {
        if (pos + PickWidths[c] + 7 <= screen_columns) {
            pos += PickWidths[c++] + 7;
            taken++;
        } else {
            if (taken == 0 && PickWidths[c] / 2 + 7 <= screen_columns) {
                pos = screen_columns;
                taken = 1;
                c++;
            }
            break;
        }
    }
    *used = pos;
    return taken;
}

// Moves past `offset` choices; null when no choice follows them.
char *SkipChoices(char *choices, int offset) {
    char *p = choices;
    for (int i = 0; i <= offset; i++) {
        while (*p == ',')
            p++;
        if (!*p) return nullptr;
        if (i == offset) break;
        while (*p && *p != ',')
            p += (p[0] == '\\' && p[1]) ? 2 : 1;
    }
    return p;
}

struct PickPage {
    ScreenImage *image;
    MenuItem *item;
    unsigned *disabled;
    int rows_per_column, indent;
};

void DrawChoice(const PickPage &pg, int l, int k, int x, const char *choice) {
    ScreenImage *image = pg.image;
    int row = 3 + l % pg.rows_per_column;
    bool disabled = choice[0] == ' ';
    if (disabled && k - 1 < 32) *pg.disabled |= 1u << (k - 1);
    if (choice[0] == ' ' || choice[0] == '_') choice++;
    bool current = pg.item->kind == ITEM_PICK_ONE
                       ? pg.item->value.i == k - 1
                       : k - 1 < 32 && ((uintptr_t)pg.item->value.i >> (k - 1)) & 1;
    if (current) {
        SetPosition(image, x, row);
        WriteString(image, " ->");
        if (pg.item->kind == ITEM_PICK_ONE) {
            AppendSelection(choice, true);
        } else {
            AppendSelection(choice, false);
            AppendSelection(" ", false);
        }
    }
    if (!disabled) {
        SetPosition(image, x + 4, row);
        WriteString(image, "%2d) ", k);
    }
    SetPosition(image, x + 8, row);
    int room = image->columns - 7 - x - pg.indent;
    if (l / pg.rows_per_column == 0 && (int)strlen(choice) > room)
        WriteString(image, "%.*s...", std::max(room - 3, 0), choice);
    else
        WriteString(image, "%s", choice);
}

} // namespace

// Every page but the last shows whole columns, so a later page starts at the
// column after the previous page, offset / rows-per-column; worked out from the
// offset, a page drawn again after a choice shows the same columns.
int PrintPickOneManyScreen(MenuItem *item, unsigned *disabled_set, int offset) {
    static unsigned spare_set;
    unsigned *disabled = disabled_set ? disabled_set : &spare_set;
    if (!item || !item->choices || offset < 0) return -1;
    if (offset == 0) {
        PickImage = GetTermInfo(nullptr);
        CurScreenCol = 0;
        LoadPickWords();
        *disabled = 0;
        std::fill(std::begin(PickWidths), std::end(PickWidths), 0);
        int widest = GetColumnWidths(PickImage, item, PickWidths);
        if (ScreenTooSmall(PickImage, widest)) return -1;
    }
    if (!PickImage || !PickImage->data || PickImage->rows - 6 < 1) return -1;
    int per = PickImage->rows - 6;
    if (offset > 0) CurScreenCol = offset / per;
    char *p = SkipChoices(item->choices, offset);
    if (!p) return -1;
    ClearScreen(PickImage);
    SetPosition(PickImage, 0, 0);
    int used = 0, first = CurScreenCol;
    int taken = TakeColumns(PickImage->columns, &used);
    CurScreenCol = first + taken;
    int left = item->choice_count - offset;
    int shown = left > per * taken ? per * taken : left;
    PickPage pg{PickImage, item, disabled, per, taken ? (PickImage->columns - used) / taken : 0};
    if (item->kind == ITEM_PICK_MANY) CurrentSelection[0] = '\0';
    char token[TOKEN_MAX + 1];
    char *cursor = p;
    int x = 0;
    for (int l = 0; l < shown && GetTokenD(l ? nullptr : p, ",", &cursor, token); l++) {
        int column = l / per;
        if (column > 0 && l % per == 0) x += PickWidths[first + column - 1] + 7;
        DrawChoice(pg, l, offset + l + 1, x + (column ? column * pg.indent : 0), token);
    }
    WriteScreenFrame(PickImage, item, CurrentSelection);
    Refresh(PickImage);
    MoveCursor(PickImage, (int)strlen(OSATTYMENU_OPTION), PickImage->rows - 1);
    return shown;
}
