// Text-file editing operations: rewrite a file line by line through an output copy.
#pragma once

#include "toolkit/runtime/shared.h"

#include <cstdio>

// Output stream of OpenIOFiles; the menu engine also writes settings to it.
extern FILE *pOut;
