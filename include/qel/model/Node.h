// Forwarding header: <qel/model/Node.h> moved to <qel/core/Node.h>. Kept so that existing programs
// compile; new code includes the new path.
#pragma once

#include <qel/core/Node.h>
