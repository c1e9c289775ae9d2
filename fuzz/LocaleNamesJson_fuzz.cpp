// Feeds arbitrary text to the language-name JSON filter, as UTF-8 decoded to UTF-16 (first
// byte even) or as raw UTF-16 units (first byte odd, so unpaired surrogates reach the reader).
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "base/JsonHandler.h"
#include "qel/core/StringConversion.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::u16string json;
  if (data[0] % 2 == 0) {
    json = Qel::Utf8ToUtf16(reinterpret_cast<const char*>(data + 1), size - 1);
  } else {
    for (std::size_t i = 1; i + 1 < size; i += 2)
      json.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  }
  std::map<std::u16string, std::u16string> names;
  Qel::Detail::ReadLocaleNamesJson(json, u"en", names);
  Qel::Detail::ReadLocaleNamesJson(json, u"zh-Hans", names);
  return 0;
}
