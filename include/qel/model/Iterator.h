// Forwarding header: <qel/model/Iterator.h> moved to <qel/core/Iterator.h>. Kept so that existing
// programs compile; new code includes the new path.
#pragma once

#include <qel/core/Iterator.h>
