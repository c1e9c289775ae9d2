// Names of languages in a display language, from the CLDR 42 tables compiled into the library
// (cs, de, en, en-US, en-GB, es, fr, it, ja, pl, pt, ru, sv, zh-Hans). A display language's table
// is read on first use and kept until unload; any thread may call at any time.
#pragma once

#include <qel/core/Export.h>

#include <map>
#include <string>
#include <vector>

namespace Qel {

class QEL_API LocaleNames {
 public:
  // The name of `code` ("sr-Latn-RS", "de") in `displayLanguage`, trying the code and then
  // the code without its last parts ("sr-Latn", "sr"); `fallback` when the display language
  // has no table or no prefix of the code has a name. Never throws.
  static std::u16string Get(const std::u16string& displayLanguage, const std::u16string& code,
                            const std::u16string& fallback);

 private:
  // The text resource of the display language's table, or 0.
  static unsigned int GetResourceId(const std::u16string& displayLanguage);
  static bool Exists(const std::u16string& displayLanguage);
  // Fills the table of the display language (the caller holds the table lock).
  static void Load(const std::u16string& displayLanguage);
  // Adds the names that `json` holds for `displayLanguage` to `target`.
  static void ReadJson(const std::u16string& json, const std::u16string& displayLanguage,
                       std::map<std::u16string, std::u16string>& target);
  // The parts joined with "-".
  static std::u16string ToString(const std::vector<std::u16string>& parts);
};

}  // namespace Qel
