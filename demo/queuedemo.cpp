// queuedemo: the toolkit's menu engine, string service and help viewer at work
// on a settings menu for one print queue.
//
// Usage: queuedemo [settings-file]
// A settings file given is loaded when it exists (the menu starts with its defaults when it
// does not yet), and "s" stores the settings there. Texts come from the QueueDemo and CoreString
// catalogues of the tool directory (QUEUEDEMO_TOOLDIR, else the build's) in the language LANG
// picks; "h" opens the help file (QUEUEDEMO_HELPFILE, else the bundled one).
#include "toolkit/toolkit.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

DbTHandle *DemoDB = nullptr;

// Demo string 1/number as a new string (its key text when missing).
char *Text(int number) {
    return NlsFetchString(DemoDB, nullptr, NLS_BY_NUMBER, 1, number);
}

// Writable copy of a choice list: the engine marks choices in place.
char *Choices(int number) {
    return Text(number);
}

char *QueueMenuName;

// ---- Connection sub-menus ----

MenuItem NetworkItems[3];
MenuItem LocalItems[2];
Menu NetworkMenu, LocalMenu;
Menu *ConnectionMenus[2] = {&NetworkMenu, &LocalMenu};

void BuildSubMenus() {
    NetworkItems[0] = MenuItem{};
    NetworkItems[0].text = Text(40);
    NetworkItems[0].kind = ITEM_NAME;
    NetworkItems[0].prompt = Text(43);
    NetworkItems[0].condition = "p(1,63)";
    NetworkItems[1] = MenuItem{};
    NetworkItems[1].text = Text(41);
    NetworkItems[1].kind = ITEM_INTEGER;
    NetworkItems[1].prompt = Text(44);
    NetworkItems[1].condition = "d(1,65535)";
    NetworkItems[1].default_value.i = 9100;
    // The engine sets values from defaults when it first shows a menu; a
    // store before the sub-menu was ever opened must not write port 0.
    NetworkItems[1].value.i = 9100;
    NetworkMenu = Menu{};
    NetworkMenu.title = Text(2);
    NetworkMenu.title_align = 1;
    NetworkMenu.parent_name = &QueueMenuName;
    NetworkMenu.items = NetworkItems;

    LocalItems[0] = MenuItem{};
    LocalItems[0].text = Text(42);
    LocalItems[0].kind = ITEM_PICK_ONE;
    LocalItems[0].choices = Choices(33);
    LocalMenu = Menu{};
    LocalMenu.title = Text(3);
    LocalMenu.title_align = 1;
    LocalMenu.parent_name = &QueueMenuName;
    LocalMenu.items = LocalItems;
}

// ---- The queue menu ----

enum {
    Q_NAME,
    Q_DESCRIPTION,
    Q_LANGUAGE,
    Q_CONNECTION,
    Q_CONNECTION_SETTINGS,
    Q_COPIES,
    Q_MARGIN,
    Q_FINISHING,
    Q_CHOOSE_FINISHING,
    Q_APPLY,
    Q_STORE, // only with a settings file on the command line; else the end of the menu
    Q_END
};
MenuItem QueueItems[Q_END + 1];
Menu QueueMenu;

intptr_t ChooseFinishing(Menu *menu, MenuItem *) {
    ProcessStateValue(menu, Q_FINISHING, pOption);
    return 0;
}

// Prints what would be set up.
intptr_t Apply(Menu *) {
    MenuItem *q = QueueItems;
    char *format = Text(51), *unset = Text(52);
    UpdateStateSelection(&q[Q_LANGUAGE]); // the choice text lives in the token buffer
    const char *language = q[Q_LANGUAGE].choice_text ? q[Q_LANGUAGE].choice_text : "";
    if (*language == '_') language++;
    const char *connection = q[Q_CONNECTION].value.i == 0 ? NetworkMenu.title : LocalMenu.title;
    printf(format, *q[Q_NAME].value.s ? q[Q_NAME].value.s : unset,
           *q[Q_DESCRIPTION].value.s ? q[Q_DESCRIPTION].value.s : unset, language,
           static_cast<int>(q[Q_COPIES].value.i), q[Q_MARGIN].value.f, connection);
    fflush(stdout);
    PutMem(format);
    PutMem(unset);
    return 0;
}

intptr_t ApplyItem(Menu *menu, MenuItem *) {
    return Apply(menu);
}

// The settings file of the command line, where "s" stores.
const char *SettingsPath = nullptr;
std::string StoreLabel;

intptr_t StoreHere(Menu *menu, MenuItem *) {
    pOut = OpenFile(nullptr, SettingsPath, "wt", ERROR_MSG_WARNING);
    if (pOut != nullptr) {
        StoreMenu(menu);
        bool ok = fclose(pOut) == 0;
        pOut = nullptr;
        char *done = Text(54);
        if (ok) printf(done, SettingsPath);
        fflush(stdout);
        PutMem(done);
    }
    return 1; // storing changes no setting
}

void SetItem(MenuItem &item, const char *text, unsigned kind) {
    item = MenuItem{};
    item.text = text;
    item.kind = kind;
}

void BuildQueueMenu() {
    MenuItem *q = QueueItems;
    for (int i = 0; i <= Q_END; i++)
        q[i] = MenuItem{};
    SetItem(q[Q_NAME], Text(10), ITEM_NAME);
    q[Q_NAME].prompt = Text(20);
    q[Q_NAME].condition = "A(1,14)+-+_";
    SetItem(q[Q_DESCRIPTION], Text(11), ITEM_TEXT_ENTRY);
    q[Q_DESCRIPTION].prompt = Text(21);
    q[Q_DESCRIPTION].condition = "p(0,60)";
    // Plain text makes the margin inactive and hides the finishing options.
    SetItem(q[Q_LANGUAGE], Text(12), ITEM_PICK_ONE);
    q[Q_LANGUAGE].choices = Choices(30);
    q[Q_LANGUAGE].condition = "N2{6} H2{7,8}";
    SetItem(q[Q_CONNECTION], Text(13), ITEM_PICK_ONE);
    q[Q_CONNECTION].choices = Choices(31);
    // The sub-menu follows the connection chosen above (item 3).
    SetItem(q[Q_CONNECTION_SETTINGS], Text(14), ITEM_SUBMENU);
    q[Q_CONNECTION_SETTINGS].condition = "3.0 3.1";
    q[Q_CONNECTION_SETTINGS].value.menus = ConnectionMenus;
    SetItem(q[Q_COPIES], Text(15), ITEM_INTEGER);
    q[Q_COPIES].prompt = Text(22);
    q[Q_COPIES].condition = "d(1,99)";
    q[Q_COPIES].default_value.i = 1;
    SetItem(q[Q_MARGIN], Text(16), ITEM_REAL);
    q[Q_MARGIN].prompt = Text(23);
    q[Q_MARGIN].condition = "f(0,5)";
    SetItem(q[Q_FINISHING], Text(17), ITEM_PICK_MANY);
    q[Q_FINISHING].choices = Choices(32);
    SetItem(q[Q_CHOOSE_FINISHING], Text(18), ITEM_ACTION);
    q[Q_CHOOSE_FINISHING].action = ChooseFinishing;
    SetItem(q[Q_APPLY], Text(19), ITEM_APPLY);
    q[Q_APPLY].action = ApplyItem;
    if (SettingsPath != nullptr) {
        char *label = Text(24);
        char text[512];
        snprintf(text, sizeof text, label, SettingsPath);
        PutMem(label);
        StoreLabel = text;
        SetItem(q[Q_STORE], StoreLabel.c_str(), ITEM_ACTION);
        q[Q_STORE].action = StoreHere;
    }

    QueueMenu = Menu{};
    QueueMenu.title = Text(1);
    QueueMenu.title_align = 1;
    QueueMenu.apply_question = Text(50);
    QueueMenu.on_apply = Apply;
    QueueMenu.items = QueueItems;
    // With a settings file "s" is the store item; without one it asks for a file name.
    QueueMenu.flags = SettingsPath != nullptr ? MENU_HELP : MENU_HELP | MENU_STORE_NAMED;
    QueueMenuName = Text(4);
}

const char *Env(const char *name, const char *fallback) {
    const char *value = getenv(name);
    return value && *value ? value : fallback;
}

} // namespace

int main(int argc, char **argv) {
    my_name = const_cast<char *>("queuedemo");
    flUseLog = 0;
    pToolPath = const_cast<char *>(Env("QUEUEDEMO_TOOLDIR", QUEUEDEMO_TOOL_DIR));
    InitSysCmdList();
    pDrvCoreDB = NlsOpenDB("CoreString", 0);
    DemoDB = NlsOpenDB("QueueDemo", 0);
    if (pDrvCoreDB == nullptr || DemoDB == nullptr) return 1;
    pTtyHtmlName = const_cast<char *>(Env("QUEUEDEMO_HELPFILE", QUEUEDEMO_HELP));
    SettingsPath = argc > 1 ? argv[1] : nullptr;
    BuildSubMenus();
    BuildQueueMenu();
    // A settings file that is not there yet is one to store into: start with the defaults.
    // One that is there but can't be read stays the engine's case.
    bool exists = SettingsPath != nullptr && access(SettingsPath, F_OK) == 0;
    RunMenu(&QueueMenu, exists ? SettingsPath : nullptr, 1);
    return 0;
}
