// Menu label fillers from the string databases.
//
// Labels pass through a 128-byte buffer: strings of set 25 longer than 127
// characters are cut, never written past it.
#include "toolkit/nls/labels.h"

#include "toolkit/nls/nlsstring.h"
#include "toolkit/runtime/memory.h"
#include "toolkit/textmenu/menu.h"

#include <cstdio>

namespace {

const int kLabelSet = 25;

// A new copy of string 25/number of the core database (its key text on a miss), cut to
// NLS_LABEL_SIZE - 1 characters.
char *FetchLabel(int number) {
    char buf[NLS_LABEL_SIZE] = {};
    char *text = NlsFetchStringN(pDrvCoreDB, buf, sizeof buf, NLS_BY_NUMBER, kLabelSet, number);
    if (text != buf) snprintf(buf, sizeof buf, "%s", text);
    return SaveStr("%s", buf);
}

enum class Field { Text, Choices, Prompt };

int FillItems(MenuItem *items, int first, int count, Field field) {
    if (!items || count <= 0) return 0;
    for (int i = 0; i < count; ++i) {
        char *label = FetchLabel(first + i);
        switch (field) {
        case Field::Text:
            items[i].text = label;
            break;
        case Field::Choices:
            items[i].choices = label;
            break;
        case Field::Prompt:
            items[i].prompt = label;
            break;
        }
    }
    return count;
}

} // namespace

char *NlsTtyMenuCvt(char **label, int number) {
    char *text = FetchLabel(number);
    if (label) *label = text;
    return text;
}

int NlsTtyMenuItemCvt(MenuItem *items, int first, int count) {
    return FillItems(items, first, count, Field::Text);
}

int NlsTtyMenuItemStateCvt(MenuItem *items, int first, int count) {
    return FillItems(items, first, count, Field::Choices);
}

int NlsTtyMenuItemPromptCvt(MenuItem *items, int first, int count) {
    return FillItems(items, first, count, Field::Prompt);
}
