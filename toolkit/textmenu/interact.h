// Menu interaction: the run loop, selections and value entry.
#pragma once

#include "toolkit/runtime/shared.h"
