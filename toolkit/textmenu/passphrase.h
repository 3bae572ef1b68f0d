// Pass-phrase input on the controlling terminal.
#pragma once

#include "toolkit/runtime/shared.h"
