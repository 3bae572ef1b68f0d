// Rendering help pages and tables as text.
#pragma once

#include "toolkit/runtime/shared.h"
