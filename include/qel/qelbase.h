// Umbrella header: every public header of the library.
#pragma once

#include <qel/text/AsciiTextFilter.h>
#include <qel/text/RecordFilter.h>
#include <qel/text/TextFilter.h>
#include <qel/text/Unicode.h>
