// The product's own settings keys, named by OmbrelRegKeys instead of by path, over Registry.
// Stateless apart from the fixed key paths; any thread may call.
#pragma once

#include <qel/core/Export.h>

#include <string>

namespace Qel {

enum OmbrelRegKeys : int {
  OmbrelBase = 0,                // SOFTWARE\Zorvic\Ombrel\4.0
  OmbrelRecognition = 1,         // <base>\Recognition
  OmbrelRecognitionProcess = 2,  // <base>\RecognitionProcess
  OmbrelCheckReader = 3,         // <base>\A2iA\CheckReader
  OmbrelSalienceLanguages = 4,   // <base>\NLP\Salience\Languages
};

class QEL_API OmbrelRegistry {
 public:
  // The key path under HKEY_LOCAL_MACHINE. Throws BaseException 1 for a value outside 0-4.
  static std::u16string GetRegistryKeyPath(OmbrelRegKeys key);

  // Registry::GetHklmRegistryValue under the key's path (reads never throw, except for a
  // key outside 0-4).
  static std::u16string GetHklmRegistryValue(OmbrelRegKeys key, const std::u16string& name,
                                             const std::u16string& defaultValue);
  static std::u16string GetHklmRegistryValue(OmbrelRegKeys key, const std::u16string& name,
                                             const std::u16string& defaultValue, bool& found);
  static std::u16string GetHklmRegistryValue(OmbrelRegKeys key, const std::u16string& name,
                                             const char16_t* defaultValue);
  static std::u16string GetHklmRegistryValue(OmbrelRegKeys key, const std::u16string& name,
                                             const char16_t* defaultValue, bool& found);
  static int GetHklmRegistryValue(OmbrelRegKeys key, const std::u16string& name, int defaultValue);
  static int GetHklmRegistryValue(OmbrelRegKeys key, const std::u16string& name, int defaultValue,
                                  bool& found);
  static bool GetHklmRegistryValue(OmbrelRegKeys key, const std::u16string& name,
                                   bool defaultValue);
  static bool GetHklmRegistryValue(OmbrelRegKeys key, const std::u16string& name, bool defaultValue,
                                   bool& found);

  // Registry::SetHklmRegistryValue under the key's path; throws as it does.
  static void SetHklmRegistryValue(OmbrelRegKeys key, const std::u16string& name,
                                   const std::u16string& value);
  static void SetHklmRegistryValue(OmbrelRegKeys key, const std::u16string& name,
                                   const char16_t* value);
  static void SetHklmRegistryValue(OmbrelRegKeys key, const std::u16string& name, int value);
  static void SetHklmRegistryValue(OmbrelRegKeys key, const std::u16string& name, bool value);
};

}  // namespace Qel
