// Maps identifiers to replacement identifiers and follows chains of replacements, with a
// line-based text form. Reference counted: created by Create() with one reference, released
// with Release(). One resolver is used by one thread at a time.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "qel/core/Export.h"
#include "qel/core/RefCounter.h"

namespace Qel {

class QEL_API IdResolver : public RefCounter {
 public:
  // A new empty resolver holding one reference. Throws BaseException 5 without memory.
  static IdResolver* Create();

  // Maps `id` to `replacement` (inserting or overwriting) unless the two are equal.
  void Set(const std::u16string& id, const std::u16string& replacement);
  void Set(std::int32_t& id, std::int32_t& replacement);
  void Set(std::int32_t& id, const std::u16string& replacement);
  // The end of the replacement chain starting at `id` (`id` itself when it is not mapped).
  // A chain that loops ends at its last identifier before the first repeated one.
  std::u16string Get(std::u16string& id);
  std::u16string Get(std::int32_t& id);
  // The start of the chain ending at `id`, stepping each time to the smallest identifier that
  // maps to the current one. A loop ends as for Get.
  std::u16string GetReverse(std::u16string& id);
  std::u16string GetReverse(std::int32_t& id);
  void Clear();
  // Every entry in identifier order as two lines: identifier "\n" replacement "\n".
  std::u16string ToString();
  // Replaces the map by the one in `text` (the form of ToString; a missing last replacement is
  // ""; later lines overwrite earlier ones).
  void FromString(std::u16string text);
  // Decimal text of `value`.
  static std::u16string ToString(std::int32_t& value);

 protected:
  IdResolver() = default;
  ~IdResolver() override = default;

 private:
  // Stores without the equality test, keeping the reverse index in step.
  void Store(const std::u16string& id, const std::u16string& replacement);

  std::map<std::u16string, std::u16string> m_map;
  // For each replacement, the identifiers that map to it (kept sorted, smallest first).
  std::map<std::u16string, std::set<std::u16string>> m_reverse;
};

}  // namespace Qel
