// FullResult: a dense classification result with one entry per class index and a cache of the
// best entries. Reference counted; used by one thread at a time.
#pragma once

#include <qel/core/Export.h>
#include <qel/model/Result.h>

#include <memory>
#include <vector>

namespace Qel {

class QEL_API FullResult : public Result {
 public:
  // "Fres".
  static constexpr RepTag DEFAULT_TAG{Detail::TagIdFromName("Fres")};
  // DEFAULT_TAG; hides Representation::GetDefaultTag.
  static const RepTag& GetDefaultTag() { return DEFAULT_TAG; }

  // A new, empty result tagged "Fres" holding one reference for the caller. Throws
  // BaseException 5 (out of memory).
  static FullResult* Create();
  // Create() owned by a shared pointer that releases the reference.
  static std::shared_ptr<FullResult> CreateSharedPtr();

  // `classCount + 1` copies of `*init` (of a default item when null).
  void Initialize(unsigned int classCount, FullResultItem* init);
  // Replaces the entries.
  void SetResults(const std::vector<FullResultItem>& items);
  // One entry per value, each of type ResTypeNew.
  void SetResults(const std::vector<float>& values);
  // A copy of the entries.
  std::vector<FullResultItem> GetResults();

  float GetResult(unsigned int classIndex) const override;
  // The entries with a positive value or type exactly ResTypeFinal, largest first; the single
  // entry {0, 0.0, ResTypeNew} when there is none. A longer cached answer is returned as it is.
  const std::vector<IndexedResult>& GetBestResults(unsigned int count) override;
  eResultType GetResultType(unsigned int classIndex) override;
  // Grows the entries up to `classIndex` when needed.
  void SetResultItem(unsigned int classIndex, float value, eResultType type) override;
  // Entry 0 is never counted.
  unsigned int GetFinalClassCount() override;
  unsigned int GetFinalClassId(unsigned int n) override;
  Result* Clone() override;
  // A non-zero "ClsCount" resets the entries to ClsCount + 1 default items.
  void InitializeProperties(XmlSaxParser* parser, const unsigned char** attributes) override;
  // True when there is at least one entry.
  bool IsValid() const override;

  // Reads "conf", "restype" and "ClassId" of a "ClsItem" element; an absent attribute leaves
  // its output unchanged.
  static void GetClsItemProperties(XmlSaxParser* parser, const unsigned char** attributes,
                                   float& conf, eResultType& type, unsigned int& classId);

 protected:
  FullResult() : Result(DEFAULT_TAG) {}
  ~FullResult() override = default;

 private:
  std::vector<FullResultItem> m_items;
  std::vector<IndexedResult> m_best;
};

}  // namespace Qel
