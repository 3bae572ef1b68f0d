// Install sequence: work area, archive, directories, permissions.
#pragma once

#include "toolkit/runtime/shared.h"
