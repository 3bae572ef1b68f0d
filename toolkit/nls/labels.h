// Menu label fillers from the string databases.
#pragma once

#include "toolkit/runtime/shared.h"
