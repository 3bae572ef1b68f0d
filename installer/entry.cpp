#include "installer/installer.h"

#include <cstdlib>

void setupMain(int, char **) { exit(0); }
