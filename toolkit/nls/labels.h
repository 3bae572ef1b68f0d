// Menu label fillers from the string databases.
#pragma once

#include "toolkit/runtime/shared.h"

struct MenuItem;

// Size of the buffer a label passes through (labels of at most 127 characters; longer ones
// are cut).
#define NLS_LABEL_SIZE 128

// Stores a new copy of string 25/number of pDrvCoreDB (its key text when missing) in *label
// (the old text is not freed) and returns it.
char *NlsTtyMenuCvt(char **label, int number);

// Fill `text`, `choices` or `prompt` of items[0..count-1] with new copies of strings
// 25/(first + i) of pDrvCoreDB. Return the number of items filled (count, 0 when negative or
// items is null).
int NlsTtyMenuItemCvt(MenuItem *items, int first, int count);
int NlsTtyMenuItemStateCvt(MenuItem *items, int first, int count);
int NlsTtyMenuItemPromptCvt(MenuItem *items, int first, int count);
