#include "installer/entry.h"

int main(int argc, char **argv) {
    setupMain(argc, argv);
}
