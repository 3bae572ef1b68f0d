// Menu rendering: the line menu, menu bars and the pick screen.
#pragma once

#include "toolkit/runtime/shared.h"
