// Menu model: initialisation, choice bookkeeping, conditions, state programs
// and settings files.
#include "toolkit/textmenu/menu.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "toolkit/runtime/console.h"
#include "toolkit/nls/nlsstring.h"
#include "toolkit/nls/transconf.h"
#include "toolkit/runtime/files.h"
#include "toolkit/runtime/memory.h"
#include "toolkit/runtime/textedit.h"
#include "toolkit/runtime/tokens.h"

char flLoadedSettings = 0;
char flExitTextMenu = 0;

namespace {

// Deepest nesting of state programs (P) and sub-menu blocks followed; stops
// runaway recursion on menus that refer to themselves.
constexpr int kMaxDepth = 16;
// Longest condition operand kept.
constexpr size_t kOperandMax = 79;
const char kChoiceDelims[] = ",";
const char kStateDelims[] = "{,.} ";

int ItemCount(const Menu *menu) {
    int n = 0;
    if (menu && menu->items)
        while (menu->items[n].text)
            n++;
    return n;
}

MenuItem *ItemAt(Menu *menu, int index) {
    if (index < 0 || index >= ItemCount(menu)) return nullptr;
    return &menu->items[index];
}

// First character of choice n (0-based) in a comma list, skipping empty
// choices and escaped commas the way the tokenizer does; null if absent.
char *ChoiceStart(char *choices, int n) {
    if (!choices || n < 0) return nullptr;
    char *p = choices;
    for (int i = 0;; i++) {
        while (*p == ',')
            p++;
        if (!*p) return nullptr;
        if (i == n) return p;
        while (*p && *p != ',')
            p += (p[0] == '\\' && p[1]) ? 2 : 1;
    }
}

void CopyText(char *dst, const char *src) {
    snprintf(dst, MENU_TEXT_SIZE, "%s", src ? src : "");
}

void InitPickItem(Menu *menu, MenuItem *item, int index) {
    item->choice_count = item->choices ? GetTokenCount(item->choices, kChoiceDelims) : 0;
    if (item->kind == ITEM_PICK_ONE) {
        item->value = item->default_value;
    } else if (item->value.i == 0) {
        item->default_value.i = 1;
        item->value.i = 1;
    }
    item->previous_value = item->default_value;
    UpdateStateSelection(item);
    ProcessStateFormat(menu, index);
}

void InitTextItem(MenuItem *item) {
    if (!item->value.s) item->value.s = GetMem(MENU_TEXT_SIZE);
    if (item->value.s) CopyText(item->value.s, item->default_value.cs);
}

} // namespace

int InitMenu(Menu *menu, int) {
    int widest = 0, number = 1;
    if (!menu || !menu->items) return 0;
    for (int i = 0; menu->items[i].text; i++) {
        MenuItem *item = &menu->items[i];
        item->text_length = (int)strlen(item->text);
        if (item->text_length > widest) widest = item->text_length;
        switch (item->kind) {
        case ITEM_PICK_ONE:
        case ITEM_PICK_MANY:
            InitPickItem(menu, item, i);
            break;
        case ITEM_NAME:
        case ITEM_TEXT_ENTRY:
            InitTextItem(item);
            break;
        case ITEM_INTEGER:
        case ITEM_REAL:
            item->value = item->default_value;
            break;
        default:
            break;
        }
        if (item->kind <= ITEM_BAR)
            item->key = 0;
        else if (item->text[0] == '~')
            item->key = (unsigned char)item->text[1];
        else
            item->key = number++;
    }
    return widest;
}

void FreeMenu(Menu *menu) {
    if (!menu || !menu->items) return;
    for (MenuItem *item = menu->items; item->text; item++) {
        if (item->kind != ITEM_NAME && item->kind != ITEM_TEXT_ENTRY) continue;
        PutMem(item->value.s);
        item->value.s = nullptr;
    }
}

MenuItem *FindTextMenuItem(Menu *menu, unsigned kind) {
    if (!menu || !menu->items) return nullptr;
    for (MenuItem *item = menu->items; item->text; item++)
        if (item->kind == kind) return item;
    return nullptr;
}

Menu *ValidateMenu(Menu *menu, int index) {
    MenuItem *item = ItemAt(menu, index);
    if (!item || item->kind != ITEM_SUBMENU || item->state != ITEM_ACTIVE) return nullptr;
    if (!item->condition) return item->value.menu;
    if (!item->value.menus) return nullptr;
    const char *p = item->condition;
    for (int k = 0;; k++) {
        while (*p == ' ')
            p++;
        if (!*p) return nullptr;
        const char *end = strchr(p, ' ');
        std::string cond(p, end ? (size_t)(end - p) : strlen(p));
        if (TestStateCondition(menu, cond.c_str(), index)) return item->value.menus[k];
        if (!end) return nullptr;
        p = end;
    }
}

void UpdateStateSelection(MenuItem *item) {
    if (!item) return;
    auto lookup = [item]() -> const char * {
        if (item->value.i < 0 || item->value.i >= item->choice_count) return nullptr;
        return GetTokenN(item->choices, kChoiceDelims, (int)item->value.i + 1);
    };
    item->choice_text = lookup();
    if (item->kind != ITEM_PICK_ONE) return;
    for (int steps = 0;
         item->choice_text && item->choice_text[0] == ' ' && steps < item->choice_count; steps++) {
        item->previous_value = item->value;
        item->value.i = (item->value.i + 1) % item->choice_count;
        item->choice_text = lookup();
    }
}

void HideStateSelection(MenuItem *item, int n) {
    if (!item) return;
    char *p = ChoiceStart(item->choices, n);
    if (!p) return;
    *p = ' ';
    UpdateStateSelection(item);
}

void ShowStateSelection(MenuItem *item, int n) {
    if (!item) return;
    char *p = ChoiceStart(item->choices, n);
    if (p) *p = '_';
}

char TestNames(Menu *menu) {
    if (!menu || !menu->items) return 1;
    for (MenuItem *item = menu->items; item->text && item->state != ITEM_HIDDEN; item++) {
        if (item->kind != ITEM_NAME || (item->value.s && item->value.s[0])) continue;
        char msg[NLS_STRBUF_SIZE + 1] = {};
        NlsFetchString(pDrvCoreDB, msg, NLS_BY_NUMBER, 25, 1011);
        fputs(msg, stdout);
        fflush(stdout);
        Gets(LineBuf, LINEBUF_SIZE);
        return 0;
    }
    return 1;
}

int TestState(Menu *menu, const char *operand, int index) {
    if (!operand) return 0;
    int base = 0, sign = 0, n, v;
    if (*operand == '+' || *operand == '-') {
        sign = *operand == '+' ? 1 : -1;
        base = index;
        operand++;
    }
    if (sscanf(operand, "%d.%d", &n, &v) != 2) return 0;
    MenuItem *item = ItemAt(menu, sign ? base + sign * n : n);
    if (!item || item->value.i != v) return 0;
    return item->state != ITEM_ACTIVE ? 2 : 1;
}

namespace {

// Left-to-right evaluation of a sub-menu condition; one instance per group.
struct CondEval {
    Menu *menu;
    int index;
    const char *p;

    bool Group() {
        bool result = false, negate = false, expect = true;
        char op = 0;
        std::string operand;
        auto apply = [&](bool v) {
            if (negate) v = !v;
            negate = false;
            result = op == '&' ? (result && v) : op == '|' ? (result || v) : v;
            op = 0;
            expect = false;
        };
        // Evaluates the collected operand; an empty one counts as false
        // only where an operand is due (after an operator or "!").
        auto flush = [&](bool amode, bool due) {
            if (!operand.empty()) {
                int s = TestState(menu, operand.c_str(), index);
                apply(amode ? s == 2 : s != 0);
                operand.clear();
            } else if (due && expect && (op || negate)) {
                apply(false);
            }
        };
        for (;;) {
            char c = *p;
            if (c == '\0' || c == ')') {
                flush(false, true);
                if (c) p++;
                return result;
            }
            p++;
            switch (c) {
            case '(':
                flush(false, false), apply(Group());
                break;
            case '!':
                flush(false, false), negate = !negate, expect = true;
                break;
            case '&':
            case '|':
                flush(false, true), op = c, expect = true;
                break;
            case 'A':
                flush(true, false);
                break;
            default:
                if (operand.size() < kOperandMax) operand += c;
            }
        }
    }
};

} // namespace

char TestStateCondition(Menu *menu, const char *condition, int index) {
    if (!condition) return 0;
    CondEval eval{menu, index, condition};
    bool result = eval.Group();
    while (*eval.p)
        result = eval.Group(); // text after an unbalanced ")"
    return result ? 1 : 0;
}

char TestFormatState(const char *list, int value) {
    if (!list) return 0;
    for (const char *p = list; *p;) {
        if (*p == '*') return 1;
        if (*p >= '0' && *p <= '9') {
            long n = strtol(p, const_cast<char **>(&p), 10);
            if (n == value) return 1;
        } else {
            p++;
        }
    }
    return 0;
}

namespace {

int StateDepth = 0;

// Runs one target of a state command; returns the delimiter that ended the
// target's last token.
char RunStateTarget(Menu *menu, char cmd, bool match, const char *target) {
    char del = chTokenDel;
    MenuItem *t = ItemAt(menu, atoi(target));
    if (cmd == 'S') {
        char *arg = GetToken(nullptr, kStateDelims);
        del = chTokenDel;
        if (!t || !arg) return arg ? del : 0;
        if (match) {
            t->saved_value = t->value;
            t->value.i = atoi(arg);
        } else if (t->saved_value.i >= 0) {
            t->value = t->saved_value;
            t->saved_value.i = -1;
        }
        return del;
    }
    if (!t) return del;
    if (cmd == 'N') t->state = match ? ITEM_INACTIVE : ITEM_ACTIVE;
    if (cmd == 'H') t->state = match ? ITEM_HIDDEN : ITEM_ACTIVE;
    if (cmd == 'P' && match) {
        char *rest = szTokenIn;
        ProcessStateFormat(menu, (int)(t - menu->items));
        if (t->action) t->action(menu, t);
        SetTokenBuf(rest);
        chTokenDel = del;
    }
    return del;
}

} // namespace

void ProcessStateFormat(Menu *menu, int index) {
    MenuItem *item = ItemAt(menu, index);
    if (!item || !item->condition || item->state != ITEM_ACTIVE) return;
    if (StateDepth >= kMaxDepth) return;
    StateDepth++;
    char *tok = GetToken(const_cast<char *>(item->condition), kStateDelims);
    while (tok) {
        char cmd = tok[0];
        bool match = TestFormatState(tok + 1, (int)item->value.i);
        // A command always has at least one target, even when a blank
        // separates it from the command ("H0 3").
        char del;
        do {
            char *target = GetToken(nullptr, kStateDelims);
            if (!target) break;
            del = RunStateTarget(menu, cmd, match, target);
        } while (del != '}' && del != ' ' && del != 0);
        tok = GetToken(nullptr, kStateDelims);
    }
    StateDepth--;
}

namespace {

int StoreDepth = 0;

void StoreItem(int index, const MenuItem *item) {
    int kind = (int)item->kind, state = (int)item->state;
    switch (item->kind) {
    case ITEM_PICK_ONE:
    case ITEM_INTEGER:
        fprintf(pOut, "%i[%i] %i %i\n", index, (int)item->value.i, kind, state);
        break;
    case ITEM_NAME:
    case ITEM_TEXT_ENTRY:
        fprintf(pOut, "%i[%s] %i %i\n", index, item->value.s ? item->value.s : "", kind, state);
        break;
    case ITEM_REAL:
        fprintf(pOut, "%i[%.3f] %i %i\n", index, item->value.f, kind, state);
        break;
    default:
        break;
    }
}

// Skips the lines of a block up to its closing "}" (nested blocks included).
void SkipBlock() {
    int depth = 1;
    while (depth > 0 && GetFileLine()) {
        int index;
        char c;
        if (LineBuf[0] == '}')
            depth--;
        else if (sscanf(LineBuf, "%d%c", &index, &c) == 2 && c == '{')
            depth++;
    }
}

bool IsTextKind(long kind) {
    return kind == ITEM_NAME || kind == ITEM_TEXT_ENTRY;
}

// Whether an item of kind `from` may take the stored kind `to`. The value
// cell stays as loaded, so a number must not turn into a text buffer or a
// sub-menu (both would be followed as pointers), nor a text buffer into a
// number (its text and memory would be lost).
bool KindKeepsValue(unsigned from, int to) {
    if (to <= 0 || to > ITEM_REAL || to == ITEM_SUBMENU) return false;
    return IsTextKind(from) == IsTextKind(to);
}

// A stored kind that turns a number between the real kind and an integer kind
// (pick-one, pick-many, integer) takes the number along: the value cell holds
// a float for the one and an integer for the others, and its bits read the
// other way are no number the file ever held.
void ConvertNumber(MenuItem *item, unsigned to) {
    auto integer = [](unsigned k) {
        return k == ITEM_PICK_ONE || k == ITEM_PICK_MANY || k == ITEM_INTEGER;
    };
    if (item->kind == ITEM_REAL && integer(to)) {
        float f = item->value.f;
        item->value.i = std::isfinite(f) && std::fabs(f) < 1e18f ? (intptr_t)f : 0;
    } else if (integer(item->kind) && to == ITEM_REAL) {
        float f = (float)item->value.i;
        item->value.i = 0;
        item->value.f = f;
    }
}

// Applies one "index[word] kind state" line to the menu. A line with no "]"
// or only its line end after it is not used. The kind and the state are read
// after the first "]", so a text holding a "]" hides them; its value is still
// taken, and whatever cannot be read stays as it was.
void LoadItem(Menu *menu, int index, const char *word) {
    MenuItem *item = ItemAt(menu, index);
    const char *close = strchr(LineBuf, ']');
    if (!item || !close || !close[1 + strspn(close + 1, " \t\r\n")]) return;
    int kind = 0, state = 0;
    int got = sscanf(close + 1, "%i %i", &kind, &state);
    if (got == 2) item->state = (unsigned)state;
    switch (item->kind) {
    case ITEM_PICK_ONE:
    case ITEM_INTEGER:
        item->value.i = atoi(word);
        break;
    case ITEM_NAME:
    case ITEM_TEXT_ENTRY:
        if (!item->value.s) item->value.s = GetMem(MENU_TEXT_SIZE);
        if (item->value.s) CopyText(item->value.s, word);
        break;
    case ITEM_REAL:
        item->value.f = (float)atof(word);
        break;
    default:
        return;
    }
    if (got >= 1 && KindKeepsValue(item->kind, kind)) {
        ConvertNumber(item, (unsigned)kind);
        item->kind = (unsigned)kind;
    }
}

} // namespace

void LoadMenu(Menu *menu) {
    flLoadedSettings = 1;
    if (!menu) return;
    while (GetFileLine()) {
        if (LineBuf[0] == '}') {
            MenuItem *apply = FindTextMenuItem(menu, ITEM_APPLY);
            if (apply && apply->action) apply->action(menu, apply);
            return;
        }
        int index;
        char c;
        char word[MENU_TEXT_SIZE] = {};
        if (sscanf(LineBuf, "%d%c%255s", &index, &c, word) < 2) continue;
        size_t len = strlen(word);
        if (len && word[len - 1] == ']') word[len - 1] = '\0';
        if (c == '{') {
            Menu *sub = StoreDepth < kMaxDepth ? ValidateMenu(menu, index) : nullptr;
            if (!sub) {
                SkipBlock();
                continue;
            }
            StoreDepth++;
            LoadMenu(sub);
            StoreDepth--;
            continue;
        }
        LoadItem(menu, index, word);
    }
}

void StoreMenu(Menu *menu) {
    if (!menu || !menu->items || !pOut) return;
    for (int i = 0; menu->items[i].text; i++)
        StoreItem(i, &menu->items[i]);
    if (StoreDepth >= kMaxDepth) return;
    for (int i = 0; menu->items[i].text; i++) {
        if (menu->items[i].kind != ITEM_SUBMENU) continue;
        Menu *sub = ValidateMenu(menu, i);
        if (!sub) continue;
        fprintf(pOut, "%i{\n", i);
        StoreDepth++;
        StoreMenu(sub);
        StoreDepth--;
        fprintf(pOut, "}\n");
    }
}
