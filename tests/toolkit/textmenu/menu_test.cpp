// The menu model: InitMenu's keys and values, choice states, and settings files stored and
// loaded back.
#include "toolkit/textmenu/menu.h"

#include <cstring>
#include <gtest/gtest.h>

#include "tests/toolkit/textmenu/menu_io.h"
#include "toolkit/runtime/files.h"
#include "toolkit/runtime/memory.h"
#include "toolkit/runtime/textedit.h"

using menutest::Console;

namespace {

MenuItem Item(const char *text, unsigned kind, intptr_t def = 0) {
    MenuItem item = {};
    item.text = text;
    item.kind = kind;
    item.default_value.i = def;
    return item;
}

MenuItem Pick(const char *text, unsigned kind, char *choices, intptr_t def = 0) {
    MenuItem item = Item(text, kind, def);
    item.choices = choices;
    return item;
}

Menu MakeMenu(MenuItem *items) {
    Menu menu = {};
    menu.title = "Test";
    menu.items = items;
    return menu;
}

TEST(InitMenu, KeysLengthsAndValues) {
    char colours[] = "red,,green,blue";
    MenuItem items[] = {Item("Heading", ITEM_TEXT),
                        Item("~e Exit", ITEM_EXIT),
                        Pick("Colour", ITEM_PICK_ONE, colours, 1),
                        Item("A much longer label", ITEM_INTEGER, 42),
                        Item("Bar", ITEM_BAR),
                        {}};
    items[1].value.i = 99;
    Menu menu = MakeMenu(items);
    EXPECT_EQ(InitMenu(&menu, 0), (int)strlen("A much longer label"));
    EXPECT_EQ(items[0].key, 0);
    EXPECT_EQ(items[1].key, 'e');
    EXPECT_EQ(items[2].key, 1);
    EXPECT_EQ(items[3].key, 2);
    EXPECT_EQ(items[4].key, 0);
    EXPECT_EQ(items[2].choice_count, 3); // empty choices are skipped
    EXPECT_STREQ(items[2].choice_text, "green");
    EXPECT_EQ(items[3].value.i, 42);
    EXPECT_EQ(items[1].text_length, 7);
}

TEST(InitMenu, PickManyStartsWithFirstChoice) {
    char choices[] = "a,b,c";
    MenuItem items[] = {
        Pick("Many", ITEM_PICK_MANY, choices), Pick("Set", ITEM_PICK_MANY, choices), {}};
    items[1].value.i = 6;
    Menu menu = MakeMenu(items);
    InitMenu(&menu, 0);
    EXPECT_EQ(items[0].value.i, 1);
    EXPECT_EQ(items[0].default_value.i, 1);
    EXPECT_EQ(items[1].value.i, 6); // a value already set is kept
}

TEST(InitMenu, TextItemsGetBuffersWithTheirDefaults) {
    MenuItem items[] = {Item("Name", ITEM_NAME), Item("Note", ITEM_TEXT_ENTRY), {}};
    items[0].default_value.cs = "printer1";
    Menu menu = MakeMenu(items);
    InitMenu(&menu, 0);
    ASSERT_NE(items[0].value.s, nullptr);
    EXPECT_STREQ(items[0].value.s, "printer1");
    EXPECT_STREQ(items[1].value.s, "");
    strcpy(items[0].value.s, "changed");
    InitMenu(&menu, 0); // values start again from their defaults
    EXPECT_STREQ(items[0].value.s, "printer1");
    FreeMenu(&menu);
    EXPECT_EQ(items[0].value.s, nullptr);
    EXPECT_EQ(items[1].value.s, nullptr);
}

TEST(InitMenu, OverlongTextDefaultIsCut) {
    std::string longText(600, 'x');
    MenuItem items[] = {Item("Name", ITEM_NAME), {}};
    items[0].default_value.cs = longText.c_str();
    Menu menu = MakeMenu(items);
    InitMenu(&menu, 0);
    EXPECT_EQ(strlen(items[0].value.s), (size_t)MENU_TEXT_SIZE - 1);
    FreeMenu(&menu);
}

TEST(StateSelection, DisabledDefaultMovesToNextEnabledChoice) {
    char choices[] = "_a, b,_c, d";
    MenuItem items[] = {Pick("P", ITEM_PICK_ONE, choices, 3), {}};
    Menu menu = MakeMenu(items);
    InitMenu(&menu, 0);
    EXPECT_EQ(items[0].value.i, 0); // wraps past the last choice
    EXPECT_STREQ(items[0].choice_text, "_a");
    EXPECT_EQ(items[0].previous_value.i, 3);
}

TEST(StateSelection, AllDisabledGoesRoundOnce) {
    char choices[] = " a, b, c";
    MenuItem items[] = {Pick("P", ITEM_PICK_ONE, choices, 1), {}};
    Menu menu = MakeMenu(items);
    InitMenu(&menu, 0);
    EXPECT_EQ(items[0].value.i, 1);
    EXPECT_STREQ(items[0].choice_text, " b");
}

TEST(StateSelection, HideAndShowWriteTheMarkInPlace) {
    char choices[] = "_one,,_two,_three";
    MenuItem items[] = {Pick("P", ITEM_PICK_ONE, choices, 1), {}};
    Menu menu = MakeMenu(items);
    InitMenu(&menu, 0);
    HideStateSelection(&items[0], 1);
    EXPECT_STREQ(choices, "_one,, two,_three");
    EXPECT_EQ(items[0].value.i, 2);
    EXPECT_STREQ(items[0].choice_text, "_three");
    ShowStateSelection(&items[0], 1);
    EXPECT_STREQ(choices, "_one,,_two,_three");
    HideStateSelection(&items[0], -1);
    HideStateSelection(&items[0], 7);
    ShowStateSelection(&items[0], 3);
    EXPECT_STREQ(choices, "_one,,_two,_three");
}

TEST(TestNames, EmptyNameFailsWithMessageAndWaits) {
    MenuItem items[] = {Item("Name", ITEM_NAME), Item("Other", ITEM_NAME), {}};
    items[0].default_value.cs = "set";
    Menu menu = MakeMenu(items);
    InitMenu(&menu, 0);
    Console con("\nnext\n");
    EXPECT_EQ(TestNames(&menu), 0);
    EXPECT_EQ(con.Output(), menutest::Msg(25, 1011));
    EXPECT_STREQ(LineBuf, "");
    FreeMenu(&menu);
}

TEST(TestNames, StopsAtFirstHiddenItem) {
    MenuItem items[] = {
        Item("Name", ITEM_NAME), Item("Gone", ITEM_TEXT), Item("Other", ITEM_NAME), {}};
    items[0].default_value.cs = "set";
    items[1].state = ITEM_HIDDEN;
    Menu menu = MakeMenu(items);
    InitMenu(&menu, 0);
    EXPECT_EQ(TestNames(&menu), 1);
    FreeMenu(&menu);
}

struct CondCase {
    const char *condition;
    intptr_t v0, v1;
    unsigned state1;
    char expected;
};

TEST(TestStateCondition, Table) {
    const CondCase cases[] = {
        {"0.1&1.0", 1, 0, 0, 1},       {"0.1&1.0", 1, 1, 0, 0},
        {"0.1&1.0", 0, 0, 0, 0},       {"!0.1|1.0", 0, 5, 0, 1},
        {"!0.1|1.0", 1, 0, 0, 1},      {"!0.1|1.0", 1, 5, 0, 0},
        {"1.3", 0, 3, 1, 1},           {"1.3A", 0, 3, 1, 1},
        {"1.3A", 0, 3, 0, 0},          {"1.3A", 0, 4, 1, 0},
        {"!(0.1|1.1)", 0, 0, 0, 1},    {"!(0.1|1.1)", 0, 1, 0, 0},
        {"-2.1", 1, 0, 0, 1},          {"-1.1", 1, 0, 0, 0},
        {"+0.7", 0, 0, 0, 1},          {"", 0, 0, 0, 0},
        {"0.0&", 0, 0, 0, 0},          {"9.0", 0, 0, 0, 0},
        {"(0.0|1.1)&1.0", 0, 0, 0, 1},
    };
    for (const CondCase &c : cases) {
        MenuItem items[] = {
            Item("a", ITEM_INTEGER), Item("b", ITEM_INTEGER), Item("owner", ITEM_INTEGER, 7), {}};
        items[0].value.i = c.v0;
        items[1].value.i = c.v1;
        items[1].state = c.state1;
        items[2].value.i = 7;
        Menu menu = MakeMenu(items);
        EXPECT_EQ(TestStateCondition(&menu, c.condition, 2), c.expected)
            << c.condition << " v0=" << c.v0 << " v1=" << c.v1;
    }
}

TEST(TestStateCondition, OverlongOperandIsCut) {
    MenuItem items[] = {Item("a", ITEM_INTEGER), {}};
    Menu menu = MakeMenu(items);
    std::string cond = "0.0" + std::string(500, '5');
    EXPECT_EQ(TestStateCondition(&menu, cond.c_str(), 0), 0);
}

TEST(TestFormatState, Lists) {
    EXPECT_EQ(TestFormatState("1|2", 2), 1);
    EXPECT_EQ(TestFormatState("1|2", 3), 0);
    EXPECT_EQ(TestFormatState("*", 99), 1);
    EXPECT_EQ(TestFormatState("12", 1), 0);
    EXPECT_EQ(TestFormatState("", 0), 0);
}

TEST(ValidateMenu, ChoosesSubMenuByCondition) {
    Menu subA = {}, subB = {};
    Menu *subs[] = {&subA, &subB};
    MenuItem items[] = {
        Item("a", ITEM_INTEGER), Item("Sub", ITEM_SUBMENU), Item("Plain", ITEM_SUBMENU), {}};
    items[1].condition = "0.1 0.2";
    items[1].value.menus = subs;
    items[2].value.menu = &subA;
    Menu menu = MakeMenu(items);
    items[0].value.i = 2;
    EXPECT_EQ(ValidateMenu(&menu, 1), &subB);
    items[0].value.i = 1;
    EXPECT_EQ(ValidateMenu(&menu, 1), &subA);
    items[0].value.i = 3;
    EXPECT_EQ(ValidateMenu(&menu, 1), nullptr);
    EXPECT_EQ(ValidateMenu(&menu, 2), &subA);
    items[2].state = ITEM_INACTIVE;
    EXPECT_EQ(ValidateMenu(&menu, 2), nullptr);
    EXPECT_EQ(ValidateMenu(&menu, 9), nullptr);
    EXPECT_EQ(FindTextMenuItem(&menu, ITEM_SUBMENU), &items[1]);
    EXPECT_EQ(FindTextMenuItem(&menu, ITEM_APPLY), nullptr);
}

TEST(ProcessStateFormat, HideAndInactivate) {
    char choices[] = "zero,one,two";
    MenuItem items[] = {Pick("P", ITEM_PICK_ONE, choices),
                        Item("x", ITEM_TEXT),
                        Item("y", ITEM_TEXT),
                        Item("h1", ITEM_TEXT),
                        Item("h2", ITEM_TEXT),
                        Item("n", ITEM_TEXT),
                        {}};
    items[0].condition = "H0{3,4} N1|2{5}";
    Menu menu = MakeMenu(items);
    InitMenu(&menu, 0);
    EXPECT_EQ(items[3].state, (unsigned)ITEM_HIDDEN);
    EXPECT_EQ(items[4].state, (unsigned)ITEM_HIDDEN);
    EXPECT_EQ(items[5].state, (unsigned)ITEM_ACTIVE);
    items[0].value.i = 2;
    ProcessStateFormat(&menu, 0);
    EXPECT_EQ(items[3].state, (unsigned)ITEM_ACTIVE);
    EXPECT_EQ(items[4].state, (unsigned)ITEM_ACTIVE);
    EXPECT_EQ(items[5].state, (unsigned)ITEM_INACTIVE);
    items[0].state = ITEM_INACTIVE; // a program of an inactive item does nothing
    items[0].value.i = 0;
    ProcessStateFormat(&menu, 0);
    EXPECT_EQ(items[5].state, (unsigned)ITEM_INACTIVE);
}

TEST(ProcessStateFormat, BlankBetweenCommandAndTargetStillAppliesIt) {
    char choices[] = "zero,one";
    MenuItem items[] = {
        Pick("P", ITEM_PICK_ONE, choices), Item("x", ITEM_TEXT), Item("y", ITEM_TEXT), {}};
    items[0].condition = "H0 1 N0{2}";
    Menu menu = MakeMenu(items);
    InitMenu(&menu, 0);
    EXPECT_EQ(items[1].state, (unsigned)ITEM_HIDDEN);
    EXPECT_EQ(items[2].state, (unsigned)ITEM_INACTIVE);
}

TEST(ProcessStateFormat, SetAndRestoreValues) {
    char choices[] = "a,b";
    MenuItem items[] = {Pick("P", ITEM_PICK_ONE, choices),
                        Item("t", ITEM_INTEGER, 5),
                        Item("u", ITEM_INTEGER, 6),
                        {}};
    items[0].condition = "S1{1,9,2,8}";
    items[1].value.i = 5;
    items[1].saved_value.i = -1;
    items[2].value.i = 6;
    Menu menu = MakeMenu(items);
    ProcessStateFormat(&menu, 0);
    EXPECT_EQ(items[1].value.i, 5); // no match and nothing put aside: unchanged
    EXPECT_EQ(items[2].value.i, 0); // no match and 0 put aside: value 0
    EXPECT_EQ(items[2].saved_value.i, -1);
    items[0].value.i = 1;
    ProcessStateFormat(&menu, 0);
    EXPECT_EQ(items[1].value.i, 9);
    EXPECT_EQ(items[1].saved_value.i, 5);
    EXPECT_EQ(items[2].value.i, 8);
    items[0].value.i = 0;
    ProcessStateFormat(&menu, 0);
    EXPECT_EQ(items[1].value.i, 5);
    EXPECT_EQ(items[1].saved_value.i, -1);
}

int ActionCalls = 0;
intptr_t CountAction(Menu *, MenuItem *) {
    return ++ActionCalls, 0;
}

TEST(ProcessStateFormat, PropagatesAndStopsSelfReference) {
    char c1[] = "a,b", c2[] = "a,b";
    MenuItem items[] = {
        Pick("P", ITEM_PICK_ONE, c1), Pick("Q", ITEM_PICK_ONE, c2), Item("z", ITEM_TEXT), {}};
    items[0].condition = "P1{1} N*{2}";
    items[1].condition = "H0{2}";
    items[1].action = CountAction;
    Menu menu = MakeMenu(items);
    items[0].value.i = 1;
    ActionCalls = 0;
    ProcessStateFormat(&menu, 0);
    EXPECT_EQ(ActionCalls, 1);
    EXPECT_EQ(items[2].state, (unsigned)ITEM_INACTIVE); // the command after P still runs
    items[0].condition = "P*{0}";
    ProcessStateFormat(&menu, 0); // refers to itself: must end
}

// Menus of the settings example: a pick-one, a name, a real, a sub-menu with an integer.
struct SettingsMenus {
    char choices[32] = "a,b,c";
    MenuItem subItems[3] = {};
    MenuItem items[8] = {};
    Menu sub = {}, top = {};
    SettingsMenus() {
        subItems[0] = Item("s0", ITEM_TEXT);
        subItems[1] = Item("Copies", ITEM_INTEGER, 300);
        sub = MakeMenu(subItems);
        items[0] = Pick("Pick", ITEM_PICK_ONE, choices, 2);
        items[1] = Item("t1", ITEM_TEXT);
        items[2] = Item("t2", ITEM_TEXT);
        items[3] = Item("Printer", ITEM_NAME);
        items[3].default_value.cs = "printer1";
        items[4] = Item("Size", ITEM_REAL);
        items[4].default_value.f = 1.5f;
        items[5] = Item("Go", ITEM_ACTION);
        items[6] = Item("More", ITEM_SUBMENU);
        items[6].value.menu = &sub;
        top = MakeMenu(items);
        InitMenu(&top, 0);
        InitMenu(&sub, 0);
    }
    ~SettingsMenus() { FreeMenu(&top); }
};

const char kExample[] = "0[2] 9 0\n3[printer1] 11 0\n4[1.500] 14 0\n6{\n1[300] 13 0\n}\n";

void Store(Menu *menu, const std::string &path) {
    pOut = fopen(path.c_str(), "w");
    ASSERT_NE(pOut, nullptr);
    StoreMenu(menu);
    fclose(pOut);
    pOut = nullptr;
}

void Load(Menu *menu, const std::string &path) {
    ASSERT_EQ(OpenInputFile(path.c_str(), 1), 1);
    LoadMenu(menu);
    CloseInputFile();
}

TEST(Settings, StoreWritesTheDocumentedLayout) {
    ScratchDir dir;
    SettingsMenus m;
    Store(&m.top, (dir / "s"));
    EXPECT_EQ(readFile((dir / "s")), kExample);
}

TEST(Settings, RoundTripRestoresValuesKindsAndStates) {
    ScratchDir dir;
    SettingsMenus saved;
    strcpy(saved.items[3].value.s, "two words");
    saved.items[0].value.i = 1;
    saved.items[4].value.f = 2.25f;
    saved.items[3].state = ITEM_INACTIVE;
    saved.subItems[1].value.i = -4;
    Store(&saved.top, (dir / "s"));

    SettingsMenus loaded;
    flLoadedSettings = 0;
    Load(&loaded.top, (dir / "s"));
    EXPECT_EQ(flLoadedSettings, 1);
    EXPECT_EQ(loaded.items[0].value.i, 1);
    EXPECT_STREQ(loaded.items[3].value.s, "two"); // a text comes back cut at its first blank
    EXPECT_EQ(loaded.items[3].state, (unsigned)ITEM_INACTIVE);
    EXPECT_FLOAT_EQ(loaded.items[4].value.f, 2.25f);
    EXPECT_EQ(loaded.subItems[1].value.i, -4);
}

TEST(Settings, LoadTakesStoredKindAndIgnoresUnusableLines) {
    ScratchDir dir;
    std::string big(400, 'w');
    writeFile((dir / "s"), "garbage\n0[1 9 0\n0[]\n5[7] 7 2\n3[" + big +
                               "] 12 0\n9[1] 9 0\n2{\n0[1] 9 0\n}\n4[3.5] 14 1\n");
    SettingsMenus m;
    Load(&m.top, (dir / "s"));
    EXPECT_EQ(m.items[0].value.i, 2);                      // lines without "]" or kind skipped
    EXPECT_EQ(m.items[5].state, (unsigned)ITEM_HIDDEN);    // state taken, value not
    EXPECT_EQ(m.items[3].kind, (unsigned)ITEM_TEXT_ENTRY); // stored kind taken
    EXPECT_EQ(strlen(m.items[3].value.s), (size_t)MENU_TEXT_SIZE - 1);
    EXPECT_FLOAT_EQ(m.items[4].value.f, 3.5f); // read after a skipped block
    EXPECT_EQ(m.items[4].state, (unsigned)ITEM_INACTIVE);
}

// A stored kind is taken only where the value cell keeps its meaning: a
// number never becomes a text buffer or a sub-menu, nor a text buffer a number.
TEST(Settings, StoredKindNeverChangesWhatTheValueHolds) {
    struct {
        unsigned kind;
        const char *line;
        unsigned kindAfter;
    } cases[] = {
        {ITEM_INTEGER, "0[300] 11 0\n", ITEM_INTEGER},
        {ITEM_INTEGER, "0[300] 12 0\n", ITEM_INTEGER},
        {ITEM_PICK_ONE, "0[1] 8 0\n", ITEM_PICK_ONE},
        {ITEM_REAL, "0[1.5] 11 0\n", ITEM_REAL},
        {ITEM_NAME, "0[lp0] 13 0\n", ITEM_NAME},
        {ITEM_TEXT_ENTRY, "0[lp0] 7 0\n", ITEM_TEXT_ENTRY},
        {ITEM_NAME, "0[lp0] 99 0\n", ITEM_NAME},
        // Changes that keep the value's meaning are taken.
        {ITEM_NAME, "0[lp0] 12 0\n", ITEM_TEXT_ENTRY},
        {ITEM_INTEGER, "0[1] 9 0\n", ITEM_PICK_ONE},
        {ITEM_PICK_ONE, "0[1] 13 0\n", ITEM_INTEGER},
        {ITEM_INTEGER, "0[1] 7 0\n", ITEM_ACTION},
    };
    for (const auto &c : cases) {
        ScratchDir dir;
        writeFile((dir / "s"), c.line);
        MenuItem items[] = {Item("v", c.kind), {}};
        Menu menu = MakeMenu(items);
        InitMenu(&menu, 0);
        Load(&menu, (dir / "s"));
        EXPECT_EQ(items[0].kind, c.kindAfter) << c.line;
        if (c.kind == ITEM_NAME || c.kind == ITEM_TEXT_ENTRY) {
            EXPECT_STREQ(items[0].value.s, "lp0") << c.line;
            FreeMenu(&menu); // the buffer is still the item's to give back
            EXPECT_EQ(items[0].value.s, nullptr) << c.line;
        }
    }
}

// Between the real kind and the integer kinds the number goes along with the
// kind (its bits would be no number read the other way).
TEST(Settings, StoredKindBetweenRealAndIntegerKeepsTheNumber) {
    for (unsigned from : {ITEM_PICK_ONE, ITEM_INTEGER}) {
        ScratchDir dir;
        writeFile(dir / "s", "0[2] 14 0\n1[2.75] 13 0\n2[1e30] 13 0\n");
        char choices[] = "a,b,c";
        MenuItem items[] = {from == ITEM_PICK_ONE ? Pick("i", from, choices) : Item("i", from),
                            Item("r", ITEM_REAL),
                            Item("big", ITEM_REAL),
                            {}};
        Menu menu = MakeMenu(items);
        InitMenu(&menu, 0);
        Load(&menu, dir / "s");
        EXPECT_EQ(items[0].kind, (unsigned)ITEM_REAL);
        EXPECT_FLOAT_EQ(items[0].value.f, 2.0f) << from;
        EXPECT_EQ(items[1].kind, (unsigned)ITEM_INTEGER);
        EXPECT_EQ(items[1].value.i, 2);
        EXPECT_EQ(items[2].value.i, 0); // no integer that large
    }
}

// Only the kind and the state depend on what follows the first "]"; the
// value is the word and is taken even when they cannot be read.
TEST(Settings, ValueTakenWhenKindAndStateCannotBeRead) {
    ScratchDir dir;
    SettingsMenus saved;
    strcpy(saved.items[3].value.s, "lp[2]");
    Store(&saved.top, (dir / "s"));
    EXPECT_EQ(readFile((dir / "s")).substr(0, 25), "0[2] 9 0\n3[lp[2]] 11 0\n4[");

    SettingsMenus loaded;
    loaded.items[3].state = ITEM_INACTIVE;
    Load(&loaded.top, (dir / "s"));
    EXPECT_STREQ(loaded.items[3].value.s, "lp[2]");
    EXPECT_EQ(loaded.items[3].state, (unsigned)ITEM_INACTIVE); // unreadable: left as it was
    EXPECT_EQ(loaded.items[3].kind, (unsigned)ITEM_NAME);

    writeFile((dir / "t"), "0[1]x\n1[7] 13\n");
    MenuItem items[] = {Item("p", ITEM_INTEGER), Item("q", ITEM_INTEGER), {}};
    items[1].state = ITEM_HIDDEN;
    Menu menu = MakeMenu(items);
    Load(&menu, (dir / "t"));
    EXPECT_EQ(items[0].value.i, 1);
    EXPECT_EQ(items[1].value.i, 7);
    EXPECT_EQ(items[1].state, (unsigned)ITEM_HIDDEN);
}

intptr_t ApplyCalled(Menu *, MenuItem *item) {
    item->user_data = item;
    return 0;
}

TEST(Settings, ClosingBraceRunsTheApplyAction) {
    ScratchDir dir;
    writeFile((dir / "s"), "1[5] 13 0\n}\n1[6] 13 0\n");
    MenuItem items[] = {Item("Apply", ITEM_APPLY), Item("n", ITEM_INTEGER), {}};
    items[0].action = ApplyCalled;
    Menu menu = MakeMenu(items);
    Load(&menu, (dir / "s"));
    EXPECT_EQ(items[1].value.i, 5);
    EXPECT_EQ(items[0].user_data, &items[0]);
}

} // namespace
