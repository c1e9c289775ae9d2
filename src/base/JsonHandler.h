// SAX-style JSON filtering over RapidJSON's reader: a reusable handler that tracks flags per
// open object, and the filter that picks one display language's names out of a CLDR
// language-name file. Handlers belong to one reading thread.
#pragma once

#include <cstdint>
#include <exception>
#include <map>
#include <string>
#include <vector>

// RapidJSON reports broken invariants through this macro; some of them can be reached by
// input (an escaped unpaired low surrogate such as \uDC00 in a UTF-16 target). Throwing ends
// the reading instead of aborting the process. Every file of the library that includes
// RapidJSON includes it through this header, so that the definition is the same everywhere.
namespace Qel::Detail {
struct JsonInvariantBroken : std::exception {
  const char* what() const noexcept override { return "RapidJSON invariant broken"; }
};
}  // namespace Qel::Detail
#ifndef RAPIDJSON_ASSERT
#define RAPIDJSON_ASSERT(x)                               \
  do {                                                    \
    if (!(x)) throw ::Qel::Detail::JsonInvariantBroken(); \
  } while (false)
#endif
// RapidJSON 1.1.0 offsets the null pointer of its empty parse stack on the first push, which
// clang's pointer-overflow check reports; that arithmetic is not ours to change.
#ifdef __clang__
#pragma clang attribute push(__attribute__((no_sanitize("pointer-overflow"))), apply_to = function)
#endif
#include <rapidjson/encodings.h>
#include <rapidjson/reader.h>
#ifdef __clang__
#pragma clang attribute pop
#endif

namespace Qel::Detail {

using JsonEncoding = rapidjson::UTF16<char16_t>;

enum LocaleNamesFlags : unsigned {
  LocaleNamesNone = 0,
  LocaleNamesInDisplayLanguage = 1,  // inside the object of the requested display language
  LocaleNamesInLanguages = 2,        // inside a "languages" object
  LocaleNamesTaken = 3,              // both: string values are names
};

// Keeps one flag entry per open JSON object and their union as the current flags. Every
// event returns true: reading never stops early.
template <class Flags, class Derived>
class JsonHandler : public rapidjson::BaseReaderHandler<JsonEncoding, Derived> {
 public:
  using Ch = char16_t;
  explicit JsonHandler(const std::map<std::u16string, Flags>& keyFlags) : m_keyFlags(keyFlags) {}

  bool StartObject() {
    m_stack.push_back(Flags{});
    return true;
  }
  bool EndObject(rapidjson::SizeType /*memberCount*/) {
    if (!m_stack.empty()) {
      Count(m_stack.back(), -1);
      m_stack.pop_back();
    }
    return true;
  }
  bool Key(const Ch* text, rapidjson::SizeType length, bool /*copy*/) {
    auto found = m_keyFlags.find(std::u16string(text, length));
    if (found != m_keyFlags.end()) SetTop(found->second);
    return true;
  }
  // Replaces the flags of the innermost open object.
  void SetTop(Flags flags) {
    if (m_stack.empty()) return;
    Count(m_stack.back(), -1);
    m_stack.back() = flags;
    Count(flags, +1);
  }
  // A value ended: the flags a key gave its object apply to that value only.
  void GotValue() { SetTop(Flags{}); }

  Flags Current() const {
    unsigned flags = 0;
    for (unsigned bit = 0; bit < kBits; ++bit) {
      if (m_bitCounts[bit] > 0) flags |= 1u << bit;
    }
    return static_cast<Flags>(flags);
  }
  std::size_t Depth() const { return m_stack.size(); }

 private:
  static constexpr unsigned kBits = 8;
  // The union of the entries, kept as a count per bit so that leaving an object is O(1).
  void Count(Flags flags, int delta) {
    for (unsigned bit = 0; bit < kBits; ++bit) {
      if ((static_cast<unsigned>(flags) >> bit) & 1u) m_bitCounts[bit] += delta;
    }
  }

  const std::map<std::u16string, Flags>& m_keyFlags;
  std::vector<Flags> m_stack;
  long m_bitCounts[kBits] = {};
};

// Fills `target` (code to name) with the names of `displayLanguage` found in a CLDR
// language-name document: main/<displayLanguage>/.../languages/<code>: <name>.
class LocaleNamesJsonHandler : public JsonHandler<LocaleNamesFlags, LocaleNamesJsonHandler> {
 public:
  LocaleNamesJsonHandler(std::u16string displayLanguage,
                         std::map<std::u16string, std::u16string>& target);

  bool Key(const Ch* text, rapidjson::SizeType length, bool copy);
  bool String(const Ch* text, rapidjson::SizeType length, bool copy);

 private:
  static const std::map<std::u16string, LocaleNamesFlags>& InitializeMaps();

  std::u16string m_lastKey;
  std::u16string m_displayLanguage;
  std::map<std::u16string, std::u16string>& m_target;
};

// Runs the filter over `json`. Text that is empty or not valid JSON leaves `target` as far as
// it was filled; nothing is reported and nothing is thrown.
void ReadLocaleNamesJson(const std::u16string& json, const std::u16string& displayLanguage,
                         std::map<std::u16string, std::u16string>& target) noexcept;

}  // namespace Qel::Detail
