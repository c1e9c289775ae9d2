#include <gtest/gtest.h>
#include <qel/core/Exceptions.h>
#include <qel/core/IntrusivePtr.h>
#include <qel/kit/TermVector.h>
#include <qel/kit/TextVectorizer.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace Qel {
namespace {

std::uint32_t GramId(std::u32string gram, unsigned bits) {
  std::vector<std::uint32_t> units(gram.begin(), gram.end());
  return static_cast<std::uint32_t>(TextVectorizer::Hash(2, units.data(), units.size()) >>
                                    (64 - bits));
}

std::map<std::uint32_t, float> AsMap(const std::vector<TermEntry>& v) {
  std::map<std::uint32_t, float> m;
  for (const TermEntry& e : v) m[e.id] = e.weight;
  return m;
}

TEST(TextVectorizerTest, CharacterGramsCountedByHand) {
  VectorizerOptions o;
  o.words = false;
  o.charMin = 1;
  o.charMax = 2;
  o.hashBits = 26;
  TextVectorizer v(o);
  std::vector<TermEntry> out;
  // Case folding and form KC: the full-width A and the ligature become "a" and "fi".
  v.Vectorize(u"\uFF21b ab \uFB01", out);
  // " ab " twice: a, b, " a", ab, "b "; " fi ": f, i, " f", fi, "i ".
  const std::map<std::uint32_t, float> expected = {
      {GramId(U"a", 26), 2},  {GramId(U"b", 26), 2}, {GramId(U" a", 26), 2}, {GramId(U"ab", 26), 2},
      {GramId(U"b ", 26), 2}, {GramId(U"f", 26), 1}, {GramId(U"i", 26), 1},  {GramId(U" f", 26), 1},
      {GramId(U"fi", 26), 1}, {GramId(U"i ", 26), 1}};
  EXPECT_EQ(AsMap(out), expected);
  for (std::size_t i = 1; i < out.size(); ++i) EXPECT_LT(out[i - 1].id, out[i].id);

  // A character beyond the BMP is one code point.
  v.Vectorize(u"\U0001F600", out);
  EXPECT_EQ(AsMap(out), (std::map<std::uint32_t, float>{{GramId(U"\U0001F600", 26), 1},
                                                        {GramId(U" \U0001F600", 26), 1},
                                                        {GramId(U"\U0001F600 ", 26), 1}}));
}

TEST(TextVectorizerTest, WordsAndOptions) {
  VectorizerOptions o;
  o.charMax = 0;
  TextVectorizer words(o);
  std::vector<TermEntry> out;
  words.Vectorize(u"Ab ab, AB x cd", out);  // "x" is below the minimum length
  ASSERT_EQ(out.size(), 2u);
  std::map<float, int> weights;
  for (const TermEntry& e : out) ++weights[e.weight];
  EXPECT_EQ(weights, (std::map<float, int>{{1.0f, 1}, {3.0f, 1}}));

  // A word and the n-gram of the same letters are different features.
  VectorizerOptions both = o;
  both.charMin = 2;
  both.charMax = 2;
  TextVectorizer mixed(both);
  mixed.Vectorize(u"ab", out);
  EXPECT_EQ(out.size(), 4u);  // the word, " a", "ab", "b "

  o.sublinearTf = true;
  TextVectorizer sub(o);
  sub.Vectorize(u"Ab ab, AB x cd", out);
  std::vector<float> w;
  for (const TermEntry& e : out) w.push_back(e.weight);
  std::sort(w.begin(), w.end());
  ASSERT_EQ(w.size(), 2u);
  EXPECT_FLOAT_EQ(w[1], 1.0f + std::log(3.0f));

  o.digits = true;
  TextVectorizer digits(o);
  digits.Vectorize(u"42 ab", out);
  EXPECT_EQ(out.size(), 2u);
  words.Vectorize(u"42 ab", out);
  EXPECT_EQ(out.size(), 1u);
  words.Vectorize(u"", out);
  EXPECT_TRUE(out.empty());

  const struct {
    unsigned minWord, charMin, charMax, bits;
    bool words;
  } bad[] = {{0, 1, 4, 20, true}, {256, 1, 4, 20, true}, {2, 0, 4, 20, true}, {2, 5, 4, 20, true},
             {2, 1, 9, 20, true}, {2, 1, 4, 7, true},    {2, 1, 4, 27, true}, {2, 1, 0, 20, false}};
  for (const auto& b : bad) {
    VectorizerOptions x;
    x.minWordLength = b.minWord;
    x.charMin = b.charMin;
    x.charMax = b.charMax;
    x.hashBits = b.bits;
    x.words = b.words;
    EXPECT_THROW(TextVectorizer{x}, BaseException) << b.minWord << " " << b.charMax;
  }
}

TEST(TextVectorizerTest, DeterministicAcrossInstancesAndThreads) {
  VectorizerOptions o;
  o.hashBits = 12;
  const TextVectorizer a(o);
  const TextVectorizer b(o);
  const std::u16string text =
      u"Der schnelle braune Fuchs springt \u00FCber den faulen Hund. \u4E2D\u6587 42 \u0130stanbul";
  std::vector<TermEntry> first;
  std::vector<TermEntry> second;
  a.Vectorize(text, first);
  b.Vectorize(text, second);
  EXPECT_EQ(first, second);
  ASSERT_FALSE(first.empty());
  for (std::size_t i = 0; i < first.size(); ++i) {
    EXPECT_LT(first[i].id, 1u << 12);
    EXPECT_GT(first[i].weight, 0.0f);
    if (i > 0) {
      EXPECT_LT(first[i - 1].id, first[i].id);
    }
  }
  // A fixed hash: the same value on every machine.
  const std::uint32_t units[] = {'a', 'b'};
  EXPECT_EQ(TextVectorizer::Hash(2, units, 2), TextVectorizer::Hash(2, units, 2));
  EXPECT_NE(TextVectorizer::Hash(1, units, 2), TextVectorizer::Hash(2, units, 2));

  std::vector<std::vector<TermEntry>> results(4);
  std::vector<std::thread> threads;
  for (auto& r : results) {
    threads.emplace_back([&a, &text, &r] {
      std::vector<TermEntry> out;
      for (int i = 0; i < 200; ++i) {
        a.Vectorize(text, out);
        if (out != r && !r.empty()) return;
        r = out;
      }
    });
  }
  for (auto& t : threads) t.join();
  for (const auto& r : results) EXPECT_EQ(r, first);
}

TEST(TermVectorTest, SortsMergesAndDots) {
  const auto a = AdoptRef(TermVector::Create({{7, 1.0f}, {2, 2.0f}, {7, 0.5f}, {4, 1.0f}}));
  EXPECT_EQ(a->GetEntries(), (std::vector<TermEntry>{{2, 2.0f}, {4, 1.0f}, {7, 1.5f}}));
  EXPECT_DOUBLE_EQ(a->GetTotalWeight(), 4.5);
  EXPECT_EQ(a->GetTag(), TermVector::DEFAULT_TAG);
  EXPECT_EQ(TermVector::DEFAULT_TAG.GetName(), "Tvec");
  const auto b = AdoptRef(TermVector::Create());
  EXPECT_FALSE(b->IsValid());
  b->SetEntries({{7, 2.0f}, {3, 5.0f}, {2, 1.0f}});
  EXPECT_TRUE(b->IsValid());
  EXPECT_DOUBLE_EQ(a->dot(*b), 2.0 * 1.0 + 1.5 * 2.0);
  EXPECT_DOUBLE_EQ(b->dot(*a), a->dot(*b));
  EXPECT_DOUBLE_EQ(a->dot(Representation()), 0.0);
}

TEST(TermVectorTest, SaveLoadAndHostileBytes) {
  const auto a = AdoptRef(TermVector::Create({{1, 0.25f}, {900, 3.0f}}));
  std::stringstream s;
  ASSERT_TRUE(a->Save(&s));
  const std::string bytes = s.str();
  EXPECT_EQ(bytes.size(), 8u + 2 * 8u);
  EXPECT_EQ(bytes.substr(0, 8), std::string("TVec\x02\x00\x00\x00", 8));
  const auto b = AdoptRef(TermVector::Create());
  std::istringstream in(bytes);
  ASSERT_TRUE(b->Load(&in));
  EXPECT_EQ(b->GetEntries(), a->GetEntries());

  auto withEntry = [&](std::uint32_t id, float w) {
    std::string x = bytes;
    std::memcpy(x.data() + 16, &id, 4);
    std::memcpy(x.data() + 20, &w, 4);
    return x;
  };
  const std::string hostile[] = {
      bytes.substr(0, bytes.size() - 1),       // truncated
      std::string("TVec\xff\xff\xff\x7f", 8),  // a count with no entries behind it
      "XVec" + bytes.substr(4),                // not a term vector
      withEntry(1, 1.0f),                      // duplicate id
      withEntry(0, 1.0f),                      // unsorted
      withEntry(5, std::numeric_limits<float>::infinity()),
      withEntry(5, std::numeric_limits<float>::quiet_NaN())};
  for (const std::string& h : hostile) {
    std::istringstream hin(h);
    EXPECT_FALSE(b->Load(&hin));
    EXPECT_EQ(b->GetEntries(), a->GetEntries());  // unchanged
  }
}

}  // namespace
}  // namespace Qel
