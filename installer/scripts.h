// Print-queue interface, driver and launcher scripts.
#pragma once

#include "toolkit/runtime/shared.h"
