// Free-space check for the work area and the installation.
#pragma once

#include "toolkit/runtime/shared.h"
