// Message texts by numeric id, formatted with arguments, in the language chosen for the
// process, and whole text resources compiled into the library. The library holds one
// ResMgr and one ResourceLoader, ready on first use; after initialisation they are only read,
// so any thread may use them at the same time. Init is not to be called while other threads
// read the same object.
#pragma once

#include <qel/core/Export.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace Qel {

// A module: the path of a shared object or executable. A null or empty path means the
// library itself.
using HINSTANCE = const char16_t*;

class QEL_API ResMgr {
 public:
  ResMgr();
  ~ResMgr();
  ResMgr(const ResMgr&) = delete;
  ResMgr& operator=(const ResMgr&) = delete;

  // Stores the module, drops a language catalogue of an earlier Init, chooses the message
  // language and loads the language catalogue <module folder>/<lang>/<module base name>.lng.
  // Writes a diagnostic line to standard output when it falls back to English.
  void Init(HINSTANCE module);
  void Init(HINSTANCE module, bool dataFileOnly);
  // Init for the module file `modulePath` (an empty path: the library itself).
  void Init(const std::u16string& modulePath, bool dataFileOnly = true);

  // The module's own texts (the fallback for every language), as catalogue text: one
  // "id<TAB>text" per line with \n, \r, \t and \\ escapes. The library's manager has the
  // message table; other modules give theirs here before or after Init.
  void SetModuleStrings(const std::string& utf8Catalogue);

  // The text of `id` unformatted, or "Resource string #<id> not found!".
  std::u16string GetString(unsigned int id) const;
  // Empty a2/a3 count as absent.
  std::u16string GetString(unsigned int id, const std::u16string& a1, const std::u16string& a2,
                           const std::u16string& a3) const;
  // Formats with a1 alone when a2 is null, a1 and a2 when a3 is null, else all three.
  std::u16string GetString(unsigned int id, const char16_t* a1, const char16_t* a2,
                           const char16_t* a3) const;
  std::u16string GetString(unsigned int id, const std::int32_t* p1, const std::int32_t* p2,
                           const std::u16string& s) const;
  std::u16string GetString(unsigned int id, const std::int32_t* p1, const std::u16string& s) const;
  // p1 must not be null; formats with *p1 alone when p2 is null, *p1 and *p2 when p3 is null.
  std::u16string GetStringL(unsigned int id, const std::int32_t* p1, const std::int32_t* p2,
                            const std::int32_t* p3) const;
  std::u16string GetStringT(unsigned int id, const unsigned int* n) const;
  std::u16string GetStringUI32(unsigned int id, const unsigned int* n) const;

  // The language catalogue's path when one is loaded, else the module's path.
  std::u16string GetResourceHandle() const;
  // The chosen language ("en", "de", "de-DE"); at most 15 units.
  const char16_t* GetLanguage() const { return m_language; }

  // Language selection steps, usable on their own.
  static std::u16string GetComponentsLanguageOrDefault(const std::u16string& folder,
                                                       const std::u16string& moduleFileName);
  static bool TryToFindResourceFolderForLanguage(const std::u16string& folder,
                                                 const std::u16string& language,
                                                 std::u16string& found);
  static bool TryToGetThreadLocale(std::u16string& name);
  // Loads <languageFolder>/<module base name>.lng; false when the name has no extension to
  // replace or the file cannot be read. `handle` receives the catalogue path.
  static bool LoadLanguageResource(const std::u16string& languageFolder,
                                   const std::u16string& moduleFileName, bool dataFileOnly,
                                   std::u16string& handle);

 private:
  struct Catalogue;
  // The catalogue LoadLanguageResource names, read and parsed; null when it cannot be read.
  static std::unique_ptr<Catalogue> ReadLanguageCatalogue(const std::u16string& languageFolder,
                                                          const std::u16string& moduleFileName,
                                                          std::u16string& handle);
  // Null when the id exists nowhere.
  const std::u16string* Find(unsigned int id) const;
  void SetLanguage(const std::u16string& language);

  std::u16string m_module;
  std::u16string m_languageResource;
  char16_t m_language[16];
  std::unique_ptr<Catalogue> m_moduleStrings;
  std::unique_ptr<Catalogue> m_languageStrings;
};

class QEL_API ResourceLoader {
 public:
  void Init(HINSTANCE module);
  // Reads the text resource `id` of `type` ("TEXTFILE", "XML") decoded from UTF-8; an unknown
  // resource gives an empty `out`.
  void GetString(unsigned int id, const std::u16string& type, std::u16string& out) const;
  void GetTextString(unsigned int id, std::u16string& out) const;
  void GetXmlString(unsigned int id, std::u16string& out) const;

 private:
  std::u16string m_module;
};

// The library's own resource manager and resource loader, initialised on first use.
QEL_API ResMgr& GetLibraryResMgr();
QEL_API const ResourceLoader& GetLibraryResourceLoader();

}  // namespace Qel
