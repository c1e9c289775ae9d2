// ErrorMatrix: counts the outcomes of a classified test set per pair (true class, assigned
// class), with totals of correct, incorrect, rejected and exceptional decisions. A node and a
// representation, so it can hang on a tree; reference counted, used by one thread at a time.
#pragma once

#include <qel/core/Export.h>
#include <qel/core/Node.h>
#include <qel/model/Representation.h>
#include <qel/model/Result.h>

#include <cstdint>
#include <map>
#include <vector>

namespace Qel {

// How the caller rates a decision.
enum eResultMatrixExceptionStatus : std::int32_t {
  MatrixStatusNormal = -1,            // an ordinary outcome
  MatrixStatusExceptionCorrect = 1,   // an exception that counts as correct
  MatrixStatusExceptionRejected = 2,  // an exception that counts as rejected
};

// One cell of the matrix.
struct mapcell {
  std::uint32_t count = 0;
  eResultMatrixExceptionStatus status = static_cast<eResultMatrixExceptionStatus>(0);
};

class QEL_API ErrorMatrix : public Node, public Representation {
 public:
  // "Emtx".
  static constexpr RepTag DefaultTag{Detail::TagIdFromName("Emtx")};

  // A new matrix for class ids 0 .. classCount - 1 (0 stands for no class), all counts 0, one
  // reference for the caller. Throws BaseException 5 (out of memory).
  static ErrorMatrix* Create(unsigned int classCount);
  static const RepTag& GetDefaultTag();

  unsigned int GetClassNumber() const { return static_cast<unsigned int>(m_classCount.size()); }

  unsigned int GetCorrect() const { return m_correct; }
  unsigned int GetIncorrect() const { return m_incorrect; }
  unsigned int GetRejected() const { return m_rejected; }
  unsigned int GetDocCount() const { return m_docCount; }
  unsigned int GetException() const { return m_exception; }
  void IncreaseCorrect() { ++m_correct; }
  void IncreaseIncorrect() { ++m_incorrect; }
  void IncreaseRejected() { ++m_rejected; }
  void IncreaseDocCount() { ++m_docCount; }
  void IncreaseException() { ++m_exception; }

  // Per class; a class id at or beyond the class count reads 0 and is not counted.
  unsigned int GetClassCount(unsigned int classId) const;
  unsigned int GetClassImported(unsigned int classId) const;
  unsigned int GetClassExported(unsigned int classId) const;
  void IncreaseClassCount(unsigned int classId);
  void IncreaseClassImported(unsigned int classId);
  void IncreaseClassExported(unsigned int classId);

  // The cell (a, b); a cell never counted reads {0, -1} off the diagonal.
  mapcell GetResult(unsigned int a, unsigned int b) const;
  // Counts one document of class `trueClass` assigned to `assignedClass`; `type` carries the
  // rejected bit (ResTypeRejected). Ids at or beyond the class count are ignored.
  void Increase(unsigned int trueClass, unsigned int assignedClass,
                eResultMatrixExceptionStatus status, eResultType type);

 protected:
  explicit ErrorMatrix(unsigned int classCount);
  ~ErrorMatrix() override = default;

 private:
  void IncreaseCellCount(unsigned int a, unsigned int b, eResultMatrixExceptionStatus status);

  unsigned int m_correct = 0;
  unsigned int m_incorrect = 0;
  unsigned int m_rejected = 0;
  unsigned int m_docCount = 0;
  unsigned int m_exception = 0;
  std::vector<std::uint32_t> m_classCount;
  std::vector<std::uint32_t> m_classImported;
  std::vector<std::uint32_t> m_classExported;
  std::vector<mapcell> m_diagonal;
  // Keyed by classCount * b + a, computed in 64 bits so that no two cells share a key.
  std::map<std::uint64_t, mapcell> m_cells;
};

}  // namespace Qel
