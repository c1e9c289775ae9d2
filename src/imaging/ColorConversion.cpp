#include "qel/imaging/ColorConversion.h"

#include "qel/core/IntrusivePtr.h"
#include "qel/xml/XmlNode.h"

namespace Qel {

const std::uint16_t ColorConversion::DefContrast = 3;
const std::uint16_t ColorConversion::DefCleanup = 3;

std::shared_ptr<ColorConversion> ColorConversion::Create() {
  return std::make_shared<ColorConversion>();
}

void ColorConversion::Clear() {
  m_contrast = DefContrast;
  m_cleanup = DefCleanup;
}

unsigned short ColorConversion::GetContrast() const {
  return static_cast<unsigned short>(6 - m_contrast);
}

void ColorConversion::SetContrast(unsigned short contrast) {
  m_contrast = static_cast<std::uint16_t>(6 - contrast);
}

void ColorConversion::Copy(const std::shared_ptr<ColorConversion>& other) {
  if (!other) return;
  m_contrast = other->m_contrast;
  m_cleanup = other->m_cleanup;
}

bool ColorConversion::Equals(const std::shared_ptr<ColorConversion>& other) const {
  return other && m_contrast == other->m_contrast && m_cleanup == other->m_cleanup;
}

XmlNode* ColorConversion::SaveXml() const {
  IntrusivePtr<XmlNode> node = AdoptRef(XmlNode::Create(u"bitonals"));
  node->AddPropertyLong(u"version", 1);
  node->AddPropertyLongIfNotDefault(u"contrast", m_contrast, 3);
  node->AddPropertyLongIfNotDefault(u"cleanup", m_cleanup, 3);
  return node.release();
}

void ColorConversion::LoadXml(XmlNode* node, Version&) {
  if (node == nullptr) return;
  node->GetPropertyLong(u"version", 1);
  m_contrast = static_cast<std::uint16_t>(node->GetPropertyLong(u"contrast", 3));
  m_cleanup = static_cast<std::uint16_t>(node->GetPropertyLong(u"cleanup", 3));
}

}  // namespace Qel
