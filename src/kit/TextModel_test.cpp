#include <gtest/gtest.h>
#include <qel/core/Exceptions.h>
#include <qel/core/IntrusivePtr.h>
#include <qel/core/StringConversion.h>
#include <qel/kit/TextModel.h>
#include <qel/learn/BayesClassifier.h>
#include <qel/model/DocumentNode.h>
#include <qel/model/SparseResult.h>

#include <unistd.h>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <qel/util/Base64.h>

namespace Qel {
namespace {

namespace fs = std::filesystem;

class TempDir {
 public:
  TempDir() : m_path(fs::temp_directory_path() / ("qel_kit_" + std::to_string(::getpid()))) {
    fs::create_directories(m_path);
  }
  ~TempDir() { fs::remove_all(m_path); }
  std::u16string File(const std::string& name) const {
    return ConvertUtf8ToWideChar((m_path / name).string());
  }

 private:
  fs::path m_path;
};

std::string ReadBytes(const std::u16string& path) {
  std::ifstream in(ConvertWideCharToUtf8(path), std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteBytes(const std::u16string& path, const std::string& bytes) {
  std::ofstream(ConvertWideCharToUtf8(path), std::ios::binary) << bytes;
}

// A class tree's models in class id order.
std::vector<ClassModel*> Models(DocumentNode* tree) {
  std::vector<ClassModel*> models;
  for (VectorIterator it = tree->GetVectorIterator(); !it.Done(); it.Next()) {
    models.push_back(static_cast<ClassModel*>(it.Current()));
  }
  return models;
}

ModelOptions SmallOptions(ModelKind kind) {
  ModelOptions o;
  o.kind = kind;
  o.alpha = 0.5;
  o.vectorizer.hashBits = 8;
  return o;
}

// Two classes over features 1..3, alpha 0.5: A counts f1 = 3, f2 = 1 in two documents; B counts
// f2 = 1, f3 = 2 in one. The document is {f1, f3}, total weight 2.
TEST(TextModelTest, ScoresMatchAnExampleWorkedByHand) {
  const auto doc = AdoptRef(TermVector::Create({{1, 1.0f}, {3, 1.0f}}));
  const double logA[] = {std::log(3.5 / 5.5), std::log(1.5 / 5.5), std::log(0.5 / 5.5)};
  const double logB[] = {std::log(0.5 / 4.5), std::log(1.5 / 4.5), std::log(2.5 / 4.5)};
  const struct {
    ModelKind kind;
    double a, b, lo, hi;
  } cases[] = {
      {ModelKind::MultinomialNB, (std::log(2.0 / 3) + logA[0] + logA[2]) / 2,
       (std::log(1.0 / 3) + logB[0] + logB[2]) / 2, logA[2] + std::log(1.0 / 3), logA[0]},
      // Complement: class A is scored by B's counts and the other way round.
      {ModelKind::ComplementNB, -(logB[0] + logB[2]) / 2, -(logA[0] + logA[2]) / 2, -logA[0],
       -logA[2]},
  };
  for (const auto& c : cases) {
    TextModel model(SmallOptions(c.kind));
    EXPECT_EQ(model.AddClass(u"A"), 1u);
    EXPECT_EQ(model.AddClass(u"B"), 2u);
    EXPECT_EQ(model.AddClass(u"A"), 1u);
    model.Train(1, {{1, 2.0f}, {2, 1.0f}});
    model.Train(1, {{1, 1.0f}});
    model.Train(2, {{2, 1.0f}, {3, 2.0f}});
    const auto tree = AdoptRef(model.CreateClassTree());
    const auto models = Models(tree.get());
    ASSERT_EQ(models.size(), 2u);
    EXPECT_EQ(models[0]->GetClassId(), 1u);
    EXPECT_EQ(models[1]->GetLabel(), u"B");
    EXPECT_EQ(models[0]->GetTag(), ClassModel::DEFAULT_TAG);
    EXPECT_NEAR(models[0]->dot(*doc), c.a, 1e-6);
    EXPECT_NEAR(models[1]->dot(*doc), c.b, 1e-6);
    for (ClassModel* m : models) {
      EXPECT_NEAR(m->GetMinimum(), c.lo, 1e-6);
      EXPECT_NEAR(m->GetMaximum(), c.hi, 1e-6);
      // Features no training document had do not count; another representation scores lowest.
      const auto unseen = AdoptRef(TermVector::Create({{1, 1.0f}, {3, 1.0f}, {200, 50.0f}}));
      EXPECT_DOUBLE_EQ(m->dot(*unseen), m->dot(*doc));
      EXPECT_DOUBLE_EQ(m->dot(Representation()), m->GetMinimum());
    }
  }

  // idf, log((1 + 3) / (1 + df)) + 1, scales the counts and the document's weights: f1 and f2
  // are in two of the three documents, f3 in one.
  ModelOptions o = SmallOptions(ModelKind::MultinomialNB);
  o.idf = true;
  TextModel model(o);
  model.AddClass(u"A");
  model.AddClass(u"B");
  model.Train(1, {{1, 2.0f}, {2, 1.0f}});
  model.Train(1, {{1, 1.0f}});
  model.Train(2, {{2, 1.0f}, {3, 2.0f}});
  const double i1 = std::log(4.0 / 3) + 1;
  const double i2 = std::log(4.0 / 3) + 1;
  const double i3 = std::log(4.0 / 2) + 1;
  const double nA = 3 * i1 + 1 * i2;
  const double expected = (std::log(2.0 / 3) + i1 * std::log((3 * i1 + 0.5) / (nA + 1.5)) +
                           i3 * std::log(0.5 / (nA + 1.5))) /
                          (i1 + i3);
  const auto tree = AdoptRef(model.CreateClassTree());
  EXPECT_NEAR(Models(tree.get())[0]->dot(*doc), expected, 1e-6);
}

TEST(TextModelTest, RefusesBadInput) {
  ModelOptions o = SmallOptions(ModelKind::MultinomialNB);
  o.alpha = 0.0;
  EXPECT_THROW(TextModel{o}, BaseException);
  o.alpha = std::nan("");
  EXPECT_THROW(TextModel{o}, BaseException);
  o = SmallOptions(ModelKind::MultinomialNB);
  o.kind = static_cast<ModelKind>(7);
  EXPECT_THROW(TextModel{o}, BaseException);

  TextModel model(SmallOptions(ModelKind::MultinomialNB));
  EXPECT_THROW(model.CreateClassTree(), BaseException);  // no class
  EXPECT_THROW(model.AddClass(u""), BaseException);
  model.AddClass(u"A");
  model.AddClass(u"B");
  EXPECT_THROW(model.Train(3, {{1, 1.0f}}), BaseException);
  EXPECT_THROW(model.Train(1, {{256, 1.0f}}), BaseException);
  EXPECT_THROW(model.Train(1, {{1, -1.0f}}), BaseException);
  EXPECT_THROW(model.Train(1, {{1, INFINITY}}), BaseException);
  model.Train(1, {{1, 1.0f}});
  EXPECT_THROW(model.CreateClassTree(), BaseException);  // B has no document
  TextModel other(SmallOptions(ModelKind::ComplementNB));
  EXPECT_THROW(model.Merge(other), BaseException);
}

const char16_t* const kTexts[][2] = {
    {u"en", u"The quick brown fox jumps over the lazy dog"},
    {u"de", u"Der schnelle braune Fuchs springt \u00FCber den faulen Hund"},
    {u"en", u"A stitch in time saves nine, they say"},
    {u"fr", u"Le renard brun rapide saute par-dessus le chien paresseux"},
    {u"de", u"Wer zuletzt lacht, lacht am besten"},
    {u"fr", u"Qui vivra verra, dit le proverbe"},
    {u"en", u"Where there is a will there is a way"},
    {u"de", u"\u00DCbung macht den Meister"},
    {u"fr", u"Petit \u00E0 petit, l'oiseau fait son nid"},
};

void TrainTexts(TextModel& model, std::size_t first, std::size_t last) {
  std::vector<TermEntry> features;
  for (std::size_t i = first; i < last; ++i) {
    const std::uint32_t id = model.AddClass(kTexts[i][0]);
    model.GetVectorizer().Vectorize(kTexts[i][1], features);
    model.Train(id, features);
  }
}

TEST(TextModelTest, MergedShardsSaveAsOneTraining) {
  TempDir dir;
  ModelOptions o;
  o.vectorizer.hashBits = 16;
  o.vectorizer.sublinearTf = true;  // fractional weights: sums must not depend on the order
  o.idf = true;
  TextModel whole(o);
  TrainTexts(whole, 0, 9);
  TextModel merged(o);
  TrainTexts(merged, 0, 4);
  TextModel shard2(o);
  TrainTexts(shard2, 4, 6);
  TextModel shard3(o);
  TrainTexts(shard3, 6, 9);
  merged.Merge(shard2);
  merged.Merge(shard3);
  EXPECT_EQ(merged.GetLabels(), whole.GetLabels());
  EXPECT_EQ(merged.GetDocumentCounts(), whole.GetDocumentCounts());
  whole.Save(dir.File("whole.xml"), false);
  merged.Save(dir.File("merged.xml"), false);
  const std::string bytes = ReadBytes(dir.File("whole.xml"));
  EXPECT_EQ(ReadBytes(dir.File("merged.xml")), bytes);

  EXPECT_NE(bytes.find("version=\"2\""), std::string::npos);

  // A tree document walk trains the same model as the single calls.
  TextModel fromTree(o);
  for (const auto& t : kTexts) fromTree.AddClass(t[0]);
  const auto root = AdoptRef(DocumentNode::Create());
  std::vector<TermEntry> features;
  for (const auto& t : kTexts) {
    auto d = AdoptRef(DocumentNode::Create(fromTree.AddClass(t[0]), root.get()));
    fromTree.GetVectorizer().Vectorize(t[1], features);
    auto v = AdoptRef(TermVector::Create(features));
    ASSERT_TRUE(d->AddRepresentation(v.get()));
    v.release();
    root->AddChild(d.release());
  }
  fromTree.Train(root.get());
  fromTree.Save(dir.File("tree.xml"), false);
  EXPECT_EQ(ReadBytes(dir.File("tree.xml")), bytes);

  // Round trips, plain and gzip, give the same bytes and the same scores.
  whole.Save(dir.File("whole.xml.gz"), true);
  EXPECT_NE(ReadBytes(dir.File("whole.xml.gz")), bytes);
  for (const char* name : {"whole.xml", "whole.xml.gz"}) {
    const auto loaded = TextModel::Load(dir.File(name));
    EXPECT_EQ(loaded->GetOptions(), o);
    loaded->Save(dir.File("again.xml"), false);
    EXPECT_EQ(ReadBytes(dir.File("again.xml")), bytes) << name;
    const auto a = AdoptRef(whole.CreateClassTree());
    const auto b = AdoptRef(loaded->CreateClassTree());
    loaded->GetVectorizer().Vectorize(u"Le chien et le renard", features);
    const auto doc = AdoptRef(TermVector::Create(features));
    for (std::size_t c = 0; c < 3; ++c) {
      EXPECT_EQ(Models(a.get())[c]->dot(*doc), Models(b.get())[c]->dot(*doc));
    }
    EXPECT_EQ(Models(a.get())[2]->GetLabel(), u"fr");
  }
  EXPECT_EQ(TextModel::LoadFromMemory(bytes.data(), bytes.size())->GetLabels(), whole.GetLabels());
  // No temporary file is left beside the model.
  std::size_t files = 0;
  for (const auto& e : fs::directory_iterator(fs::path(ConvertWideCharToUtf8(dir.File(""))))) {
    files += e.path().extension() == ".tmp";
  }
  EXPECT_EQ(files, 0u);
}

// Texts trained on workers (each counting classes of its own) give the bytes of one training, and
// class trees filled on workers score as the one filled alone.
TEST(TextModelConcurrency, WorkersTrainAndFillClassTreesAsOneThread) {
  TempDir dir;
  ModelOptions o;
  o.vectorizer.hashBits = 10;  // small: the tables turn into arrays
  o.vectorizer.sublinearTf = true;
  TextModel whole(o);
  TrainTexts(whole, 0, std::size(kTexts));
  whole.Save(dir.File("whole.xml"), false);
  const std::string bytes = ReadBytes(dir.File("whole.xml"));
  std::vector<std::uint32_t> ids;
  std::vector<std::u16string_view> texts;
  for (const auto& t : kTexts) texts.push_back(t[1]);
  for (unsigned threads : {1u, 2u, 3u}) {
    TextModel parallel(o);
    ids.clear();
    for (const auto& t : kTexts) ids.push_back(parallel.AddClass(t[0]));
    std::atomic<std::size_t> counted{0};  // called from several workers at once
    parallel.Train(ids, texts, threads, [&counted](std::size_t n) { counted += n; });
    EXPECT_EQ(counted, std::size(kTexts));
    parallel.Save(dir.File("parallel.xml"), false);
    EXPECT_EQ(ReadBytes(dir.File("parallel.xml")), bytes) << threads;
    const auto one = AdoptRef(parallel.CreateClassTree(1));
    const auto many = AdoptRef(parallel.CreateClassTree(threads));
    std::vector<TermEntry> f;
    parallel.GetVectorizer().Vectorize(u"Petit chien, grand renard", f);
    const auto doc = AdoptRef(TermVector::Create(f));
    for (std::size_t c = 0; c < 3; ++c) {
      EXPECT_EQ(Models(one.get())[c]->dot(*doc), Models(many.get())[c]->dot(*doc));
      EXPECT_EQ(Models(one.get())[c]->GetMinimum(), Models(many.get())[c]->GetMinimum());
    }
  }
  // A bad class id counts nothing.
  TextModel refused(o);
  refused.AddClass(u"en");
  EXPECT_THROW(refused.Train({1, 2}, {texts[0], texts[1]}, 2), BaseException);
  EXPECT_THROW(refused.Train({1}, {texts[0], texts[1]}, 2), BaseException);
  EXPECT_EQ(refused.GetDocumentCounts(), std::vector<std::uint64_t>{0});
}

std::string Replace(std::string s, const std::string& pattern, const std::string& with) {
  return std::regex_replace(s, std::regex(pattern), with, std::regex_constants::format_first_only);
}

// One chunk's text: the given bytes in Base64.
std::string Chunk(const std::string& bytes) { return Base64::ToBase64(bytes); }
// One entry, the first of its element (its gap is its id), as LEB128 numbers; `whole` writes the
// value in units of 2^16.
std::string Entry(std::uint32_t id, std::uint64_t value, bool whole = false) {
  std::string bytes;
  for (std::uint64_t n : {std::uint64_t{id} * 2 + whole, value}) {
    for (; n >= 0x80; n >>= 7) bytes.push_back(static_cast<char>((n & 0x7F) | 0x80));
    bytes.push_back(static_cast<char>(n));
  }
  return bytes;
}

TEST(TextModelTest, HostileFilesGiveTheLibrarysExceptions) {
  TempDir dir;
  TextModel model(SmallOptions(ModelKind::MultinomialNB));
  model.AddClass(u"A");
  model.AddClass(u"B");
  model.Train(1, {{1, 2.0f}, {2, 1.0f}});
  model.Train(2, {{2, 1.0f}, {3, 2.0f}});
  model.Save(dir.File("good.xml"), false);
  model.Save(dir.File("good.xml.gz"), true);
  const std::string good = ReadBytes(dir.File("good.xml"));
  ASSERT_NO_THROW(TextModel::LoadFromMemory(good.data(), good.size()));

  enum Kind { Format, Argument, Base };
  const auto isKind = [](Kind k) {
    return std::function<bool(const BaseException&)>([k](const BaseException& e) {
      if (k == Format) return dynamic_cast<const XMLFormatException*>(&e) != nullptr;
      if (k == Argument) return e.GetErrorId() == ErrorId::InvalidArgument;
      return true;
    });
  };
  const std::string chunk = "<Chunk>[^<]*</Chunk>";
  const struct {
    const char* what;
    std::string text;
    Kind kind;
  } cases[] = {
      {"other version", Replace(good, "version=\"2\"", "version=\"1\""), Format},
      {"other root", Replace(good, "QelTextModel", "Model"), Format},
      {"truncated", good.substr(0, good.size() / 2), Format},
      {"empty", "", Format},
      {"missing attribute", Replace(good, " hashBits=\"8\"", ""), Format},
      {"bad number", Replace(good, "hashBits=\"8\"", "hashBits=\"8x\""), Format},
      {"hash bits out of range", Replace(good, "hashBits=\"8\"", "hashBits=\"40\""), Argument},
      {"infinite alpha", Replace(good, "alpha=\"[^\"]*\"", "alpha=\"inf\""), Argument},
      {"nan alpha", Replace(good, "alpha=\"[^\"]*\"", "alpha=\"nan\""), Argument},
      {"huge class count", Replace(good, "classes=\"2\"", "classes=\"4000000000\""), Argument},
      {"missing class", Replace(good, "classes=\"2\"", "classes=\"3\""), Format},
      {"huge document counts",
       Replace(Replace(good, "documents=\"1\"", "documents=\"18446744073709551615\""),
               "documents=\"1\"", "documents=\"2\""),
       Argument},
      {"lying entry count", Replace(good, "entries=\"2\"", "entries=\"99999999999\""), Argument},
      {"bad base64", Replace(good, chunk, "<Chunk>AAAA!AAA</Chunk>"), Base},
      {"chunk length", Replace(good, chunk, "<Chunk>AAAAAA</Chunk>"), Argument},
      {"id out of range", Replace(good, chunk, "<Chunk>" + Chunk(Entry(256, 1)) + "</Chunk>"),
       Argument},
      {"zero count", Replace(good, chunk, "<Chunk>" + Chunk(Entry(1, 0)) + "</Chunk>"), Argument},
      {"number cut off", Replace(good, chunk, "<Chunk>" + Chunk("\x01\x81") + "</Chunk>"),
       Argument},
      {"number beyond 64 bits",
       Replace(good, chunk,
               "<Chunk>" + Chunk("\x01" + std::string(9, '\xff') + "\x02") + "</Chunk>"),
       Argument},
      {"whole units beyond 64 bits",
       Replace(good, chunk, "<Chunk>" + Chunk(Entry(1, std::uint64_t{1} << 50, true)) + "</Chunk>"),
       Argument},
      {"gap past the hash space",
       Replace(good, chunk, "<Chunk>" + Chunk(Entry(200, 1) + Entry(60, 1)) + "</Chunk>"),
       Argument},
      {"frequency beyond documents",
       Replace(good, "(<DocumentFrequency[^>]*>)<Chunk>[^<]*</Chunk>",
               "$1<Chunk>" + Chunk(Entry(1, 3)) + "</Chunk>"),
       Argument},
      {"counts of an unknown class", Replace(good, "class=\"2\"", "class=\"9\""), Argument},
      {"duplicate label", Replace(good, "label=\"B\"", "label=\"A\""), Argument},
      {"unknown element", Replace(good, "<Class ", "<Other "), Format},
  };
  for (const auto& c : cases) {
    ASSERT_NE(c.text, good) << c.what;
    try {
      TextModel::LoadFromMemory(c.text.data(), c.text.size());
      ADD_FAILURE() << c.what << ": loaded";
    } catch (const BaseException& e) {
      EXPECT_TRUE(isKind(c.kind)(e))
          << c.what << ": " << ConvertWideCharToUtf8(e.GetErrorDescription());
    }
  }

  // Files: missing, and a truncated gzip stream.
  EXPECT_THROW(TextModel::Load(dir.File("missing.xml")), FileIOException);
  const std::string gz = ReadBytes(dir.File("good.xml.gz"));
  WriteBytes(dir.File("cut.xml.gz"), gz.substr(0, gz.size() - 12));
  EXPECT_THROW(TextModel::Load(dir.File("cut.xml.gz")), BaseException);
  // A model that cannot be written throws.
  EXPECT_THROW(model.Save(dir.File("no/such/folder/m.xml"), false), BaseException);
}

// ClassifyDocuments on 1 and 4 threads attaches what one BayesClassifier run attaches.
TEST(TextModelTest, ParallelClassificationMatchesOneRun) {
  ModelOptions o;
  o.vectorizer.hashBits = 14;
  TextModel model(o);
  TrainTexts(model, 0, 9);
  const auto classes = AdoptRef(model.CreateClassTree());
  const char16_t* const probes[] = {u"the dog and the fox",
                                    u"der Hund und der Fuchs",
                                    u"le chien et le renard",
                                    u"saves the way",
                                    u"lacht",
                                    u"oiseau",
                                    u"zzz",
                                    u"Meister"};
  auto makeTree = [&] {
    auto root = AdoptRef(DocumentNode::Create());
    std::vector<TermEntry> features;
    for (int round = 0; round < 40; ++round) {
      auto group = AdoptRef(DocumentNode::Create(0, root.get()));
      for (const char16_t* p : probes) {
        auto d = AdoptRef(DocumentNode::Create(1, group.get()));
        model.GetVectorizer().Vectorize(p, features);
        auto v = AdoptRef(TermVector::Create(features));
        d->AddRepresentation(v.release());
        group->AddChild(d.release());
      }
      root->AddChild(group.release());
    }
    return root;
  };
  BayesControl settings;
  settings.SetClassTag(ClassModel::DEFAULT_TAG);
  settings.SetDocumentTag(TermVector::DEFAULT_TAG);
  settings.SetResultTag(SparseResult::DEFAULT_TAG);
  settings.SetDoNormalize(true);
  settings.SetMaxResults(2);

  auto expected = makeTree();
  BayesClassifier bayes;
  BayesControl one = settings;
  one.SetDoLearn(true);
  one.SetDoBatch(true);
  one.SetRootClass(classes.get());
  one.SetRootDocument(expected.get());
  bayes.DoAlgorithm(&one);
  auto results = [](DocumentNode* root) {
    std::vector<std::vector<std::tuple<unsigned, float, int>>> all;
    for (VectorIterator g = root->GetVectorIterator(); !g.Done(); g.Next()) {
      auto* group = static_cast<DocumentNode*>(g.Current());
      for (VectorIterator it = group->GetVectorIterator(); !it.Done(); it.Next()) {
        auto* d = static_cast<DocumentNode*>(it.Current());
        auto* r = dynamic_cast<Result*>(d->GetRepresentation(SparseResult::DEFAULT_TAG));
        all.emplace_back();
        if (r == nullptr) continue;
        for (const IndexedResult& e : r->GetBestResults(0)) {
          all.back().emplace_back(e.GetIndex(), e.GetValue(), e.GetResType());
        }
      }
    }
    return all;
  };
  const auto want = results(expected.get());
  ASSERT_EQ(want.size(), 320u);
  EXPECT_EQ(std::get<0>(want[1][0]), 2u);  // "der Hund und der Fuchs" is German
  EXPECT_EQ(want[1].size(), 2u);
  for (unsigned threads : {1u, 4u}) {
    auto tree = makeTree();
    ClassifyDocuments(classes.get(), tree.get(), settings, threads);
    EXPECT_EQ(results(tree.get()), want) << threads;
  }
}

}  // namespace
}  // namespace Qel
