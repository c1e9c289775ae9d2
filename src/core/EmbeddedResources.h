// Data files of resources/ compiled into the library at build time.
#pragma once

#include <cstddef>
#include <string_view>

namespace Qel::Detail {

struct EmbeddedResource {
  const char* name;  // path relative to resources/, e.g. "messages.txt"
  const unsigned char* data;
  std::size_t size;
};

// The table, ended by an entry with a null name.
const EmbeddedResource* EmbeddedResourceTable();

// The bytes of resources/<name>; empty when there is no such file.
std::string_view FindEmbeddedResource(std::string_view name);

}  // namespace Qel::Detail
