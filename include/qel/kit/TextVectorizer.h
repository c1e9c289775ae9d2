// TextVectorizer: turns a UTF-16 text into hashed sparse features (words of the word filter and
// character n-grams of the case-folded form KC text). A vectorizer owns its word filter; once
// constructed it is read-only, and Vectorize may run on several threads at once.
#pragma once

#include <qel/core/Export.h>
#include <qel/core/IntrusivePtr.h>

#include <cstdint>
#include <string_view>
#include <vector>

namespace Qel {

class AsciiTextFilter;

// One feature of a document.
struct TermEntry {
  std::uint32_t id = 0;
  float weight = 0.0f;
  friend bool operator==(const TermEntry&, const TermEntry&) = default;
};

struct VectorizerOptions {
  bool words = true;           // words kept by AsciiTextFilter (its symbol codes, hashed)
  unsigned minWordLength = 2;  // 1..255, AsciiTextFilter's minimum word length
  bool digits = false;         // AsciiTextFilter keeps digits
  unsigned charMin = 1;        // character n-grams, n in [charMin, charMax], of the case-folded
  unsigned charMax = 4;        //   form KC text within words padded by one space; 0 = none; <= 8
  unsigned hashBits = 19;   // feature ids are a fixed 64-bit hash into 2^hashBits buckets (8..26)
  bool sublinearTf = true;  // weight = 1 + ln(count) instead of count
  friend bool operator==(const VectorizerOptions&, const VectorizerOptions&) = default;
};

class QEL_API TextVectorizer {
 public:
  // Throws BaseException InvalidArgument naming the option out of range (also when neither
  // words nor n-grams are asked for).
  explicit TextVectorizer(const VectorizerOptions& options);
  ~TextVectorizer();
  TextVectorizer(const TextVectorizer&) = delete;
  TextVectorizer& operator=(const TextVectorizer&) = delete;

  const VectorizerOptions& GetOptions() const { return m_options; }

  // The features of `text` into `out` (replaced): sorted by id, unique ids < 2^hashBits,
  // positive weights. Deterministic across runs, processes and machines; thread-safe.
  void Vectorize(std::u16string_view text, std::vector<TermEntry>& out) const;

  // The hash every feature id comes from: 64-bit FNV-1a over 32-bit units (each unit XORed in,
  // then multiplied by the FNV prime), started from the FNV offset basis XOR `seed`, and finished
  // by the 64-bit murmur3 mixer; the id is its top `hashBits` bits. Words use seed 1 and feed
  // their filter symbol codes, n-grams use seed 2 and feed their code points.
  static std::uint64_t Hash(std::uint64_t seed, const std::uint32_t* units, std::size_t count);

 private:
  VectorizerOptions m_options;
  IntrusivePtr<AsciiTextFilter> m_filter;
};

}  // namespace Qel
