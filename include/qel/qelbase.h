// Everything QelBase offers, in one include.
#pragma once

// base
#include <qel/base/Exceptions.h>
#include <qel/base/ResMgr.h>

// model
#include <qel/model/RefCounter.h>

// text
#include <qel/text/AsciiTextFilter.h>
#include <qel/text/RecordFilter.h>
#include <qel/text/RecordPreprocessor.h>
#include <qel/text/Regex.h>
#include <qel/text/TextFilter.h>
#include <qel/text/Unicode.h>

// util
#include <qel/util/StringConversion.h>
