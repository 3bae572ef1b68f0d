// Terminal line input: Gets reads one line without its newline, cut to the buffer;
// a 0xFF byte counts as the end of input, as EOF does.
#include "toolkit/runtime/console.h"

#include <cstdio>

char *Gets(char *buf, int size) {
    if (buf == nullptr || size < 1) return nullptr;
    int n = 0;
    buf[0] = '\0';
    while (n < size - 1) {
        int c = getchar();
        if (c == EOF || c == 0xFF) {
            if (n == 0) return nullptr;
            break;
        }
        if (c == '\n') break;
        buf[n++] = static_cast<char>(c);
    }
    buf[n] = '\0';
    return buf;
}
