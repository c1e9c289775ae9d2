#include "qel/xml/XmlSaxCallback.h"

#include <cstring>
#include <utility>

#include "qel/xml/XmlSaxParser.h"

namespace Qel {

void XmlSaxCallback::OnStartDocument(XmlSaxParser*) {}
void XmlSaxCallback::OnEndDocument(XmlSaxParser*) {}

void XmlDefaultCallback::OnStartElement(XmlSaxParser* parser, const unsigned char*,
                                        const unsigned char**) {
  parser->PushCallback(this);
}

void XmlDefaultCallback::OnEndElement(XmlSaxParser*, const unsigned char*) {}

XmlSaxCallbackAdapter::XmlSaxCallbackAdapter(const std::string& elementName, XmlSaxCallback* next,
                                             StartFunction startFunction)
    : m_elementName(elementName), m_next(next), m_startFunction(std::move(startFunction)) {}

void XmlSaxCallbackAdapter::OnStartElement(XmlSaxParser* parser, const unsigned char* name,
                                           const unsigned char** attributes) {
  if (name == nullptr ||
      std::strcmp(reinterpret_cast<const char*>(name), m_elementName.c_str()) != 0)
    return;
  m_startFunction(parser, attributes);
  parser->PushCallback(m_next);
}

void XmlSaxCallbackAdapter::OnEndElement(XmlSaxParser*, const unsigned char*) {}

}  // namespace Qel
