// An element or a text of the in-memory XML document: typed attributes, typed sub-elements and
// children in document order. Nodes are reference counted: Create returns one reference, a
// parent holds one on each child and releases it when it dies. One thread at a time.
#pragma once

#include <qel/core/Composite.h>
#include <qel/core/Export.h>
#include <qel/xml/XmlProperty.h>
#include <qel/xml/XmlSaxCallback.h>

#include <cstdint>
#include <list>
#include <map>
#include <string>

namespace Qel {

class XmlSaxParser;

class QEL_API XmlNode : public Composite, public XmlSaxCallback {
 public:
  // An element; initialized when `name` is not empty. BaseException 5 when out of memory.
  static XmlNode* Create(const std::u16string& name);
  // A text (content) node holding `content`; its name is empty whatever `name` holds.
  static XmlNode* Create(const std::u16string& name, const std::u16string& content);
  // A deep copy of `source` (names, content, properties and the whole subtree).
  static XmlNode* Create(const XmlNode* source);

  // Creates element `name`, appends it and returns it (the node keeps the reference).
  XmlNode* AddChild(const std::u16string& name);
  // Appends `child`, adopting the caller's reference; null does nothing and returns null. When
  // it throws (out of memory; a node given itself) the reference stays with the caller.
  XmlNode* AddChild(XmlNode* child);
  // Appends `node` when it is an XmlNode (adopting the reference); other nodes are ignored.
  void AddChild(Node* node) override;
  using Composite::RemoveChild;
  // Appends a text node holding `text` and returns it.
  XmlNode* AddContent(const std::u16string& text);
  // Appends element `name` with one text child holding `text` (also when it is empty).
  void AddSubNodeText(const std::u16string& name, const std::u16string& text);

  // Adds a property; when `name` already exists nothing changes and null is returned.
  XmlProperty* AddProperty(const std::u16string& name, const std::u16string& value);
  void AddPropertyIfNotDefault(const std::u16string& name, std::u16string value,
                               std::u16string defaultValue);
  // Typed properties: bool "1"/"0", 32-bit decimal, unsigned 32-bit, 64-bit, fixed with six
  // decimals, and a time as unsigned 64-bit. The IfNotDefault forms add nothing when the value
  // equals the default (a NaN is always added).
  void AddPropertyBool(const std::u16string& name, bool value);
  void AddPropertyLong(const std::u16string& name, std::int32_t value);
  void AddPropertyLongLong(const std::u16string& name, std::int64_t value);
  void AddPropertySizet(const std::u16string& name, std::uint32_t value);
  void AddPropertyDouble(const std::u16string& name, double value);
  void AddPropertyTimet(const std::u16string& name, std::int64_t value);
  void AddPropertyBoolIfNotDefault(const std::u16string& name, bool value, bool defaultValue);
  void AddPropertyLongIfNotDefault(const std::u16string& name, std::int32_t value,
                                   std::int32_t defaultValue);
  void AddPropertyLongLongIfNotDefault(const std::u16string& name, std::int64_t value,
                                       std::int64_t defaultValue);
  void AddPropertySizetIfNotDefault(const std::u16string& name, std::uint32_t value,
                                    std::uint32_t defaultValue);
  void AddPropertyDoubleIfNotDefault(const std::u16string& name, double value, double defaultValue);
  void AddPropertyTimetIfNotDefault(const std::u16string& name, std::int64_t value,
                                    std::int64_t defaultValue);
  // Typed sub-elements written as <name>value</name>.
  void AddSubNodeBool(const std::u16string& name, bool value);
  void AddSubNodeLong(const std::u16string& name, std::int32_t value);
  void AddSubNodeSizet(const std::u16string& name, std::uint32_t value);
  void AddSubNodeDouble(const std::u16string& name, double value);
  void AddSubNodeBoolIfNotDefault(const std::u16string& name, bool value, bool defaultValue);
  void AddSubNodeLongIfNotDefault(const std::u16string& name, std::int32_t value,
                                  std::int32_t defaultValue);
  void AddSubNodeSizetIfNotDefault(const std::u16string& name, std::uint32_t value,
                                   std::uint32_t defaultValue);
  void AddSubNodeDoubleIfNotDefault(const std::u16string& name, double value, double defaultValue);

  // The property called `name`, or null.
  XmlProperty* GetProperty(const std::u16string& name);
  const XmlProperty* GetProperty(const std::u16string& name) const;
  // Typed property values; a missing, empty or unreadable text gives the default.
  bool GetPropertyBool(const std::u16string& name, bool defaultValue) const;
  std::int32_t GetPropertyLong(const std::u16string& name, std::int32_t defaultValue) const;
  std::int64_t GetPropertyLongLong(const std::u16string& name, std::int64_t defaultValue) const;
  std::uint32_t GetPropertySizet(const std::u16string& name, std::uint32_t defaultValue) const;
  double GetPropertyDouble(const std::u16string& name, double defaultValue) const;
  std::int64_t GetPropertyTimet(const std::u16string& name, std::int64_t defaultValue) const;
  // The value, or `defaultValue` itself when the property is missing.
  const std::u16string& GetPropertyText(const std::u16string& name,
                                        const std::u16string& defaultValue) const;
  // The value, or an empty string when the property is missing.
  const std::u16string& GetPropertyText(const std::u16string& name) const;
  // The text of the one child element `name` (empty unless that element has exactly one
  // child). No such child, or several: XMLFormatException 9 when `mustExist`, else
  // `defaultValue`.
  const std::u16string& GetSubNodeText(const std::u16string& name,
                                       const std::u16string& defaultValue, bool mustExist) const;
  const std::u16string& GetSubNodeText(const std::u16string& name) const;
  bool GetSubNodeBool(const std::u16string& name, bool defaultValue) const;
  std::int32_t GetSubNodeLong(const std::u16string& name, std::int32_t defaultValue) const;
  std::uint32_t GetSubNodeSizet(const std::u16string& name, std::uint32_t defaultValue) const;
  double GetSubNodeDouble(const std::u16string& name, double defaultValue) const;

  // Replaces `out` with the children called `name` in order (every child for an empty name).
  void FilterChildren(std::list<XmlNode*>& out, const std::u16string& name) const;
  // Unlinks every occurrence of `child` and hands its reference back (it is not released).
  void RemoveChild(XmlNode* child);
  // Removes the property `name`, if present.
  void RemoveProperty(const std::u16string& name);
  // Sets the text; the node is a text node exactly when `text` is not empty.
  const std::u16string& SetContent(const std::u16string& text);

  const std::u16string& GetName() const { return m_name; }
  const std::u16string& GetContent() const { return m_content; }
  std::list<XmlNode*>& GetChildren() { return m_children; }
  const std::list<XmlNode*>& GetChildren() const { return m_children; }
  const std::list<XmlProperty*>& GetProperties() const { return m_properties; }
  bool IsContent() const { return m_isContent; }
  bool IsInitialized() const { return m_initialized; }
  unsigned int ChildCount() const override;
  // A new ListIterator over the children; the caller releases it.
  Iterator* CreateIterator() override;

  // Adds every attribute of a SAX attribute list as a property (names and values longer than
  // 4096 UTF-8 bytes are cut at a character boundary).
  void InitializeProperties(XmlSaxParser* parser, const unsigned char** attributes);
  // The ANSI text `tag` as UTF-16; empty when it cannot be converted.
  static std::u16string ConvertXmlTag(const std::string& tag);

  // Reading from the SAX parser: a start tag becomes a child, its text a child named "text".
  void OnStartElement(XmlSaxParser* parser, const unsigned char* name,
                      const unsigned char** attributes) override;
  void OnEndElement(XmlSaxParser* parser, const unsigned char* name) override;

 protected:
  XmlNode() = default;
  explicit XmlNode(const std::u16string& name);
  XmlNode(const std::u16string& name, const std::u16string& content);
  // Copies would share children and properties; a deep copy is Create(const XmlNode*).
  XmlNode(const XmlNode&) = delete;
  XmlNode& operator=(const XmlNode&) = delete;
  // Releases every child and deletes every property.
  ~XmlNode() override;

 private:
  friend class XmlTree;

  XmlNode* AdoptNew(XmlNode* fresh);
  // A child element built from a SAX start tag.
  static XmlNode* CreateFromSax(XmlSaxParser* parser, const unsigned char* name,
                                const unsigned char** attributes);

  bool m_initialized = false;
  std::u16string m_name;
  bool m_isContent = false;
  std::u16string m_content;
  std::list<XmlNode*> m_children;
  std::list<XmlProperty*> m_properties;
  std::map<std::u16string, XmlProperty*> m_propertyIndex;
};

}  // namespace Qel
