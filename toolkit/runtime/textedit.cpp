#include "toolkit/runtime/textedit.h"

FILE *pOut = nullptr;
