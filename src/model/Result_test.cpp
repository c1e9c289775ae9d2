#include <gtest/gtest.h>
#include <qel/core/Exceptions.h>
#include <qel/core/StringConversion.h>
#include <qel/model/FullResult.h>
#include <qel/model/SparseResult.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace Qel {
namespace {

std::string Utf8(const std::u16string& s) { return ConvertWideCharToUtf8(s); }

template <class Entries>
std::vector<std::uint32_t> Indices(const Entries& entries) {
  std::vector<std::uint32_t> out;
  for (const auto& e : entries) out.push_back(e.GetIndex());
  return out;
}

TEST(FullResultTest, BestResultsPickPositiveOrFinalLargestFirstAndCache) {
  auto r = FullResult::CreateSharedPtr();
  EXPECT_EQ(r->GetTag(), FullResult::DEFAULT_TAG);
  EXPECT_EQ(r->GetRefCount(), 1);
  r->SetResults(std::vector<float>{0.0f, 0.2f, -0.5f, 0.9f, 0.4f, 0.1f, 0.3f});
  r->SetResultItem(2, -0.5f, ResTypeFinal);  // type exactly 1 enters although not positive

  EXPECT_EQ(Indices(r->GetBestResults(5)), (std::vector<std::uint32_t>{3, 4, 6, 1, 5}));
  // A shorter request returns the cached longer answer.
  EXPECT_EQ(r->GetBestResults(2).size(), 5u);
  // Zero asks for all: the final item with a negative value comes last.
  const auto& all = r->GetBestResults(0);
  ASSERT_EQ(all.size(), 6u);
  EXPECT_EQ(all.back().GetIndex(), 2u);
  EXPECT_EQ(all.back().GetResType(), ResTypeFinal);

  // Changing a value empties the cache; setting the same value does not.
  r->SetResultItem(1, 0.95f, ResTypeNew);
  ASSERT_EQ(r->GetBestResults(1).size(), 1u) << "cache kept although the value changed";
  EXPECT_EQ(r->GetBestResults(1)[0].GetIndex(), 1u);
  r->SetResults(std::vector<float>{0.0f, 0.5f});
  EXPECT_EQ(r->GetBestResults(1).size(), 1u);
  r->SetResultItem(1, 0.5f, ResTypeFinal);
  EXPECT_EQ(r->GetBestResults(1)[0].GetResType(), ResTypeNew) << "unchanged value keeps cache";
}

TEST(FullResultTest, PlaceholderOutOfRangeFinalClassesAndGrowth) {
  auto r = FullResult::CreateSharedPtr();
  FullResultItem init(0.0f, ResTypeNew);
  r->Initialize(3, &init);
  EXPECT_EQ(r->GetResults().size(), 4u);
  const auto& best = r->GetBestResults(3);
  ASSERT_EQ(best.size(), 1u);
  EXPECT_EQ(best[0].GetIndex(), 0u);
  EXPECT_EQ(best[0].GetValue(), 0.0f);
  EXPECT_EQ(best[0].GetResType(), ResTypeNew);

  EXPECT_EQ(r->GetResult(99), 0.0f);
  EXPECT_EQ(r->GetResultType(99), ResTypeNone);

  r->SetResultItem(0, 0.5f, ResTypeFinal);  // item 0 is never a final class
  EXPECT_EQ(r->GetFinalClassCount(), 0u);
  r->SetResultItem(7, 0.25f, static_cast<eResultType>(0x1001));
  r->SetResultItem(2, 0.75f, ResTypeFinal);
  EXPECT_EQ(r->GetResults().size(), 8u);
  EXPECT_EQ(r->GetFinalClassCount(), 2u);
  EXPECT_EQ(r->GetFinalClassId(0), 2u);
  EXPECT_EQ(r->GetFinalClassId(1), 7u);
  EXPECT_EQ(r->GetFinalClassId(2), 0u);

  // A NaN always counts as a change.
  r->GetBestResults(0);
  r->SetResultItem(3, std::numeric_limits<float>::quiet_NaN(), ResTypeNew);
  r->SetResultItem(3, std::numeric_limits<float>::quiet_NaN(), ResTypeNew);
  EXPECT_TRUE(std::isnan(r->GetResult(3)));
}

TEST(ResultTest, CloneCarriesDefaultTagAndEntriesButNotCache) {
  auto full = FullResult::CreateSharedPtr();
  full->SetTagName("Xyzw");
  full->SetResults(std::vector<float>{0.0f, 0.3f, 0.6f});
  Result* copy = full->Clone();
  EXPECT_EQ(copy->GetTag(), FullResult::DEFAULT_TAG);
  EXPECT_EQ(copy->GetRefCount(), 1);
  EXPECT_EQ(copy->GetResult(2), 0.6f);
  copy->Release();

  auto sparse = SparseResult::CreateSharedPtr();
  sparse->SetTagName("Abcd");
  sparse->SetResultItem(3, 0.5f, ResTypeFinal);
  sparse->SetResultItem(3, 0.7f, static_cast<eResultType>(0x1001));
  Result* sc = sparse->Clone();
  EXPECT_EQ(sc->GetTag(), SparseResult::DEFAULT_TAG);
  EXPECT_EQ(static_cast<SparseResult*>(sc)->GetResults().size(), 2u);
  sc->Release();
}

TEST(SparseResultTest, KindsCoexistAndOverwriteFirstOfSameKind) {
  auto r = SparseResult::CreateSharedPtr();
  EXPECT_FALSE(r->IsValid());
  r->SetResultItem(3, 0.5f, ResTypeFinal);
  r->SetResultItem(3, 0.7f, static_cast<eResultType>(0x1001));
  ASSERT_EQ(r->GetResults().size(), 2u);
  r->SetResultItem(3, 0.9f, ResTypeFinal);
  auto entries = r->GetResults();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].GetValue(), 0.9f);
  EXPECT_EQ(entries[1].GetValue(), 0.7f);
  EXPECT_EQ(r->GetResult(3), 0.9f);
  EXPECT_EQ(r->GetResultType(4), ResTypeNone);

  r->SetResultItem(1, 0.95f, ResTypeNew);
  EXPECT_EQ(r->GetBestResults(1).size(), 3u) << "sparse best results are all entries";
  r->SortResults();
  EXPECT_EQ(r->GetBestResults(0)[0].GetIndex(), 1u);
  EXPECT_EQ(r->GetFinalClassCount(), 2u);
  EXPECT_EQ(r->GetFinalClassId(1), 3u);
  EXPECT_EQ(r->GetFinalClassId(5), 0u);
}

TEST(ResultXmlTest, PlaceholderSavesCountOneAndNoItems) {
  auto r = FullResult::CreateSharedPtr();
  r->Initialize(2, nullptr);
  EXPECT_EQ(Utf8(r->SaveToXmlString()),
            "<?xml version=\"1.0\"?>\n<ClsResults ClsCount=\"1\"></ClsResults>");
  // A final item with value 0 is in best but not written.
  r->SetResultItem(1, 0.0f, ResTypeFinal);
  EXPECT_EQ(Utf8(r->SaveToXmlString()),
            "<?xml version=\"1.0\"?>\n<ClsResults ClsCount=\"1\"></ClsResults>");
  // The threshold is 1e-7 as a double: 1e-7f lies just above it and is written, 9e-8f is not.
  r->SetResults(std::vector<float>{0.0f, 1e-7f, 9e-8f});
  EXPECT_EQ(Utf8(r->SaveToXmlString()),
            "<?xml version=\"1.0\"?>\n<ClsResults ClsCount=\"2\">"
            "<ClsItem conf=\"0.000000\" restype=\"2\" ClassId=\"1\"></ClsItem></ClsResults>");
}

TEST(ResultXmlTest, RoundTripWithIdentifiersAndLoadRules) {
  Result::SetClassIdentifiers({{2, u"class-two"}, {3, u""}});
  auto r = FullResult::CreateSharedPtr();
  r->SetResults(std::vector<float>{0.0f, 0.25f, 0.5f, 0.125f});
  r->SetResultItem(3, 0.125f, ResTypeFinal);
  const std::u16string xml = r->SaveToXmlString();
  EXPECT_EQ(
      Utf8(xml),
      "<?xml version=\"1.0\"?>\n<ClsResults ClsCount=\"3\">"
      "<ClsItem conf=\"0.500000\" restype=\"2\" ClassId=\"2\" ClassGuid=\"class-two\"></ClsItem>"
      "<ClsItem conf=\"0.250000\" restype=\"2\" ClassId=\"1\"></ClsItem>"
      "<ClsItem conf=\"0.125000\" restype=\"1\" ClassId=\"3\"></ClsItem></ClsResults>");
  Result::SetClassIdentifiers({});

  // ClsCount 3 gives 4 items before the items are applied.
  auto loaded = FullResult::CreateSharedPtr();
  loaded->LoadFromXmlString(xml);
  ASSERT_EQ(loaded->GetResults().size(), 4u);
  EXPECT_EQ(loaded->GetResult(2), 0.5f);
  EXPECT_EQ(loaded->GetResult(1), 0.25f);
  EXPECT_EQ(loaded->GetResultType(3), ResTypeFinal);

  // A sparse result ignores ClsCount and keeps what it held.
  auto sparse = SparseResult::CreateSharedPtr();
  sparse->SetResultItem(9, 0.9f, ResTypeNew);
  sparse->SetResultItem(2, 0.1f, ResTypeNew);
  sparse->LoadFromXmlString(xml);
  auto entries = sparse->GetResults();
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[1].GetIndex(), 2u);
  EXPECT_EQ(entries[1].GetValue(), 0.5f) << "same index and kind is overwritten";

  // Another root element changes nothing, also when written by Save under another name.
  auto other = FullResult::CreateSharedPtr();
  other->LoadFromXmlString(
      u"<?xml version=\"1.0\"?>\n<Other ClsCount=\"5\"><ClsItem conf=\"0.5\" "
      u"ClassId=\"1\"/></Other>");
  EXPECT_TRUE(other->GetResults().empty());
  // Nor is a "ClsResults" below another root loaded.
  other->LoadFromXmlString(
      u"<Doc><ClsResults ClsCount=\"3\"><ClsItem conf=\"0.5\" ClassId=\"1\"/></ClsResults></Doc>");
  EXPECT_TRUE(other->GetResults().empty());

  // Attributes in any order, absent ones 0, unknown ones skipped.
  auto order = SparseResult::CreateSharedPtr();
  order->LoadFromXmlString(
      u"<ClsResults><ClsItem x=\"1\" ClassId=\"4\" conf=\"0.75\"/><ClsItem/></ClsResults>");
  auto e = order->GetResults();
  ASSERT_EQ(e.size(), 2u);
  EXPECT_EQ(e[0].GetIndex(), 4u);
  EXPECT_EQ(e[0].GetValue(), 0.75f);
  EXPECT_EQ(e[0].GetResType(), ResTypeNone);
  EXPECT_EQ(e[1].GetIndex(), 0u);
}

TEST(ResultXmlTest, HostileCountsThrowAndMalformedTextKeepsResult) {
  auto r = FullResult::CreateSharedPtr();
  r->SetResults(std::vector<float>{0.0f, 0.5f});
  try {
    r->LoadFromXmlString(u"<ClsResults ClsCount=\"4294967295\"></ClsResults>");
    FAIL() << "huge class count accepted";
  } catch (const BaseException& e) {
    EXPECT_EQ(e.GetErrorId(), 1);
  }
  EXPECT_EQ(r->GetResults().size(), 2u);
  EXPECT_THROW(r->LoadFromXmlString(u"<ClsResults><ClsItem ClassId=\"4000000000\"/></ClsResults>"),
               BaseException);
  EXPECT_EQ(r->GetResults().size(), 2u);
  r->LoadFromXmlString(u"<ClsResults ClsCount=\"2\"><ClsItem conf=");
  EXPECT_EQ(r->GetResults().size(), 3u);
}

TEST(ResultConcurrencyTest, IdentifiersCanChangeWhileOtherThreadsSave) {
  std::vector<std::thread> savers;
  std::atomic<bool> bad{false};
  for (int t = 0; t < 3; ++t) {
    savers.emplace_back([&bad] {
      auto r = FullResult::CreateSharedPtr();
      r->SetResults(std::vector<float>{0.0f, 0.5f});
      for (int i = 0; i < 300; ++i) {
        const std::string xml = Utf8(r->SaveToXmlString());
        // Each save sees one whole map: the identifier is either absent or complete.
        if (xml.find("ClassGuid") != std::string::npos &&
            xml.find("ClassGuid=\"identifier-of-class-one\"") == std::string::npos) {
          bad = true;
        }
      }
    });
  }
  for (int i = 0; i < 300; ++i) {
    Result::SetClassIdentifiers(
        i % 2 ? std::map<unsigned int, std::u16string>{}
              : std::map<unsigned int, std::u16string>{{1, u"identifier-of-class-one"}});
  }
  for (auto& t : savers) t.join();
  Result::SetClassIdentifiers({});
  EXPECT_FALSE(bad);
}

}  // namespace
}  // namespace Qel
