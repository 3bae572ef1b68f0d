// Settings files: a fuzzed file is loaded into a small menu that holds every
// item kind (with sub-menus chosen directly and by condition) and stored; the
// stored file loaded back must store the same text again.
#include "fuzz/common.h"
#include "toolkit/runtime/files.h"
#include "toolkit/runtime/textedit.h"
#include "toolkit/textmenu/menu.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int gApplied = 0;
intptr_t CountApply(Menu *, MenuItem *) {
    return ++gApplied, 0;
}

MenuItem Item(const char *text, unsigned kind) {
    MenuItem it{};
    it.text = text;
    it.kind = kind;
    it.saved_value.i = -1;
    return it;
}

// One fresh set of menus; loading changes kinds, states and values, so every
// load starts from a new one.
struct Menus {
    char pick[16] = "a,b,c";
    char many[16] = "x,y,z";
    char subPick[16] = "p,q";
    MenuItem subItems[5] = {};
    MenuItem altItems[3] = {};
    MenuItem items[17] = {};
    Menu sub{}, alt{}, top{};
    Menu *choice[2] = {&sub, &alt};

    Menus() {
        subItems[0] = Item("Copies", ITEM_INTEGER);
        subItems[0].default_value.i = 300;
        subItems[1] = Item("Queue", ITEM_NAME);
        subItems[1].default_value.cs = "lp0";
        subItems[2] = Item("Side", ITEM_PICK_ONE);
        subItems[2].choices = subPick;
        subItems[3] = Item("Apply", ITEM_APPLY);
        subItems[3].action = CountApply;
        altItems[0] = Item("Scale", ITEM_REAL);
        altItems[0].default_value.f = 0.5f;
        altItems[1] = Item("Note", ITEM_TEXT_ENTRY);
        for (unsigned k = ITEM_TEXT; k <= ITEM_REAL; k++)
            items[k] = Item("item", k);
        items[ITEM_APPLY].action = CountApply;
        items[ITEM_SUBMENU].value.menu = &sub;
        items[ITEM_PICK_ONE].choices = pick;
        items[ITEM_PICK_ONE].default_value.i = 1;
        items[ITEM_PICK_MANY].choices = many;
        items[ITEM_NAME].default_value.cs = "printer1";
        items[ITEM_TEXT_ENTRY].default_value.cs = "words";
        items[ITEM_INTEGER].default_value.i = 7;
        items[ITEM_REAL].default_value.f = 1.5f;
        // A second sub-menu item that chooses between two menus by item 9's value.
        items[15] = Item("~m More", ITEM_SUBMENU);
        items[15].value.menus = choice;
        items[15].condition = "9.0 9.1";
        sub.items = subItems;
        alt.items = altItems;
        top.items = items;
        InitMenu(&top, 0);
        InitMenu(&sub, 0);
        InitMenu(&alt, 0);
    }
    ~Menus() {
        FreeMenu(&top);
        FreeMenu(&sub);
        FreeMenu(&alt);
    }
};

void Load(Menu *menu, const std::string &path) {
    if (!OpenInputFile(path.c_str(), 0)) abort();
    LoadMenu(menu);
    CloseInputFile();
}

void Store(Menu *menu, const std::string &path) {
    pOut = fopen(path.c_str(), "w");
    if (pOut == nullptr) abort();
    StoreMenu(menu);
    fclose(pOut);
    pOut = nullptr;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static std::string dir = fuzz::Scratch("settings");
    std::string in = dir + "/in", once = dir + "/once", twice = dir + "/twice";
    fuzz::Put(in, data, size);
    Menus m;
    Load(&m.top, in);
    Store(&m.top, once);
    // Loading what was just stored changes nothing that is stored (a stored
    // kind may turn an item into one whose value is not stored, so the same
    // menu takes it), unless a text value holds a "]", which hides the kind
    // and state behind it by design.
    Load(&m.top, once);
    Store(&m.top, twice);
    std::string first = fuzz::Get(once);
    bool hidden = false;
    for (size_t at = 0; at < first.size();) {
        size_t end = first.find('\n', at);
        std::string line = first.substr(at, end - at);
        if (line.find(']') != line.rfind(']')) hidden = true;
        at = end == std::string::npos ? first.size() : end + 1;
    }
    if (!hidden && fuzz::Get(twice) != first) {
        fprintf(stderr, "stored once:\n%s\nstored again:\n%s\n", first.c_str(),
                fuzz::Get(twice).c_str());
        abort();
    }
    return 0;
}
