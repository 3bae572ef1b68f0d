// Screen image and drawing.
#pragma once

#include "toolkit/runtime/shared.h"
