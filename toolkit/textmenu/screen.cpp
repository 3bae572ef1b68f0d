// Screen image and drawing: an in-memory grid written to the terminal whole.
#include "toolkit/textmenu/screen.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>

#include "toolkit/runtime/memory.h"
#include "toolkit/runtime/tokens.h"
#include "toolkit/textmenu/render.h"

char CurLineBuf[LINEBUF_SIZE];

namespace {

// Largest terminal side taken from the system or the environment.
constexpr int kMaxSide = 1000;
// Size of the formatting buffer of WriteString.
constexpr int kWriteMax = 512;
// Most columns GetColumnWidths measures.
constexpr int kMaxColumns = 512;

ScreenImage TermImage;
// The data buffer GetTermInfo made, so that it only ever frees its own.
char *OwnData = nullptr;

int SideFrom(int measured, const char *env, int fallback) {
    if (measured > 0) return std::min(measured, kMaxSide);
    const char *s = getenv(env);
    int v = s ? atoi(s) : 0;
    return v > 0 ? std::min(v, kMaxSide) : fallback;
}

int Cells(const ScreenImage *image) {
    if (!image || !image->data || image->columns <= 0 || image->rows <= 0) return 0;
    return image->columns * image->rows;
}

void PutLine(const std::string &line) {
    fputs(line.c_str(), stdout);
    if (!isatty(STDOUT_FILENO)) fputc('\n', stdout);
}

} // namespace

ScreenImage *GetTermInfo(ScreenImage *image) {
    if (!image) image = &TermImage;
    struct winsize ws = {};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) != 0) ws = {};
    int columns = SideFrom(ws.ws_col, "COLUMNS", 80);
    int rows = SideFrom(ws.ws_row, "LINES", 24);
    if (image->data && image->columns == columns && image->rows == rows) return image;
    char *data = GetMem(columns * rows);
    if (!data) return image;
    if (image->data == OwnData) PutMem(OwnData);
    OwnData = image->data = data;
    image->columns = columns;
    image->rows = rows;
    ClearScreen(image);
    return image;
}

void ClearScreen(ScreenImage *image) {
    if (int n = Cells(image)) memset(image->data, ' ', (size_t)n);
}

void MoveCursor(ScreenImage *, int column, int row) {
    if (!isatty(STDOUT_FILENO)) return;
    printf("\033[%d;%dH", row + 1, column + 1);
    fflush(stdout);
}

void SetPosition(ScreenImage *image, int column, int row) {
    if (!image) return;
    image->cursor_column = column;
    image->cursor_row = row;
}

void SetOvlInfo(ScreenImage *image, int column, int row, int width, int height) {
    if (!image) return;
    image->overlay_column = column;
    image->overlay_row = row;
    image->overlay_width = width;
    image->overlay_height = height;
}

void WriteString(ScreenImage *image, const char *format, ...) {
    int cells = Cells(image);
    if (!cells || !format) return;
    if (image->cursor_row < 1 || image->cursor_row > image->rows) image->cursor_row = 1;
    if (image->cursor_column < 1 || image->cursor_column > image->columns) image->cursor_column = 0;
    char text[kWriteMax];
    va_list ap;
    va_start(ap, format);
    vsnprintf(text, sizeof text, format, ap);
    va_end(ap);
    long cell = (long)(image->cursor_row - 1) * image->columns + image->cursor_column;
    for (const char *p = text; *p && cell < cells; p++, cell++)
        image->data[cell] = *p;
}

char FillArea(ScreenImage *image, int column, int row, int width, int height, char ch) {
    if (!Cells(image)) return ch;
    int c0 = std::max(column, 0), c1 = std::min(column + width, image->columns);
    int r0 = std::max(row, 0), r1 = std::min(row + height, image->rows);
    for (int r = r0; r < r1; r++)
        for (int c = c0; c < c1; c++)
            image->data[r * image->columns + c] = ch;
    return ch;
}

int Refresh(ScreenImage *image) {
    int cells = Cells(image);
    for (int r = 0; cells && r < image->rows; r++) {
        const char *row = image->data + r * image->columns;
        int n = image->columns - (r == image->rows - 1 ? 1 : 0);
        int len = 0;
        while (len < n && len < LINEBUF_SIZE - 2 && row[len] != '\n')
            len++;
        if (len < n && row[len] == '\n') len++; // the line end takes the terminal to the next row
        memcpy(CurLineBuf, row, (size_t)len);
        CurLineBuf[len] = '\0';
        printf("%s", CurLineBuf);
    }
    fflush(stdout);
    return 0;
}

void Overlay(ScreenImage *image, const char *text, char wait) {
    if (!image) return;
    int w = std::max(image->overlay_width, 0);
    int col = image->overlay_column, row = image->overlay_row;
    const char *p = text ? text : "";
    std::string frame((size_t)w + 4, '*');
    MoveCursor(image, col, row++);
    PutLine(frame);
    for (int n = 0; n < image->overlay_height + 3; n++) {
        std::string line = "* ";
        int i = 0;
        for (; i < w && *p && *p != '\n'; i++)
            line += *p++;
        if (*p == '\n') p++;
        line.append((size_t)(w - i), ' ');
        line += " *";
        MoveCursor(image, col, row++);
        PutLine(line);
        if (!*p) break;
    }
    if (wait) {
        std::string line = "* Press enter";
        if ((int)line.size() < w + 3) line.append((size_t)(w + 3) - line.size(), ' ');
        MoveCursor(image, col, row++);
        PutLine(line + "*");
    }
    MoveCursor(image, col, row);
    PutLine(frame);
    fflush(stdout);
    if (wait) (void)getchar();
}

void NumberScreen(ScreenImage *image) {
    int n = std::min(Cells(image), 24 * 80);
    for (int i = 0; i < n; i++)
        image->data[i] = (char)('0' + i % 10);
}

int GetColumnWidths(ScreenImage *image, MenuItem *item, int *widths) {
    if (!image || !item || !widths || !item->choices) return 0;
    int per = std::min(item->choice_count, image->rows - 6);
    if (per < 1) return 0;
    char token[TOKEN_MAX + 1];
    char *cursor = item->choices;
    int widest = 0;
    for (int i = 0; GetTokenD(i ? nullptr : item->choices, ",", &cursor, token); i++) {
        int c = i / per;
        if (c >= kMaxColumns) break;
        widths[c] = std::max(widths[c], (int)strlen(token));
        widest = std::max(widest, widths[c]);
    }
    return widest;
}

void WriteScreenFrame(ScreenImage *image, MenuItem *item, const char *selection) {
    if (!Cells(image) || !item) return;
    const char *save = OSATTYMENU_SAVE ? OSATTYMENU_SAVE : "";
    const char *cancel = OSATTYMENU_CANCEL ? OSATTYMENU_CANCEL : "";
    const char *cursel = OSATTYMENU_CURSEL ? OSATTYMENU_CURSEL : "%s";
    const char *trunc = OSATTYMENU_CURSELTRUNC ? OSATTYMENU_CURSELTRUNC : "%s";
    const char *sel = selection ? selection : "";
    int cols = image->columns, rows = image->rows;
    SetPosition(image, std::max((cols - item->text_length) / 2, 0), 1);
    WriteString(image, "%s", item->text ? item->text : "");
    SetPosition(image, 0, rows - 2);
    WriteString(image, "%s", save);
    SetPosition(image, cols / 2, rows - 2);
    WriteString(image, "%s", cancel);
    SetPosition(image, 0, rows - 1);
    int room = cols - (int)strlen(cursel);
    if ((int)strlen(sel) > room + 2) {
        std::string cut(sel, (size_t)std::max(room - 1, 0));
        WriteString(image, trunc, cut.c_str());
    } else {
        WriteString(image, cursel, sel);
    }
    SetPosition(image, 0, rows);
    WriteString(image, "%s", OSATTYMENU_OPTION ? OSATTYMENU_OPTION : "");
}
