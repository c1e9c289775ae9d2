#include "core/Utf8Scan.h"

#include <cstdint>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define QEL_UTF8_SCAN_X86 1
#endif

namespace Qel::Detail {
namespace {

// The rule for one byte, given the three before it.
inline bool ByteBreaksRule(unsigned char b, unsigned char p1, unsigned char p2, unsigned char p3) {
  const bool needsContinuation = p1 >= 0xC0 || p2 >= 0xE0 || p3 >= 0xF0;
  const bool isContinuation = (b & 0xC0) == 0x80;
  return needsContinuation != isContinuation || b == 0xC0 || b == 0xC1 || b >= 0xF5;
}

inline void Push(Utf8ScanCarry& carry, unsigned char b) {
  carry.last[2] = carry.last[1];
  carry.last[1] = carry.last[0];
  carry.last[0] = b;
  if (b >= 0x80) carry.multiByte = true;
}

// Byte by byte from `begin`; `carry` holds the three bytes before it.
std::size_t ScalarFault(const unsigned char* data, std::size_t begin, std::size_t size,
                        Utf8ScanCarry& carry) {
  for (std::size_t i = begin; i < size; ++i) {
    if (ByteBreaksRule(data[i], carry.last[0], carry.last[1], carry.last[2])) return i;
    Push(carry, data[i]);
  }
  return size;
}

// The carry for the bytes before `at` (at >= 3), which are known to keep the rule.
void CarryBefore(const unsigned char* data, std::size_t at, Utf8ScanCarry& carry) {
  carry.last[0] = data[at - 1];
  carry.last[1] = data[at - 2];
  carry.last[2] = data[at - 3];
  for (std::size_t k = 1; k <= 3; ++k) {
    if (data[at - k] >= 0x80) carry.multiByte = true;
  }
}

#if defined(QEL_UTF8_SCAN_X86)

// Masks of the bytes of `x` that are >= t (unsigned).
inline __m128i AtLeast(__m128i x, unsigned char t) {
  return _mm_cmpeq_epi8(_mm_max_epu8(x, _mm_set1_epi8(static_cast<char>(t))), x);
}

// Bytes that break the rule in `v`, given the 16 bytes `prev` before it.
inline __m128i Faults16(__m128i v, __m128i prev) {
  const __m128i p1 = _mm_or_si128(_mm_slli_si128(v, 1), _mm_srli_si128(prev, 15));
  const __m128i p2 = _mm_or_si128(_mm_slli_si128(v, 2), _mm_srli_si128(prev, 14));
  const __m128i p3 = _mm_or_si128(_mm_slli_si128(v, 3), _mm_srli_si128(prev, 13));
  const __m128i needs =
      _mm_or_si128(_mm_or_si128(AtLeast(p1, 0xC0), AtLeast(p2, 0xE0)), AtLeast(p3, 0xF0));
  const __m128i isContinuation = _mm_cmpgt_epi8(_mm_set1_epi8(-0x40), v);
  const __m128i invalid =
      _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(0xC0))),
                                _mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(0xC1)))),
                   AtLeast(v, 0xF5));
  return _mm_or_si128(_mm_xor_si128(needs, isContinuation), invalid);
}

// Offset of the first 64-byte chunk at or after `i` that holds a fault (the chunk is then to be
// walked byte by byte), or the offset where fewer than 64 bytes remain. data[i - 3, i) are read.
std::size_t ChunksSse2(const unsigned char* data, std::size_t i, std::size_t size, bool& high) {
  for (; size - i >= 64; i += 64) {
    const auto* p = reinterpret_cast<const __m128i*>(data + i);
    const __m128i a = _mm_loadu_si128(p);
    const __m128i b = _mm_loadu_si128(p + 1);
    const __m128i c = _mm_loadu_si128(p + 2);
    const __m128i d = _mm_loadu_si128(p + 3);
    const bool tailNeeds = data[i - 1] >= 0xC0 || data[i - 2] >= 0xE0 || data[i - 3] >= 0xF0;
    const int highBits = _mm_movemask_epi8(_mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d)));
    if (!tailNeeds && highBits == 0) continue;
    const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i - 16));
    const __m128i faults = _mm_or_si128(_mm_or_si128(Faults16(a, before), Faults16(b, a)),
                                        _mm_or_si128(Faults16(c, b), Faults16(d, c)));
    if (_mm_movemask_epi8(faults) != 0) return i;
    high = high || highBits != 0;
  }
  return i;
}

__attribute__((target("avx2"))) inline __m256i AtLeast32(__m256i x, unsigned char t) {
  return _mm256_cmpeq_epi8(_mm256_max_epu8(x, _mm256_set1_epi8(static_cast<char>(t))), x);
}

__attribute__((target("avx2"))) inline __m256i Faults32(__m256i v, __m256i prev) {
  // The 32 bytes starting 16 before v: the upper half of prev, the lower half of v.
  const __m256i shifted = _mm256_permute2x128_si256(prev, v, 0x21);
  const __m256i p1 = _mm256_alignr_epi8(v, shifted, 15);
  const __m256i p2 = _mm256_alignr_epi8(v, shifted, 14);
  const __m256i p3 = _mm256_alignr_epi8(v, shifted, 13);
  const __m256i needs = _mm256_or_si256(_mm256_or_si256(AtLeast32(p1, 0xC0), AtLeast32(p2, 0xE0)),
                                        AtLeast32(p3, 0xF0));
  const __m256i isContinuation = _mm256_cmpgt_epi8(_mm256_set1_epi8(-0x40), v);
  const __m256i invalid = _mm256_or_si256(
      _mm256_or_si256(_mm256_cmpeq_epi8(v, _mm256_set1_epi8(static_cast<char>(0xC0))),
                      _mm256_cmpeq_epi8(v, _mm256_set1_epi8(static_cast<char>(0xC1)))),
      AtLeast32(v, 0xF5));
  return _mm256_or_si256(_mm256_xor_si256(needs, isContinuation), invalid);
}

__attribute__((target("avx2"))) std::size_t ChunksAvx2(const unsigned char* data, std::size_t i,
                                                       std::size_t size, bool& high) {
  for (; size - i >= 64; i += 64) {
    const auto* p = reinterpret_cast<const __m256i*>(data + i);
    const __m256i a = _mm256_loadu_si256(p);
    const __m256i b = _mm256_loadu_si256(p + 1);
    const bool tailNeeds = data[i - 1] >= 0xC0 || data[i - 2] >= 0xE0 || data[i - 3] >= 0xF0;
    const int highBits = _mm256_movemask_epi8(_mm256_or_si256(a, b));
    if (!tailNeeds && highBits == 0) continue;
    const __m256i before = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i - 32));
    const __m256i faults = _mm256_or_si256(Faults32(a, before), Faults32(b, a));
    if (_mm256_movemask_epi8(faults) != 0) return i;
    high = high || highBits != 0;
  }
  return i;
}

// Both return the offset of the first 64-byte chunk that holds a fault, or where fewer than 64
// bytes remain; `high` is set when a chunk before it holds a byte of 80 or more.
using ChunkScan = std::size_t (*)(const unsigned char*, std::size_t, std::size_t, bool&);

ChunkScan PickChunkScan() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") ? ChunksAvx2 : ChunksSse2;
}

const ChunkScan kChunkScan = PickChunkScan();

#endif

}  // namespace

std::size_t FindUtf8Fault(const unsigned char* data, std::size_t size, Utf8ScanCarry& carry) {
  // The first 32 bytes go byte by byte, so that the wide loads may look 32 bytes back.
  const std::size_t head = size < 32 ? size : 32;
  std::size_t i = ScalarFault(data, 0, head, carry);
  if (i < head) return i;
#if defined(QEL_UTF8_SCAN_X86)
  bool high = carry.multiByte;
  const std::size_t start = i;
  while (size - i >= 64) {
    const std::size_t chunk = kChunkScan(data, i, size, high);
    i = chunk;
    if (size - chunk < 64) break;
    // Walk the chunk that holds a fault; the bytes before it keep the rule.
    Utf8ScanCarry at;
    at.multiByte = high;
    CarryBefore(data, chunk, at);
    const std::size_t fault = ScalarFault(data, chunk, chunk + 64, at);
    high = at.multiByte;
    i = chunk + 64;
    if (fault < i) {
      carry = at;
      return fault;
    }
  }
  if (i != start) {
    CarryBefore(data, i, carry);
    carry.multiByte = carry.multiByte || high;
  }
#endif
  return ScalarFault(data, i, size, carry);
}

}  // namespace Qel::Detail
