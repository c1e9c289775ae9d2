// Forwarding header: <qel/util/StringConversion.h> moved to <qel/core/StringConversion.h>. Kept so
// that existing programs compile; new code includes the new path.
#pragma once

#include <qel/core/StringConversion.h>
