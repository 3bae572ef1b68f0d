// Previous installation and the final clean-up.
#pragma once

#include "toolkit/runtime/shared.h"
