// Reading strings and numbers from arbitrary bytes: only FileIOException may leave, and a
// count larger than the stream must not allocate for the count (the fuzzer's malloc limit).
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "qel/core/Exceptions.h"
#include "qel/util/StreamHelper.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size), std::ios::binary);
  try {
    for (;;) {
      std::u16string text;
      StreamHelper::ReadString(&in, text);
      if (text.size() * 2 > size) std::abort();
      std::ostringstream out(std::ios::binary);
      StreamHelper::WriteString(&out, text);
      std::istringstream again(out.str(), std::ios::binary);
      std::u16string back;
      StreamHelper::ReadString(&again, back);
      if (back != text) std::abort();
      double d = 0;
      StreamHelper::ReadDouble(&in, d);
      std::int16_t s = 0;
      StreamHelper::ReadShort(&in, s);
    }
  } catch (const Qel::FileIOException&) {
  }
  return 0;
}
