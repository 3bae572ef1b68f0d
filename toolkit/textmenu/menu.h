// Menu model: menu and item records, item states, conditions and settings files.
#pragma once

#include "toolkit/runtime/shared.h"
