// The screen buffer: writing and filling cells, refresh, framed overlays, and the
// terminal size as a pseudo-terminal reports it.
#include "toolkit/textmenu/screen.h"

#include <cstring>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include "tests/toolkit/textmenu/menu_io.h"
#include "toolkit/runtime/memory.h"
#include "toolkit/textmenu/render.h"

using menutest::Console;

namespace {

// A columns x rows image with its own blank data.
struct Image {
    std::vector<char> cells;
    ScreenImage image = {};
    Image(int columns, int rows) : cells((size_t)columns * rows, ' ') {
        image.columns = columns;
        image.rows = rows;
        image.data = cells.data();
    }
    std::string Row(int r) const { // 0-based
        return std::string(cells.data() + (size_t)r * image.columns, (size_t)image.columns);
    }
};

TEST(WriteString, PositionRules) {
    Image img(80, 3);
    SetPosition(&img.image, 5, 0); // row outside 1..rows: row 1
    WriteString(&img.image, "%s-%d", "ab", 7);
    EXPECT_EQ(img.Row(0).substr(0, 12), "     ab-7   ");
    SetPosition(&img.image, 500, 2); // column outside: column 0
    WriteString(&img.image, "xy");
    EXPECT_EQ(img.Row(1).substr(0, 3), "xy ");
    EXPECT_EQ(img.image.cursor_column, 0);
    EXPECT_EQ(img.image.cursor_row, 2);
}

TEST(WriteString, RunsOnAndStopsAtTheLastCell) {
    Image img(4, 2);
    SetPosition(&img.image, 2, 1);
    WriteString(&img.image, "%s", "abcdefghij");
    EXPECT_EQ(img.Row(0), "  ab");
    EXPECT_EQ(img.Row(1), "cdef");
    std::string longText(2000, 'z');
    WriteString(&img.image, "%s", longText.c_str()); // cut to 511 and to the image
    EXPECT_EQ(img.Row(1), "zzzz");
}

TEST(FillArea, ZeroBasedRowsClipped) {
    Image img(5, 3);
    EXPECT_EQ(FillArea(&img.image, 3, 1, 10, 5, '#'), '#');
    EXPECT_EQ(img.Row(0), "     ");
    EXPECT_EQ(img.Row(1), "   ##");
    EXPECT_EQ(img.Row(2), "   ##");
}

TEST(Refresh, SkipsTheLastCellAndStopsRowsAtNewline) {
    Image img(3, 2);
    memcpy(img.cells.data(), "abcdef", 6);
    {
        Console con;
        EXPECT_EQ(Refresh(&img.image), 0);
        EXPECT_EQ(con.Output(), "abcde");
    }
    memcpy(img.cells.data(), "a\ncdef", 6);
    Console con;
    Refresh(&img.image);
    EXPECT_EQ(con.Output(), "a\nde");
}

TEST(Overlay, FramedBoxWithoutTerminal) {
    Image img(80, 24);
    SetOvlInfo(&img.image, 2, 3, 10, 1);
    Console con("x");
    Overlay(&img.image, "hello\nworld", 0);
    EXPECT_EQ(con.Output(), "**************\n"
                            "* hello      *\n"
                            "* world      *\n"
                            "**************\n");
}

TEST(Overlay, WaitLineAndLongText) {
    Image img(80, 24);
    SetOvlInfo(&img.image, 0, 0, 12, 0);
    Console con("\n");
    Overlay(&img.image, "abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJKL", 1);
    EXPECT_EQ(con.Output(), "****************\n"
                            "* abcdefghijkl *\n"
                            "* mnopqrstuvwx *\n"
                            "* yz0123456789 *\n"
                            "* Press enter  *\n"
                            "****************\n"); // at most height + 3 text lines
}

TEST(NumberScreen, FixedPattern) {
    Image img(80, 30);
    NumberScreen(&img.image);
    EXPECT_EQ(img.Row(0).substr(0, 12), "012345678901");
    EXPECT_EQ(img.Row(23).substr(78), "89");
    EXPECT_EQ(img.Row(24), std::string(80, ' '));
    Image small(10, 2);
    NumberScreen(&small.image); // never past a smaller image
    EXPECT_EQ(small.Row(1), "0123456789");
}

TEST(GetColumnWidths, ColumnsOfRowsMinusSix) {
    std::string list;
    for (int i = 1; i <= 25; i++)
        list += (i > 1 ? "," : "") + std::string(i == 20 ? 9 : 2, 'c');
    std::vector<char> choices(list.begin(), list.end());
    choices.push_back('\0');
    MenuItem item = {};
    item.choices = choices.data();
    item.choice_count = 25;
    Image img(80, 24);
    int widths[512] = {};
    widths[0] = 5; // raised, never lowered
    EXPECT_EQ(GetColumnWidths(&img.image, &item, widths), 9);
    EXPECT_EQ(widths[0], 5); // 18 choices of 2
    EXPECT_EQ(widths[1], 9); // choice 20 is in the second column
    EXPECT_EQ(widths[2], 0);
    EXPECT_EQ(GetColumnWidths(nullptr, &item, widths), 0);
    EXPECT_EQ(GetColumnWidths(&img.image, nullptr, widths), 0);
}

TEST(WriteScreenFrame, TitleCommandsSelectionAndPrompt) {
    Image img(40, 10);
    MenuItem item = {};
    item.text = "Pick";
    item.text_length = 4;
    WriteScreenFrame(&img.image, &item, "one two");
    EXPECT_EQ(img.Row(0).substr(18, 4), "Pick");
    std::string save = OSATTYMENU_SAVE ? OSATTYMENU_SAVE : "";
    EXPECT_EQ(img.Row(7).substr(0, save.size()), save);
    std::string longSel(100, 's');
    Image img2(40, 10);
    WriteScreenFrame(&img2.image, &item, longSel.c_str());
    if (!OSATTYMENU_CURSEL) { // the words are not fetched before the first pick screen
        EXPECT_EQ(img.Row(8), "one two" + std::string(33, ' '));
        EXPECT_EQ(img2.Row(8), std::string(37, 's') + "   "); // cut to fit
    }
}

TEST(GetTermInfo, SizedFromEnvironmentWithoutTerminal) {
    Console con; // standard output is a file here
    setenv("COLUMNS", "91", 1);
    setenv("LINES", "17", 1);
    ScreenImage own = {};
    ScreenImage *img = GetTermInfo(&own);
    EXPECT_EQ(img, &own);
    EXPECT_EQ(img->columns, 91);
    EXPECT_EQ(img->rows, 17);
    ASSERT_NE(img->data, nullptr);
    EXPECT_EQ(img->data[91 * 17 - 1], ' ');
    unsetenv("COLUMNS");
    unsetenv("LINES");
    ScreenImage *def = GetTermInfo(nullptr);
    EXPECT_EQ(def->columns, 80);
    EXPECT_EQ(def->rows, 24);
    EXPECT_EQ(GetTermInfo(nullptr), def);
    MoveCursor(def, 3, 4); // no terminal: nothing written
    ClearScreen(def);
    EXPECT_EQ(con.Output(), "");
}

TEST(GetTermInfo, TerminalSizeAndCursorOnPty) {
    auto child = StartOnPty(30, 100, [](int report) {
        ScreenImage *img = GetTermInfo(nullptr);
        PtyReport(report, std::to_string(img->columns) + "x" + std::to_string(img->rows));
        MoveCursor(img, 4, 2);
        SetPosition(img, 0, 1);
        WriteString(img, "top");
        printf("|");
        fflush(stdout);
        close(report);
    });
    EXPECT_TRUE(child.Expect("\033[3;5H|"));
    EXPECT_EQ(child.Report(), "100x30");
    EXPECT_EQ(child.Wait(), 0);
}

TEST(Overlay, PlacesEachLineOnPty) {
    auto child = StartOnPty(24, 80, [](int report) {
        ScreenImage *img = GetTermInfo(nullptr);
        SetOvlInfo(img, 10, 5, 2, 0);
        Overlay(img, "ok", 0);
        close(report);
    });
    EXPECT_TRUE(child.Expect("\033[6;11H******\033[7;11H* ok *\033[8;11H******"));
    EXPECT_EQ(child.Wait(), 0);
}

} // namespace
