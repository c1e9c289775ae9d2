// FeatureCounts: per-feature sums (fixed point, unsigned 64-bit) in an open-addressing hash table
// whose memory grows with the features present, not with the hash space. One thread at a time.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <utility>
#include <vector>

namespace Qel::Detail {

class FeatureCounts {
 public:
  static constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;  // feature ids stay below 2^26

  // Adds `value` to feature `id`; false (and nothing added) when the sum would overflow.
  bool Add(std::uint32_t id, std::uint64_t value) {
    if (m_used * 4 >= m_keys.size() * 3) grow();
    std::size_t i = slot(id);
    while (m_keys[i] != kEmpty && m_keys[i] != id) i = (i + 1) & (m_keys.size() - 1);
    if (m_keys[i] == kEmpty) {
      m_keys[i] = id;
      m_values[i] = value;
      ++m_used;
      return true;
    }
    if (m_values[i] > UINT64_MAX - value) return false;
    m_values[i] += value;
    return true;
  }
  // The sum of feature `id`; 0 when it has none.
  std::uint64_t Get(std::uint32_t id) const {
    if (m_keys.empty()) return 0;
    for (std::size_t i = slot(id); m_keys[i] != kEmpty; i = (i + 1) & (m_keys.size() - 1)) {
      if (m_keys[i] == id) return m_values[i];
    }
    return 0;
  }
  std::size_t Size() const { return m_used; }
  // The (id, sum) pairs sorted by id.
  std::vector<std::pair<std::uint32_t, std::uint64_t>> Sorted() const {
    std::vector<std::pair<std::uint32_t, std::uint64_t>> out;
    out.reserve(m_used);
    for (std::size_t i = 0; i < m_keys.size(); ++i) {
      if (m_keys[i] != kEmpty) out.emplace_back(m_keys[i], m_values[i]);
    }
    std::sort(out.begin(), out.end());
    return out;
  }
  // Calls f(id, sum) for every feature, in table order.
  template <class F>
  void ForEach(F&& f) const {
    for (std::size_t i = 0; i < m_keys.size(); ++i) {
      if (m_keys[i] != kEmpty) f(m_keys[i], m_values[i]);
    }
  }

 private:
  std::size_t slot(std::uint32_t id) const {
    return static_cast<std::size_t>((id * 0x9E3779B97F4A7C15ULL) >> m_shift) & (m_keys.size() - 1);
  }
  void grow() {
    const std::size_t size = m_keys.empty() ? 64 : m_keys.size() * 2;
    std::vector<std::uint32_t> keys(size, kEmpty);
    std::vector<std::uint64_t> values(size, 0);
    std::swap(keys, m_keys);
    std::swap(values, m_values);
    m_shift = 64 - static_cast<unsigned>(std::countr_zero(size));
    for (std::size_t i = 0; i < keys.size(); ++i) {
      if (keys[i] == kEmpty) continue;
      std::size_t j = slot(keys[i]);
      while (m_keys[j] != kEmpty) j = (j + 1) & (m_keys.size() - 1);
      m_keys[j] = keys[i];
      m_values[j] = values[i];
    }
  }

  std::vector<std::uint32_t> m_keys;
  std::vector<std::uint64_t> m_values;
  std::size_t m_used = 0;
  unsigned m_shift = 64;
};

}  // namespace Qel::Detail
