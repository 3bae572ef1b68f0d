// Menu interaction: menu loops driven through standard input.
#include "toolkit/toolkit.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Feeds text to standard input (Gets reads it from there).
void Input(const std::string &text) {
    static std::string path;
    if (path.empty()) {
        char tmpl[] = "/tmp/interact.XXXXXX";
        int fd = mkstemp(tmpl);
        ASSERT_GE(fd, 0);
        close(fd);
        path = tmpl;
    }
    FILE *f = fopen(path.c_str(), "w");
    fputs(text.c_str(), f);
    fclose(f);
    ASSERT_NE(freopen(path.c_str(), "r", stdin), nullptr);
    unlink(path.c_str());
    path.clear();
}

int actions = 0;
intptr_t CountAction(Menu *, MenuItem *) {
    actions++;
    return 0;
}
intptr_t BecomeExit(Menu *, MenuItem *item) {
    item->kind = ITEM_EXIT;
    return 0;
}
intptr_t Applied(Menu *) {
    return 42;
}
intptr_t CancelResult(Menu *, MenuItem *) {
    return 7;
}

char kColours[] = "red,green, blue,yellow";

struct Fixture {
    char text[MENU_TEXT_SIZE] = "";
    MenuItem items[8] = {};
    Menu menu = {};
    Fixture(unsigned short flags = MENU_COMPACT) {
        items[0].text = "Colour";
        items[0].kind = ITEM_PICK_ONE;
        items[0].choices = kColours;
        items[1].text = "Name";
        items[1].kind = ITEM_TEXT_ENTRY;
        items[1].prompt = "Queue name";
        items[2].text = "Copies";
        items[2].kind = ITEM_INTEGER;
        items[2].state = ITEM_INACTIVE;
        items[3].text = "~x Exit";
        items[3].kind = ITEM_EXIT;
        items[4].text = "Run";
        items[4].kind = ITEM_ACTION;
        items[4].action = CountAction;
        menu.title = "Test";
        menu.items = items;
        menu.flags = flags;
    }
};

// Runs the menu with the given input and returns what it printed.
std::string RunWith(Menu *menu, const std::string &input, intptr_t *result = nullptr) {
    Input(input);
    testing::internal::CaptureStdout();
    intptr_t r = RunMenu(menu, nullptr, 1);
    if (result) *result = r;
    return testing::internal::GetCapturedStdout();
}

class Interact : public ::testing::Test {
  protected:
    void SetUp() override {
        static bool opened = false;
        if (!opened) {
            setenv("LANG", "C", 1);
            pToolPath = const_cast<char *>(BINARY_DIR "/nls");
            pDrvCoreDB = NlsOpenDB("CoreString", 0);
            opened = true;
        }
        flExitTextMenu = 0;
        actions = 0;
    }
};

TEST_F(Interact, PickOneByNumberOrNextEnabled) {
    Fixture f;
    f.menu.flags |= MENU_KEEP_ITEMS;
    RunWith(&f.menu, "1 2\nx\n");
    EXPECT_EQ(f.items[0].value.i, 1); // green
    // Choice 3 is disabled: asking for it moves on to yellow.
    RunWith(&f.menu, "1 3\nx\n");
    EXPECT_EQ(f.items[0].value.i, 3);
    // The number alone moves to the next enabled choice, wrapping round.
    RunWith(&f.menu, "1\n1\n1\nx\n");
    EXPECT_EQ(f.items[0].value.i, 0);
}

TEST_F(Interact, TextItemTakesTheArgumentOrPrompts) {
    Fixture f;
    f.menu.flags |= MENU_KEEP_ITEMS;
    std::string out = RunWith(&f.menu, "2 lp0\nx\n");
    EXPECT_STREQ(f.items[1].value.s, "lp0");
    EXPECT_EQ(out.find("Queue name: "), std::string::npos);
    out = RunWith(&f.menu, "2\nlaser\nx\n");
    EXPECT_STREQ(f.items[1].value.s, "laser");
    EXPECT_NE(out.find("Queue name: "), std::string::npos);
}

TEST_F(Interact, InactiveAndUnknownSelectionsAreIgnored) {
    Fixture f;
    f.menu.flags |= MENU_KEEP_ITEMS;
    RunWith(&f.menu, "3 9\n99\nq\nx\n");
    EXPECT_EQ(f.items[2].value.i, 0);
}

// The number or key letter is the line's very first character; the
// argument is what follows the first word.
TEST_F(Interact, SelectionIsNamedByTheFirstCharacterOfTheLine) {
    Fixture f;
    InitMenu(&f.menu, 0);
    struct {
        const char *line;
        int index;
        const char *option;
    } cases[] = {
        {"1 2", 1, "2"},  {"4", 5, ""},   {"X", 4, ""},  {"x  more", 4, "more"},
        {" 1 2", 0, "2"}, {"\t4", 0, ""}, {" x", 0, ""}, {"3", 0, ""},
    };
    for (const auto &c : cases) {
        snprintf(LineBuf, LINEBUF_SIZE, "%s", c.line);
        EXPECT_EQ(FindSelection(&f.menu, 0, 5), c.index) << c.line;
        EXPECT_STREQ(pOption, c.option) << c.line;
    }
}

TEST_F(Interact, ActionsAndKindChanges) {
    Fixture f;
    intptr_t result = -1;
    RunWith(&f.menu, "4\n4\nx\n", &result);
    EXPECT_EQ(actions, 2);
    EXPECT_EQ(result, 0);

    // The action turns its item into an exit item: without MENU_KIND_BEFORE
    // the new kind ends the menu before the exit item is reached.
    actions = 0;
    Fixture g;
    g.items[4].action = BecomeExit;
    g.items[3].action = CountAction;
    RunWith(&g.menu, "4\nx\n");
    EXPECT_EQ(actions, 0);

    Fixture h(MENU_COMPACT | MENU_KIND_BEFORE);
    h.items[4].action = BecomeExit;
    h.items[3].action = CountAction;
    RunWith(&h.menu, "4\nx\n");
    EXPECT_EQ(actions, 1);
}

TEST_F(Interact, EmptyLineAsksToExitAndNoExitHintNeverLeaves) {
    Fixture f;
    std::string out = RunWith(&f.menu, "\nn\n\ny\n");
    EXPECT_NE(out.find("? [y/n] "), std::string::npos);

    Fixture g(MENU_COMPACT | MENU_NO_EXIT_HINT);
    out = RunWith(&g.menu, "\n\n\nx\n");
    EXPECT_EQ(out.find("? [y/n] "), std::string::npos);
}

TEST_F(Interact, ApplyQuestionAnsweredNoStillAsksTheExitQuestion) {
    Fixture f;
    f.menu.apply_question = "Apply the changes";
    f.menu.on_apply = Applied;
    std::string out = RunWith(&f.menu, "2 x1\n\nn\ny\n");
    EXPECT_NE(out.find("Apply the changes? [y/n] "), std::string::npos);
    size_t apply = out.find("Apply the changes? [y/n] ");
    EXPECT_NE(out.find("? [y/n] ", apply + 10), std::string::npos);
}

TEST_F(Interact, NonInteractiveAndSettingsFailures) {
    Fixture f;
    f.menu.on_apply = Applied;
    EXPECT_EQ(RunMenu(&f.menu, nullptr, 0), 42);
    f.menu.on_apply = nullptr;
    EXPECT_EQ(RunMenu(&f.menu, nullptr, 0), reinterpret_cast<intptr_t>(&f.menu));

    f.items[5].text = "Cancel";
    f.items[5].kind = ITEM_CANCEL;
    f.items[5].action = CancelResult;
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    EXPECT_EQ(RunMenu(&f.menu, "/nonexistent/settings", 1), 7);
    f.items[5].action = nullptr;
    EXPECT_EQ(RunMenu(&f.menu, "/nonexistent/settings", 1),
              reinterpret_cast<intptr_t>(&f.items[5]));
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
}

TEST_F(Interact, EndOfInputEndsTheProcess) {
    Fixture f;
    EXPECT_EXIT(
        {
            Input("");
            RunMenu(&f.menu, nullptr, 1);
        },
        testing::ExitedWithCode(1), "reading from standard input");
}

TEST_F(Interact, SettingsStoredAndLoaded) {
    char tmpl[] = "/tmp/settingsXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    std::string file = std::string(tmpl) + "/queue";
    Fixture f(MENU_COMPACT | MENU_STORE_NAMED | MENU_KEEP_ITEMS);
    RunWith(&f.menu, "1 2\n2 lp9\ns\n" + file + "\nx\n");
    Fixture g;
    g.menu.flags |= MENU_KEEP_ITEMS;
    Input("x\n");
    testing::internal::CaptureStdout();
    RunMenu(&g.menu, file.c_str(), 1);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(g.items[0].value.i, 1);
    EXPECT_STREQ(g.items[1].value.s, "lp9");
    // An invalid (relative) name writes nothing; the checker reports nothing
    // either when the very first character fails.
    RunWith(&f.menu, "s\nrelative\nx\n");
    EXPECT_NE(access("relative", F_OK), 0);
    system((std::string("rm -rf ") + tmpl).c_str());
}

TEST_F(Interact, PickScreenNumbersPagingAndCancel) {
    setenv("COLUMNS", "80", 1);
    setenv("LINES", "9", 1); // three choices per page
    char choices[] = "a,b,c,d,e";
    MenuItem items[2] = {};
    items[0].text = "Letters";
    items[0].kind = ITEM_PICK_MANY;
    items[0].choices = choices;
    Menu menu = {};
    menu.items = items;
    InitMenu(&menu, 0);
    ASSERT_EQ(items[0].value.i, 1);

    Input("1,3\n9\nS\n");
    testing::internal::CaptureStdout();
    ProcessStateValue(&menu, 0, nullptr);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(items[0].value.i, 0b100); // 1 flipped off, 3 flipped on, 9 refused

    // Empty lines page forward and wrap; cancel restores the value at entry.
    Input("\n\n2\nC\n");
    testing::internal::CaptureStdout();
    ProcessStateValue(&menu, 0, nullptr);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(items[0].value.i, 0b100);

    char first[] = "5";
    Input("S\n");
    testing::internal::CaptureStdout();
    ProcessStateValue(&menu, 0, first);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(items[0].value.i, 0b10100);
    EXPECT_STREQ(first, "");
}

// A disabled choice is refused whichever page is shown: one seen on an
// earlier page, and one that no page has shown yet.
TEST_F(Interact, PickScreenRefusesDisabledChoicesOnAnyPage) {
    setenv("COLUMNS", "80", 1);
    setenv("LINES", "9", 1); // three rows of one wide column: three choices per page
    for (unsigned kind : {ITEM_PICK_MANY, ITEM_PICK_ONE}) {
        std::string wide(40, 'w');
        std::string list = "a" + wide + ", b" + wide + ",c" + wide + ",d" + wide + ", e" + wide;
        std::vector<char> choices(list.begin(), list.end());
        choices.push_back('\0');
        MenuItem items[2] = {};
        items[0].text = "Letters";
        items[0].kind = kind;
        items[0].choices = choices.data();
        if (kind == ITEM_PICK_ONE) items[0].default_value.i = 2;
        Menu menu = {};
        menu.items = items;
        InitMenu(&menu, 0);
        intptr_t before = items[0].value.i;

        Input("\n2\nS\n"); // to the second page, then choice 2 of the first
        testing::internal::CaptureStdout();
        ProcessStateValue(&menu, 0, nullptr);
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(items[0].value.i, before) << kind;

        Input("5\nS\n"); // choice 5 is disabled, though no page has shown it yet
        testing::internal::CaptureStdout();
        ProcessStateValue(&menu, 0, nullptr);
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(items[0].value.i, before) << kind;
    }
}

TEST_F(Interact, PickOneTakesChoicesBeyondThirtyTwo) {
    setenv("COLUMNS", "80", 1);
    setenv("LINES", "9", 1);
    std::string list;
    for (int i = 1; i <= 40; i++)
        list += (i == 36 ? std::string(" c") : "c") + std::to_string(i) + (i < 40 ? "," : "");
    std::vector<char> choices(list.begin(), list.end());
    choices.push_back('\0');
    MenuItem items[2] = {};
    items[0].text = "Many";
    items[0].kind = ITEM_PICK_ONE;
    items[0].choices = choices.data();
    Menu menu = {};
    menu.items = items;
    InitMenu(&menu, 0);

    Input("35\nS\n");
    testing::internal::CaptureStdout();
    ProcessStateValue(&menu, 0, nullptr);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(items[0].value.i, 34);

    Input("36\nS\n"); // disabled by its text, though no page showed it
    testing::internal::CaptureStdout();
    ProcessStateValue(&menu, 0, nullptr);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(items[0].value.i, 34);
}

TEST_F(Interact, TitleCentredOnItsFirstLine) {
    Fixture f;
    f.menu.title = "\nPrinter\nsecond";
    f.menu.title_align = 1;
    std::string out = RunWith(&f.menu, "\ny\n");
    // "Printer" is 7 columns: (80 - 7) / 2 blanks, leading line ends skipped.
    EXPECT_EQ(out.rfind("\f\n" + std::string(36, ' ') + "\nPrinter\nsecond\n\n", 0), 0u) << out;
}

// The exit question names the parent menu, or the program at top level;
// only leaving the program ends the dialogue with a line end.
TEST_F(Interact, ExitQuestionNamesTheParentOrTheProgram) {
    char *saved = my_name;
    my_name = const_cast<char *>("setup");
    Fixture top;
    std::string out = RunWith(&top.menu, "\ny\n");
    const std::string exitText = "exit: \nDo you want to exit setup? [y/n] \n";
    EXPECT_EQ(out.substr(out.size() - exitText.size()), exitText) << out;

    Fixture sub;
    char *parent = const_cast<char *>("Main");
    sub.menu.parent_name = &parent;
    out = RunWith(&sub.menu, "\ny\n");
    const std::string returnText = "exit: \nDo you want to return to Main menu? [y/n] ";
    EXPECT_EQ(out.substr(out.size() - returnText.size()), returnText) << out;
    my_name = saved;
}

int refreshes = 0;
void CountRefresh(Menu *) {
    refreshes++;
}
intptr_t PrintApplied(Menu *menu) {
    printf("<applied>");
    return menu != nullptr;
}

// on_refresh runs on entry, after a sub-menu and after a no to the exit
// question; a successful action under MENU_REINIT_ON_ACTION resets values.
TEST_F(Interact, RefreshAndReinitialisation) {
    Fixture sub;
    sub.menu.title = "Sub";
    Fixture f(MENU_COMPACT | MENU_KEEP_ITEMS | MENU_REINIT_ON_ACTION);
    f.items[5].text = "More";
    f.items[5].kind = ITEM_SUBMENU;
    f.items[5].value.menu = &sub.menu;
    f.menu.on_refresh = CountRefresh;
    refreshes = 0;
    RunWith(&f.menu, "1 2\n5\nx\n\nn\nx\n");
    EXPECT_EQ(refreshes, 3);
    EXPECT_EQ(f.items[0].value.i, 1); // green kept
    RunWith(&f.menu, "1 2\n4\nx\n");
    EXPECT_EQ(f.items[0].value.i, 0); // the action set the defaults again
    EXPECT_EQ(actions, 1);
}

// The apply question comes only after a change; a yes with a name missing
// keeps the menu, a yes with all names set applies and leaves.
TEST_F(Interact, ApplyQuestionNeedsAChangeAndAllNames) {
    Fixture f;
    f.items[1].kind = ITEM_NAME;
    f.menu.apply_question = "Apply";
    f.menu.on_apply = PrintApplied;
    std::string out = RunWith(&f.menu, "\ny\n");
    EXPECT_EQ(out.find("Apply? [y/n] "), std::string::npos);
    EXPECT_EQ(out.find("<applied>"), std::string::npos);

    Fixture g;
    g.items[1].kind = ITEM_NAME;
    g.menu.apply_question = "Apply";
    g.menu.on_apply = PrintApplied;
    out = RunWith(&g.menu, "1\n\ny\n\n2 lp\n\ny\n");
    const std::string missing = "exit: Apply? [y/n] \nAll names must be set before applying "
                                "setup.\nPress <Return> to continue\f";
    EXPECT_NE(out.find(missing), std::string::npos) << out;
    const std::string applied = "exit: Apply? [y/n] <applied>";
    EXPECT_EQ(out.substr(out.size() - applied.size()), applied) << out;

    // An apply item checks the names itself; it leaves without on_apply.
    Fixture h;
    h.items[1].kind = ITEM_NAME;
    h.items[5].text = "Apply";
    h.items[5].kind = ITEM_APPLY;
    h.menu.on_apply = PrintApplied;
    intptr_t result = -1;
    out = RunWith(&h.menu, "5\n\n2 lp\n5\n", &result);
    EXPECT_NE(out.find("All names must be set"), std::string::npos);
    EXPECT_EQ(out.find("<applied>"), std::string::npos);
    EXPECT_EQ(result, 0);
}

// Numbers are entered from the argument or after the item's prompt.
TEST_F(Interact, NumberItemsTakeTheArgumentOrPrompt) {
    Fixture f;
    f.menu.flags |= MENU_KEEP_ITEMS;
    f.items[2].state = ITEM_ACTIVE;
    f.items[2].prompt = "Copies";
    std::string out = RunWith(&f.menu, "3 12\n3\n\nx\n");
    EXPECT_EQ(f.items[2].value.i, 12); // the empty answer keeps it
    EXPECT_NE(out.find("exit: Copies: \f"), std::string::npos) << out;
    f.items[2].kind = ITEM_REAL;
    out = RunWith(&f.menu, "3\n7.25\nx\n");
    EXPECT_FLOAT_EQ(f.items[2].value.f, 7.25f);
    EXPECT_NE(out.find("[7.250]"), std::string::npos) << out;
}

// "s" under MENU_STORE_DEFAULT writes ".settings" and ends the process.
TEST_F(Interact, StoreDefaultWritesAndEnds) {
    char tmpl[] = "/tmp/settingsXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    Fixture f(MENU_COMPACT | MENU_STORE_DEFAULT);
    EXPECT_EXIT(
        {
            if (chdir(tmpl) != 0) exit(3);
            Input("1 2\nS\n");
            RunMenu(&f.menu, nullptr, 1);
            exit(4);
        },
        testing::ExitedWithCode(0), "");
    std::string file = std::string(tmpl) + "/.settings";
    EXPECT_EQ(access(file.c_str(), R_OK), 0);
    system((std::string("rm -rf ") + tmpl).c_str());
}

} // namespace
