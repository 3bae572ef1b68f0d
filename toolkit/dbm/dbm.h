// Record database files and their plain operations.
#pragma once

#include "toolkit/runtime/shared.h"
