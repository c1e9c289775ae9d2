// Everything QelBase offers, in one include.
#pragma once

// base
#include <qel/base/Exceptions.h>
#include <qel/base/ResMgr.h>

// model
#include <qel/model/RefCounter.h>

// util
#include <qel/util/Base64.h>
#include <qel/util/Files.h>
#include <qel/util/Guid.h>
#include <qel/util/IdResolver.h>
#include <qel/util/StreamHelper.h>
#include <qel/util/StringConversion.h>
#include <qel/util/StringHash.h>
#include <qel/util/TextIO.h>
#include <qel/util/TextReader.h>
#include <qel/util/UniqueIdShared.h>
#include <qel/util/Uri.h>
