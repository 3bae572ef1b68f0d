// The menu engine's messages through the English core catalogue built with
// the project (BINARY_DIR/nls), as a user sees them.
#include <gtest/gtest.h>

#include "tests/toolkit/textmenu/menu_io.h"
#include "toolkit/dbm/dbt.h"
#include "toolkit/textmenu/menu.h"
#include "toolkit/textmenu/render.h"
#include "toolkit/textmenu/validate.h"

using menutest::Console;

namespace {

class English : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        pDrvCoreDB = DbTOpen(BINARY_DIR "/nls/db/en_US/CoreString.odb", 0);
    }
    static void TearDownTestSuite() {
        DbTClose(pDrvCoreDB);
        pDrvCoreDB = nullptr;
    }
};

TEST_F(English, PromptLineAndValues) {
    char many[] = "a,b,c";
    MenuItem items[3] = {};
    items[0].text = "Trays";
    items[0].kind = ITEM_PICK_MANY;
    items[0].choices = many;
    items[0].value.i = 5;
    items[1].text = "~x Exit";
    items[1].kind = ITEM_EXIT;
    Menu menu = {};
    menu.title = "Printer";
    menu.items = items;
    menu.flags = MENU_HELP | MENU_STORE_NAMED;
    int widest = InitMenu(&menu, 0);
    Console con;
    PrintMenu(&menu, widest, 7);
    EXPECT_EQ(con.Output(), "\f\nPrinter:\n\n"
                            " 1) Trays .. [1,3]\n\n"
                            " x) Exit \n\n"
                            "\nEnter a number or s for store settings in a file or h for help"
                            " or <Return> to exit: ");
}

TEST_F(English, ValidationMessages) {
    struct Case {
        const char *format, *entry, *shown;
    } cases[] = {
        {"/A(1,255)+-+_+/", "/a b",
         "Invalid character ' '\nThis text may contain \"abc..zABC..Z012..9-_/\""},
        {"d(1,10)", "11", "This number must be between 1 to 10."},
        {"L(4,4)", "abc", "The entry must have exactly 4 characters."},
        {"f(0,1)", "1..2", "Only one '.' may be entered."},
        {"!(root)", "root", "Invalid entry \"root\""},
    };
    for (const Case &c : cases) {
        Console con("\n");
        ValidateEntry(c.entry, c.format);
        EXPECT_EQ(con.Output(), std::string(c.shown) + "\nPress <Return> to continue ") << c.format;
    }
}

TEST_F(English, NamesAndYesNo) {
    Console con("\nn\n");
    EXPECT_EQ(TestName("a b"), 0);
    EXPECT_EQ(PromptYN("\nDo you want to exit %s", "setup"), 0);
    EXPECT_EQ(con.Output(), "\n' ' is not a valid name character. \nOnly alphanumeric character, "
                            "'-', and '_' are valid: \nPlease enter the name again.\nPress "
                            "<Return> to continue \nDo you want to exit setup? [y/n] ");
}

} // namespace
