// Forwarding header: <qel/model/VectorIterator.h> moved to <qel/core/VectorIterator.h>. Kept so
// that existing programs compile; new code includes the new path.
#pragma once

#include <qel/core/VectorIterator.h>
