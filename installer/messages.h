// Built-in message tables and the choice of language.
#pragma once

#include "toolkit/runtime/shared.h"
