// Menu rendering: items, keys, values and prompts as printed, titles, columns and the
// pick screen's pages.
#include "toolkit/textmenu/render.h"

#include <cstring>
#include <gtest/gtest.h>

#include "tests/toolkit/textmenu/menu_io.h"
#include "toolkit/textmenu/screen.h"

using menutest::Console;
using menutest::Msg;

namespace {

MenuItem Item(const char *text, unsigned kind, intptr_t def = 0) {
    MenuItem item = {};
    item.text = text;
    item.kind = kind;
    item.default_value.i = def;
    return item;
}

std::string Prompt(const char *a, const char *b, const char *c) {
    return menutest::MsgF(25, 510, a, b, c);
}

void ExpectLines(const std::string &got, const std::string &want) {
    auto g = menutest::Lines(got), w = menutest::Lines(want);
    for (size_t i = 0; i < std::max(g.size(), w.size()); i++)
        EXPECT_EQ(i < g.size() ? g[i] : "<none>", i < w.size() ? w[i] : "<none>") << "line " << i;
}

TEST(PrintMenu, ItemsKeysValuesAndPrompt) {
    char colours[] = "red,green,_blue";
    char many[] = "a,b,c";
    MenuItem items[] = {Item("Settings", ITEM_TEXT),      Item("~e Exit", ITEM_EXIT),
                        Item("Colour", ITEM_PICK_ONE, 2), Item("Copies", ITEM_INTEGER, 2),
                        Item("Scale", ITEM_REAL),         Item("Name", ITEM_NAME),
                        Item("Off", ITEM_ACTION),         Item("Gone", ITEM_ACTION),
                        Item("Many", ITEM_PICK_MANY),     Item("One", ITEM_PICK_MANY),
                        Item("Spare", ITEM_SPARE),        {}};
    items[2].choices = colours;
    items[4].default_value.f = 1.5f;
    items[5].default_value.cs = "lp";
    items[6].state = ITEM_INACTIVE;
    items[7].state = ITEM_HIDDEN;
    items[8].choices = items[9].choices = many;
    items[8].value.i = 5;
    Menu menu = {};
    menu.title = "Main";
    menu.items = items;
    int widest = InitMenu(&menu, 0);
    ASSERT_EQ(widest, 8);
    Console con;
    EXPECT_EQ(PrintMenu(&menu, widest, 4), 11);
    std::string m270 = Msg(25, 270);
    ExpectLines(con.Output(), "\f\nMain:\n\n"
                              "Settings \n\n"
                              " e) Exit \n\n"
                              " 1) Colour .. [3. blue]\n\n"
                              " 2) Copies .. [2]\n\n"
                              " 3) Scale ... [1.500]\n\n"
                              " 4) Name .... [lp]\n\n"
                              "    Off \n\n"
                              " 7) Many ...." +
                                  m270 +
                                  "1,3]\n\n"
                                  " 8) One ....." +
                                  m270 + Msg(25, 271) +
                                  "]\n\n"
                                  "    Spare \n\n" +
                                  Prompt("", "", Msg(25, 232).c_str()));
    FreeMenu(&menu);
}

TEST(PrintMenu, DisabledOrMissingChoiceShowsEmptyBrackets) {
    char colours[] = "red, green";
    MenuItem items[] = {Item("C", ITEM_PICK_ONE), {}};
    items[0].choices = colours;
    Menu menu = {};
    menu.title = "T";
    menu.items = items;
    menu.flags = MENU_COMPACT | MENU_NO_EXIT_HINT;
    InitMenu(&menu, 0);
    HideStateSelection(&items[0], 0); // both disabled now
    Console con;
    PrintMenu(&menu, 1, 1);
    items[0].value.i = 9;
    PrintMenu(&menu, 1, 1);
    std::string once = "\f\nT:\n\n 1) C  [ ]\n" + Prompt("", "", "");
    EXPECT_EQ(con.Output(), once + once);
}

// A hidden text line still prints its label, only without its line end; an
// inactive key-letter item shows its whole label.
TEST(PrintMenu, HiddenTextAndInactiveKeyLetterItems) {
    MenuItem items[] = {Item("Intro", ITEM_TEXT),
                        Item("Next", ITEM_TEXT),
                        Item("~x Extra", ITEM_ACTION),
                        Item("~e Exit", ITEM_EXIT),
                        {}};
    items[0].state = ITEM_HIDDEN;
    items[2].state = ITEM_INACTIVE;
    Menu menu = {};
    menu.title = "T";
    menu.items = items;
    menu.flags = MENU_NO_EXIT_HINT;
    InitMenu(&menu, 0);
    Console con;
    EXPECT_EQ(PrintMenu(&menu, 0, 1), 4);
    EXPECT_EQ(con.Output(),
              "\f\nT:\n\nIntro Next \n\n    ~x Extra \n\n e) Exit \n\n" + Prompt("", "", ""));
}

struct TitleCase {
    int align;
    size_t length;
    size_t blanks;
};

TEST(PrintMenu, TitleAlignment) {
    const TitleCase cases[] = {{1, 78, 1},  {1, 100, 0}, {1, 10, 35},
                               {2, 70, 10}, {2, 80, 0},  {2, 90, 0}};
    for (const TitleCase &c : cases) {
        std::string title(c.length, 'T');
        MenuItem items[] = {{}};
        Menu menu = {};
        menu.title = title.c_str();
        menu.title_align = c.align;
        menu.items = items;
        menu.flags = MENU_HELP | MENU_STORE_DEFAULT;
        Console con;
        EXPECT_EQ(PrintMenu(&menu, 0, (int)c.length), 0);
        EXPECT_EQ(con.Output(),
                  "\f\n" + std::string(c.blanks, ' ') + title + "\n\n" +
                      Prompt(Msg(25, 230).c_str(), Msg(25, 231).c_str(), Msg(25, 232).c_str()))
            << c.align << " " << c.length;
    }
}

TEST(PrintMenu, SubMenuItemsShowTheSubMenuTitle) {
    Menu sub = {};
    sub.title = "Paper";
    MenuItem items[] = {Item("Sub", ITEM_SUBMENU), Item("None", ITEM_SUBMENU), {}};
    items[0].value.menu = &sub;
    Menu menu = {};
    menu.title = "M";
    menu.items = items;
    menu.flags = MENU_COMPACT | MENU_NO_EXIT_HINT | MENU_STORE_NAMED;
    InitMenu(&menu, 0);
    Console con;
    PrintMenu(&menu, 0, 1);
    EXPECT_EQ(con.Output(), "\f\nM:\n\n 1) Paper \n" + Prompt(Msg(25, 230).c_str(), "", ""));
}

TEST(PrintMenu, ThreeColumnBlock) {
    std::string a(22, 'A'), b(21, 'B'), c(22, 'C');
    MenuItem items[] = {Item("bar", ITEM_BAR),
                        Item(a.c_str(), ITEM_ACTION),
                        Item(b.c_str(), ITEM_ACTION),
                        Item(c.c_str(), ITEM_ACTION),
                        Item("~q Quit", ITEM_EXIT),
                        Item("hid", ITEM_ACTION),
                        {}};
    items[5].state = ITEM_HIDDEN;
    Menu menu = {};
    menu.title = "B";
    menu.items = items;
    menu.flags = MENU_NO_EXIT_HINT;
    InitMenu(&menu, 0);
    Console con;
    EXPECT_EQ(PrintMenu(&menu, 0, 1), 6);
    ExpectLines(con.Output(), "\f\nB:\n\n"
                              " 1) " +
                                  a.substr(0, 20) + "  2) " + b.substr(0, 20) +
                                  " \n"
                                  " 3) " +
                                  c.substr(0, 20) + "  q) Quit" + std::string(16, ' ') + " \n\n" +
                                  Prompt("", "", ""));
}

TEST(PrintMenuBarItem, NewRowsAndIndexAdvance) {
    MenuItem items[] = {Item("bar", ITEM_BAR, 0),
                        Item("one", ITEM_ACTION),
                        Item("row", ITEM_BAR),
                        Item("two", ITEM_ACTION),
                        {}};
    items[0].value.i = 2; // two columns of 40
    items[2].value.i = 4; // then four of 20
    items[1].key = 1;
    items[3].key = 2;
    int index = 0, number = 0;
    Console con;
    EXPECT_EQ(PrintMenuBarItem(&items[0], ITEM_BAR, &index, &number), &items[3]);
    EXPECT_EQ(index, 3);
    EXPECT_EQ(number, 3);
    EXPECT_EQ(con.Output(),
              " 1) one" + std::string(31, ' ') + " \n 2) two" + std::string(11, ' ') + " ");
}

TEST(PrintMenuBarItem, TextBlockTakesOnlyTextRows) {
    MenuItem items[] = {Item("head", ITEM_BAR_TEXT),
                        Item("left", ITEM_TEXT),
                        Item("right", ITEM_TEXT),
                        Item("Go", ITEM_ACTION),
                        {}};
    items[0].value.i = 2;
    int index = 0, number = 0;
    Console con;
    EXPECT_EQ(PrintMenuBarItem(&items[0], ITEM_BAR_TEXT, &index, &number), &items[2]);
    EXPECT_EQ(index, 2);
    EXPECT_EQ(con.Output(), "left" + std::string(34, ' ') + " right" + std::string(33, ' ') + " ");
}

// Rows of the image written by Refresh (which leaves out the last cell).
std::vector<std::string> ScreenRows(const std::string &out, int columns) {
    std::vector<std::string> rows;
    for (size_t i = 0; i < out.size(); i += (size_t)columns)
        rows.push_back(out.substr(i, (size_t)columns));
    return rows;
}

struct ScreenSize {
    ScreenSize(int columns, int rows) {
        setenv("COLUMNS", std::to_string(columns).c_str(), 1);
        setenv("LINES", std::to_string(rows).c_str(), 1);
    }
    ~ScreenSize() {
        unsetenv("COLUMNS");
        unsetenv("LINES");
    }
};

TEST(PrintPickOneManyScreen, PickOnePage) {
    ScreenSize size(40, 12);
    char choices[] = "alpha, beta,_gamma,delta,epsilon";
    MenuItem item = Item("Pick", ITEM_PICK_ONE);
    item.choices = choices;
    item.choice_count = 5;
    item.text_length = 4;
    item.value.i = 2;
    unsigned disabled = 0xff00;
    Console con;
    EXPECT_EQ(PrintPickOneManyScreen(&item, &disabled, 0), 5);
    EXPECT_EQ(disabled, 2u);
    auto rows = ScreenRows(con.Output(), 40);
    ASSERT_EQ(rows.size(), 12u);
    EXPECT_EQ(rows[0], std::string(18, ' ') + "Pick" + std::string(18, ' '));
    EXPECT_EQ(rows[1], std::string(40, ' '));
    EXPECT_EQ(rows[2], "     1) alpha" + std::string(27, ' '));
    EXPECT_EQ(rows[3], "        beta" + std::string(28, ' '));
    EXPECT_EQ(rows[4], " ->  3) gamma" + std::string(27, ' '));
    EXPECT_EQ(rows[5], "     4) delta" + std::string(27, ' '));
    EXPECT_EQ(rows[6], "     5) epsilon" + std::string(25, ' '));
    EXPECT_EQ(rows[9].substr(0, strlen(OSATTYMENU_SAVE)), OSATTYMENU_SAVE);
    EXPECT_EQ(rows[11].substr(0, strlen(OSATTYMENU_OPTION)), OSATTYMENU_OPTION);
}

TEST(PrintPickOneManyScreen, PagesFollowOnAndEnd) {
    ScreenSize size(30, 10); // four rows per column, three columns of width 3 + 7
    std::string list;
    for (int i = 1; i <= 20; i++)
        list += (i > 1 ? ",c" : "c") + std::to_string(i);
    std::vector<char> choices(list.begin(), list.end());
    choices.push_back('\0');
    MenuItem item = Item("Many", ITEM_PICK_MANY);
    item.choices = choices.data();
    item.choice_count = 20;
    item.value.i = (1 << 12) | 1; // choices 1 and 13
    unsigned disabled = 0;
    std::string page2;
    {
        Console con;
        EXPECT_EQ(PrintPickOneManyScreen(&item, &disabled, 0), 12);
        EXPECT_EQ(PrintPickOneManyScreen(&item, &disabled, 12), 8);
        page2 = con.Output().substr(30 * 10 - 1);
    }
    auto rows = ScreenRows(page2, 30);
    EXPECT_EQ(rows[2].substr(0, 11), " -> 13) c13");
    EXPECT_EQ(rows[3].substr(0, 11), "    14) c14");
    EXPECT_NE(rows[2].find("17) c17"), std::string::npos);
    Console con;
    EXPECT_EQ(PrintPickOneManyScreen(&item, &disabled, 20), -1);
    EXPECT_EQ(con.Output(), "");
}

// After a choice is taken the pick loop shows the same page again: a later
// page drawn twice shows the same columns both times.
TEST(PrintPickOneManyScreen, LaterPageDrawnAgainShowsTheSameColumns) {
    ScreenSize size(30, 10); // four rows per column, three columns a page
    std::string list;
    for (int i = 1; i <= 20; i++)
        list += (i > 1 ? ",c" : "c") + std::to_string(i);
    std::vector<char> choices(list.begin(), list.end());
    choices.push_back('\0');
    MenuItem item = Item("Many", ITEM_PICK_MANY);
    item.choices = choices.data();
    item.choice_count = 20;
    item.value.i = 1;
    unsigned disabled = 0;
    std::string first, again;
    {
        Console con;
        EXPECT_EQ(PrintPickOneManyScreen(&item, &disabled, 0), 12);
        EXPECT_EQ(PrintPickOneManyScreen(&item, &disabled, 12), 8);
        first = con.Output().substr(30 * 10 - 1);
    }
    {
        Console con;
        EXPECT_EQ(PrintPickOneManyScreen(&item, &disabled, 12), 8);
        again = con.Output();
    }
    EXPECT_EQ(again, first);
    auto rows = ScreenRows(again, 30);
    EXPECT_EQ(rows[2].substr(0, 11), "    13) c13");
    EXPECT_NE(rows[5].find("20) c20"), std::string::npos);
}

TEST(PrintPickOneManyScreen, TooSmallScreenAsksForAKey) {
    ScreenSize size(80, 6);
    char choices[] = "a,b";
    MenuItem item = Item("P", ITEM_PICK_ONE);
    item.choices = choices;
    item.choice_count = 2;
    unsigned disabled = 0;
    Console con("x");
    EXPECT_EQ(PrintPickOneManyScreen(&item, &disabled, 0), -1);
    int footer = (int)(strlen(OSATTYMENU_SAVE) + strlen(OSATTYMENU_CANCEL));
    EXPECT_EQ(con.Output(), Msg(25, 206) + menutest::MsgF(25, 207, 80, 6) +
                                menutest::MsgF(25, 208, std::max(20, footer), 7));
}

} // namespace
