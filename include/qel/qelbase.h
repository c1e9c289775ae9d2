// The whole public interface of QelBase in one include.
#pragma once

#include <qel/model/Cache.h>
#include <qel/model/Composite.h>
#include <qel/model/DocumentNode.h>
#include <qel/model/Iterator.h>
#include <qel/model/Node.h>
#include <qel/model/NodeFactory.h>
#include <qel/model/PreOrderTraverser.h>
#include <qel/model/RefCounter.h>
#include <qel/model/Representation.h>
#include <qel/model/Transformer.h>
#include <qel/model/VectorIterator.h>
#include <qel/model/Visitor.h>
#include <qel/text/AsciiTextFilter.h>
#include <qel/text/TextFilter.h>
#include <qel/text/Unicode.h>
#include <qel/xml/QelXmlOutStream.h>
#include <qel/xml/Version.h>
#include <qel/xml/XmlSaxCallback.h>
#include <qel/xml/XmlSaxParser.h>
