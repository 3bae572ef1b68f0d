// Translated-string lookup and formatted output.
#pragma once

#include "toolkit/runtime/shared.h"
