#include "qel/base/Registry.h"

#include <cerrno>

#include "base/RegistryFile.h"
#include "core/Text.h"
#include "core/Throw.h"
#include "platform/Platform.h"
#include "platform/SettingsStore.h"
#include "qel/base/HighAvailability.h"
#include "qel/base/OmbrelRegistry.h"
#include "qel/core/Exceptions.h"
#include "qel/core/StringConversion.h"
#include "qel/util/Files.h"

namespace Qel {

namespace {

const char16_t* RootName(HKEY root) {
  switch (root) {
    case HKEY_CLASSES_ROOT:
      return u"HKEY_CLASSES_ROOT";
    case HKEY_CURRENT_USER:
      return u"HKEY_CURRENT_USER";
    case HKEY_LOCAL_MACHINE:
      return u"HKEY_LOCAL_MACHINE";
    case HKEY_USERS:
      return u"HKEY_USERS";
    case HKEY_CURRENT_CONFIG:
      return u"HKEY_CURRENT_CONFIG";
  }
  return nullptr;
}

// "HKEY_LOCAL_MACHINE\<subkey>"; empty for an unknown root.
std::u16string KeyPath(HKEY root, const std::u16string& subkey) {
  const char16_t* rootName = RootName(root);
  if (rootName == nullptr) return {};
  std::u16string_view rest(subkey);
  while (!rest.empty() && rest.front() == u'\\') rest.remove_prefix(1);
  std::u16string path(rootName);
  if (!rest.empty()) {
    path += u'\\';
    path += rest;
  }
  return path;
}

// The readable value `name` under `keyPath`; false for anything that goes wrong.
bool ReadValue(const std::u16string& keyPath, const std::u16string& name,
               Detail::RegLine& value) noexcept {
  try {
    if (keyPath.empty()) return false;
    std::string path = Platform::SettingsFilePath();
    std::string bytes;
    if (path.empty() || !Platform::ReadWholeFile(path, bytes)) return false;
    Detail::RegistryFile file = Detail::RegistryFile::Parse(bytes);
    const Detail::RegLine* line = file.Find(keyPath, name);
    if (line == nullptr) return false;
    value = *line;
    return true;
  } catch (...) {
    return false;
  }
}

template <class Change>
void WriteValue(HKEY root, const std::u16string& subkey, const std::u16string& name,
                Change change) {
  std::u16string keyPath = KeyPath(root, subkey);
  if (keyPath.empty()) Detail::ThrowSystemError(EBADF);
  // Refused before the settings file or its folder is touched.
  Detail::RegistryFile::CheckKeyAndName(keyPath, name);
  std::string path = Platform::SettingsFilePath();
  if (path.empty()) {
    Detail::ThrowGeneral(
        u"No settings file: set QEL_REGISTRY_FILE, XDG_CONFIG_HOME or HOME to say where it is");
  }
  const auto rewrite = [&](const std::string* current) {
    Detail::RegistryFile file =
        current != nullptr ? Detail::RegistryFile::Parse(*current) : Detail::RegistryFile::Empty();
    if (!file.HasValidHeader()) {
      Detail::ThrowGeneral(u"The settings file '" + Utf8ToUtf16(path.data(), path.size()) +
                           u"' does not start with \"Windows Registry Editor Version 5.00\" or "
                           u"\"REGEDIT4\"; it was left unchanged");
    }
    change(file, keyPath);
    return file.Serialize();
  };
  const std::error_code failure = Platform::RewriteFileLocked(path, rewrite);
  if (failure) Detail::ThrowSystemError(failure.value());
}

}  // namespace

BaseException Registry::CreateExceptionFromErrorCode(int status) {
  Detail::ThrowSystemError(status);
}

std::u16string Registry::GetRegistryValue(HKEY root, const std::u16string& subkey,
                                          const std::u16string& name,
                                          const std::u16string& defaultValue) {
  bool found = false;
  return GetRegistryValue(root, subkey, name, defaultValue, found);
}

std::u16string Registry::GetRegistryValue(HKEY root, const std::u16string& subkey,
                                          const std::u16string& name,
                                          const std::u16string& defaultValue, bool& found) {
  Detail::RegLine value;
  found = ReadValue(KeyPath(root, subkey), name, value) && value.kind == Detail::RegValueKind::Text;
  return found ? value.text : defaultValue;
}

std::u16string Registry::GetHklmRegistryValue(const std::u16string& subkey,
                                              const std::u16string& name,
                                              const std::u16string& defaultValue) {
  bool found = false;
  return GetRegistryValue(HKEY_LOCAL_MACHINE, subkey, name, defaultValue, found);
}

std::u16string Registry::GetHklmRegistryValue(const std::u16string& subkey,
                                              const std::u16string& name,
                                              const std::u16string& defaultValue, bool& found) {
  return GetRegistryValue(HKEY_LOCAL_MACHINE, subkey, name, defaultValue, found);
}

std::u16string Registry::GetHklmRegistryValue(const std::u16string& subkey,
                                              const std::u16string& name,
                                              const char16_t* defaultValue) {
  bool found = false;
  return GetHklmRegistryValue(subkey, name, defaultValue, found);
}

std::u16string Registry::GetHklmRegistryValue(const std::u16string& subkey,
                                              const std::u16string& name,
                                              const char16_t* defaultValue, bool& found) {
  return GetRegistryValue(HKEY_LOCAL_MACHINE, subkey, name,
                          defaultValue != nullptr ? std::u16string(defaultValue) : u"", found);
}

int Registry::GetHklmRegistryValue(const std::u16string& subkey, const std::u16string& name,
                                   int defaultValue) {
  bool found = false;
  return GetHklmRegistryValue(subkey, name, defaultValue, found);
}

int Registry::GetHklmRegistryValue(const std::u16string& subkey, const std::u16string& name,
                                   int defaultValue, bool& found) {
  Detail::RegLine value;
  found = false;
  if (!ReadValue(KeyPath(HKEY_LOCAL_MACHINE, subkey), name, value)) return defaultValue;
  if (value.kind == Detail::RegValueKind::Dword) {
    found = true;
    return static_cast<int>(value.dword);
  }
  if (value.kind == Detail::RegValueKind::Text) {
    found = true;
    try {
      return QelStringToIntegerWithDefault(value.text, defaultValue);
    } catch (...) {
      return defaultValue;
    }
  }
  return defaultValue;
}

bool Registry::GetHklmRegistryValue(const std::u16string& subkey, const std::u16string& name,
                                    bool defaultValue) {
  bool found = false;
  return GetHklmRegistryValue(subkey, name, defaultValue, found);
}

bool Registry::GetHklmRegistryValue(const std::u16string& subkey, const std::u16string& name,
                                    bool defaultValue, bool& found) {
  std::u16string text =
      GetRegistryValue(HKEY_LOCAL_MACHINE, subkey, name, defaultValue ? u"true" : u"false", found);
  if (!found) return defaultValue;
  std::u16string lower;
  try {
    lower = QelStrToLower(text);
  } catch (...) {
    return defaultValue;
  }
  if (lower == u"true" || lower == u"yes" || lower == u"1") return true;
  if (lower == u"false" || lower == u"no" || lower == u"0") return false;
  return defaultValue;
}

void Registry::SetRegistryValue(HKEY root, const std::u16string& subkey, const std::u16string& name,
                                const std::u16string& value) {
  WriteValue(root, subkey, name, [&](Detail::RegistryFile& file, const std::u16string& keyPath) {
    file.SetText(keyPath, name, value);
  });
}

void Registry::SetHklmRegistryValue(const std::u16string& subkey, const std::u16string& name,
                                    const std::u16string& value) {
  SetRegistryValue(HKEY_LOCAL_MACHINE, subkey, name, value);
}

void Registry::SetHklmRegistryValue(const std::u16string& subkey, const std::u16string& name,
                                    const char16_t* value) {
  SetRegistryValue(HKEY_LOCAL_MACHINE, subkey, name,
                   value != nullptr ? std::u16string(value) : std::u16string());
}

void Registry::SetHklmRegistryValue(const std::u16string& subkey, const std::u16string& name,
                                    int value) {
  SetRegistryValue(HKEY_LOCAL_MACHINE, subkey, name, Detail::DecimalU16(value));
}

void Registry::SetHklmRegistryValue(const std::u16string& subkey, const std::u16string& name,
                                    bool value) {
  SetRegistryValue(HKEY_LOCAL_MACHINE, subkey, name, value ? u"true" : u"false");
}

void Registry::SetDwordRegistryValue(HKEY root, const std::u16string& subkey,
                                     const std::u16string& name, int value) {
  WriteValue(root, subkey, name, [&](Detail::RegistryFile& file, const std::u16string& keyPath) {
    file.SetDword(keyPath, name, static_cast<std::uint32_t>(value));
  });
}

void Registry::SetHklmDwordRegistryValue(const std::u16string& subkey, const std::u16string& name,
                                         int value) {
  SetDwordRegistryValue(HKEY_LOCAL_MACHINE, subkey, name, value);
}

// ---------------------------------------------------------------------------------------------
// OmbrelRegistry

std::u16string OmbrelRegistry::GetRegistryKeyPath(OmbrelRegKeys key) {
  static const std::u16string base = u"SOFTWARE\\Zorvic\\Ombrel\\4.0";
  static const std::u16string paths[] = {
      base,
      GetCombinedPath(base, u"Recognition"),
      GetCombinedPath(base, u"RecognitionProcess"),
      GetCombinedPath(base, u"A2iA\\CheckReader"),
      GetCombinedPath(base, u"NLP\\Salience\\Languages"),
  };
  int index = static_cast<int>(key);
  if (index < 0 || index > 4) {
    Detail::ThrowInvalidArgument(u"Qel::OmbrelRegistry::GetRegistryKeyPath(@0 = '" +
                                 Detail::DecimalU16(index) + u"')");
  }
  return paths[index];
}

std::u16string OmbrelRegistry::GetHklmRegistryValue(OmbrelRegKeys key, const std::u16string& name,
                                                    const std::u16string& defaultValue) {
  return Registry::GetHklmRegistryValue(GetRegistryKeyPath(key), name, defaultValue);
}

std::u16string OmbrelRegistry::GetHklmRegistryValue(OmbrelRegKeys key, const std::u16string& name,
                                                    const std::u16string& defaultValue,
                                                    bool& found) {
  return Registry::GetHklmRegistryValue(GetRegistryKeyPath(key), name, defaultValue, found);
}

std::u16string OmbrelRegistry::GetHklmRegistryValue(OmbrelRegKeys key, const std::u16string& name,
                                                    const char16_t* defaultValue) {
  return Registry::GetHklmRegistryValue(GetRegistryKeyPath(key), name, defaultValue);
}

std::u16string OmbrelRegistry::GetHklmRegistryValue(OmbrelRegKeys key, const std::u16string& name,
                                                    const char16_t* defaultValue, bool& found) {
  return Registry::GetHklmRegistryValue(GetRegistryKeyPath(key), name, defaultValue, found);
}

int OmbrelRegistry::GetHklmRegistryValue(OmbrelRegKeys key, const std::u16string& name,
                                         int defaultValue) {
  return Registry::GetHklmRegistryValue(GetRegistryKeyPath(key), name, defaultValue);
}

int OmbrelRegistry::GetHklmRegistryValue(OmbrelRegKeys key, const std::u16string& name,
                                         int defaultValue, bool& found) {
  return Registry::GetHklmRegistryValue(GetRegistryKeyPath(key), name, defaultValue, found);
}

bool OmbrelRegistry::GetHklmRegistryValue(OmbrelRegKeys key, const std::u16string& name,
                                          bool defaultValue) {
  return Registry::GetHklmRegistryValue(GetRegistryKeyPath(key), name, defaultValue);
}

bool OmbrelRegistry::GetHklmRegistryValue(OmbrelRegKeys key, const std::u16string& name,
                                          bool defaultValue, bool& found) {
  return Registry::GetHklmRegistryValue(GetRegistryKeyPath(key), name, defaultValue, found);
}

void OmbrelRegistry::SetHklmRegistryValue(OmbrelRegKeys key, const std::u16string& name,
                                          const std::u16string& value) {
  Registry::SetHklmRegistryValue(GetRegistryKeyPath(key), name, value);
}

void OmbrelRegistry::SetHklmRegistryValue(OmbrelRegKeys key, const std::u16string& name,
                                          const char16_t* value) {
  Registry::SetHklmRegistryValue(GetRegistryKeyPath(key), name, value);
}

void OmbrelRegistry::SetHklmRegistryValue(OmbrelRegKeys key, const std::u16string& name,
                                          int value) {
  Registry::SetHklmRegistryValue(GetRegistryKeyPath(key), name, value);
}

void OmbrelRegistry::SetHklmRegistryValue(OmbrelRegKeys key, const std::u16string& name,
                                          bool value) {
  Registry::SetHklmRegistryValue(GetRegistryKeyPath(key), name, value);
}

// ---------------------------------------------------------------------------------------------
// HighAvailability

HighAvailability* HighAvailability::instance = nullptr;

HighAvailability* HighAvailability::getInstance() {
  // Created once, thread-safely, and never freed: components may read it during exit.
  static HighAvailability* const created = instance = new HighAvailability();
  return created;
}

void HighAvailability::InitializeHAParameters(bool isActive, std::int32_t retrySeconds,
                                              std::int32_t milliSecondsBetweenRetries) {
  m_isActive.store(isActive, std::memory_order_relaxed);
  m_retrySeconds.store(retrySeconds, std::memory_order_relaxed);
  m_milliSecondsBetweenRetries.store(milliSecondsBetweenRetries, std::memory_order_relaxed);
}

}  // namespace Qel
