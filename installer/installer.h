// Every installer step and the install state; includes the toolkit.
#pragma once

#include "toolkit/toolkit.h"
#include "installer/distcheck.h"
#include "installer/entry.h"
#include "installer/eula.h"
#include "installer/freespace.h"
#include "installer/messages.h"
#include "installer/pkglist.h"
#include "installer/previous.h"
#include "installer/readiness.h"
#include "installer/scripts.h"
#include "installer/sequence.h"
#include "installer/solaris.h"
