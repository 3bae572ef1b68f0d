// Line input from the terminal.
#pragma once

#include "toolkit/runtime/shared.h"

// Reads one line from standard input into buf (capacity `size` bytes,
// terminator included), at most size-1 characters; the newline is not
// kept and the rest of a longer line stays unread. A byte 0xFF counts as
// end of input. Returns buf, or null when input ended before any character
// was read (or size is less than 1).
char *Gets(char *buf, int size);
