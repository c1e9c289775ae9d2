// Everything QelBase offers, in one include, area by area in layer order.
#pragma once

// core
#include <qel/core/Composite.h>
#include <qel/core/ErrorId.h>
#include <qel/core/Exceptions.h>
#include <qel/core/Export.h>
#include <qel/core/IntrusivePtr.h>
#include <qel/core/Iterator.h>
#include <qel/core/Node.h>
#include <qel/core/RefCounter.h>
#include <qel/core/ResMgr.h>
#include <qel/core/StringConversion.h>
#include <qel/core/VectorIterator.h>
#include <qel/core/Visitor.h>

// util
#include <qel/util/Base64.h>
#include <qel/util/Files.h>
#include <qel/util/Guid.h>
#include <qel/util/IdResolver.h>
#include <qel/util/Sorting.h>
#include <qel/util/StreamHelper.h>
#include <qel/util/StringHash.h>
#include <qel/util/TextIO.h>
#include <qel/util/TextReader.h>
#include <qel/util/UniqueIdShared.h>
#include <qel/util/Uri.h>

// base
#include <qel/base/HighAvailability.h>
#include <qel/base/LocaleNames.h>
#include <qel/base/OmbrelRegistry.h>
#include <qel/base/Registry.h>

// text
#include <qel/text/AsciiTextFilter.h>
#include <qel/text/RecordFilter.h>
#include <qel/text/RecordPreprocessor.h>
#include <qel/text/Regex.h>
#include <qel/text/TextFilter.h>
#include <qel/text/Unicode.h>

// task
#include <qel/task/CriticalSection.h>
#include <qel/task/TaskBase.h>
#include <qel/task/TaskScheduler.h>
#include <qel/task/Threads.h>

// geom
#include <qel/geom/Geometry.h>

// xml
#include <qel/xml/ListIterator.h>
#include <qel/xml/QelXmlOutStream.h>
#include <qel/xml/Version.h>
#include <qel/xml/XmlLimits.h>
#include <qel/xml/XmlNode.h>
#include <qel/xml/XmlProperty.h>
#include <qel/xml/XmlSaxCallback.h>
#include <qel/xml/XmlSaxParser.h>
#include <qel/xml/XmlTree.h>

// imaging
#include <qel/imaging/ColorConversion.h>

// model
#include <qel/model/Cache.h>
#include <qel/model/DocumentNode.h>
#include <qel/model/ExternalRepFactory.h>
#include <qel/model/ExternalRepresentation.h>
#include <qel/model/FullResult.h>
#include <qel/model/NodeFactory.h>
#include <qel/model/PreOrderTraverser.h>
#include <qel/model/Representation.h>
#include <qel/model/Result.h>
#include <qel/model/SparseResult.h>
#include <qel/model/Transformer.h>

// learn
#include <qel/learn/Algorithm.h>
#include <qel/learn/Analyzer.h>
#include <qel/learn/BayesClassifier.h>
#include <qel/learn/CallBack.h>
#include <qel/learn/ErrorMatrix.h>
#include <qel/learn/ErrorMatrixVisitor.h>
#include <qel/learn/ErrorPlot.h>
#include <qel/learn/ErrorPlotVisitor.h>
#include <qel/learn/Notifier.h>
#include <qel/learn/PcaAnalyzer.h>

// kit
#include <qel/kit/ClassModel.h>
#include <qel/kit/TermVector.h>
#include <qel/kit/TextModel.h>
#include <qel/kit/TextVectorizer.h>
