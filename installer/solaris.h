// Solaris package upgrade.
#pragma once

#include "toolkit/runtime/shared.h"
