// Text-file editing operations: rewrite a file line by line through an output copy.
#pragma once

#include "toolkit/runtime/shared.h"
