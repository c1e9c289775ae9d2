#include "core/EmbeddedResources.h"

namespace Qel::Detail {

std::string_view FindEmbeddedResource(std::string_view name) {
  for (const EmbeddedResource* r = EmbeddedResourceTable(); r->name != nullptr; ++r) {
    if (name == r->name) return {reinterpret_cast<const char*>(r->data), r->size};
  }
  return {};
}

}  // namespace Qel::Detail
