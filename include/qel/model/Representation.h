// Representation: a tagged numeric view of something (a feature vector, a result, a statistic),
// identified by a four-character tag. Not reference counted by itself: concrete representations
// also derive from Node and hang on a document's feature chain. Plain value semantics; used by
// one thread at a time.
#pragma once

#include <qel/core/Export.h>

#include <cstdint>
#include <iosfwd>
#include <string>

namespace Qel {

namespace Detail {
// The tag id of four characters: the first character in the lowest byte, so that the id's
// little-endian bytes read as the name.
constexpr std::int32_t TagIdFromName(const char (&name)[5]) {
  return static_cast<std::int32_t>(
      static_cast<std::uint32_t>(static_cast<unsigned char>(name[0])) |
      static_cast<std::uint32_t>(static_cast<unsigned char>(name[1])) << 8 |
      static_cast<std::uint32_t>(static_cast<unsigned char>(name[2])) << 16 |
      static_cast<std::uint32_t>(static_cast<unsigned char>(name[3])) << 24);
}
}  // namespace Detail

class QEL_API Representation {
 public:
  // Four bytes that are at once a signed 32-bit id and four characters in reading order
  // ("Dflt" is 0x746C6644). Two tags are equal when their ids are equal.
  struct RepTag {
    std::int32_t id = 0;

    // The characters up to the first zero byte, at most four.
    std::string GetName() const;
    friend constexpr bool operator==(const RepTag& a, const RepTag& b) { return a.id == b.id; }
  };

  // "Dflt".
  static constexpr RepTag DefaultTag{Detail::TagIdFromName("Dflt")};
  static const RepTag& GetDefaultTag();

  // Tagged DefaultTag.
  Representation() = default;
  explicit Representation(const RepTag& tag) : m_tag(tag) {}
  Representation(const Representation&) = default;
  Representation& operator=(const Representation&) = default;
  virtual ~Representation() = default;

  // The defaults describe an empty representation that supports no arithmetic.
  // Scalar product with `other`; 0.0.
  virtual double dot(const Representation& other) const;
  // Adds `other` to this one; does nothing.
  virtual void add(const Representation& other);
  // Subtracts `other` from this one; does nothing.
  virtual void sub(const Representation& other);
  // Distance to `other`; 0.0.
  virtual double dist(const Representation& other) const;
  // Whether this representation holds usable values; false.
  virtual bool IsValid() const;
  // Smallest value; 1.0, the same as GetMaximum().
  virtual double GetMinimum() const;
  // Largest value; 1.0.
  virtual double GetMaximum() const;
  // Writes this representation; the base has no form and returns false.
  virtual bool Save(std::ostream* os);
  // Reads this representation; returns false.
  virtual bool Load(std::istream* is);

  const RepTag& GetTag() const { return m_tag; }
  void SetTag(const RepTag& tag) { m_tag = tag; }
  std::int32_t GetTagId() const { return m_tag.id; }
  void SetTagId(std::int32_t id) { m_tag.id = id; }
  // The tag's characters up to the first zero byte, at most four.
  std::string GetTagName() const { return m_tag.GetName(); }
  // The tag of exactly four characters `name`; DefaultTag for any other length.
  void SetTagName(const std::string& name);

 private:
  RepTag m_tag = DefaultTag;
};

// The tag whose four bytes are `name` when it has exactly four characters (any bytes are
// accepted); Representation::DefaultTag ("Dflt") for any other length.
QEL_API Representation::RepTag SetRepTag(const std::string& name);

}  // namespace Qel
