// Command execution with logging, and captured command output.
#pragma once

#include "toolkit/runtime/shared.h"
