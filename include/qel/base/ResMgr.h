// Forwarding header: <qel/base/ResMgr.h> moved to <qel/core/ResMgr.h>. Kept so that existing
// programs compile; new code includes the new path.
#pragma once

#include <qel/core/ResMgr.h>
