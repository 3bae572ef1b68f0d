// Package list processor.
#pragma once

#include "toolkit/runtime/shared.h"
