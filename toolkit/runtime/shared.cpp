// Storage of the process-wide globals the host program sets and every module reads.
#include "toolkit/runtime/shared.h"

char LineBuf[LINEBUF_SIZE];
char Line[LINE_SIZE];
char *my_name = nullptr;
char flUseLog = 0;
char *pToolPath = nullptr;
