// Entry point, command line and install state.
#pragma once

#include "toolkit/runtime/shared.h"

// Runs the whole installation once, top to bottom, and ends the process
// with exit(); the program's main() only calls this.
[[noreturn]] void setupMain(int argc, char **argv);
