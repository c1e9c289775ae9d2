#include <gtest/gtest.h>
#include <qel/learn/ErrorMatrix.h>
#include <qel/learn/ErrorMatrixVisitor.h>
#include <qel/learn/ErrorPlot.h>
#include <qel/learn/ErrorPlotVisitor.h>
#include <qel/model/DocumentNode.h>
#include <qel/model/FullResult.h>
#include <qel/model/SparseResult.h>

namespace Qel {
namespace {

struct Matrix {
  ErrorMatrix* m = ErrorMatrix::Create(6);
  ~Matrix() { m->Release(); }
  ErrorMatrix* operator->() { return m; }
};

TEST(DefaultTagsTest, EachClassReportsItsOwnConstant) {
  const struct {
    const Representation::RepTag& reported;
    Representation::RepTag constant;
    const char* name;
  } cases[] = {
      {Representation::GetDefaultTag(), Representation::DefaultTag, "Dflt"},
      {FullResult::GetDefaultTag(), FullResult::DEFAULT_TAG, "Fres"},
      {SparseResult::GetDefaultTag(), SparseResult::DEFAULT_TAG, "Sres"},
      {ErrorMatrix::GetDefaultTag(), ErrorMatrix::DefaultTag, "Emtx"},
      {ErrorPlot::GetDefaultTag(), ErrorPlot::DefaultTag, "Eplt"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.reported, c.constant) << c.name;
    EXPECT_EQ(c.reported.GetName(), c.name);
  }
}

TEST(ErrorMatrixTest, CountsEachKindOfOutcome) {
  Matrix m;
  EXPECT_EQ(m->GetTag(), ErrorMatrix::DefaultTag);
  EXPECT_EQ(m->GetResult(2, 4).count, 0u);
  EXPECT_EQ(m->GetResult(2, 4).status, MatrixStatusNormal);
  EXPECT_EQ(m->GetResult(2, 2).status, 0);

  // Each step adds one outcome; the totals and the cell afterwards.
  const struct {
    std::uint32_t cls, assigned;
    int status;  // given to Increase
    eResultType type;
    unsigned docs, correct, rejected, incorrect, exception, cellCount;
    int cellStatus;
  } steps[] = {
      {3, 3, MatrixStatusNormal, ResTypeNew, 1, 1, 0, 0, 0, 1, MatrixStatusNormal},
      {0, 0, MatrixStatusNormal, ResTypeNew, 1, 1, 0, 0, 0, 1, MatrixStatusNormal},
      {3, 0, MatrixStatusNormal, ResTypeNew, 2, 1, 1, 0, 0, 1, MatrixStatusNormal},
      {3, 5, MatrixStatusNormal, ResTypeRejected, 3, 1, 2, 0, 0, 1, MatrixStatusNormal},
      {3, 5, MatrixStatusNormal, ResTypeNew, 4, 1, 2, 1, 0, 2, MatrixStatusNormal},
      {2, 4, MatrixStatusExceptionCorrect, ResTypeNew, 5, 2, 2, 1, 1, 1,
       MatrixStatusExceptionCorrect},
      // An existing cell keeps the status it was created with.
      {2, 4, MatrixStatusNormal, ResTypeNew, 6, 2, 2, 2, 1, 2, MatrixStatusExceptionCorrect},
      {1, 2, MatrixStatusExceptionRejected, ResTypeNew, 7, 2, 3, 2, 2, 1,
       MatrixStatusExceptionRejected},
      {4, 4, MatrixStatusExceptionRejected, ResTypeNew, 8, 2, 4, 2, 3, 1,
       MatrixStatusExceptionRejected},
      {4, 4, 7, ResTypeRejected, 9, 2, 5, 2, 3, 2, 7},
      // Ids beyond the class count are ignored.
      {6, 1, MatrixStatusNormal, ResTypeNew, 9, 2, 5, 2, 3, 0, MatrixStatusNormal},
      {1, 6, MatrixStatusNormal, ResTypeNew, 9, 2, 5, 2, 3, 0, MatrixStatusNormal},
  };
  for (const auto& s : steps) {
    m->Increase(s.cls, s.assigned, static_cast<eResultMatrixExceptionStatus>(s.status), s.type);
    SCOPED_TRACE(testing::Message() << "step " << (&s - steps));
    EXPECT_EQ(m->GetDocCount(), s.docs);
    EXPECT_EQ(m->GetCorrect(), s.correct);
    EXPECT_EQ(m->GetRejected(), s.rejected);
    EXPECT_EQ(m->GetIncorrect(), s.incorrect);
    EXPECT_EQ(m->GetException(), s.exception);
    if (s.cls < 6 && s.assigned < 6) {
      EXPECT_EQ(m->GetResult(s.cls, s.assigned).count, s.cellCount);
      EXPECT_EQ(m->GetResult(s.cls, s.assigned).status, s.cellStatus);
    }
  }
  EXPECT_EQ(m->GetClassCount(3), 4u);
  EXPECT_EQ(m->GetClassExported(3), 1u);
  EXPECT_EQ(m->GetClassImported(5), 1u);
  EXPECT_EQ(m->GetResult(5, 3).count, 0u);
}

TEST(ErrorPlotTest, BinsHistogramsAndAdd) {
  ErrorPlot* p = ErrorPlot::Create(2);
  EXPECT_FALSE(p->IsValid());
  EXPECT_EQ(p->GetGoodHistogram(), std::vector<float>(101, 0.0f));
  p->IncrGood(101);
  EXPECT_EQ(p->GetCount(), 0u);
  p->IncrGood(90);
  p->IncrGood(50);
  p->IncrBad(70);
  p->IncrBad(10);
  auto good = p->GetGoodHistogram();
  auto bad = p->GetBadHistogram();
  EXPECT_FLOAT_EQ(good[0], 0.5f);
  EXPECT_FLOAT_EQ(good[51], 0.25f);
  EXPECT_FLOAT_EQ(good[91], 0.0f);
  EXPECT_FLOAT_EQ(bad[0], 0.5f);
  EXPECT_FLOAT_EQ(bad[11], 0.25f);
  EXPECT_FLOAT_EQ(good[60] + bad[60], 0.5f);

  ErrorPlot* q = ErrorPlot::Create(2);
  q->IncrGood(100);
  p->add(*q);
  EXPECT_EQ(p->GetCount(), 5u);
  EXPECT_FLOAT_EQ(p->GetGoodHistogram()[100], 0.2f);
  ErrorPlot* empty = ErrorPlot::Create(3);
  p->add(*empty);
  EXPECT_EQ(p->GetCount(), 5u);
  q->Release();
  empty->Release();
  p->Release();
}

SparseResult* Sparse(std::initializer_list<IndexedResult> entries,
                     const Representation::RepTag& tag) {
  SparseResult* r = SparseResult::Create();
  r->SetResults(entries);
  r->SetTag(tag);
  return r;
}

TEST(ErrorVisitorsTest, RecordsAcceptanceAndFillsPlotsPerClass) {
  const auto tag = SparseResult::DEFAULT_TAG;
  DocumentNode* root = DocumentNode::Create();
  // Class nodes first (no result): they receive the plots.
  DocumentNode* class1 = DocumentNode::Create(1, root);
  DocumentNode* class2 = DocumentNode::Create(2, root);
  root->AddChild(class1);
  root->AddChild(class2);
  auto doc = [&](std::uint32_t cls, SparseResult* r) {
    DocumentNode* d = DocumentNode::Create(cls, root);
    if (r) d->AddRepresentation(r);
    root->AddChild(d);
    return d;
  };
  doc(1, Sparse({{1, 0.9f, ResTypeNew}, {2, 0.2f, ResTypeNew}}, tag));   // accepted, right
  doc(1, Sparse({{2, 0.6f, ResTypeNew}, {1, 0.55f, ResTypeNew}}, tag));  // too close: rejected
  doc(2, Sparse({{1, 0.3f, ResTypeRejected}}, tag));                     // below min score
  doc(2, Sparse({{2, 0.999f, ResTypeNew}}, tag));                        // accepted, right
  doc(3, Sparse({{3, 1.5f, ResTypeNew}}, tag));                          // class without plot
  doc(2, nullptr);                                                       // no feature: no record

  ErrorMatrix* m = ErrorMatrix::Create(4);
  ErrorMatrixVisitor v(m, 0.5, 0.1);
  root->Visit(&v);
  auto records = v.GetClassResults();
  ASSERT_EQ(records.size(), 5u);
  EXPECT_EQ(records[0].assignedClassId, 1u);
  EXPECT_EQ(records[1].assignedClassId, 0u);
  EXPECT_EQ(records[1].type, ResTypeNone) << "type of class 0 in the result";
  EXPECT_EQ(records[2].assignedClassId, 0u);
  EXPECT_EQ(records[3].assignedClassId, 2u);
  EXPECT_EQ(records[4].classId, 3u);
  for (const classResult& r : records) {
    m->Increase(r.classId, r.assignedClassId, MatrixStatusNormal, r.type);
  }
  EXPECT_EQ(m->GetCorrect(), 3u);
  EXPECT_EQ(m->GetRejected(), 2u);
  EXPECT_EQ(m->GetDocCount(), 5u);

  ErrorMatrixVisitor finals(m, 0.0, 0.0);
  finals.SetUseFinalFlag(true);
  root->Visit(&finals);
  auto fr = finals.GetClassResults();
  ASSERT_EQ(fr.size(), 5u);
  EXPECT_EQ(fr[0].assignedClassId, 0u) << "no final class: class 0";
  m->Release();

  ErrorPlotVisitor pv;
  root->Visit(&pv);
  ASSERT_NE(pv.GetPlot(1), nullptr);
  ASSERT_NE(pv.GetPlot(2), nullptr);
  EXPECT_EQ(pv.GetPlot(3), nullptr);
  EXPECT_EQ(class1->GetFeature(), pv.GetPlot(1)) << "the class node owns its plot";
  EXPECT_EQ(pv.GetPlot(1)->GetCount(), 2u);
  EXPECT_FLOAT_EQ(pv.GetPlot(1)->GetGoodHistogram()[90], 0.5f);
  EXPECT_FLOAT_EQ(pv.GetPlot(1)->GetBadHistogram()[60], 0.5f);
  // 0.999 lands in bin 99.
  EXPECT_FLOAT_EQ(pv.GetPlot(2)->GetGoodHistogram()[99], 0.5f);
  EXPECT_FLOAT_EQ(pv.GetPlot(2)->GetGoodHistogram()[100], 0.0f);
  root->Release();
}

}  // namespace
}  // namespace Qel
