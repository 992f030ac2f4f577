// The four exported entry points of the shared library QVmgr_dll.
#include "automation/classes.h"
#include "platform/server.h"

QV_DEFINE_SERVER_ENTRY_POINTS(qv::automation::AddLibraryClasses)
