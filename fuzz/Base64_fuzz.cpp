// Base64 decoding of arbitrary text: only the library's exception may leave, a successful
// decode stays within its buffer, and any bytes survive an encode and decode round trip.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "qel/core/Exceptions.h"
#include "qel/util/Base64.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    const std::string bytes = Qel::Base64::FromBase64(text);
    if (bytes.size() > Qel::Base64::CalculateDecodedSize(static_cast<unsigned int>(size))) {
      std::abort();
    }
  } catch (const Qel::BaseException&) {
  }
  try {
    unsigned int length = static_cast<unsigned int>(size);
    void* out = Qel::Base64::Decode(text.c_str(), length);
    std::free(out);
  } catch (const Qel::BaseException&) {
  }
  const std::string encoded = Qel::Base64::ToBase64(text);
  if (Qel::Base64::FromBase64(encoded) != text) std::abort();
  return 0;
}
