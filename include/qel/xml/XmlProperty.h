// One attribute of an XmlNode: a name and a value, both UTF-16. A plain value type owned by
// its node; used by one thread at a time.
#pragma once

#include <string>

namespace Qel {

class XmlProperty {
 public:
  XmlProperty(const std::u16string& name, const std::u16string& value)
      : m_name(name), m_value(value) {}
  XmlProperty(const XmlProperty&) = default;
  XmlProperty(XmlProperty&&) = default;
  XmlProperty& operator=(const XmlProperty&) = default;
  XmlProperty& operator=(XmlProperty&&) = default;

  const std::u16string& GetName() const { return m_name; }
  const std::u16string& GetValue() const { return m_value; }
  // Replaces the value and returns the stored one.
  const std::u16string& SetValue(const std::u16string& value) {
    m_value = value;
    return m_value;
  }

 private:
  std::u16string m_name;
  std::u16string m_value;
};

}  // namespace Qel
