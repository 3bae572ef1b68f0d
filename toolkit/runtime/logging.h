// Logging and error reporting to /tmp/<my_name>.log.
#pragma once

#include "toolkit/runtime/shared.h"
