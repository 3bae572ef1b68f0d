// Command table: the system commands, their flags and where they were found.
#pragma once

#include "toolkit/runtime/shared.h"
