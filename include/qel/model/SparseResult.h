// SparseResult: a classification result that keeps only the classes that were set, in the
// order they were set. Reference counted; used by one thread at a time.
#pragma once

#include <qel/core/Export.h>
#include <qel/model/Result.h>

#include <memory>
#include <vector>

namespace Qel {

class QEL_API SparseResult : public Result {
 public:
  // "Sres".
  static constexpr RepTag DEFAULT_TAG{Detail::TagIdFromName("Sres")};
  // DEFAULT_TAG; hides Representation::GetDefaultTag.
  static const RepTag& GetDefaultTag() { return DEFAULT_TAG; }

  // A new, empty result tagged "Sres" holding one reference for the caller. Throws
  // BaseException 5 (out of memory).
  static SparseResult* Create();
  // Create() owned by a shared pointer that releases the reference.
  static std::shared_ptr<SparseResult> CreateSharedPtr();

  // Replaces the entries.
  void SetResults(const std::vector<IndexedResult>& entries);
  // A copy of the entries.
  std::vector<IndexedResult> GetResults();
  // Orders the entries by value, largest first.
  void SortResults();

  // Value and type of the first entry for `classIndex`.
  float GetResult(unsigned int classIndex) const override;
  // The entries themselves, whatever `count` is (SortResults puts them best first).
  const std::vector<IndexedResult>& GetBestResults(unsigned int count) override;
  eResultType GetResultType(unsigned int classIndex) override;
  // Overwrites the first entry of the same index whose type has the same kind bits
  // (ResTypeKindMask); otherwise appends a new entry.
  void SetResultItem(unsigned int classIndex, float value, eResultType type) override;
  unsigned int GetFinalClassCount() override;
  unsigned int GetFinalClassId(unsigned int n) override;
  Result* Clone() override;
  // Nothing to apply: the entries are added one by one.
  void InitializeProperties(XmlSaxParser* parser, const unsigned char** attributes) override;
  // True when there is at least one entry.
  bool IsValid() const override;

 protected:
  SparseResult() : Result(DEFAULT_TAG) {}
  ~SparseResult() override = default;

 private:
  std::vector<IndexedResult> m_entries;
};

}  // namespace Qel
