// Doubly linked lists with a walk cursor.
#pragma once

#include "toolkit/runtime/shared.h"
