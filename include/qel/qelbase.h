// Everything QelBase offers, in one include.
#pragma once

// base
#include <qel/base/Exceptions.h>
#include <qel/base/HighAvailability.h>
#include <qel/base/LocaleNames.h>
#include <qel/base/OmbrelRegistry.h>
#include <qel/base/Registry.h>
#include <qel/base/ResMgr.h>

// model
#include <qel/model/RefCounter.h>

// task
#include <qel/task/CriticalSection.h>
#include <qel/task/TaskBase.h>
#include <qel/task/TaskScheduler.h>
#include <qel/task/Threads.h>

// util
#include <qel/util/StringConversion.h>
