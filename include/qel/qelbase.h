// Umbrella header: every public header of the library.
#pragma once

#include <qel/text/Unicode.h>
