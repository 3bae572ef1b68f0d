// Help navigation: links, history and the help menu.
#pragma once

#include "toolkit/runtime/shared.h"
