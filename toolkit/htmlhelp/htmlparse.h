// Help file parsing into pages, elements and links.
#pragma once

#include "toolkit/runtime/shared.h"
