// Storage of the process-wide globals the host program sets and every module reads.
#include "toolkit/runtime/shared.h"

#include <unistd.h>

char LineBuf[LINEBUF_SIZE];
char Line[LINE_SIZE];
char *my_name = nullptr;
char flUseLog = 0;
char *pToolPath = nullptr;
void (*pWaitHook)(unsigned seconds) = nullptr;

void WaitSeconds(unsigned seconds) {
    if (pWaitHook != nullptr)
        pWaitHook(seconds);
    else
        sleep(seconds);
}
