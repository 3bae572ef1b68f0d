// Entry validation against format descriptions, and prompts.
#pragma once

#include "toolkit/runtime/shared.h"
