// Receivers of the events of XmlSaxParser. A callback is owned by whoever pushes it and must
// outlive the parse; it is used by the thread running the parse.
#pragma once

#include <qel/core/Export.h>

#include <functional>
#include <string>

namespace Qel {

class XmlSaxParser;

// Base of all receivers. `name` is a NUL-terminated UTF-8 element name; `attributes` is null
// when the element has none, else UTF-8 name/value pointers in turn ending with a null pointer,
// values with entities substituted.
class QEL_API XmlSaxCallback {
 public:
  virtual ~XmlSaxCallback() = default;

  // Called once before the root element; does nothing by default.
  virtual void OnStartDocument(XmlSaxParser* parser);
  // Called once after the root element; does nothing by default.
  virtual void OnEndDocument(XmlSaxParser* parser);
  // A start tag. To receive this element's content and end tag, push exactly one callback
  // with parser->PushCallback; otherwise the parser's default callback swallows the element.
  virtual void OnStartElement(XmlSaxParser* parser, const unsigned char* name,
                              const unsigned char** attributes) = 0;
  // An end tag, delivered to the callback pushed at its start tag. The element's text after
  // its last child is in parser->GetCharacterBuffer().
  virtual void OnEndElement(XmlSaxParser* parser, const unsigned char* name) = 0;
};

// Swallows a whole subtree: pushes itself for every element it sees.
class QEL_API XmlDefaultCallback : public XmlSaxCallback {
 public:
  void OnStartElement(XmlSaxParser* parser, const unsigned char* name,
                      const unsigned char** attributes) override;
  void OnEndElement(XmlSaxParser* parser, const unsigned char* name) override;
};

// Routes one expected element to a function and a follow-up callback. Does not own `next`.
class QEL_API XmlSaxCallbackAdapter : public XmlSaxCallback {
 public:
  using StartFunction = std::function<void(XmlSaxParser*, const unsigned char**)>;

  // `elementName` is UTF-8; `next` (may be null: the parser's default callback) receives the
  // element's content after `startFunction` has seen its attributes.
  XmlSaxCallbackAdapter(const std::string& elementName, XmlSaxCallback* next,
                        StartFunction startFunction);
  XmlSaxCallbackAdapter(const XmlSaxCallbackAdapter&) = default;
  XmlSaxCallbackAdapter(XmlSaxCallbackAdapter&&) = default;
  XmlSaxCallbackAdapter& operator=(const XmlSaxCallbackAdapter&) = default;
  XmlSaxCallbackAdapter& operator=(XmlSaxCallbackAdapter&&) = default;
  ~XmlSaxCallbackAdapter() override = default;

  // An element of another name is ignored. For the expected one, calls the start function
  // (an empty one throws std::bad_function_call) and then pushes `next`.
  void OnStartElement(XmlSaxParser* parser, const unsigned char* name,
                      const unsigned char** attributes) override;
  // Does nothing.
  void OnEndElement(XmlSaxParser* parser, const unsigned char* name) override;

 private:
  XmlSaxCallbackAdapter() = default;

  std::string m_elementName;
  XmlSaxCallback* m_next = nullptr;
  StartFunction m_startFunction;
};

}  // namespace Qel
