// TermVector: a document's sparse features, (id, weight) pairs sorted by id with unique ids, as a
// representation on a document's feature chain. Reference counted (Create gives one reference to
// the caller); used by one thread at a time, read by several at once.
#pragma once

#include <qel/core/Export.h>
#include <qel/core/Node.h>
#include <qel/kit/TextVectorizer.h>
#include <qel/model/Representation.h>

#include <iosfwd>
#include <vector>

namespace Qel {

class QEL_API TermVector final : public Node, public Representation {
 public:
  // "Tvec".
  static constexpr RepTag DEFAULT_TAG{Detail::TagIdFromName("Tvec")};
  // DEFAULT_TAG; hides Representation::GetDefaultTag.
  static const RepTag& GetDefaultTag() { return DEFAULT_TAG; }

  // An empty vector tagged "Tvec" holding one reference for the caller. Throws BaseException 5
  // when out of memory.
  static TermVector* Create();
  // The entries sorted by id, the weights of equal ids added.
  static TermVector* Create(std::vector<TermEntry> entries);

  const std::vector<TermEntry>& GetEntries() const { return m_entries; }
  // Replaces the entries, sorting them and adding the weights of equal ids.
  void SetEntries(std::vector<TermEntry> entries);
  // The sum of the weights.
  double GetTotalWeight() const;

  // With another TermVector, the sparse scalar product; 0.0 with any other representation.
  double dot(const Representation& other) const override;
  // True when there is at least one entry.
  bool IsValid() const override;
  // Binary form, little-endian: the magic "TVec", a uint32 count, then count pairs of uint32 id
  // and float weight. Save returns false when the stream fails. Load returns false on a failed
  // or short stream, a count beyond the bytes left, ids not strictly increasing, or weights that
  // are not finite, and then leaves the entries unchanged.
  bool Save(std::ostream* os) override;
  bool Load(std::istream* is) override;

 private:
  TermVector() : Representation(DEFAULT_TAG) {}
  ~TermVector() override = default;

  std::vector<TermEntry> m_entries;
};

}  // namespace Qel
