#include "text/SubstitutionPairs.h"

#include <cstdint>

#include "core/Throw.h"

namespace Qel::Detail {

void CheckSubstitutionSearch(const std::u16string& search) {
  if (search.empty()) ThrowInvalidArgument(u"[1009]");
}

void CheckSubstitutionIndex(const std::vector<SubstitutionPair>& pairs, unsigned int index) {
  if (index >= pairs.size()) {
    Throw<OutOfBoundsException>(ErrorId::IndexOutOfRange, static_cast<std::int32_t>(index),
                                static_cast<std::int32_t>(pairs.size()));
  }
}

}  // namespace Qel::Detail
