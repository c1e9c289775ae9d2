// Feeds arbitrary bytes to TermVector::Load: a load fails and leaves the vector empty, or
// succeeds with sorted unique ids and finite weights and saves back exactly the bytes it read.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "qel/core/IntrusivePtr.h"
#include "qel/kit/TermVector.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::istringstream in(bytes);
  const auto v = Qel::AdoptRef(Qel::TermVector::Create());
  if (!v->Load(&in)) {
    if (!v->GetEntries().empty()) std::abort();
    return 0;
  }
  const auto& e = v->GetEntries();
  for (std::size_t i = 0; i < e.size(); ++i) {
    if (!std::isfinite(e[i].weight) || (i > 0 && e[i - 1].id >= e[i].id)) std::abort();
  }
  std::ostringstream out;
  if (!v->Save(&out)) std::abort();
  if (bytes.compare(0, out.str().size(), out.str()) != 0) std::abort();
  return 0;
}
