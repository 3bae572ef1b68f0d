// Typed databases: an in-memory image of a record database with write-back.
#pragma once

#include "toolkit/runtime/shared.h"
