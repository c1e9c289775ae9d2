// Machine-wide settings as registry values: texts, integers and Booleans under a key path.
// The values live in a settings file in the registry editor's text format (QEL_REGISTRY_FILE,
// else ~/.config/qel/registry.reg). Stateless; any thread may call, and writers of several
// processes take turns on the file.
#pragma once

#include <qel/core/Export.h>

#include <cstdint>
#include <string>

namespace Qel {

// The roots of key paths, with the values the registry gives them.
enum HKEY : std::uint32_t {
  HKEY_CLASSES_ROOT = 0x80000000u,
  HKEY_CURRENT_USER = 0x80000001u,
  HKEY_LOCAL_MACHINE = 0x80000002u,
  HKEY_USERS = 0x80000003u,
  HKEY_CURRENT_CONFIG = 0x80000005u,
};

class BaseException;

// Reads never throw: a missing file, key or value, a value of another type, or a file without
// a valid header gives the default with `found` false. Writes create the file and the key when
// needed and throw BaseException 17 with the system's text when the file cannot be written.
class QEL_API Registry {
 public:
  // A text (REG_SZ) value.
  static std::u16string GetRegistryValue(HKEY root, const std::u16string& subkey,
                                         const std::u16string& name,
                                         const std::u16string& defaultValue);
  static std::u16string GetRegistryValue(HKEY root, const std::u16string& subkey,
                                         const std::u16string& name,
                                         const std::u16string& defaultValue, bool& found);

  // GetRegistryValue under HKEY_LOCAL_MACHINE.
  static std::u16string GetHklmRegistryValue(const std::u16string& subkey,
                                             const std::u16string& name,
                                             const std::u16string& defaultValue);
  static std::u16string GetHklmRegistryValue(const std::u16string& subkey,
                                             const std::u16string& name,
                                             const std::u16string& defaultValue, bool& found);
  static std::u16string GetHklmRegistryValue(const std::u16string& subkey,
                                             const std::u16string& name,
                                             const char16_t* defaultValue);
  static std::u16string GetHklmRegistryValue(const std::u16string& subkey,
                                             const std::u16string& name,
                                             const char16_t* defaultValue, bool& found);
  // A REG_DWORD, or a text read as a decimal number (a text that is no number gives the
  // default, with `found` true).
  static int GetHklmRegistryValue(const std::u16string& subkey, const std::u16string& name,
                                  int defaultValue);
  static int GetHklmRegistryValue(const std::u16string& subkey, const std::u16string& name,
                                  int defaultValue, bool& found);
  // A text: "true", "yes", "1" or "false", "no", "0" in any case; other texts give the
  // default, with `found` true.
  static bool GetHklmRegistryValue(const std::u16string& subkey, const std::u16string& name,
                                   bool defaultValue);
  static bool GetHklmRegistryValue(const std::u16string& subkey, const std::u16string& name,
                                   bool defaultValue, bool& found);

  // Writes a text (REG_SZ).
  static void SetRegistryValue(HKEY root, const std::u16string& subkey, const std::u16string& name,
                               const std::u16string& value);
  static void SetHklmRegistryValue(const std::u16string& subkey, const std::u16string& name,
                                   const std::u16string& value);
  static void SetHklmRegistryValue(const std::u16string& subkey, const std::u16string& name,
                                   const char16_t* value);
  // Writes the decimal text of `value` (a REG_SZ, not a REG_DWORD).
  static void SetHklmRegistryValue(const std::u16string& subkey, const std::u16string& name,
                                   int value);
  // Writes "true" or "false".
  static void SetHklmRegistryValue(const std::u16string& subkey, const std::u16string& name,
                                   bool value);
  // Writes a REG_DWORD.
  static void SetDwordRegistryValue(HKEY root, const std::u16string& subkey,
                                    const std::u16string& name, int value);
  static void SetHklmDwordRegistryValue(const std::u16string& subkey, const std::u16string& name,
                                        int value);

 private:
  // Throws BaseException 17 with the system's text for `status` (an errno value).
  [[noreturn]] static BaseException CreateExceptionFromErrorCode(int status);
};

}  // namespace Qel
