// The setup program: everything it does starts in setupMain (entry.cpp), so that the
// tests can drive the same code without a second main.
#include "installer/entry.h"

int main(int argc, char **argv) {
    setupMain(argc, argv);
}
