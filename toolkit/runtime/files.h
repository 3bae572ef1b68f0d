// Files and directories: shared input, whole-file reads, file facts, directory lists.
#pragma once

#include "toolkit/runtime/shared.h"
