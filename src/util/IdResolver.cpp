// Chains are followed iteratively with a record of the identifiers met, so that long chains
// cannot exhaust the stack and looping chains end.
#include "qel/util/IdResolver.h"

#include <new>
#include <string>
#include <unordered_set>

#include "core/Text.h"
#include "core/Throw.h"

namespace Qel {

IdResolver* IdResolver::Create() {
  auto* resolver = new (std::nothrow) IdResolver();
  if (resolver == nullptr) Detail::ThrowOutOfMemory(u"IdResolver::Create()");
  resolver->AddRefCount();
  return resolver;
}

void IdResolver::Store(const std::u16string& id, const std::u16string& replacement) {
  auto [it, inserted] = m_map.try_emplace(id, replacement);
  if (!inserted) {
    if (it->second == replacement) return;
    auto old = m_reverse.find(it->second);
    old->second.erase(id);
    if (old->second.empty()) m_reverse.erase(old);
    it->second = replacement;
  }
  m_reverse[replacement].insert(id);
}

void IdResolver::Set(const std::u16string& id, const std::u16string& replacement) {
  if (id != replacement) Store(id, replacement);
}

void IdResolver::Set(std::int32_t& id, std::int32_t& replacement) {
  Set(ToString(id), ToString(replacement));
}

void IdResolver::Set(std::int32_t& id, const std::u16string& replacement) {
  Set(ToString(id), replacement);
}

std::u16string IdResolver::Get(std::u16string& id) {
  std::u16string current = id;
  std::unordered_set<std::u16string> seen{current};
  for (auto it = m_map.find(current); it != m_map.end(); it = m_map.find(current)) {
    if (!seen.insert(it->second).second) break;
    current = it->second;
  }
  return current;
}

std::u16string IdResolver::Get(std::int32_t& id) {
  std::u16string text = ToString(id);
  return Get(text);
}

std::u16string IdResolver::GetReverse(std::u16string& id) {
  std::u16string current = id;
  std::unordered_set<std::u16string> seen{current};
  for (auto it = m_reverse.find(current); it != m_reverse.end(); it = m_reverse.find(current)) {
    const std::u16string& previous = *it->second.begin();
    if (!seen.insert(previous).second) break;
    current = previous;
  }
  return current;
}

std::u16string IdResolver::GetReverse(std::int32_t& id) {
  std::u16string text = ToString(id);
  return GetReverse(text);
}

void IdResolver::Clear() {
  m_map.clear();
  m_reverse.clear();
}

std::u16string IdResolver::ToString() {
  std::u16string text;
  for (const auto& [id, replacement] : m_map) {
    text += id;
    text += u'\n';
    text += replacement;
    text += u'\n';
  }
  return text;
}

void IdResolver::FromString(std::u16string text) {
  Clear();
  std::size_t pos = 0;
  // A line exists while any text is left; the last one needs no line feed.
  auto readLine = [&](std::u16string& line) {
    if (pos >= text.size()) return false;
    std::size_t end = text.find(u'\n', pos);
    if (end == std::u16string::npos) end = text.size();
    line.assign(text, pos, end - pos);
    pos = end + 1;
    return true;
  };
  std::u16string id;
  std::u16string replacement;
  while (readLine(id)) {
    if (!readLine(replacement)) replacement.clear();
    Store(id, replacement);
  }
}

std::u16string IdResolver::ToString(std::int32_t& value) { return Detail::DecimalU16(value); }

}  // namespace Qel
