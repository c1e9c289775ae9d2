#include "qel/base/LocaleNames.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "base/JsonHandler.h"
#include "qel/core/ResMgr.h"

namespace Qel {
namespace {

TEST(LocaleNames, NamesComeFromTheDisplayLanguagesTable) {
  EXPECT_EQ(LocaleNames::Get(u"de", u"fr", u"?"), u"Französisch");
  EXPECT_EQ(LocaleNames::Get(u"en", u"zh-Hans", u"?"), u"Simplified Chinese");
  EXPECT_EQ(LocaleNames::Get(u"ja", u"fr", u"?"), u"フランス語");
  EXPECT_EQ(LocaleNames::Get(u"zh-Hans", u"fr", u"?"), u"法语");
  EXPECT_EQ(LocaleNames::Get(u"ru", u"fr", u"?"), u"французский");
  // The supplementary table, in English and in CLDR's own words where it has them.
  EXPECT_EQ(LocaleNames::Get(u"en", u"sr-Latn", u"?"), u"Serbian (Latin)");
  EXPECT_EQ(LocaleNames::Get(u"de", u"sr-Latn", u"?"), u"Serbisch (Lateinisch)");
  EXPECT_EQ(LocaleNames::Get(u"ja", u"tug-TD", u"?"), u"Tun");
  EXPECT_EQ(LocaleNames::Get(u"fr", u"wen-DE", u"?"), u"Sorbian (Wend)");
  // Longer codes fall back part by part.
  EXPECT_EQ(LocaleNames::Get(u"de", u"sr-Latn-RS", u"?"), u"Serbisch (Lateinisch)");
  EXPECT_EQ(LocaleNames::Get(u"en", u"sr-Cyrl-RS", u"?"), u"Serbian");
  EXPECT_EQ(LocaleNames::Get(u"en", u"de-CH", u"?"), u"Swiss High German");
  EXPECT_EQ(LocaleNames::Get(u"en", u"de-AT-x", u"?"), u"Austrian German");
}

TEST(LocaleNames, RegionalEnglishUsesTheEnglishNames) {
  EXPECT_EQ(LocaleNames::Get(u"en-US", u"fr", u"?"), u"French");
  EXPECT_EQ(LocaleNames::Get(u"en-GB", u"sr-Latn", u"?"), u"Serbian (Latin)");
}

TEST(LocaleNames, UnknownDisplayLanguageOrCodeGivesTheFallback) {
  EXPECT_EQ(LocaleNames::Get(u"nl", u"fr", u"fallback"), u"fallback");
  EXPECT_EQ(LocaleNames::Get(u"en", u"xx-YY", u"fallback"), u"fallback");
  EXPECT_EQ(LocaleNames::Get(u"en", u"", u"fallback"), u"fallback");
  EXPECT_EQ(LocaleNames::Get(u"en", u"---", u"fallback"), u"fallback");
  EXPECT_EQ(LocaleNames::Get(u"", u"fr", u"fallback"), u"fallback");
  EXPECT_EQ(LocaleNames::Get(u"EN", u"fr", u"fallback"), u"fallback")
      << "display languages are exact";
}

TEST(LocaleNames, EveryTextResourceIsEmbedded) {
  for (unsigned int id = 2000; id <= 2012; ++id) {
    std::u16string text;
    GetLibraryResourceLoader().GetTextString(id, text);
    EXPECT_GT(text.size(), 1000u) << id;
    EXPECT_EQ(text.rfind(u"{", 0), 0u) << id;
  }
  for (const char16_t* language :
       {u"cs", u"de", u"en", u"es", u"fr", u"it", u"ja", u"pl", u"pt", u"ru", u"sv", u"zh-Hans"}) {
    EXPECT_NE(LocaleNames::Get(language, u"de", u"?"), u"?");
    EXPECT_NE(LocaleNames::Get(language, u"qti-001", u"?"), u"?");
  }
}

std::map<std::u16string, std::u16string> Filter(const std::u16string& json,
                                                const std::u16string& language = u"en") {
  std::map<std::u16string, std::u16string> names;
  Detail::ReadLocaleNamesJson(json, language, names);
  return names;
}

TEST(LocaleNamesFilter, TakesOnlyTheRequestedLanguagesNames) {
  const std::u16string json =
      uR"({"main": {
      "de": {"localeDisplayNames": {"languages": {"fr": "Französisch"}}},
      "en": {"identity": {"language": "en", "version": {"_cldrVersion": "42"}},
             "localeDisplayNames": {"languages": {"fr": "French", "n": 1,
                                                  "de": "German"}}},
      "languages": {"xx": "not under a display language"}}})";
  auto names = Filter(json);
  EXPECT_EQ(names.size(), 2u);
  EXPECT_EQ(names[u"fr"], u"French");
  EXPECT_EQ(names[u"de"], u"German");
  EXPECT_EQ(Filter(json, u"de").at(u"fr"), u"Französisch");
  EXPECT_TRUE(Filter(json, u"it").empty());
}

TEST(LocaleNamesFilter, BrokenInputKeepsWhatWasReadAndNeverCrashes) {
  const std::u16string start = uR"({"main": {"en": {"x": {"languages": {"fr": "French", )";
  auto truncated = Filter(start + u"\"de\": \"Ger");
  EXPECT_EQ(truncated.size(), 1u);
  EXPECT_EQ(truncated[u"fr"], u"French");
  // An escaped low surrogate without its high half.
  auto lone = Filter(start + uR"("de": "\uDC00", "it": "Italian"}}}}})");
  EXPECT_EQ(lone[u"fr"], u"French");
  // A raw unpaired surrogate in the text fails validation.
  std::u16string raw = start + u"\"de\": \"";
  raw.push_back(static_cast<char16_t>(0xD800));
  raw += u"\"}}}}}";
  EXPECT_EQ(Filter(raw)[u"fr"], u"French");
  // Deep nesting is read without recursion.
  std::u16string deep(200000, u'[');
  EXPECT_TRUE(Filter(deep).empty());
  std::u16string deepObjects;
  for (int i = 0; i < 100000; ++i) deepObjects += u"{\"a\":";
  EXPECT_TRUE(Filter(deepObjects).empty());
  EXPECT_TRUE(Filter(u"").empty());
  EXPECT_TRUE(Filter(u"not json").empty());
}

TEST(LocaleNamesConcurrency, FirstUseFromManyThreadsFillsTheTableOnce) {
  std::vector<std::u16string> results(8);
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < results.size(); ++i) {
    threads.emplace_back([&results, i] {
      results[i] = LocaleNames::Get(i % 2 ? u"pl" : u"sv", u"fr", u"?") +
                   LocaleNames::Get(i % 2 ? u"sv" : u"pl", u"de", u"?");
    });
  }
  for (auto& thread : threads) thread.join();
  for (std::size_t i = 0; i < results.size(); ++i) {
    EXPECT_EQ(results[i], i % 2 ? u"francuskityska" : u"franskaniemiecki") << "thread " << i;
  }
}

}  // namespace
}  // namespace Qel
