// Representation defaults and four-character tags.
#include "qel/model/Representation.h"

namespace Qel {

std::string Representation::RepTag::GetName() const {
  const auto bits = static_cast<std::uint32_t>(id);
  std::string name;
  for (int shift = 0; shift < 32; shift += 8) {
    const char c = static_cast<char>((bits >> shift) & 0xFFu);
    if (c == '\0') break;
    name.push_back(c);
  }
  return name;
}

const Representation::RepTag& Representation::GetDefaultTag() { return DefaultTag; }

double Representation::dot(const Representation& /*other*/) const { return 0.0; }
void Representation::add(const Representation& /*other*/) {}
void Representation::sub(const Representation& /*other*/) {}
double Representation::dist(const Representation& /*other*/) const { return 0.0; }
bool Representation::IsValid() const { return false; }
double Representation::GetMinimum() const { return 1.0; }
double Representation::GetMaximum() const { return 1.0; }
bool Representation::Save(std::ostream* /*os*/) { return false; }
bool Representation::Load(std::istream* /*is*/) { return false; }

void Representation::SetTagName(const std::string& name) { m_tag = SetRepTag(name); }

Representation::RepTag SetRepTag(const std::string& name) {
  if (name.size() != 4) return Representation::DefaultTag;
  std::uint32_t bits = 0;
  for (int i = 3; i >= 0; --i) {
    bits = (bits << 8) | static_cast<unsigned char>(name[static_cast<std::size_t>(i)]);
  }
  return Representation::RepTag{static_cast<std::int32_t>(bits)};
}

}  // namespace Qel
