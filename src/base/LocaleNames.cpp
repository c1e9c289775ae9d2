#include "qel/base/LocaleNames.h"

#include <mutex>
#include <shared_mutex>

#include "base/JsonHandler.h"
#include "qel/core/ResMgr.h"
#include "qel/core/StringConversion.h"

namespace Qel {

namespace Detail {

LocaleNamesJsonHandler::LocaleNamesJsonHandler(std::u16string displayLanguage,
                                               std::map<std::u16string, std::u16string>& target)
    : JsonHandler(InitializeMaps()),
      m_displayLanguage(std::move(displayLanguage)),
      m_target(target) {}

const std::map<std::u16string, LocaleNamesFlags>& LocaleNamesJsonHandler::InitializeMaps() {
  static const std::map<std::u16string, LocaleNamesFlags> keyFlags{
      {u"languages", LocaleNamesInLanguages}};
  return keyFlags;
}

bool LocaleNamesJsonHandler::Key(const Ch* text, rapidjson::SizeType length, bool copy) {
  if (Depth() == 2) {  // the display-language keys under "main"
    SetTop(m_displayLanguage.compare(0, std::u16string::npos, text, length) == 0
               ? LocaleNamesInDisplayLanguage
               : LocaleNamesNone);
    return true;
  }
  if (Current() == LocaleNamesTaken) m_lastKey.assign(text, length);
  return JsonHandler::Key(text, length, copy);
}

bool LocaleNamesJsonHandler::String(const Ch* text, rapidjson::SizeType length, bool /*copy*/) {
  if (Current() == LocaleNamesTaken) m_target[m_lastKey].assign(text, length);
  GotValue();
  return true;
}

void ReadLocaleNamesJson(const std::u16string& json, const std::u16string& displayLanguage,
                         std::map<std::u16string, std::u16string>& target) noexcept {
  try {
    LocaleNamesJsonHandler handler(displayLanguage, target);
    rapidjson::GenericReader<JsonEncoding, JsonEncoding> reader;
    rapidjson::GenericStringStream<JsonEncoding> stream(json.c_str());
    reader.Parse<rapidjson::kParseIterativeFlag | rapidjson::kParseValidateEncodingFlag>(stream,
                                                                                         handler);
  } catch (...) {
    // Broken input or no memory: the names read so far stay.
  }
}

}  // namespace Detail

namespace {

using NameTable = std::map<std::u16string, std::u16string>;

// Display language -> (code -> name). Filled once per display language, then only read.
std::map<std::u16string, NameTable>& Names() {
  static std::map<std::u16string, NameTable> names;
  return names;
}

std::shared_mutex& NamesLock() {
  static std::shared_mutex lock;
  return lock;
}

constexpr unsigned int kSupplementaryResource = 2012;

// The key under which a display language's names stand in its file: the regional English
// variants use the English file and its names.
std::u16string FileLanguage(const std::u16string& displayLanguage) {
  if (displayLanguage == u"en-US" || displayLanguage == u"en-GB") return u"en";
  return displayLanguage;
}

std::u16string TextResource(unsigned int id) {
  std::u16string text;
  GetLibraryResourceLoader().GetTextString(id, text);
  return text;
}

// The name of the longest prefix of `parts` in `table`, or null.
const std::u16string* Lookup(const NameTable& table, std::vector<std::u16string> parts,
                             std::u16string (*join)(const std::vector<std::u16string>&)) {
  while (!parts.empty()) {
    auto found = table.find(join(parts));
    if (found != table.end()) return &found->second;
    parts.pop_back();
  }
  return nullptr;
}

}  // namespace

unsigned int LocaleNames::GetResourceId(const std::u16string& displayLanguage) {
  static const std::map<std::u16string, unsigned int> resources{
      {u"cs", 2000}, {u"de", 2001}, {u"en", 2002}, {u"en-US", 2002},  {u"en-GB", 2002},
      {u"es", 2003}, {u"fr", 2004}, {u"it", 2005}, {u"ja", 2006},     {u"pl", 2007},
      {u"pt", 2008}, {u"ru", 2009}, {u"sv", 2010}, {u"zh-Hans", 2011}};
  auto found = resources.find(displayLanguage);
  return found == resources.end() ? 0 : found->second;
}

bool LocaleNames::Exists(const std::u16string& displayLanguage) {
  return GetResourceId(displayLanguage) != 0;
}

std::u16string LocaleNames::ToString(const std::vector<std::u16string>& parts) {
  std::u16string joined;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i != 0) joined += u'-';
    joined += parts[i];
  }
  return joined;
}

void LocaleNames::ReadJson(const std::u16string& json, const std::u16string& displayLanguage,
                           std::map<std::u16string, std::u16string>& target) {
  Detail::ReadLocaleNamesJson(json, displayLanguage, target);
}

void LocaleNames::Load(const std::u16string& displayLanguage) {
  NameTable& table = Names()[displayLanguage];
  table.clear();
  std::u16string fileLanguage = FileLanguage(displayLanguage);
  ReadJson(TextResource(GetResourceId(displayLanguage)), fileLanguage, table);
  ReadJson(TextResource(kSupplementaryResource), fileLanguage, table);
}

std::u16string LocaleNames::Get(const std::u16string& displayLanguage, const std::u16string& code,
                                const std::u16string& fallback) {
  try {
    if (!Exists(displayLanguage)) return fallback;
    std::vector<std::u16string> parts = QelSplit(code, u"-");
    {
      std::shared_lock<std::shared_mutex> reading(NamesLock());
      auto table = Names().find(displayLanguage);
      if (table != Names().end()) {
        const std::u16string* name = Lookup(table->second, parts, &ToString);
        return name != nullptr ? *name : fallback;
      }
    }
    // First use of this display language: one thread fills its table while others wait.
    std::unique_lock<std::shared_mutex> writing(NamesLock());
    auto table = Names().find(displayLanguage);
    if (table == Names().end()) {
      try {
        Load(displayLanguage);
      } catch (...) {
        Names().erase(displayLanguage);  // a half-filled table would hide names for good
        throw;
      }
      table = Names().find(displayLanguage);
    }
    const std::u16string* name = Lookup(table->second, parts, &ToString);
    return name != nullptr ? *name : fallback;
  } catch (...) {
    return fallback;  // out of memory while filling a table
  }
}

}  // namespace Qel
