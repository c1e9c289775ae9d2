// ErrorMatrixVisitor: walks a classified document tree and records, per document, its true
// class, the class its result assigns and the result type. Owns its records, not the matrix;
// used by the thread that runs the walk.
#pragma once

#include <qel/core/Export.h>
#include <qel/core/Visitor.h>
#include <qel/model/Representation.h>
#include <qel/model/Result.h>
#include <qel/model/SparseResult.h>

#include <cstdint>
#include <vector>

namespace Qel {

class DocumentNode;
class ErrorMatrix;

// One record of the visitor.
struct classResult {
  std::uint32_t classId = 0;          // the document's true class
  std::uint32_t assignedClassId = 0;  // 0 when the result was not accepted
  eResultType type = ResTypeNone;
};

class QEL_API ErrorMatrixVisitor : public Visitor {
 public:
  // A result is accepted when its best score is at least `minScore` and lies at least
  // `minDistance` above the second best. `matrix` is kept for the caller, not owned, not
  // written.
  ErrorMatrixVisitor(ErrorMatrix* matrix, double minScore, double minDistance);

  // Tag of the results to read ("Sres").
  Representation::RepTag GetResultTag() const { return m_resultTag; }
  void SetResultTag(Representation::RepTag tag) { m_resultTag = tag; }
  // Take the first final class of the result instead of the best score (default false).
  bool GetUseFinalFlag() const { return m_useFinalFlag; }
  void SetUseFinalFlag(bool value) { m_useFinalFlag = value; }
  ErrorMatrix* GetErrorMatrix() const { return m_matrix; }
  // A copy of the records collected so far, in visiting order.
  std::vector<classResult> GetClassResults() const { return m_records; }

  // Records a document that carries at least one feature; other nodes are ignored.
  void DoVisit(Node* node) override;
  void DoVisit(DocumentNode* document);

 private:
  double m_minScore;
  double m_minDistance;
  Representation::RepTag m_resultTag = SparseResult::DEFAULT_TAG;
  ErrorMatrix* m_matrix;
  bool m_useFinalFlag = false;
  std::vector<classResult> m_records;
};

}  // namespace Qel
