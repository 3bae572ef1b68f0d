// Every installer step and the install state, with the runtime and command
// layer headers the installer uses (it stands on those two modules only).
#pragma once

#include "toolkit/runtime/files.h"
#include "toolkit/runtime/logging.h"
#include "toolkit/runtime/memory.h"
#include "toolkit/runtime/shared.h"
#include "toolkit/runtime/tokens.h"
#include "toolkit/syscmd/comtable.h"
#include "toolkit/syscmd/syscmd.h"
#include "toolkit/syscmd/sysquery.h"
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
