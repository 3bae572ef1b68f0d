// Translation configuration (trans.conf) and the choice of language.
#pragma once

#include "toolkit/runtime/shared.h"
