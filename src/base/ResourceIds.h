// The numbered text resources of the library and the embedded files that hold them.
// Constant data; any thread may call.
#pragma once

namespace Qel::Detail {

// The path under resources/ of text resource `id` (as FindEmbeddedResource takes it), or null
// when the library has no resource of that number.
const char* TextResourcePath(unsigned int id);

}  // namespace Qel::Detail
