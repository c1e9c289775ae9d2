// Settings of a colour or grey to black-and-white image conversion: a contrast level and a
// cleanup level, saved as one XML element. Always handled through a shared pointer; one thread
// at a time.
#pragma once

#include <qel/core/Export.h>
#include <qel/xml/Version.h>

#include <cstdint>
#include <memory>

namespace Qel {

class XmlNode;

class QEL_API ColorConversion : public std::enable_shared_from_this<ColorConversion> {
 public:
  static const std::uint16_t DefContrast;  // 3
  static const std::uint16_t DefCleanup;   // 3

  // A new object with contrast 3 and cleanup 3.
  static std::shared_ptr<ColorConversion> Create();

  // Back to the defaults.
  void Clear();
  unsigned short GetContrast() const;
  void SetContrast(unsigned short contrast);
  unsigned short GetCleanup() const { return m_cleanup; }
  void SetCleanup(unsigned short cleanup) { m_cleanup = cleanup; }
  // Takes both settings of `other` (nothing when it is empty).
  void Copy(const std::shared_ptr<ColorConversion>& other);
  // False for an empty pointer; otherwise whether contrast and cleanup are equal.
  bool Equals(const std::shared_ptr<ColorConversion>& other) const;
  // A new element "bitonals" owned by the caller (Release it): version="1", and contrast (in
  // its stored, inverted form) and cleanup when they differ from 3.
  XmlNode* SaveXml() const;
  // Reads the settings saved by SaveXml; missing attributes give the defaults. `version` is
  // not used.
  void LoadXml(XmlNode* node, Version& version);

  ColorConversion() = default;

 private:
  std::uint16_t m_contrast = 3;  // 6 - contrast
  std::uint16_t m_cleanup = 3;
};

}  // namespace Qel
