// Process-wide state shared by the toolkit modules and set by the host program.
#pragma once

#include <cstddef>

// Size of the shared line buffer.
#define LINEBUF_SIZE 4096
// Size of the text-editing line buffer.
#define LINE_SIZE 262144

// Shared scratch line buffer: file lines, answers and package-list lines are
// read into it; any call may overwrite it.
extern char LineBuf[LINEBUF_SIZE];
// Line buffer of the text-file editing operations.
extern char Line[LINE_SIZE];
// The program's own name (last component of argv[0]); null until the host sets it.
extern char *my_name;
// 1 when commands and messages are logged to /tmp/<my_name>.log.
extern char flUseLog;
// Tool directory read by the string and database services; null unless the host sets it.
extern char *pToolPath;

// Waits the given number of seconds. Every wait the system makes goes through here: a command's
// settling time, the retries of a busy database, the process check's polls.
void WaitSeconds(unsigned seconds);
// When set, WaitSeconds calls it instead of sleeping; tests use it to count or shorten waits.
extern void (*pWaitHook)(unsigned seconds);
