// Forwarding header: <qel/geom/ColorConversion.h> moved to <qel/imaging/ColorConversion.h>. Kept so
// that existing programs compile; new code includes the new path.
#pragma once

#include <qel/imaging/ColorConversion.h>
