// Forwarding header: <qel/geom/Sorting.h> moved to <qel/util/Sorting.h>. Kept so that existing
// programs compile; new code includes the new path.
#pragma once

#include <qel/util/Sorting.h>
