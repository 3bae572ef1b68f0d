// Menu interaction: the run loop that shows a menu and reads one line at a time,
// selections by number or key letter, value entry, and the full-screen pick screen.
#include "toolkit/textmenu/interact.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <climits>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "toolkit/htmlhelp/htmlnav.h"
#include "toolkit/nls/nlsstring.h"
#include "toolkit/nls/transconf.h"
#include "toolkit/runtime/console.h"
#include "toolkit/runtime/files.h"
#include "toolkit/runtime/logging.h"
#include "toolkit/runtime/memory.h"
#include "toolkit/runtime/textedit.h"
#include "toolkit/runtime/tokens.h"
#include "toolkit/textmenu/render.h"
#include "toolkit/textmenu/validate.h"

char *pOption = LineBuf;
char *pTtyHtmlName = nullptr;
char *pTtyHtmlData = nullptr;
char *pTtyHtmlTitle = const_cast<char *>("Help");
const char *MENUVAL_SAVE = "s";
const char *MENUVAL_CANCEL = "c";
const char *MENUVAL_DEFAULT = "d";

namespace {

// A core message (set 25) as a new string; the caller gives it back.
char *CoreMessage(int number) {
    return NlsFetchString(pDrvCoreDB, nullptr, NLS_BY_NUMBER, 25, number);
}

// Reads the next line into LineBuf; at end of input the process ends.
void ReadLine() {
    if (Gets(LineBuf, LINEBUF_SIZE) != nullptr) return;
    char *msg = CoreMessage(1016);
    SysError("%s", msg ? msg : "reading from standard input");
}

bool IsEmptyLine(const char *s) {
    return s[0] == '\0' || (s[0] == '\n' && s[1] == '\0');
}

// Start of the n-th (0-based) choice of a comma list, empty items skipped.
const char *ChoiceAt(const char *choices, int n) {
    if (choices == nullptr || n < 0) return nullptr;
    const char *p = choices;
    for (int i = 0;; i++) {
        while (*p == ',')
            p++;
        if (*p == '\0') return nullptr;
        if (i == n) return p;
        while (*p != '\0' && *p != ',')
            p += (p[0] == '\\' && p[1]) ? 2 : 1;
    }
}

bool ChoiceEnabled(const MenuItem *item, int n) {
    const char *p = ChoiceAt(item->choices, n);
    return p != nullptr && *p != ' ';
}

void RunAction(Menu *menu, MenuItem *item) {
    if (item->action != nullptr) item->action(menu, item);
}

// Sets a pick-one item to choice n (0-based).
void TakeChoice(Menu *menu, int index, MenuItem *item, int n) {
    item->previous_value = item->value;
    item->value.i = n;
    UpdateStateSelection(item);
    ProcessStateFormat(menu, index);
}

char SelectPickOne(Menu *menu, int index, MenuItem *item, const char *argument) {
    int count = item->choice_count;
    if (count <= 0) return 0;
    int from = static_cast<int>(item->value.i);
    if (argument && isdigit(static_cast<unsigned char>(*argument))) {
        int n = atoi(argument);
        if (n >= 1 && n <= count) {
            if (ChoiceEnabled(item, n - 1)) {
                TakeChoice(menu, index, item, n - 1);
                return 1;
            }
            from = n - 1;
        }
    }
    for (int step = 1; step <= count; step++) {
        int n = ((from + step) % count + count) % count;
        if (ChoiceEnabled(item, n)) {
            TakeChoice(menu, index, item, n);
            return 1;
        }
    }
    return 0;
}

// What a line typed on the pick screen asks for.
enum class PickLine {
    Empty,    // the next page, or the first after the last
    Save,     // leave, keeping what was set
    Cancel,   // leave, putting back the value at entry
    NextPage, // a line not beginning with a letter or digit
    Numbers,  // a list of choice numbers
};

PickLine ClassifyPickLine(const char *line) {
    if (IsEmptyLine(line)) return PickLine::Empty;
    char c = line[0];
    if (OSATTYMENU_SAVE && c == OSATTYMENU_SAVE[0]) return PickLine::Save;
    if (OSATTYMENU_CANCEL && c == OSATTYMENU_CANCEL[0]) return PickLine::Cancel;
    if (!isalnum(static_cast<unsigned char>(c))) return PickLine::NextPage;
    return PickLine::Numbers;
}

const char *ReadPickLine() {
    ReadLine();
    return LineBuf;
}

// Applies the choice numbers of line (separated by ", \t") to working: a
// pick-one takes the number, a pick-many flips its bit. Numbers out of range
// or naming a disabled choice are skipped. True when one was taken.
bool TakeChoiceNumbers(const MenuItem *item, bool many, unsigned disabled, const char *line,
                       intptr_t &working) {
    char copy[LINEBUF_SIZE];
    snprintf(copy, sizeof copy, "%s", line);
    bool taken = false;
    for (char *tok = strtok(copy, ", \t"); tok != nullptr; tok = strtok(nullptr, ", \t")) {
        if (!isalnum(static_cast<unsigned char>(*tok))) continue;
        int n = atoi(tok);
        if (n < 1 || n > item->choice_count) continue;
        // A disabled choice is refused also when no page has shown it yet; a
        // pick-many has no bit for a choice beyond 32.
        if ((n <= 32 && (disabled >> (n - 1) & 1u)) || (many && n > 32) ||
            !ChoiceEnabled(item, n - 1))
            continue;
        if (many)
            working ^= static_cast<intptr_t>(1) << (n - 1);
        else
            working = n - 1;
        taken = true;
    }
    return taken;
}

// Gives the pick item its new value, then runs its format and its action.
void SetPickValue(Menu *menu, int index, intptr_t value, bool updateSelection) {
    MenuItem *item = &menu->items[index];
    item->previous_value = item->value;
    item->value.i = value;
    if (updateSelection) UpdateStateSelection(item);
    ProcessStateFormat(menu, index);
    RunAction(menu, item);
}

char EnterValue(MenuItem *item, const char *argument) {
    char text[LINEBUF_SIZE];
    if (argument != nullptr && *argument != '\0') {
        snprintf(text, sizeof text, "%s", argument);
    } else {
        printf("%s: ", item->prompt ? item->prompt : "");
        fflush(stdout);
        ReadLine();
        if (IsEmptyLine(LineBuf)) return 0;
        snprintf(text, sizeof text, "%s", LineBuf);
    }
    if (ValidateEntry(text, item->condition) != 0) return 0;
    switch (item->kind) {
    case ITEM_NAME:
    case ITEM_TEXT_ENTRY:
        if (item->value.s == nullptr) item->value.s = GetMem(MENU_TEXT_SIZE);
        if (item->value.s == nullptr) return 0;
        snprintf(item->value.s, MENU_TEXT_SIZE, "%.255s", text);
        break;
    case ITEM_INTEGER:
        item->value.i = atoi(text);
        break;
    default:
        item->value.i = 0; // a real fills only half of the word
        item->value.f = static_cast<float>(atof(text));
        break;
    }
    return 1;
}

// Stores the settings in the file name. They go to a fresh file beside it
// that takes the old one's place only once every byte is on disk, so a full
// or read-only file system leaves the old settings as they were. False after
// printing why on standard error.
bool WriteSettings(Menu *menu, const char *name) {
    // A link is written through, as opening it for writing would.
    char resolved[PATH_MAX];
    struct stat st;
    if (lstat(name, &st) == 0 && S_ISLNK(st.st_mode) && realpath(name, resolved) != nullptr)
        name = resolved;
    const char *slash = strrchr(name, '/');
    std::string tmp = slash ? std::string(name, (size_t)(slash - name) + 1) : std::string();
    tmp += ".settingsXXXXXX";
    int fd = mkstemp(tmp.data());
    if (fd < 0) {
        fprintf(stderr, "ERROR: can't open file, %s\n", name);
        return false;
    }
    // The mode a plain create would give, or the old file's.
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, stat(name, &st) == 0 ? st.st_mode & 07777 : 0666 & ~mask);
    pOut = fdopen(fd, "wt");
    bool ok = pOut != nullptr;
    if (ok) {
        StoreMenu(menu);
        ok = fflush(pOut) == 0 && !ferror(pOut) && fsync(fd) == 0;
        ok = fclose(pOut) == 0 && ok;
    } else {
        close(fd);
    }
    pOut = nullptr;
    ok = ok && rename(tmp.c_str(), name) == 0;
    if (!ok) {
        unlink(tmp.c_str());
        fprintf(stderr, "ERROR: can't write file, %s\n", name);
    }
    return ok;
}

// The "s" commands: store the settings in a named file or in ".settings".
void StoreSettings(Menu *menu, bool named) {
    const char *name = ".settings";
    if (named) {
        printf("Enter the settings file name: ");
        fflush(stdout);
        ReadLine();
        if (ValidateEntry(LineBuf, "/A(1,255)+-+_+/") != 0) return;
        name = LineBuf;
    }
    if (WriteSettings(menu, name) && !named) exit(0);
}

// The selectable item among the first count whose key is key: numbered
// items when letter is false, "~" key-letter items otherwise.
int FindKey(Menu *menu, int count, int key, bool letter) {
    for (int i = 0; i < count && menu->items[i].text != nullptr; i++) {
        const MenuItem &item = menu->items[i];
        if ((item.text[0] == '~') == letter && item.state == ITEM_ACTIVE && item.key == key)
            return i + 1;
    }
    return 0;
}

// Asks the exit question; true to leave.
bool ConfirmExit(Menu *menu) {
    bool parent = menu->parent_name != nullptr;
    char *msg = CoreMessage(parent ? 1017 : 1018);
    const char *format = msg ? msg : "";
    char yes = parent ? PromptYN(format, *menu->parent_name ? *menu->parent_name : "")
                      : PromptYN(format, my_name ? my_name : "");
    PutMem(msg);
    if (!yes) return false;
    FreeMenu(menu);
    if (!parent) {
        printf("\n");
        fflush(stdout);
    }
    return true;
}

int TitleLength(const Menu *menu) {
    if (menu->title == nullptr) return 0;
    // The tokenizer skips leading line ends, so "\nTitle" measures "Title".
    // A private cursor keeps any tokenizing in progress untouched.
    char *cursor = nullptr, first[TOKEN_MAX + 1];
    if (!GetTokenD(const_cast<char *>(menu->title), "\n\r", &cursor, first)) return 0;
    return static_cast<int>(strlen(first));
}

} // namespace

int FindSelection(Menu *menu, int, int count) {
    char *p = LineBuf;
    while (isspace(static_cast<unsigned char>(*p)))
        p++;
    while (*p != '\0' && !isspace(static_cast<unsigned char>(*p)))
        p++;
    while (isspace(static_cast<unsigned char>(*p)))
        p++;
    pOption = p;
    // Only the argument is found past blanks; the number or key letter must
    // open the line, so a line that starts with a blank names nothing.
    if (isdigit(static_cast<unsigned char>(LineBuf[0])))
        return FindKey(menu, count, atoi(LineBuf), false);
    int c = tolower(static_cast<unsigned char>(LineBuf[0]));
    if (c == 'h' && (menu->flags & MENU_HELP)) {
        TtyHtmlHelp(pTtyHtmlName, pTtyHtmlData, pTtyHtmlTitle);
        return 0;
    }
    if (c == 's' && (menu->flags & MENU_STORE_NAMED)) {
        StoreSettings(menu, true);
        return 0;
    }
    if (c == 's' && (menu->flags & MENU_STORE_DEFAULT)) {
        StoreSettings(menu, false);
        return 0;
    }
    return c ? FindKey(menu, count, c, true) : 0;
}

char ProcessSelection(Menu *menu, int index, char *argument) {
    if (menu == nullptr || index < 1) return 0;
    MenuItem *item = &menu->items[index - 1];
    char ok = 0;
    switch (item->kind) {
    case ITEM_APPLY:
        if (!TestNames(menu)) return 0;
        [[fallthrough]];
    case ITEM_CANCEL:
    case ITEM_EXIT:
    case ITEM_ACTION:
        return item->action == nullptr || item->action(menu, item) == 0;
    case ITEM_SUBMENU: {
        Menu *sub = ValidateMenu(menu, index - 1);
        if (sub != nullptr) RunMenu(sub, nullptr, 1);
        if (menu->on_refresh) menu->on_refresh(menu);
        return 0;
    }
    case ITEM_PICK_ONE:
        ok = SelectPickOne(menu, index - 1, item, argument);
        break;
    case ITEM_NAME:
    case ITEM_TEXT_ENTRY:
    case ITEM_INTEGER:
    case ITEM_REAL:
        ok = EnterValue(item, argument);
        break;
    default:
        return 0;
    }
    if (ok) RunAction(menu, item);
    return ok;
}

intptr_t RunMenu(Menu *menu, const char *settings_path, char interactive) {
    if (menu == nullptr) return 0;
    if (menu->on_refresh) menu->on_refresh(menu);
    if (flExitTextMenu) return 0;
    int widest = InitMenu(menu, 0);
    if (settings_path != nullptr) {
        if (OpenInputFile(settings_path, ERROR_MSG_WARNING)) {
            LoadMenu(menu);
            CloseInputFile();
        } else {
            MenuItem *cancel = FindTextMenuItem(menu, ITEM_CANCEL);
            if (cancel != nullptr && cancel->action != nullptr) return cancel->action(menu, cancel);
            return reinterpret_cast<intptr_t>(cancel);
        }
    }
    if (!interactive)
        return menu->on_apply ? menu->on_apply(menu) : reinterpret_cast<intptr_t>(menu);
    int titleLength = TitleLength(menu);
    bool changed = false;
    for (;;) {
        int count = PrintMenu(menu, widest, titleLength);
        ReadLine();
        if (!IsEmptyLine(LineBuf) || (menu->flags & MENU_NO_EXIT_HINT)) {
            int index = FindSelection(menu, 0, count);
            if (index == 0) continue;
            MenuItem *item = &menu->items[index - 1];
            unsigned kind = item->kind;
            char ok = ProcessSelection(menu, index, pOption);
            if (!(menu->flags & MENU_KIND_BEFORE)) kind = item->kind;
            if (flExitTextMenu ||
                (ok && (kind == ITEM_APPLY || kind == ITEM_CANCEL || kind == ITEM_EXIT))) {
                if (!(menu->flags & MENU_KEEP_ITEMS)) FreeMenu(menu);
                return 0;
            }
            if (ok && kind == ITEM_ACTION && (menu->flags & MENU_REINIT_ON_ACTION))
                widest = InitMenu(menu, 0);
            else if (!changed)
                changed = ok;
            continue;
        }
        if (menu->apply_question != nullptr) {
            if (changed && PromptYN("%s", menu->apply_question)) {
                if (!TestNames(menu)) continue;
                if (menu->on_apply) menu->on_apply(menu);
                FreeMenu(menu);
                return 0;
            }
        } else if (menu->on_apply) {
            menu->on_apply(menu);
        }
        if (ConfirmExit(menu)) return 0;
        if (menu->on_refresh) menu->on_refresh(menu);
    }
}

int ProcessStateValue(Menu *menu, int index, char *input) {
    if (menu == nullptr || index < 0) return 0;
    MenuItem *item = &menu->items[index];
    bool many = item->kind == ITEM_PICK_MANY;
    // The working value lives across lines; cancel puts back the value at entry.
    intptr_t working = item->value.i, atEntry = item->value.i;
    int offset = 0;
    int result = 0;
    // Filled by the screen page by page and emptied on the first page, so the
    // choices seen disabled on earlier pages stay refused on later ones.
    unsigned disabled = 0;
    for (;;) {
        int pageStart = offset;
        int shown = PrintPickOneManyScreen(item, &disabled, offset);
        if (shown < 0) return result;
        offset = shown > 0 ? offset + shown : 0;
        const char *line = input != nullptr && *input != '\0' ? input : ReadPickLine();
        switch (ClassifyPickLine(line)) {
        case PickLine::Empty:
            if (offset >= item->choice_count) offset = 0;
            break;
        case PickLine::Save:
            return result;
        case PickLine::Cancel:
            SetPickValue(menu, index, atEntry, false);
            return result;
        case PickLine::NextPage:
            break;
        case PickLine::Numbers:
            if (!TakeChoiceNumbers(item, many, disabled, line, working)) break;
            if (input != nullptr) input[0] = '\0';
            SetPickValue(menu, index, working, !many);
            result = 1;
            offset = pageStart;
            break;
        }
        if (input != nullptr && line == input) input = nullptr;
    }
}
