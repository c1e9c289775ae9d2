// Forwarding header: <qel/model/Composite.h> moved to <qel/core/Composite.h>. Kept so that existing
// programs compile; new code includes the new path.
#pragma once

#include <qel/core/Composite.h>
