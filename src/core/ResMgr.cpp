#include "qel/core/ResMgr.h"

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <unordered_map>

#include "core/EmbeddedResources.h"
#include "core/MessageFormat.h"
#include "core/Throw.h"
#include "platform/Platform.h"
#include "qel/core/StringConversion.h"

namespace Qel {

namespace {

constexpr std::size_t kMaxFormatted = 4095;
constexpr std::size_t kLanguageUnits = 16;
constexpr std::size_t kEnvironmentUnits = 85;
constexpr const char* kLanguageVariable = "Zorvic Components Language";

std::string Utf8(const std::u16string& s) { return Utf16ToUtf8(s.data(), s.size()); }
std::u16string Utf16(const std::string& s) { return Utf8ToUtf16(s.data(), s.size()); }

// Joins a folder and a name with "/" unless the folder already ends in a delimiter.
std::u16string Join(const std::u16string& folder, const std::u16string& name) {
  if (folder.empty()) return name;
  if (name.empty()) return folder;
  const char16_t last = folder.back();
  if (last == u'/' || last == u'\\' || last == u':') return folder + name;
  return folder + u"/" + name;
}

bool FolderExists(const std::u16string& path) { return Platform::IsFolder(Utf8(path)); }

void Diagnostic(const std::u16string& line) { Platform::WriteDiagnosticLine(Utf8(line)); }

// One catalogue line's text with its escapes resolved.
std::string Unescape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out.push_back(text[i]);
      continue;
    }
    switch (text[++i]) {
      case 'n':
        out.push_back('\n');
        break;
      case 'r':
        out.push_back('\r');
        break;
      case 't':
        out.push_back('\t');
        break;
      case '\\':
        out.push_back('\\');
        break;
      default:
        out.push_back('\\');
        out.push_back(text[i]);
        break;
    }
  }
  return out;
}

}  // namespace

struct ResMgr::Catalogue {
  std::unordered_map<unsigned int, std::u16string> texts;

  // Parses "id<TAB>text" lines; comment lines start with '#', malformed lines are skipped,
  // and an empty text counts as missing.
  void Parse(std::string_view data) {
    if (data.substr(0, 3) == "\xEF\xBB\xBF") data.remove_prefix(3);
    while (!data.empty()) {
      const std::size_t end = data.find('\n');
      std::string_view line = data.substr(0, end);
      data.remove_prefix(end == std::string_view::npos ? data.size() : end + 1);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      if (line.empty() || line[0] == '#') continue;
      const std::size_t tab = line.find('\t');
      if (tab == std::string_view::npos || tab == 0 || tab > 10) continue;
      unsigned long id = 0;
      bool digits = true;
      for (char c : line.substr(0, tab)) {
        if (c < '0' || c > '9')
          digits = false;
        else
          id = id * 10 + static_cast<unsigned long>(c - '0');
      }
      if (!digits || id > 0xFFFFFFFFul) continue;
      const std::string text = Unescape(line.substr(tab + 1));
      if (text.empty()) continue;
      texts[static_cast<unsigned int>(id)] = Utf16(text);
    }
  }

  const std::u16string* Find(unsigned int id) const {
    const auto it = texts.find(id);
    return it == texts.end() ? nullptr : &it->second;
  }
};

ResMgr::ResMgr() : m_language{}, m_moduleStrings(std::make_unique<Catalogue>()) {}
ResMgr::~ResMgr() = default;

void ResMgr::Init(HINSTANCE module) { Init(module, true); }

void ResMgr::Init(HINSTANCE module, bool dataFileOnly) {
  Init(module != nullptr ? std::u16string(module) : std::u16string(), dataFileOnly);
}

void ResMgr::Init(const std::u16string& modulePath, bool /*dataFileOnly*/) {
  m_languageStrings.reset();
  m_languageResource.clear();
  std::u16string path = modulePath;
  if (path.empty())
    path = Utf16(Platform::ModulePathOf(reinterpret_cast<const void*>(&GetLibraryResMgr)));
  m_module = path;
  if (path.empty()) {
    errno = ENOENT;
    Diagnostic(u"Resource manager - Failed to get the current module filename with error: '" +
               GetLastErrorMessage() + u"'.");
    SetLanguage(u"en");
    return;
  }
  const std::size_t slash = path.find_last_of(u"/\\");
  const std::u16string folder = slash == std::u16string::npos ? u"" : path.substr(0, slash);
  const std::u16string fileName = slash == std::u16string::npos ? path : path.substr(slash + 1);

  const std::u16string language = GetComponentsLanguageOrDefault(folder, fileName);
  if (language == u"en") {
    SetLanguage(language);
    return;
  }
  const std::u16string languageFolder = Join(folder, language);
  const bool folderExists = FolderExists(languageFolder);
  std::u16string handle;
  std::unique_ptr<Catalogue> catalogue;
  if (folderExists && language.size() < kLanguageUnits &&
      (catalogue = ReadLanguageCatalogue(languageFolder, fileName, handle))) {
    m_languageStrings = std::move(catalogue);
    m_languageResource = handle;
    SetLanguage(language);
    return;
  }
  if (folderExists) {
    Diagnostic(
        u"Resource manager - Failed to locate or load the corresponding language resource for the "
        u"dll: '" +
        fileName + u" in the folder '" + languageFolder + u"'. Language: " + language);
  }
  SetLanguage(u"en");
  Diagnostic(u"The resource manager for the dll '" + fileName +
             u"' will run under the 'en' language since it was not possible to find the resource "
             u"for the language: " +
             language);
}

void ResMgr::SetModuleStrings(const std::string& utf8Catalogue) {
  auto catalogue = std::make_unique<Catalogue>();
  catalogue->Parse(utf8Catalogue);
  m_moduleStrings = std::move(catalogue);
}

void ResMgr::SetLanguage(const std::u16string& language) {
  const std::size_t n = std::min(language.size(), kLanguageUnits - 1);
  std::copy_n(language.begin(), n, m_language);
  m_language[n] = u'\0';
}

std::u16string ResMgr::GetComponentsLanguageOrDefault(const std::u16string& folder,
                                                      const std::u16string& moduleFileName) {
  std::u16string found;
  if (const auto value = Platform::GetEnv(kLanguageVariable)) {
    const std::u16string language = Utf16(*value);
    if (!language.empty() && language.size() < kEnvironmentUnits &&
        TryToFindResourceFolderForLanguage(folder, language, found)) {
      return found;
    }
  }
  const std::string executable = Platform::ExecutablePath();
  if (executable.empty()) Detail::ThrowGeneral(u"Failed to get the current executable filename.");
  if (executable.find(".Tests.exe") != std::string::npos ||
      executable.find(".regsvr32.exe") != std::string::npos) {
    Diagnostic(u"The language for the resource manager for '" + moduleFileName +
               u"' loaded by the executable '" + Utf16(executable) +
               u"' has been enforced to 'en'.");
    return u"en";
  }
  std::u16string name;
  if (TryToGetThreadLocale(name) && TryToFindResourceFolderForLanguage(folder, name, found)) {
    return found;
  }
  return u"en";
}

bool ResMgr::TryToFindResourceFolderForLanguage(const std::u16string& folder,
                                                const std::u16string& language,
                                                std::u16string& found) {
  if (FolderExists(Join(folder, language))) {
    found = language;
    return true;
  }
  const std::vector<std::u16string> parts = QelSplit(language, u"-");
  if (parts.size() >= 2 && FolderExists(Join(folder, parts[0]))) {
    found = parts[0];
    return true;
  }
  return false;
}

bool ResMgr::TryToGetThreadLocale(std::u16string& name) {
  const auto locale = Platform::MessageLocaleName();
  if (!locale || locale->size() >= kEnvironmentUnits) return false;
  name = Utf16(*locale);
  return true;
}

bool ResMgr::LoadLanguageResource(const std::u16string& languageFolder,
                                  const std::u16string& moduleFileName, bool /*dataFileOnly*/,
                                  std::u16string& handle) {
  return ReadLanguageCatalogue(languageFolder, moduleFileName, handle) != nullptr;
}

std::unique_ptr<ResMgr::Catalogue> ResMgr::ReadLanguageCatalogue(
    const std::u16string& languageFolder, const std::u16string& moduleFileName,
    std::u16string& handle) {
  // A shared object drops ".so" and any version suffix; other files need a three-letter
  // extension, which ".lng" replaces.
  std::u16string base;
  const std::size_t so = moduleFileName.find(u".so");
  const bool sharedObject = so != std::u16string::npos && so > 0 &&
                            (so + 3 == moduleFileName.size() || moduleFileName[so + 3] == u'.');
  if (sharedObject) {
    base = moduleFileName.substr(0, so);
  } else if (moduleFileName.size() >= 4 && moduleFileName[moduleFileName.size() - 4] == u'.') {
    base = moduleFileName.substr(0, moduleFileName.size() - 4);
  } else {
    return nullptr;
  }
  const std::u16string file = Join(languageFolder, base + u".lng");
  std::string data;
  if (!Platform::ReadWholeFile(Utf8(file), data)) {
    handle.clear();
    return nullptr;
  }
  auto catalogue = std::make_unique<Catalogue>();
  catalogue->Parse(data);
  handle = file;
  return catalogue;
}

const std::u16string* ResMgr::Find(unsigned int id) const {
  if (m_languageStrings) {
    if (const std::u16string* text = m_languageStrings->Find(id)) return text;
  }
  return m_moduleStrings ? m_moduleStrings->Find(id) : nullptr;
}

namespace {
std::u16string NotFound(unsigned int id) {
  return Detail::FormatMessageText(u"Resource string #%d not found!",
                                   {static_cast<std::int32_t>(id)});
}
}  // namespace

std::u16string ResMgr::GetString(unsigned int id) const {
  const std::u16string* text = Find(id);
  return text ? *text : NotFound(id);
}

std::u16string ResMgr::GetString(unsigned int id, const std::u16string& a1,
                                 const std::u16string& a2, const std::u16string& a3) const {
  return GetString(id, a1.c_str(), a2.empty() ? nullptr : a2.c_str(),
                   a3.empty() ? nullptr : a3.c_str());
}

std::u16string ResMgr::GetString(unsigned int id, const char16_t* a1, const char16_t* a2,
                                 const char16_t* a3) const {
  const std::u16string* text = Find(id);
  if (!text) return NotFound(id);
  if (a2 == nullptr) return Detail::FormatMessageText(*text, {a1}, kMaxFormatted);
  if (a3 == nullptr) return Detail::FormatMessageText(*text, {a1, a2}, kMaxFormatted);
  return Detail::FormatMessageText(*text, {a1, a2, a3}, kMaxFormatted);
}

std::u16string ResMgr::GetString(unsigned int id, const std::int32_t* p1, const std::int32_t* p2,
                                 const std::u16string& s) const {
  const std::u16string* text = Find(id);
  if (!text) return NotFound(id);
  return Detail::FormatMessageText(*text, {*p1, *p2, s}, kMaxFormatted);
}

std::u16string ResMgr::GetString(unsigned int id, const std::int32_t* p1,
                                 const std::u16string& s) const {
  const std::u16string* text = Find(id);
  if (!text) return NotFound(id);
  return Detail::FormatMessageText(*text, {*p1, s}, kMaxFormatted);
}

std::u16string ResMgr::GetStringL(unsigned int id, const std::int32_t* p1, const std::int32_t* p2,
                                  const std::int32_t* p3) const {
  const std::u16string* text = Find(id);
  if (!text) return NotFound(id);
  if (p2 == nullptr) return Detail::FormatMessageText(*text, {*p1}, kMaxFormatted);
  if (p3 == nullptr) return Detail::FormatMessageText(*text, {*p1, *p2}, kMaxFormatted);
  return Detail::FormatMessageText(*text, {*p1, *p2, *p3}, kMaxFormatted);
}

std::u16string ResMgr::GetStringT(unsigned int id, const unsigned int* n) const {
  const std::u16string* text = Find(id);
  if (!text) return NotFound(id);
  return Detail::FormatMessageText(*text, {static_cast<std::uint32_t>(*n)}, kMaxFormatted);
}

std::u16string ResMgr::GetStringUI32(unsigned int id, const unsigned int* n) const {
  return GetStringT(id, n);
}

std::u16string ResMgr::GetResourceHandle() const {
  return m_languageResource.empty() ? m_module : m_languageResource;
}

// ---- ResourceLoader -------------------------------------------------------------------------

namespace {

// resources/index.txt: "id<TAB>type<TAB>relative path" for each text resource.
struct ResourceIndex {
  std::unordered_map<std::string, std::string> paths;  // "type/id" -> path

  ResourceIndex() {
    std::string_view data = Detail::FindEmbeddedResource("index.txt");
    while (!data.empty()) {
      const std::size_t end = data.find('\n');
      std::string_view line = data.substr(0, end);
      data.remove_prefix(end == std::string_view::npos ? data.size() : end + 1);
      if (line.empty() || line[0] == '#') continue;
      const std::size_t t1 = line.find('\t');
      const std::size_t t2 = t1 == std::string_view::npos ? t1 : line.find('\t', t1 + 1);
      if (t2 == std::string_view::npos) continue;
      std::string key(line.substr(t1 + 1, t2 - t1 - 1));
      key += '/';
      key += line.substr(0, t1);
      paths.emplace(std::move(key), std::string(line.substr(t2 + 1)));
    }
  }
};

}  // namespace

void ResourceLoader::Init(HINSTANCE module) { m_module = module ? module : u""; }

void ResourceLoader::GetString(unsigned int id, const std::u16string& type,
                               std::u16string& out) const {
  static const ResourceIndex index;
  out.clear();
  const auto it = index.paths.find(Utf8(type) + "/" + std::to_string(id));
  if (it == index.paths.end()) return;
  const std::string_view bytes = Detail::FindEmbeddedResource(it->second);
  out = Utf8ToUtf16(bytes.data(), bytes.size());
}

void ResourceLoader::GetTextString(unsigned int id, std::u16string& out) const {
  GetString(id, u"TEXTFILE", out);
}

void ResourceLoader::GetXmlString(unsigned int id, std::u16string& out) const {
  GetString(id, u"XML", out);
}

// ---- The library's instances ----------------------------------------------------------------

ResMgr& GetLibraryResMgr() {
  // Never destroyed: exceptions may still be described while other statics are torn down.
  static ResMgr* const instance = [] {
    auto* manager = new ResMgr;
    manager->SetModuleStrings(std::string(Detail::FindEmbeddedResource("messages.txt")));
    manager->Init(std::u16string(), true);
    return manager;
  }();
  return *instance;
}

const ResourceLoader& GetLibraryResourceLoader() {
  static const ResourceLoader instance = [] {
    ResourceLoader loader;
    loader.Init(GetLibraryResMgr().GetResourceHandle().c_str());
    return loader;
  }();
  return instance;
}

}  // namespace Qel
