// Readiness checks: root, earlier print daemon, running product programs.
#pragma once

#include "toolkit/runtime/shared.h"
