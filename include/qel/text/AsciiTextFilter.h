// Text filter over a small alphabet: letters are case-folded and many accented and non-Latin
// letters folded onto it, CJK characters become three-symbol words. Created by Create with one
// reference that the caller owns; filter calls only read the tables and may run on several
// threads at once, as long as no thread calls SetUseDigits meanwhile.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "qel/core/Export.h"
#include "qel/text/TextFilter.h"

namespace Qel {

class QEL_API AsciiTextFilter : public TextFilter {
 public:
  // A new filter with one reference. Throws BaseException 5 when out of memory.
  static AsciiTextFilter* Create(unsigned char minWordLen, bool useDigits);

  // Copies all tables and settings; the copy starts with a reference count of 0.
  AsciiTextFilter(const AsciiTextFilter& other);
  // Copies all tables and settings; the reference count of this filter is kept.
  AsciiTextFilter& operator=(const AsciiTextFilter& other);

  using TextFilter::FilterText;
  unsigned int FilterTextA(const char* text, unsigned int length, char* out, unsigned int outSize,
                           std::vector<std::int32_t>& positions) override;
  unsigned int FilterTextA(const char* text, unsigned int length, char* out,
                           unsigned int outSize) override;
  unsigned int FilterTextW(const char16_t* text, unsigned int length, char* out,
                           unsigned int outSize, std::vector<std::int32_t>& positions) override;
  unsigned int FilterTextW(const char16_t* text, unsigned int length, char* out,
                           unsigned int outSize) override;
  unsigned int GetSymbolCount() override { return m_symbolCount; }
  const unsigned char* GetAlphaNum() override { return m_alphaNum; }

  // The lowest code a digit or letter gets (16).
  std::uint32_t GetMinSymbol() const { return m_minSymbol; }
  // Words shorter than this are dropped (words that reach a CJK character never are).
  unsigned char GetMinWordLen() const { return m_minWordLen; }
  void SetMinWordLen(unsigned char minWordLen) { m_minWordLen = minWordLen; }
  bool GetUseDigits() const { return m_useDigits; }
  // Rebuilds the tables: digits become word characters or separators.
  void SetUseDigits(bool useDigits);

  // Set whenever a filter has built its tables; informational only.
  static std::atomic<bool> m_AlphaNumWInitialized;

 protected:
  AsciiTextFilter() = default;
  ~AsciiTextFilter() override = default;

 private:
  unsigned int InitFilter(bool useDigits);
  // Writes the three base-40 symbols of a CJK character and, except after a high surrogate, the
  // closing 0. Returns the bytes written.
  std::int32_t EncodeCJK(char16_t ch, char* out) const;
  template <bool kWide, bool kPositions, class Unit>
  unsigned int Filter(const Unit* text, unsigned int length, char* out, unsigned int outSize,
                      std::vector<std::int32_t>* positions) const;

  unsigned char m_narrowMap[256] = {};
  unsigned char m_alphaNum[256] = {};
  std::uint32_t m_symbolCount = 0;
  std::uint32_t m_minSymbol = 16;
  std::uint32_t m_maxSymbol = 240;
  std::uint32_t m_cjkSymbol = 241;
  std::uint32_t m_digitBase = 16;
  std::uint32_t m_letterBase = 26;
  std::uint32_t m_ignoreSymbol = 1;
  bool m_useDigits = false;
  unsigned char m_minWordLen = 0;
  unsigned char m_wideMap[65536] = {};
  // The wide map as the block engine reads it: high surrogates get a code of their own.
  unsigned char m_blockMap[65536] = {};
};

}  // namespace Qel
