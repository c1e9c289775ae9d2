// Forwarding header: <qel/model/RefCounter.h> moved to <qel/core/RefCounter.h>. Kept so that
// existing programs compile; new code includes the new path.
#pragma once

#include <qel/core/RefCounter.h>
