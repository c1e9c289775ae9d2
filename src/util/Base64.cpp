// Table-driven Base64: the encoder emits two characters per 12-bit table entry, the decoder
// turns four characters into three bytes with four pre-shifted tables whose entries for
// characters outside the alphabet (and "=") carry a marker bit that sends the group to the
// checked path.
#include "qel/util/Base64.h"

#include <array>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "core/Text.h"
#include "core/Throw.h"
#include "qel/core/StringConversion.h"

namespace Qel {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
// Largest input whose encoding length fits 32 bits.
constexpr unsigned int kMaxEncodable = 3221225469u;
constexpr std::uint32_t kBad = 0x80000000u;

constexpr int ValueOf(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  if (c == '=') return -1;
  return -2;
}

struct Tables {
  std::array<std::uint16_t, 4096> pairs{};  // two characters for each 12-bit value
  std::array<std::uint32_t, 256> d0{}, d1{}, d2{}, d3{};
};

constexpr Tables MakeTables() {
  Tables t;
  for (int i = 0; i < 4096; ++i) {
    // Memory order: first character in the low byte (little-endian store below).
    t.pairs[i] = static_cast<std::uint16_t>(static_cast<unsigned char>(kAlphabet[i >> 6]) |
                                            (static_cast<unsigned char>(kAlphabet[i & 63]) << 8));
  }
  for (int c = 0; c < 256; ++c) {
    const int v = ValueOf(static_cast<unsigned char>(c));
    const bool bad = v < 0;
    const std::uint32_t u = bad ? 0 : static_cast<std::uint32_t>(v);
    t.d0[c] = bad ? kBad : u << 18;
    t.d1[c] = bad ? kBad : u << 12;
    t.d2[c] = bad ? kBad : u << 6;
    t.d3[c] = bad ? kBad : u;
  }
  return t;
}

constexpr Tables kTables = MakeTables();

inline void PutPair(char* out, std::uint32_t twelveBits) {
  const std::uint16_t pair = kTables.pairs[twelveBits];
  out[0] = static_cast<char>(pair & 0xFF);
  out[1] = static_cast<char>(pair >> 8);
}

[[noreturn]] void ThrowDecode(const char16_t* where) { Detail::ThrowGeneral(where); }

}  // namespace

int Base64::Pos(char c) {
  const int v = ValueOf(static_cast<unsigned char>(c));
  if (v == -2) ThrowDecode(u"Base64::Pos()");
  return v;
}

unsigned int Base64::CalculateEncodedSize(unsigned int size) {
  if (size == 0) return 0;
  if (size > kMaxEncodable) ThrowDecode(u"Base64::CalculateEncodedSize()");
  return ((size - 1) / 3) * 4 + 4;
}

unsigned int Base64::CalculateDecodedSize(unsigned int length) { return (length / 4) * 3; }

void Base64::Encode(const void* data, unsigned int size, char* out) {
  const auto* in = static_cast<const unsigned char*>(data);
  unsigned int i = 0;
  if constexpr (std::endian::native == std::endian::little) {
    // Six input bytes (read as eight) give eight characters stored at once; two such steps
    // per round keep more table loads in flight.
    auto sixToEight = [&](const unsigned char* from, char* to) {
      std::uint64_t word;
      std::memcpy(&word, from, sizeof word);
      word = __builtin_bswap64(word);
      const std::uint64_t chars = std::uint64_t{kTables.pairs[(word >> 52) & 0xFFF]} |
                                  (std::uint64_t{kTables.pairs[(word >> 40) & 0xFFF]} << 16) |
                                  (std::uint64_t{kTables.pairs[(word >> 28) & 0xFFF]} << 32) |
                                  (std::uint64_t{kTables.pairs[(word >> 16) & 0xFFF]} << 48);
      std::memcpy(to, &chars, sizeof chars);
    };
    for (; i + 14 <= size; i += 12) {
      sixToEight(in + i, out);
      sixToEight(in + i + 6, out + 8);
      out += 16;
    }
    for (; i + 8 <= size; i += 6) {
      std::uint64_t word;
      std::memcpy(&word, in + i, sizeof word);
      word = __builtin_bswap64(word);
      const std::uint64_t chars = std::uint64_t{kTables.pairs[(word >> 52) & 0xFFF]} |
                                  (std::uint64_t{kTables.pairs[(word >> 40) & 0xFFF]} << 16) |
                                  (std::uint64_t{kTables.pairs[(word >> 28) & 0xFFF]} << 32) |
                                  (std::uint64_t{kTables.pairs[(word >> 16) & 0xFFF]} << 48);
      std::memcpy(out, &chars, sizeof chars);
      out += 8;
    }
  }
  for (; i + 3 <= size; i += 3) {
    const std::uint32_t v =
        (std::uint32_t{in[i]} << 16) | (std::uint32_t{in[i + 1]} << 8) | in[i + 2];
    PutPair(out, v >> 12);
    PutPair(out + 2, v & 0xFFF);
    out += 4;
  }
  const unsigned int rest = size - i;
  if (rest != 0) {
    const std::uint32_t v =
        (std::uint32_t{in[i]} << 16) | (rest == 2 ? std::uint32_t{in[i + 1]} << 8 : 0);
    PutPair(out, v >> 12);
    out[2] = rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
    out[3] = '=';
    out += 4;
  }
  *out = '\0';
}

char* Base64::Encode(const void* data, unsigned int size) {
  const std::size_t bytes = size == 0 ? 1 : std::size_t{CalculateEncodedSize(size)} + 1;
  char* out = static_cast<char*>(std::malloc(bytes));
  if (out == nullptr) Detail::ThrowOutOfMemory(u"Base64::Encode()");
  Encode(data, size, out);
  return out;
}

void Base64::Decode(const char* text, unsigned int& length, unsigned char* out) {
  if (length % 4 != 0) ThrowDecode(u"Base64::Decode()[0]");
  if (length == 0) return;
  const auto* in = reinterpret_cast<const unsigned char*>(text);
  const unsigned int groups = length / 4;
  unsigned int lastPadding = 0;
  unsigned int g = 0;
  if constexpr (std::endian::native == std::endian::little) {
    // Two groups from one eight-byte load, six bytes out with one eight-byte store; the two
    // extra bytes land where the following group writes, so at least one group must follow.
    for (; g + 2 < groups; g += 2, in += 8, out += 6) {
      std::uint64_t word;
      std::memcpy(&word, in, sizeof word);
      const std::uint32_t a = kTables.d0[word & 0xFF] | kTables.d1[(word >> 8) & 0xFF] |
                              kTables.d2[(word >> 16) & 0xFF] | kTables.d3[(word >> 24) & 0xFF];
      const std::uint32_t b = kTables.d0[(word >> 32) & 0xFF] | kTables.d1[(word >> 40) & 0xFF] |
                              kTables.d2[(word >> 48) & 0xFF] | kTables.d3[word >> 56];
      if (((a | b) & kBad) != 0) break;  // padding or a foreign character: checked below
      const std::uint64_t bytes =
          (__builtin_bswap32(a) >> 8) | (std::uint64_t{__builtin_bswap32(b) >> 8} << 24);
      std::memcpy(out, &bytes, sizeof bytes);
    }
  }
  for (; g < groups; ++g, in += 4, out += 3) {
    const std::uint32_t v =
        kTables.d0[in[0]] | kTables.d1[in[1]] | kTables.d2[in[2]] | kTables.d3[in[3]];
    if ((v & kBad) == 0 && g + 1 < groups) {
      out[0] = static_cast<unsigned char>(v >> 16);
      out[1] = static_cast<unsigned char>(v >> 8);
      out[2] = static_cast<unsigned char>(v);
      continue;
    }
    // Checked path: padding, a character outside the alphabet, or the last group.
    const int p0 = Pos(static_cast<char>(in[0]));
    const int p1 = Pos(static_cast<char>(in[1]));
    const int p2 = Pos(static_cast<char>(in[2]));
    const int p3 = Pos(static_cast<char>(in[3]));
    if (p0 < 0 || p1 < 0) ThrowDecode(u"Base64::Decode()[1]");
    if (p2 < 0 && p3 >= 0) ThrowDecode(u"Base64::Decode()[2]");
    out[0] = static_cast<unsigned char>((p0 << 2) + (p1 >> 4));
    out[1] = p2 < 0 ? 0 : static_cast<unsigned char>((p1 << 4) + (p2 >> 2));
    out[2] = p3 < 0 ? 0 : static_cast<unsigned char>((p2 << 6) + p3);
    lastPadding = (p2 < 0 ? 1 : 0) + (p3 < 0 ? 1 : 0);
  }
  length = groups * 3 - lastPadding;
}

void* Base64::Decode(const char* text, unsigned int& length) {
  if (length % 4 != 0) ThrowDecode(u"Base64::Decode()[0]");
  const std::size_t bytes = CalculateDecodedSize(length);
  void* out = std::malloc(bytes == 0 ? 1 : bytes);
  if (out == nullptr) Detail::ThrowOutOfMemory(u"Base64::Decode()");
  try {
    Decode(text, length, static_cast<unsigned char*>(out));
  } catch (...) {
    std::free(out);
    throw;
  }
  return out;
}

std::string Base64::ToBase64(const std::string& bytes) {
  if (bytes.empty()) return {};
  if (bytes.size() > kMaxEncodable) ThrowDecode(u"Base64::ToBase64()");
  const auto size = static_cast<unsigned int>(bytes.size());
  std::string text(CalculateEncodedSize(size) + 1, '\0');
  Encode(bytes.data(), size, text.data());
  text.pop_back();
  return text;
}

std::string Base64::FromBase64(const std::string& text) {
  if (text.empty()) return {};
  if (text.size() > std::numeric_limits<unsigned int>::max()) ThrowDecode(u"Base64::Decode()[0]");
  unsigned int length = static_cast<unsigned int>(text.size());
  if (length % 4 != 0) ThrowDecode(u"Base64::Decode()[0]");
  std::string bytes(CalculateDecodedSize(length), '\0');
  Decode(text.data(), length, reinterpret_cast<unsigned char*>(bytes.data()));
  bytes.resize(length);
  return bytes;
}

std::u16string Base64::ToBase64(const std::u16string& text) {
  std::string utf8;
  ConvertWideCharToUTF8(text, utf8);
  if (!utf8.empty() && utf8.back() == '\0') utf8.pop_back();
  const std::string encoded = ToBase64(utf8);
  return Detail::AsciiToU16(encoded);
}

std::u16string Base64::FromBase64(const std::u16string& text) {
  std::string narrow;
  ConvertWideCharToUTF8(text, narrow);
  if (!narrow.empty() && narrow.back() == '\0') narrow.pop_back();
  const std::string bytes = FromBase64(narrow);
  return Utf8ToUtf16(bytes.data(), std::strlen(bytes.c_str()));
}

}  // namespace Qel
