// Everything QelBase offers, in one include.
#pragma once

// base
#include <qel/base/Exceptions.h>
#include <qel/base/ResMgr.h>

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

// model
#include <qel/model/Cache.h>
#include <qel/model/Composite.h>
#include <qel/model/DocumentNode.h>
#include <qel/model/FullResult.h>
#include <qel/model/Iterator.h>
#include <qel/model/Node.h>
#include <qel/model/NodeFactory.h>
#include <qel/model/PreOrderTraverser.h>
#include <qel/model/RefCounter.h>
#include <qel/model/Representation.h>
#include <qel/model/Result.h>
#include <qel/model/SparseResult.h>
#include <qel/model/Transformer.h>
#include <qel/model/VectorIterator.h>
#include <qel/model/Visitor.h>

// text
#include <qel/text/AsciiTextFilter.h>
#include <qel/text/TextFilter.h>
#include <qel/text/Unicode.h>

// util
#include <qel/util/StringConversion.h>

// xml
#include <qel/xml/QelXmlOutStream.h>
#include <qel/xml/Version.h>
#include <qel/xml/XmlSaxCallback.h>
#include <qel/xml/XmlSaxParser.h>
