// Fuzzes AsciiTextFilter: the first bytes choose the minimum word length, digits, the output size
// and how the rest becomes text: as raw UTF-16 (unpaired surrogates included) or, to reach word
// structure more often, one unit per byte from a small alphabet of letters, separators, marks,
// CJK units and surrogates. Output buffers are exactly the given size, so any write beyond it is
// caught; the variants with and without positions must agree, every position must point into
// the text, and every build of the block engine the processor runs must agree with the portable
// one.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "qel/text/AsciiTextFilter.h"
#include "text/WordBlocks.h"
#include "text/WordBlocksTesting.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

const char16_t kAlphabet[16] = {u'a',      u'b',      u'Z',      u'7',      u' ',   u' ',
                                u',',      u'\u05B0', u'\u0640', u'\u4E00', 0xD840, 0xDC00,
                                u'\u0416', u'\u0627', u'\n',     u'\u00E9'};

// The block engine on each path from the start of the text, compared with the portable path.
void CompareBlockPaths(const std::u16string& text, unsigned char minLen) {
  static const std::vector<unsigned char> map = [] {
    Qel::AsciiTextFilter* filter = Qel::AsciiTextFilter::Create(0, true);
    std::vector<unsigned char> m = Qel::Testing::BlockMap(filter);
    filter->Release();
    return m;
  }();
  const Qel::Detail::WordBlockTables tables{map.data(), minLen, 26};
  const auto length = static_cast<std::uint32_t>(text.size());
  const std::int64_t size = std::int64_t{length} * 4 + 400;
  std::vector<char> expected(size), actual(size);
  std::uint32_t expectedStop = 0;
  std::int64_t expectedCount = 1;
  Qel::Detail::FilterWordBlocks(text.data(), length, expected.data(), size, expectedStop,
                                expectedCount, tables, Qel::Detail::WordBlockPath::Portable);
  for (Qel::Detail::WordBlockPath path :
       {Qel::Detail::WordBlockPath::Bmi2, Qel::Detail::WordBlockPath::Avx512}) {
    if (!Qel::Detail::WordBlockPathAvailable(path)) continue;
    std::uint32_t stop = 0;
    std::int64_t count = 1;
    Qel::Detail::FilterWordBlocks(text.data(), length, actual.data(), size, stop, count, tables,
                                  path);
    Check(stop == expectedStop && count == expectedCount);
    Check(std::memcmp(actual.data(), expected.data(), count) == 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  static Qel::AsciiTextFilter* const withDigits = Qel::AsciiTextFilter::Create(0, true);
  static Qel::AsciiTextFilter* const withoutDigits = Qel::AsciiTextFilter::Create(0, false);
  Qel::AsciiTextFilter* filter = (data[0] & 1) ? withDigits : withoutDigits;
  const auto minLen = static_cast<unsigned char>(data[0] >> 1);
  filter->SetMinWordLen(minLen);
  const unsigned int outSize = static_cast<unsigned int>(data[1]) | (data[2] & 0x7) << 8;
  const bool fromAlphabet = (data[2] & 0x80) != 0;
  data += 3;
  size -= 3;

  std::u16string text;
  if (fromAlphabet) {
    for (std::size_t k = 0; k < size; ++k) text += kAlphabet[data[k] & 15];
  } else {
    text.assign(size / 2, u'\0');
    std::memcpy(text.data(), data, text.size() * 2);
  }
  const auto length = static_cast<unsigned int>(text.size());

  std::vector<char> plain(outSize);
  std::vector<char> tracked(outSize);
  std::vector<std::int32_t> positions;
  const unsigned int n = filter->FilterTextW(text.data(), length, plain.data(), outSize);
  const unsigned int m =
      filter->FilterTextW(text.data(), length, tracked.data(), outSize, positions);
  Check(n == m && n <= outSize);
  Check(n == 0 || std::memcmp(plain.data(), tracked.data(), n) == 0);
  Check(positions.size() == n);
  if (n > 0) Check(plain[n - 1] == 0);
  for (std::int32_t p : positions) Check(p >= 0 && p <= static_cast<std::int32_t>(length));
  CompareBlockPaths(text, minLen);

  // The narrow filter gets the room it documents, length + 2 bytes, however much it is told of.
  std::string bytes;
  if (fromAlphabet) {
    for (char16_t u : text) bytes += static_cast<char>(u);
  } else {
    bytes.assign(reinterpret_cast<const char*>(data), size);
  }
  const auto narrowLength = static_cast<unsigned int>(bytes.size());
  std::vector<char> narrow(bytes.size() + 2);
  std::vector<char> narrowTracked(bytes.size() + 2);
  const unsigned int k =
      filter->FilterTextA(bytes.data(), narrowLength, narrowTracked.data(),
                          static_cast<unsigned int>(narrowTracked.size()), positions);
  Check(k >= 1 && k <= narrowTracked.size() && narrowTracked[k - 1] == 0 && positions.size() == k);
  const unsigned int j = filter->FilterTextA(bytes.data(), narrowLength, narrow.data(), ~0u);
  Check(j == k && std::memcmp(narrow.data(), narrowTracked.data(), k) == 0);
  return 0;
}
