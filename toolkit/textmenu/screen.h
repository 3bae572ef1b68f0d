// Screen image and drawing.
#pragma once

#include "toolkit/runtime/shared.h"
#include "toolkit/textmenu/menu.h"

// In-memory image of the terminal: a grid of columns x rows characters.
struct ScreenImage {
    int columns;        // width in characters
    int rows;           // height in lines
    int spare[8];       // not used by the drawing functions
    int cursor_column;  // column of the next WriteString, 0-based
    int cursor_row;     // row of the next WriteString, 1-based
    int overlay_column; // position of the Overlay message box
    int overlay_row;
    int overlay_width; // text width and height of the message box
    int overlay_height;
    char *data; // columns x rows characters, row after row
};

// Line buffer of Refresh.
extern char CurLineBuf[LINEBUF_SIZE];

// Returns the image for the current terminal: `image` itself when given,
// else a process-wide image. Its size is taken from the terminal on standard
// output (else COLUMNS/LINES, else 80x24); the data buffer is made on the first
// call and remade when the size changes.
ScreenImage *GetTermInfo(ScreenImage *image);
// Fills the image with blanks.
void ClearScreen(ScreenImage *image);
// Places the terminal cursor at a 0-based column and row when standard
// output is a terminal; otherwise does nothing.
void MoveCursor(ScreenImage *image, int column, int row);
// Sets the cursor column and (1-based) row of the next WriteString.
void SetPosition(ScreenImage *image, int column, int row);
// Sets the position and text size of the Overlay box.
void SetOvlInfo(ScreenImage *image, int column, int row, int width, int height);
// Formats (at most 511 characters) and copies text into the image at the
// cursor, never past the image's last cell. The cursor does not move.
void WriteString(ScreenImage *image, const char *format, ...);
// Fills height rows (0-based first row) of width cells from column with ch,
// clipped to the image; returns ch.
char FillArea(ScreenImage *image, int column, int row, int width, int height, char ch);
// Writes the image to standard output, all but its last cell; returns 0.
int Refresh(ScreenImage *image);
// Draws a framed message box on the terminal at the overlay position; with
// wait set, adds "Press enter" and reads one character.
void Overlay(ScreenImage *image, const char *text, char wait);
// Fills the first 24 x 80 cells with a repeating digit pattern.
void NumberScreen(ScreenImage *image);
// Raises widths[c] to the longest choice of each column of a pick item's
// choices (columns of min(choice_count, rows - 6) choices, at most 512
// columns); returns the widest, or 0 for a null image or item.
int GetColumnWidths(ScreenImage *image, MenuItem *item, int *widths);
// Draws the pick screen's title and command lines with the selection text.
void WriteScreenFrame(ScreenImage *image, MenuItem *item, const char *selection);
