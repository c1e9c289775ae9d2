// Everything QelBase offers, in one include.
#pragma once

// base
#include <qel/base/Exceptions.h>
#include <qel/base/ResMgr.h>

// model
#include <qel/model/RefCounter.h>

// util
#include <qel/util/StringConversion.h>
