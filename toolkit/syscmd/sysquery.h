// System queries: processes, disk space, user, host, print subsystem.
#pragma once

#include "toolkit/runtime/shared.h"
