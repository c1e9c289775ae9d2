// Forwarding header: <qel/model/Visitor.h> moved to <qel/core/Visitor.h>. Kept so that existing
// programs compile; new code includes the new path.
#pragma once

#include <qel/core/Visitor.h>
