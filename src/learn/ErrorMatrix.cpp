// The error matrix and the visitor that collects its records from a classified tree.
#include <qel/learn/ErrorMatrix.h>
#include <qel/learn/ErrorMatrixVisitor.h>
#include <qel/model/DocumentNode.h>

#include <new>

#include "core/Throw.h"

namespace Qel {

ErrorMatrix::ErrorMatrix(unsigned int classCount)
    : Representation(DefaultTag),
      m_classCount(classCount),
      m_classImported(classCount),
      m_classExported(classCount),
      m_diagonal(classCount) {}

ErrorMatrix* ErrorMatrix::Create(unsigned int classCount) {
  ErrorMatrix* matrix = nullptr;
  try {
    matrix = new ErrorMatrix(classCount);
  } catch (const std::bad_alloc&) {
    Detail::ThrowOutOfMemory(u"[790]");
  }
  matrix->AddRefCount();
  return matrix;
}

const Representation::RepTag& ErrorMatrix::GetDefaultTag() {
  static constexpr RepTag tag = DefaultTag;
  return tag;
}

unsigned int ErrorMatrix::GetClassCount(unsigned int classId) const {
  return classId < m_classCount.size() ? m_classCount[classId] : 0;
}
unsigned int ErrorMatrix::GetClassImported(unsigned int classId) const {
  return classId < m_classImported.size() ? m_classImported[classId] : 0;
}
unsigned int ErrorMatrix::GetClassExported(unsigned int classId) const {
  return classId < m_classExported.size() ? m_classExported[classId] : 0;
}
void ErrorMatrix::IncreaseClassCount(unsigned int classId) {
  if (classId < m_classCount.size()) ++m_classCount[classId];
}
void ErrorMatrix::IncreaseClassImported(unsigned int classId) {
  if (classId < m_classImported.size()) ++m_classImported[classId];
}
void ErrorMatrix::IncreaseClassExported(unsigned int classId) {
  if (classId < m_classExported.size()) ++m_classExported[classId];
}

mapcell ErrorMatrix::GetResult(unsigned int a, unsigned int b) const {
  if (a == b) {
    if (a < m_diagonal.size()) return m_diagonal[a];
    return mapcell{0, MatrixStatusNormal};
  }
  const std::uint64_t key = static_cast<std::uint64_t>(m_classCount.size()) * b + a;
  auto it = m_cells.find(key);
  return it != m_cells.end() ? it->second : mapcell{0, MatrixStatusNormal};
}

void ErrorMatrix::IncreaseCellCount(unsigned int a, unsigned int b,
                                    eResultMatrixExceptionStatus status) {
  const std::uint64_t key = static_cast<std::uint64_t>(m_classCount.size()) * b + a;
  auto [it, inserted] = m_cells.try_emplace(key, mapcell{0, status});
  ++it->second.count;
}

void ErrorMatrix::Increase(unsigned int trueClass, unsigned int assignedClass,
                           eResultMatrixExceptionStatus status, eResultType type) {
  const std::size_t n = m_classCount.size();
  if (trueClass >= n || assignedClass >= n) return;
  const bool rejected = (type & ResTypeRejected) != 0;
  if (trueClass != 0) {
    ++m_classCount[trueClass];
    ++m_docCount;
  }
  if (trueClass != assignedClass) {
    if (trueClass != 0 && assignedClass != 0 && !rejected) {
      if (status == MatrixStatusNormal) {
        ++m_incorrect;
        ++m_classExported[trueClass];
        ++m_classImported[assignedClass];
      } else {
        ++m_exception;
        if (status == MatrixStatusExceptionCorrect) {
          ++m_correct;
          IncreaseCellCount(trueClass, assignedClass, status);
          return;
        }
      }
    }
    if (trueClass != 0 &&
        (assignedClass == 0 || rejected || status == MatrixStatusExceptionRejected)) {
      ++m_rejected;
    }
    IncreaseCellCount(trueClass, assignedClass, status);
    return;
  }
  mapcell& cell = m_diagonal[trueClass];
  ++cell.count;
  if (rejected) {
    ++m_rejected;
    cell.status = status;
  } else if (status == MatrixStatusExceptionRejected) {
    ++m_exception;
    ++m_rejected;
    cell.status = MatrixStatusExceptionRejected;
  } else {
    if (trueClass != 0) ++m_correct;
    cell.status = MatrixStatusNormal;
  }
}

ErrorMatrixVisitor::ErrorMatrixVisitor(ErrorMatrix* matrix, double minScore, double minDistance)
    : m_minScore(minScore), m_minDistance(minDistance), m_matrix(matrix) {}

void ErrorMatrixVisitor::DoVisit(Node* node) {
  if (DocumentNode* d = dynamic_cast<DocumentNode*>(node)) DoVisit(d);
}

void ErrorMatrixVisitor::DoVisit(DocumentNode* d) {
  unsigned int assigned = 0;
  eResultType type = ResTypeNone;
  double best = 0.0;
  double second = 0.0;
  Result* r = dynamic_cast<Result*>(d->GetRepresentation(m_resultTag));
  if (r != nullptr) {
    if (m_useFinalFlag) {
      if (r->GetFinalClassCount() > 0) assigned = r->GetFinalClassId(0);
      type = r->GetResultType(assigned);
    } else {
      const bool valid = r->IsValid();
      if (valid) {
        const std::vector<IndexedResult>& b = r->GetBestResults(2);
        if (!b.empty()) {
          assigned = b[0].GetIndex();
          best = b[0].GetValue();
        }
        if (b.size() >= 2) second = b[1].GetValue();
      }
      if (valid && best >= m_minScore && best - second >= m_minDistance) {
        type = r->GetResultType(assigned);
      } else {
        assigned = 0;
        type = r->GetResultType(0);
      }
    }
  }
  if (d->GetFeature() != nullptr) m_records.push_back(classResult{d->GetClassId(), assigned, type});
}

}  // namespace Qel
