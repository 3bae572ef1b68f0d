// Text-file editing operations.
#include "toolkit/runtime/textedit.h"

char Fn[TEXTEDIT_NAME_SIZE];
char FnOut[TEXTEDIT_NAME_SIZE];
FILE *pOut = nullptr;
char *pLine = nullptr;
int LineCnt = 0;
int InPos = 0;
char flInputFilterState = 1;
