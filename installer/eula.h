// Licence agreement display and acceptance.
#pragma once

#include "toolkit/runtime/shared.h"
