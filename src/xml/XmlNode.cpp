#include "qel/xml/XmlNode.h"

#include <cmath>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "core/Text.h"
#include "core/Throw.h"
#include "qel/core/IntrusivePtr.h"
#include "qel/core/StringConversion.h"
#include "qel/text/Unicode.h"
#include "qel/xml/ListIterator.h"
#include "qel/xml/XmlSaxParser.h"
#include "xml/XmlNumbers.h"

namespace Qel {
namespace {

const std::u16string kEmpty;
constexpr std::size_t kSaxTextLimit = 4096;

// Length of a NUL-terminated UTF-8 text, at most `limit` bytes and never splitting a character.
int CutUtf8(const unsigned char* text, std::size_t limit) {
  std::size_t length = 0;
  while (length < limit && text[length] != 0) ++length;
  if (length == limit && text[length] != 0) {
    while (length > 0 && (text[length] & 0xC0) == 0x80) --length;
  }
  return static_cast<int>(length);
}

std::u16string ConvertSaxText(XmlSaxParser* parser, const unsigned char* text) {
  std::u16string out;
  if (text != nullptr) parser->ConvertString(text, CutUtf8(text, kSaxTextLimit), out);
  return out;
}

template <class T>
std::optional<T> Scan(const std::u16string& text);

template <>
std::optional<std::int32_t> Scan(const std::u16string& text) {
  return Detail::ScanSigned<std::int32_t>(text.data(), text.data() + text.size());
}
template <>
std::optional<std::int64_t> Scan(const std::u16string& text) {
  return Detail::ScanSigned<std::int64_t>(text.data(), text.data() + text.size());
}
template <>
std::optional<std::uint32_t> Scan(const std::u16string& text) {
  return Detail::ScanUnsigned<std::uint32_t>(text.data(), text.data() + text.size());
}
template <>
std::optional<double> Scan(const std::u16string& text) {
  return Detail::ScanFloating<double>(text.data(), text.data() + text.size());
}

bool ReadBool(const std::u16string& text, bool defaultValue) {
  if (text.empty()) return defaultValue;
  if (text[0] == u'1') return true;
  if (text[0] == u'0') return false;
  return defaultValue;
}

template <class T>
T ReadValue(const std::u16string& text, T defaultValue) {
  if (text.empty()) return defaultValue;
  return Scan<T>(text).value_or(defaultValue);
}

std::u16string BoolText(bool value) { return value ? u"1" : u"0"; }
std::u16string LongText(std::int64_t value) { return Detail::DecimalU16(value); }
std::u16string UnsignedText(std::uint64_t value) { return Detail::DecimalU16(value); }
std::u16string DoubleText(double value) { return Detail::AsciiToU16(Detail::FixedText(value)); }

}  // namespace

Node* ListIterator::Current() { return *m_position; }

ListIterator* ListIterator::Create(std::list<XmlNode*>& nodes) {
  return new (std::nothrow) ListIterator(nodes);
}

XmlNode::XmlNode(const std::u16string& name) : m_initialized(!name.empty()), m_name(name) {}

XmlNode::XmlNode(const std::u16string&, const std::u16string& content)
    : m_initialized(true), m_isContent(true), m_content(content) {}

XmlNode::~XmlNode() {
  // Queued rather than released in place, so that deep trees tear down with a flat stack.
  for (XmlNode* child : m_children) ReleaseOwned(child);
  for (XmlProperty* property : m_properties) delete property;
}

XmlNode* XmlNode::Create(const std::u16string& name) {
  auto node = new (std::nothrow) XmlNode(name);
  if (node == nullptr) Detail::ThrowOutOfMemory(u"[1093]");
  node->AddRefCount();
  return node;
}

XmlNode* XmlNode::Create(const std::u16string& name, const std::u16string& content) {
  auto node = new (std::nothrow) XmlNode(name, content);
  if (node == nullptr) Detail::ThrowOutOfMemory(u"[1094]");
  node->AddRefCount();
  return node;
}

XmlNode* XmlNode::Create(const XmlNode* source) {
  if (source == nullptr) return nullptr;
  auto copyOne = [](const XmlNode* from) {
    auto node = new (std::nothrow) XmlNode(from->m_name);
    if (node == nullptr) Detail::ThrowOutOfMemory(u"[1095]");
    node->AddRefCount();
    IntrusivePtr<XmlNode> held = AdoptRef(node);
    node->m_isContent = from->m_isContent;
    node->m_content = from->m_content;
    node->m_initialized = !node->m_name.empty() || node->m_isContent;
    for (const XmlProperty* property : from->m_properties)
      node->AddProperty(property->GetName(), property->GetValue());
    return held;
  };
  // An explicit stack instead of recursion: trees of any depth are copied.
  IntrusivePtr<XmlNode> root = copyOne(source);
  std::vector<std::pair<const XmlNode*, XmlNode*>> pending{{source, root.get()}};
  while (!pending.empty()) {
    auto [from, to] = pending.back();
    pending.pop_back();
    for (const XmlNode* child : from->m_children) {
      XmlNode* copy = to->AdoptNew(copyOne(child).release());
      pending.emplace_back(child, copy);
    }
  }
  return root.release();
}

// Appends a node this node has just created; it is released when it cannot be appended.
XmlNode* XmlNode::AdoptNew(XmlNode* fresh) {
  IntrusivePtr<XmlNode> held = AdoptRef(fresh);
  AddChild(fresh);
  return held.release();
}

XmlNode* XmlNode::AddChild(const std::u16string& name) { return AdoptNew(Create(name)); }

XmlNode* XmlNode::AddChild(XmlNode* child) {
  if (child == nullptr) return nullptr;
  if (child == this)
    Detail::ThrowInvalidArgument(u"Qel::XmlNode::AddChild -> a node cannot hold itself");
  try {
    m_children.push_back(child);
  } catch (const std::bad_alloc&) {
    Detail::ThrowOutOfMemory(u"");
  }
  return child;
}

void XmlNode::AddChild(Node* node) {
  if (auto child = dynamic_cast<XmlNode*>(node)) AddChild(child);
}

XmlNode* XmlNode::AddContent(const std::u16string& text) { return AdoptNew(Create(u"", text)); }

void XmlNode::AddSubNodeText(const std::u16string& name, const std::u16string& text) {
  XmlNode* element = AddChild(name);
  element->AddContent(text);
}

XmlProperty* XmlNode::AddProperty(const std::u16string& name, const std::u16string& value) {
  auto [position, added] = m_propertyIndex.emplace(name, nullptr);
  if (!added) return nullptr;
  try {
    auto property = new XmlProperty(name, value);
    position->second = property;
    m_properties.push_back(property);
    return property;
  } catch (const std::bad_alloc&) {
    if (position->second != nullptr) delete position->second;
    m_propertyIndex.erase(position);
    Detail::ThrowOutOfMemory(u"");
  }
}

void XmlNode::AddPropertyIfNotDefault(const std::u16string& name, std::u16string value,
                                      std::u16string defaultValue) {
  if (value != defaultValue) AddProperty(name, value);
}

void XmlNode::AddPropertyBool(const std::u16string& name, bool value) {
  AddProperty(name, BoolText(value));
}
void XmlNode::AddPropertyLong(const std::u16string& name, std::int32_t value) {
  AddProperty(name, LongText(value));
}
void XmlNode::AddPropertyLongLong(const std::u16string& name, std::int64_t value) {
  AddProperty(name, LongText(value));
}
void XmlNode::AddPropertySizet(const std::u16string& name, std::uint32_t value) {
  AddProperty(name, UnsignedText(value));
}
void XmlNode::AddPropertyDouble(const std::u16string& name, double value) {
  AddProperty(name, DoubleText(value));
}
void XmlNode::AddPropertyTimet(const std::u16string& name, std::int64_t value) {
  AddProperty(name, UnsignedText(static_cast<std::uint64_t>(value)));
}
void XmlNode::AddPropertyBoolIfNotDefault(const std::u16string& name, bool value,
                                          bool defaultValue) {
  if (value != defaultValue) AddPropertyBool(name, value);
}
void XmlNode::AddPropertyLongIfNotDefault(const std::u16string& name, std::int32_t value,
                                          std::int32_t defaultValue) {
  if (value != defaultValue) AddPropertyLong(name, value);
}
void XmlNode::AddPropertyLongLongIfNotDefault(const std::u16string& name, std::int64_t value,
                                              std::int64_t defaultValue) {
  if (value != defaultValue) AddPropertyLongLong(name, value);
}
void XmlNode::AddPropertySizetIfNotDefault(const std::u16string& name, std::uint32_t value,
                                           std::uint32_t defaultValue) {
  if (value != defaultValue) AddPropertySizet(name, value);
}
void XmlNode::AddPropertyDoubleIfNotDefault(const std::u16string& name, double value,
                                            double defaultValue) {
  if (!(value == defaultValue)) AddPropertyDouble(name, value);
}
void XmlNode::AddPropertyTimetIfNotDefault(const std::u16string& name, std::int64_t value,
                                           std::int64_t defaultValue) {
  if (value != defaultValue) AddPropertyTimet(name, value);
}

void XmlNode::AddSubNodeBool(const std::u16string& name, bool value) {
  AddSubNodeText(name, BoolText(value));
}
void XmlNode::AddSubNodeLong(const std::u16string& name, std::int32_t value) {
  AddSubNodeText(name, LongText(value));
}
void XmlNode::AddSubNodeSizet(const std::u16string& name, std::uint32_t value) {
  AddSubNodeText(name, UnsignedText(value));
}
void XmlNode::AddSubNodeDouble(const std::u16string& name, double value) {
  AddSubNodeText(name, DoubleText(value));
}
void XmlNode::AddSubNodeBoolIfNotDefault(const std::u16string& name, bool value,
                                         bool defaultValue) {
  if (value != defaultValue) AddSubNodeBool(name, value);
}
void XmlNode::AddSubNodeLongIfNotDefault(const std::u16string& name, std::int32_t value,
                                         std::int32_t defaultValue) {
  if (value != defaultValue) AddSubNodeLong(name, value);
}
void XmlNode::AddSubNodeSizetIfNotDefault(const std::u16string& name, std::uint32_t value,
                                          std::uint32_t defaultValue) {
  if (value != defaultValue) AddSubNodeSizet(name, value);
}
void XmlNode::AddSubNodeDoubleIfNotDefault(const std::u16string& name, double value,
                                           double defaultValue) {
  if (!(value == defaultValue)) AddSubNodeDouble(name, value);
}

XmlProperty* XmlNode::GetProperty(const std::u16string& name) {
  auto found = m_propertyIndex.find(name);
  return found == m_propertyIndex.end() ? nullptr : found->second;
}

const XmlProperty* XmlNode::GetProperty(const std::u16string& name) const {
  auto found = m_propertyIndex.find(name);
  return found == m_propertyIndex.end() ? nullptr : found->second;
}

bool XmlNode::GetPropertyBool(const std::u16string& name, bool defaultValue) const {
  return ReadBool(GetPropertyText(name), defaultValue);
}
std::int32_t XmlNode::GetPropertyLong(const std::u16string& name, std::int32_t defaultValue) const {
  return ReadValue(GetPropertyText(name), defaultValue);
}
std::int64_t XmlNode::GetPropertyLongLong(const std::u16string& name,
                                          std::int64_t defaultValue) const {
  return ReadValue(GetPropertyText(name), defaultValue);
}
std::uint32_t XmlNode::GetPropertySizet(const std::u16string& name,
                                        std::uint32_t defaultValue) const {
  return ReadValue(GetPropertyText(name), defaultValue);
}
double XmlNode::GetPropertyDouble(const std::u16string& name, double defaultValue) const {
  return ReadValue(GetPropertyText(name), defaultValue);
}
std::int64_t XmlNode::GetPropertyTimet(const std::u16string& name,
                                       std::int64_t defaultValue) const {
  const std::u16string& text = GetPropertyText(name);
  if (text.empty()) return defaultValue;
  const auto scanned = Detail::ScanUnsigned<std::uint64_t>(text.data(), text.data() + text.size());
  return scanned ? static_cast<std::int64_t>(*scanned) : defaultValue;
}

const std::u16string& XmlNode::GetPropertyText(const std::u16string& name,
                                               const std::u16string& defaultValue) const {
  const XmlProperty* property = GetProperty(name);
  return property == nullptr ? defaultValue : property->GetValue();
}

const std::u16string& XmlNode::GetPropertyText(const std::u16string& name) const {
  return GetPropertyText(name, kEmpty);
}

const std::u16string& XmlNode::GetSubNodeText(const std::u16string& name,
                                              const std::u16string& defaultValue,
                                              bool mustExist) const {
  const XmlNode* match = nullptr;
  int count = 0;
  for (const XmlNode* child : m_children) {
    if (child->m_name == name) {
      match = child;
      if (++count > 1) break;
    }
  }
  if (count == 1)
    return match->m_children.size() == 1 ? match->m_children.front()->m_content : kEmpty;
  if (mustExist) Detail::Throw<XMLFormatException>(ErrorId::XmlNodeFormatNewerVersion, name);
  return defaultValue;
}

const std::u16string& XmlNode::GetSubNodeText(const std::u16string& name) const {
  return GetSubNodeText(name, kEmpty, true);
}

bool XmlNode::GetSubNodeBool(const std::u16string& name, bool defaultValue) const {
  return ReadBool(GetSubNodeText(name, kEmpty, false), defaultValue);
}
std::int32_t XmlNode::GetSubNodeLong(const std::u16string& name, std::int32_t defaultValue) const {
  return ReadValue(GetSubNodeText(name, kEmpty, false), defaultValue);
}
std::uint32_t XmlNode::GetSubNodeSizet(const std::u16string& name,
                                       std::uint32_t defaultValue) const {
  return ReadValue(GetSubNodeText(name, kEmpty, false), defaultValue);
}
double XmlNode::GetSubNodeDouble(const std::u16string& name, double defaultValue) const {
  return ReadValue(GetSubNodeText(name, kEmpty, false), defaultValue);
}

void XmlNode::FilterChildren(std::list<XmlNode*>& out, const std::u16string& name) const {
  out.clear();
  for (XmlNode* child : m_children)
    if (name.empty() || child->m_name == name) out.push_back(child);
}

void XmlNode::RemoveChild(XmlNode* child) {
  if (child != nullptr) m_children.remove(child);
}

void XmlNode::RemoveProperty(const std::u16string& name) {
  auto found = m_propertyIndex.find(name);
  if (found == m_propertyIndex.end()) return;
  XmlProperty* property = found->second;
  m_propertyIndex.erase(found);
  m_properties.remove(property);
  delete property;
}

const std::u16string& XmlNode::SetContent(const std::u16string& text) {
  m_content = text;
  m_isContent = !text.empty();
  return m_content;
}

unsigned int XmlNode::ChildCount() const { return static_cast<unsigned int>(m_children.size()); }

Iterator* XmlNode::CreateIterator() { return ListIterator::Create(m_children); }

void XmlNode::InitializeProperties(XmlSaxParser* parser, const unsigned char** attributes) {
  if (attributes == nullptr) return;
  for (std::size_t i = 0; attributes[i] != nullptr; i += 2) {
    const std::u16string name = ConvertSaxText(parser, attributes[i]);
    const std::u16string value = ConvertSaxText(parser, attributes[i + 1]);
    AddProperty(name, value);
    if (attributes[i + 1] == nullptr) break;
  }
}

std::u16string XmlNode::ConvertXmlTag(const std::string& tag) {
  std::u16string out;
  if (!ConvertA2W(tag, out)) return std::u16string();
  return out;
}

XmlNode* XmlNode::CreateFromSax(XmlSaxParser* parser, const unsigned char* name,
                                const unsigned char** attributes) {
  IntrusivePtr<XmlNode> node = AdoptRef(Create(ConvertSaxText(parser, name)));
  node->InitializeProperties(parser, attributes);
  return node.release();
}

void XmlNode::OnStartElement(XmlSaxParser* parser, const unsigned char* name,
                             const unsigned char** attributes) {
  XmlNode* child = AdoptNew(CreateFromSax(parser, name, attributes));
  parser->PushCallback(child);
}

void XmlNode::OnEndElement(XmlSaxParser* parser, const unsigned char*) {
  const unsigned int size = parser->GetCharacterBufferSize();
  if (size == 0) return;
  std::u16string text;
  parser->ConvertString(parser->GetCharacterBuffer(), static_cast<int>(size), text);
  if (Unicode::IsEmptyOrSpaceOrControl(text)) return;
  IntrusivePtr<XmlNode> content = AdoptRef(Create(u"text", text));
  content->m_name = u"text";
  AdoptNew(content.release());
}

}  // namespace Qel
