// Tokens and strings: the shared tokenizer, delimited lists, path helpers.
#pragma once

#include "toolkit/runtime/shared.h"
