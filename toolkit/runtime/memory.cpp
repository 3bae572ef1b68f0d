#include "toolkit/runtime/memory.h"

MemBlock *pMemB = nullptr;
int MemId = -1;
const char *OutOfMem = "Unable to allocate memory";

char *GetMem(int) {
    return nullptr;
}
int PutMem(const void *) {
    return 0;
}
char *AdjustMem(void *, int) {
    return nullptr;
}
void DumpMem() {}
char *SaveStr(const char *, ...) {
    return nullptr;
}
char *SaveStr_(const char *) {
    return nullptr;
}
char *SaveStr__(const char *, ...) {
    return nullptr;
}
void *MapBlock(int) {
    return nullptr;
}
MemBlock *GetNewBlock(int) {
    return nullptr;
}
void PushBlock(MemBlock *) {}
MemBlock *PopBlock(MemBlock *b) {
    return b;
}
MemBlock *FindBlock(const void *) {
    return nullptr;
}
void FreeBlock(MemBlock *) {}
int TestMAT(const char *, char, int) {
    return 0;
}
