#include "qel/util/StringHash.h"

#include <algorithm>
#include <cmath>

#include "util/StringHashTable.h"

namespace Qel {

stringhash::stringhash(const stringhash& other) { *this = other; }

stringhash& stringhash::operator=(const stringhash& other) {
  std::copy(std::begin(other.m_primes), std::end(other.m_primes), std::begin(m_primes));
  return *this;
}

std::uint32_t stringhash::GetStringHash(const std::string& text) {
  return GetStringHash(static_cast<std::uint32_t>(text.size()), text.data());
}

std::uint32_t stringhash::GetStringHash(std::uint32_t length, const char* text) {
  const std::uint32_t* table = Detail::kStringHashTable;
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  // Four independent sums keep the table loads in flight; the weights step by 8 per round.
  std::uint32_t s0 = 0, s1 = 0, s2 = 0, s3 = 0;
  std::uint32_t i = 0;
  for (; i + 4 <= length; i += 4) {
    const std::uint32_t w = 2 * i + 1;
    s0 += w * table[bytes[i]];
    s1 += (w + 2) * table[bytes[i + 1]];
    s2 += (w + 4) * table[bytes[i + 2]];
    s3 += (w + 6) * table[bytes[i + 3]];
  }
  for (; i < length; ++i) s0 += (2 * i + 1) * table[bytes[i]];
  return s0 + s1 + s2 + s3;
}

std::uint32_t stringhash::GetStringHashW(const std::u16string& text) {
  return GetStringHashW(static_cast<std::uint32_t>(text.size()), text.data());
}

std::uint32_t stringhash::GetStringHashW(std::uint32_t length, const char16_t* text) {
  const std::uint32_t* table = Detail::kStringHashTable;
  std::uint32_t s0 = 0, s1 = 0, s2 = 0, s3 = 0;
  std::uint32_t i = 0;
  for (; i + 4 <= length; i += 4) {
    const std::uint32_t w = 2 * i + 1;
    s0 += w * table[text[i] & 0x3FF];
    s1 += (w + 2) * table[text[i + 1] & 0x3FF];
    s2 += (w + 4) * table[text[i + 2] & 0x3FF];
    s3 += (w + 6) * table[text[i + 3] & 0x3FF];
  }
  for (; i < length; ++i) s0 += (2 * i + 1) * table[text[i] & 0x3FF];
  return s0 + s1 + s2 + s3;
}

unsigned int stringhash::CalcNextPrimeNumber(unsigned int n) {
  switch (n) {
    case 0:
      return 1;
    case 1:
      return 2;
    case 2:
      return 3;
    case 3:
      return 5;
    case 5:
      return 7;
    case 7:
      return 11;
    default:
      break;
  }
  unsigned int candidate = (n % 2 == 0) ? n + 1 : n + 2;
  for (;; candidate += 2) {
    if (candidate < 9) return candidate;
    const auto limit = static_cast<unsigned int>(std::sqrt(static_cast<double>(candidate)));
    bool prime = true;
    for (unsigned int d = 3; d <= limit; d += 2) {
      if (candidate % d == 0) {
        prime = false;
        break;
      }
    }
    if (prime) return candidate;
  }
}

void stringhash::InitPrimeNumbers(unsigned int /*count*/) {
  // 256 consecutive primes from the first one at or above 675.
  unsigned int prime = CalcNextPrimeNumber(674);
  for (double& value : m_primes) {
    value = prime;
    prime = CalcNextPrimeNumber(prime);
  }
}

}  // namespace Qel
