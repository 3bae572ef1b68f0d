// Memory manager: node-table allocator over blocks mapped from /dev/zero, string savers.
#pragma once

#include "toolkit/runtime/shared.h"
