#include <gtest/gtest.h>
#include <qel/core/Exceptions.h>
#include <qel/learn/BayesClassifier.h>
#include <qel/learn/CallBack.h>
#include <qel/learn/PcaAnalyzer.h>
#include <qel/model/DocumentNode.h>
#include <qel/model/FullResult.h>
#include <qel/model/SparseResult.h>

#include <map>
#include <memory>
#include <typeinfo>

namespace Qel {
namespace {

// A document's feature: one number per class id; the class model's dot picks its class's number.
class Scores : public Node, public Representation {
 public:
  static Scores* Create(std::map<std::uint32_t, double> s, const RepTag& tag) {
    Scores* p = new Scores(std::move(s), tag);
    p->AddRefCount();
    return p;
  }
  double At(std::uint32_t id) const {
    auto it = m_scores.find(id);
    return it == m_scores.end() ? 0.0 : it->second;
  }
  bool IsValid() const override { return true; }

 private:
  Scores(std::map<std::uint32_t, double> s, const RepTag& tag)
      : Representation(tag), m_scores(std::move(s)) {}
  std::map<std::uint32_t, double> m_scores;
};

// A class node carrying its own model.
class ClassNode : public DocumentNode, public Representation {
 public:
  static ClassNode* Create(std::uint32_t id, const RepTag& tag, bool valid = true, double lo = 1.0,
                           double hi = 1.0) {
    ClassNode* c = new ClassNode(id, tag, valid, lo, hi);
    c->AddRefCount();
    return c;
  }
  double dot(const Representation& other) const override {
    ++calls;
    const Scores* s = dynamic_cast<const Scores*>(&other);
    return s ? s->At(GetClassId()) : 0.0;
  }
  bool IsValid() const override { return m_valid; }
  double GetMinimum() const override { return m_lo; }
  double GetMaximum() const override { return m_hi; }
  mutable int calls = 0;

 private:
  ClassNode(std::uint32_t id, const RepTag& tag, bool valid, double lo, double hi)
      : DocumentNode(id, nullptr), Representation(tag), m_valid(valid), m_lo(lo), m_hi(hi) {}
  bool m_valid;
  double m_lo, m_hi;
};

const Representation::RepTag kClass = SetRepTag("Clsm");
const Representation::RepTag kDoc = SetRepTag("Docv");
const Representation::RepTag kRes = SetRepTag("Rslt");

DocumentNode* Doc(DocumentNode* parent, std::map<std::uint32_t, double> s) {
  DocumentNode* d = DocumentNode::Create(0, parent);
  d->AddRepresentation(Scores::Create(std::move(s), kDoc));
  parent->AddChild(d);
  return d;
}

Result* ResultOf(DocumentNode* d) { return dynamic_cast<Result*>(d->GetRepresentation(kRes)); }

struct Trees {
  DocumentNode* classes = DocumentNode::Create();
  DocumentNode* docs = DocumentNode::Create();
  ~Trees() {
    classes->Release();
    docs->Release();
  }
};

std::unique_ptr<BayesControl> Control(Trees& t, bool learn = true) {
  auto c = std::make_unique<BayesControl>();
  c->SetDoLearn(learn);
  c->SetDoBatch(true);
  c->SetClassTag(kClass);
  c->SetDocumentTag(kDoc);
  c->SetResultTag(kRes);
  c->SetRootClass(t.classes);
  c->SetRootDocument(t.docs);
  return c;
}

TEST(BayesControlTest, DefaultsAndTagsByName) {
  BayesClassifier bayes;
  std::unique_ptr<Qel::Control> c(bayes.CreateController());
  auto* ctl = dynamic_cast<BayesControl*>(c.get());
  ASSERT_NE(ctl, nullptr);
  EXPECT_FALSE(ctl->GetDoLearn());
  EXPECT_TRUE(ctl->GetDoClassify());
  EXPECT_FALSE(ctl->GetDoBatch());
  EXPECT_FALSE(ctl->GetDoNormalize());
  EXPECT_EQ(ctl->GetMaxResults(), 3u);
  EXPECT_EQ(ctl->GetClassTag(), Representation::DefaultTag);
  ctl->SetClassTag(std::string("abc"));
  EXPECT_EQ(ctl->GetClassTag(), Representation::DefaultTag);
  ctl->SetDocumentTag(std::string("Docv"));
  EXPECT_EQ(ctl->GetDocumentTag(), kDoc);
  std::ostringstream os;
  EXPECT_TRUE(bayes.Save(&os));
  EXPECT_TRUE(os.str().empty());
}

TEST(BayesClassifierTest, ScoresSparseBestFirstReplacesAndSkipsNonDocuments) {
  Trees t;
  // Class 2 is ignored (wrong tag) but its child class 3 is found; class 5 is invalid.
  ClassNode* c1 = ClassNode::Create(1, kClass);
  ClassNode* c2 = ClassNode::Create(2, kDoc);
  ClassNode* c4 = ClassNode::Create(4, kClass);
  t.classes->AddChild(c1);
  t.classes->AddChild(c2);
  c2->AddChild(ClassNode::Create(3, kClass));
  c2->AddChild(ClassNode::Create(5, kClass, false));
  t.classes->AddChild(c4);

  DocumentNode* a = Doc(t.docs, {{1, 0.2}, {2, 0.9}, {3, 0.7}, {4, 0.5}, {5, 0.95}});
  DocumentNode* b = Doc(t.docs, {{1, -1.0}, {3, -2.0}, {4, -0.5}});
  DocumentNode* nested = Doc(a, {{4, 0.3}});
  DocumentNode* noRep = DocumentNode::Create(0, t.docs);
  t.docs->AddChild(noRep);
  DocumentNode* belowNoRep = Doc(noRep, {{1, 0.6}});

  BayesClassifier bayes;
  auto ctl = Control(t);
  bayes.DoAlgorithm(ctl.get());

  auto* ra = dynamic_cast<SparseResult*>(ResultOf(a));
  ASSERT_NE(ra, nullptr);
  EXPECT_EQ(ra->GetTag(), kRes);
  auto entries = ra->GetResults();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].GetIndex(), 3u);
  EXPECT_FLOAT_EQ(entries[0].GetValue(), 0.7f);
  EXPECT_EQ(entries[1].GetIndex(), 4u);
  EXPECT_EQ(entries[2].GetIndex(), 1u);

  // Only negative scores: the placeholder entry.
  auto eb = dynamic_cast<SparseResult*>(ResultOf(b))->GetResults();
  ASSERT_EQ(eb.size(), 1u);
  EXPECT_EQ(eb[0].GetIndex(), 0u);
  EXPECT_EQ(eb[0].GetValue(), 0.0f);
  EXPECT_EQ(eb[0].GetResType(), ResTypeNew);

  EXPECT_NE(ResultOf(nested), nullptr);
  EXPECT_EQ(ResultOf(noRep), nullptr);
  EXPECT_NE(ResultOf(belowNoRep), nullptr) << "batch descends below documents without features";

  // Classifying again replaces the result instead of adding one.
  ctl->SetDoLearn(false);
  ctl->SetMaxResults(0);
  bayes.DoAlgorithm(ctl.get());
  Node* first = a->RemoveRepresentation(kRes);
  ASSERT_NE(dynamic_cast<FullResult*>(first), nullptr);
  // One entry per class id up to the highest collected (4; class 5 is invalid).
  EXPECT_EQ(dynamic_cast<FullResult*>(first)->GetResults().size(), 5u);
  EXPECT_EQ(a->GetRepresentation(kRes), nullptr);
  first->Release();

  // Without batch only the root document is scored.
  auto lone = Control(t, false);
  lone->SetDoBatch(false);
  lone->SetRootDocument(b);
  lone->SetResultTag(SetRepTag("Solo"));
  bayes.DoAlgorithm(lone.get());
  EXPECT_NE(b->GetRepresentation(SetRepTag("Solo")), nullptr);
  EXPECT_EQ(nested->GetRepresentation(SetRepTag("Solo")), nullptr);
}

// A sparse result of a type of its own, which tells when it is destroyed.
class OwnSparse : public SparseResult {
 public:
  static OwnSparse* Create(bool* destroyed) {
    auto* r = new OwnSparse(destroyed);
    r->AddRefCount();
    r->SetTag(kRes);
    return r;
  }

 private:
  explicit OwnSparse(bool* destroyed) : m_destroyed(destroyed) {}
  ~OwnSparse() override { *m_destroyed = true; }
  bool* m_destroyed;
};

TEST(BayesClassifierTest, ReclassifyingReplacesResultsAsANewResultWould) {
  Trees t;
  for (std::uint32_t id = 1; id <= 3; ++id) t.classes->AddChild(ClassNode::Create(id, kClass));
  const std::map<std::uint32_t, double> scores{{1, 0.25}, {2, 0.75}, {3, 0.5}};
  DocumentNode* kept = Doc(t.docs, scores);    // its result is also held by the test
  DocumentNode* middle = Doc(t.docs, scores);  // its result has a feature behind it
  DocumentNode* own = Doc(t.docs, scores);     // carries a result of another type
  DocumentNode* full = Doc(t.docs, scores);    // carries a full result
  BayesClassifier bayes;
  auto ctl = Control(t);
  bayes.DoAlgorithm(ctl.get());

  Result* held = ResultOf(kept);
  held->AddRefCount();
  Node* behind = Scores::Create({}, SetRepTag("Behd"));
  dynamic_cast<Node*>(ResultOf(middle))->AddFeature(behind);
  bool ownDestroyed = false;
  Node* replaced = own->RemoveRepresentation(kRes);
  replaced->Release();
  own->AddRepresentation(OwnSparse::Create(&ownDestroyed));
  Node* fullOld = full->RemoveRepresentation(kRes);
  fullOld->Release();
  FullResult* fullResult = FullResult::Create();
  fullResult->SetTag(kRes);
  full->AddRepresentation(fullResult);

  ctl->SetDoLearn(false);
  ctl->SetMaxResults(1);
  bayes.DoAlgorithm(ctl.get());

  // A result someone else holds is left as it was; the document gets another one.
  EXPECT_EQ(dynamic_cast<SparseResult*>(held)->GetResults().size(), 3u);
  ASSERT_NE(ResultOf(kept), held);
  EXPECT_EQ(dynamic_cast<SparseResult*>(ResultOf(kept))->GetResults().size(), 1u);
  held->Release();
  // The result ends the chain; what hung behind it follows the document's representation.
  Node* chain = middle->GetFeature();
  ASSERT_NE(chain, nullptr);
  EXPECT_EQ(dynamic_cast<Representation*>(chain)->GetTag(), kDoc);
  EXPECT_EQ(chain->GetFeature(), behind);
  ASSERT_NE(behind->GetFeature(), nullptr);
  EXPECT_EQ(dynamic_cast<Representation*>(behind->GetFeature())->GetTag(), kRes);
  EXPECT_EQ(behind->GetFeature()->GetFeature(), nullptr);
  // Results of other types are replaced by plain sparse results, never refilled.
  EXPECT_TRUE(ownDestroyed);
  for (DocumentNode* d : {kept, middle, own, full}) {
    Result* r = ResultOf(d);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(typeid(*r), typeid(SparseResult));
    auto entries = dynamic_cast<SparseResult*>(r)->GetResults();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].GetIndex(), 2u);
    EXPECT_FLOAT_EQ(entries[0].GetValue(), 0.75f);
  }
}

TEST(BayesClassifierTest, ClassIdZeroModelsAreNeverScoredAndMinimumResultHasTwoEntries) {
  Trees t;
  ClassNode* zero = ClassNode::Create(0, kClass);
  t.classes->AddChild(zero);
  DocumentNode* d = Doc(t.docs, {{0, 0.8}});
  BayesClassifier bayes;
  auto ctl = Control(t);
  ctl->SetMaxResults(0);
  bayes.DoAlgorithm(ctl.get());
  EXPECT_EQ(zero->calls, 0);
  auto* r = dynamic_cast<FullResult*>(ResultOf(d));
  ASSERT_NE(r, nullptr);
  ASSERT_EQ(r->GetResults().size(), 2u);
  EXPECT_EQ(r->GetResult(0), 0.0f);
  EXPECT_EQ(r->GetResult(1), 0.0f);

  // No class models at all: nothing is classified.
  Trees empty;
  DocumentNode* e = Doc(empty.docs, {{1, 0.5}});
  BayesClassifier other;
  auto c2 = Control(empty);
  other.DoAlgorithm(c2.get());
  EXPECT_EQ(ResultOf(e), nullptr);
  // A control of another class does nothing.
  PcaControl pca;
  other.DoAlgorithm(&pca);
}

TEST(BayesClassifierTest, NormalisesByTheWinningModelsRange) {
  Trees t;
  t.classes->AddChild(ClassNode::Create(1, kClass, true, -10.0, 0.0));
  t.classes->AddChild(ClassNode::Create(2, kClass, true, -20.0, -4.0));
  DocumentNode* d = Doc(t.docs, {{1, -6.0}, {2, -5.0}});
  BayesClassifier bayes;
  auto ctl = Control(t);
  ctl->SetDoNormalize(true);
  ctl->SetMaxResults(0);
  bayes.DoAlgorithm(ctl.get());
  // Class 2 wins; its range [-20, -4] applies to both.
  EXPECT_FLOAT_EQ(ResultOf(d)->GetResult(2), (-5.0f + 20.0f) / 16.0f);
  EXPECT_FLOAT_EQ(ResultOf(d)->GetResult(1), (-6.0f + 20.0f) / 16.0f);

  // Equal minimum and maximum: unscaled.
  Trees flat;
  flat.classes->AddChild(ClassNode::Create(1, kClass, true, 2.0, 2.0));
  DocumentNode* f = Doc(flat.docs, {{1, -3.0}});
  auto c2 = Control(flat);
  c2->SetDoNormalize(true);
  c2->SetMaxResults(0);
  BayesClassifier b2;
  b2.DoAlgorithm(c2.get());
  EXPECT_FLOAT_EQ(ResultOf(f)->GetResult(1), -3.0f);
}

TEST(BayesClassifierTest, DeepDocumentChainsAreWalkedWithoutRecursion) {
  Trees t;
  t.classes->AddChild(ClassNode::Create(1, kClass));
  DocumentNode* parent = t.docs;
  for (int i = 0; i < 200000; ++i) parent = Doc(parent, {{1, 0.25}});
  BayesClassifier bayes;
  CallBack counter;
  bayes.SetCallBack(&counter);
  auto ctl = Control(t);
  bayes.DoAlgorithm(ctl.get());
  EXPECT_EQ(counter.GetCurrent(), 200000u) << "each document scored exactly once";
  ASSERT_NE(ResultOf(parent), nullptr);
  EXPECT_FLOAT_EQ(ResultOf(parent)->GetResult(1), 0.25f);
}

class CancelAfter : public CallBack {
 public:
  explicit CancelAfter(unsigned int n) : m_limit(n) {}
  void Increment(unsigned int step, bool* cancel) override {
    CallBack::Increment(step, cancel);
    if (GetCurrent() > m_limit) *cancel = true;
  }

 private:
  unsigned int m_limit;
};

TEST(BayesClassifierTest, CancellationThrows20AndKeepsEarlierResults) {
  Trees t;
  t.classes->AddChild(ClassNode::Create(1, kClass));
  std::vector<DocumentNode*> docs;
  for (int i = 0; i < 5; ++i) docs.push_back(Doc(t.docs, {{1, 0.5}}));
  // An older result on the third document stays while its classification is cancelled.
  FullResult* old = FullResult::Create();
  old->SetTag(kRes);
  docs[2]->AddRepresentation(old);

  BayesClassifier bayes;
  CancelAfter cb(2);
  bayes.SetCallBack(&cb);
  auto ctl = Control(t);
  try {
    bayes.DoAlgorithm(ctl.get());
    FAIL() << "not cancelled";
  } catch (const UserCanceledException& e) {
    EXPECT_EQ(e.GetErrorId(), 20);
  }
  EXPECT_NE(dynamic_cast<SparseResult*>(ResultOf(docs[0])), nullptr);
  EXPECT_NE(dynamic_cast<SparseResult*>(ResultOf(docs[1])), nullptr);
  EXPECT_EQ(ResultOf(docs[2]), old);
  EXPECT_EQ(ResultOf(docs[3]), nullptr);
  EXPECT_EQ(cb.GetCurrent(), 3u);
  EXPECT_EQ(cb.GetMaximum(), 3u);
}

}  // namespace
}  // namespace Qel
