// Forwarding header: <qel/base/Exceptions.h> moved to <qel/core/Exceptions.h>. Kept so that
// existing programs compile; new code includes the new path.
#pragma once

#include <qel/core/Exceptions.h>
