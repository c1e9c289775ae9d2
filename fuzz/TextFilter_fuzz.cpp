// Fuzzes AsciiTextFilter: the first bytes choose the minimum word length, digits and the output
// size, the rest is UTF-16 (unpaired surrogates included) or ANSI text. Output buffers are
// exactly the given size, so any write beyond it is caught; the variants with and without
// positions must agree, and every position must point into the text.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "qel/text/AsciiTextFilter.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

struct Released {
  void operator()(Qel::AsciiTextFilter* f) const { f->Release(); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  static Qel::AsciiTextFilter* const withDigits = Qel::AsciiTextFilter::Create(0, true);
  static Qel::AsciiTextFilter* const withoutDigits = Qel::AsciiTextFilter::Create(0, false);
  Qel::AsciiTextFilter* filter = (data[0] & 1) ? withDigits : withoutDigits;
  filter->SetMinWordLen(static_cast<unsigned char>(data[0] >> 1));
  const unsigned int outSize = static_cast<unsigned int>(data[1]) | (data[2] & 0x3) << 8;
  data += 3;
  size -= 3;

  std::u16string text(size / 2, u'\0');
  std::memcpy(text.data(), data, text.size() * 2);
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

  // The narrow filter gets the room it documents: length + 2 bytes.
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::vector<char> narrow(bytes.size() + 2);
  const unsigned int k =
      filter->FilterTextA(bytes.data(), static_cast<unsigned int>(bytes.size()), narrow.data(),
                          static_cast<unsigned int>(narrow.size()), positions);
  Check(k >= 1 && k <= narrow.size() && narrow[k - 1] == 0 && positions.size() == k);
  return 0;
}
