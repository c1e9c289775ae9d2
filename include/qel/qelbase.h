// The whole public interface of QelBase in one include.
#pragma once

#include <qel/base/Exceptions.h>
#include <qel/base/HighAvailability.h>
#include <qel/base/LocaleNames.h>
#include <qel/base/OmbrelRegistry.h>
#include <qel/base/Registry.h>
#include <qel/base/ResMgr.h>
#include <qel/model/RefCounter.h>
#include <qel/task/CriticalSection.h>
#include <qel/task/TaskBase.h>
#include <qel/task/TaskScheduler.h>
#include <qel/task/Threads.h>
#include <qel/util/StringConversion.h>
