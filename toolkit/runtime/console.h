// Line input from the terminal.
#pragma once

#include "toolkit/runtime/shared.h"
