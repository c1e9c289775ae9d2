// ErrorPlot: per class, histograms of the best scores of correctly and of wrongly classified
// documents, from which the fraction above each confidence threshold is read. A node and a
// representation; reference counted, used by one thread at a time.
#pragma once

#include <qel/core/Export.h>
#include <qel/core/Node.h>
#include <qel/model/Representation.h>

#include <cstdint>
#include <vector>

namespace Qel {

class QEL_API ErrorPlot : public Node, public Representation {
 public:
  // "Eplt".
  static constexpr RepTag DefaultTag{Detail::TagIdFromName("Eplt")};
  // Bin i holds scores in [i/100, (i+1)/100); the last bin holds 1.0 and above.
  static constexpr unsigned int BinCount = 101;

  // A new, empty plot for `classId` with one reference for the caller. Throws BaseException 5
  // (out of memory).
  static ErrorPlot* Create(unsigned int classId);
  static const RepTag& GetDefaultTag();

  unsigned int GetClassId() const { return m_classId; }
  // Documents counted in both histograms together.
  unsigned int GetCount() const { return m_count; }
  // True once a document has been counted.
  bool IsValid() const override;

  // Count one document in `bin` of the good (correct) or bad (wrong) histogram; a bin at or
  // beyond BinCount is ignored.
  void IncrGood(unsigned int bin);
  void IncrBad(unsigned int bin);
  // Adds the counts of `other` when it is a valid ErrorPlot; anything else is ignored.
  void add(const Representation& other) override;

  // 101 values: entry i is the fraction of all counted documents that were classified
  // correctly (wrongly) with a best score of at least i/100. All 0 for an empty plot.
  std::vector<float> GetGoodHistogram() const;
  std::vector<float> GetBadHistogram() const;

 protected:
  explicit ErrorPlot(unsigned int classId)
      : Representation(DefaultTag), m_classId(classId), m_good(BinCount), m_bad(BinCount) {}
  ~ErrorPlot() override = default;

 private:
  std::vector<float> cumulative(const std::vector<std::uint32_t>& bins) const;

  unsigned int m_classId;
  unsigned int m_count = 0;
  std::vector<std::uint32_t> m_good;
  std::vector<std::uint32_t> m_bad;
};

}  // namespace Qel
