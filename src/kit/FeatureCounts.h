// FeatureCounts: per-feature sums (fixed point, unsigned 64-bit) of feature ids below 2^bits.
// Features added in increasing id order (one document's features, a model file) are kept as a
// sorted list; the first feature out of order moves them into an open-addressing hash table; once
// an eighth of the ids are present the table turns into a plain array indexed by id (at most 64
// bytes per feature then, against 12 in the list and 16 to 32 in the table), which is much faster
// to add to. In every form memory grows with the features present, not with the hash space. One thread
// at a time.
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

  explicit FeatureCounts(unsigned bits) : m_ids(std::size_t{1} << bits) {}

  // Adds `value` to feature `id` (< 2^bits); false (and nothing added) when the sum would
  // overflow. Adding 0 changes nothing.
  bool Add(std::uint32_t id, std::uint64_t value) {
    if (value == 0) return true;
    if (m_form == Form::List) {
      if (m_listIds.empty() || id > m_listIds.back()) {
        m_listIds.push_back(id);
        m_listValues.push_back(value);
        ++m_used;
        return true;
      }
      toTable();
    }
    if (m_form == Form::Dense) {
      std::uint64_t& sum = m_dense[id];
      if (sum > UINT64_MAX - value) return false;
      m_used += sum == 0;
      sum += value;
      return true;
    }
    if (m_used * 4 >= m_keys.size() * 3) grow();
    std::size_t i = slot(id);
    while (m_keys[i] != kEmpty && m_keys[i] != id) i = (i + 1) & (m_keys.size() - 1);
    if (m_keys[i] == kEmpty) {
      m_keys[i] = id;
      m_values[i] = value;
      ++m_used;
      if (m_used >= m_ids / 8) densify();
      return true;
    }
    if (m_values[i] > UINT64_MAX - value) return false;
    m_values[i] += value;
    return true;
  }
  // Room for `more` features added in increasing id order, growing at least geometrically.
  void ReserveInOrder(std::size_t more) {
    if (m_form != Form::List || m_listIds.size() + more <= m_listIds.capacity()) return;
    const std::size_t size = std::max(m_listIds.size() + more, m_listIds.capacity() * 2);
    m_listIds.reserve(size);
    m_listValues.reserve(size);
  }
  // The sum of feature `id`; 0 when it has none.
  std::uint64_t Get(std::uint32_t id) const {
    switch (m_form) {
      case Form::List: {
        const auto it = std::lower_bound(m_listIds.begin(), m_listIds.end(), id);
        return it != m_listIds.end() && *it == id ? m_listValues[it - m_listIds.begin()] : 0;
      }
      case Form::Dense:
        return id < m_dense.size() ? m_dense[id] : 0;
      case Form::Table:
        for (std::size_t i = slot(id); m_keys[i] != kEmpty; i = (i + 1) & (m_keys.size() - 1)) {
          if (m_keys[i] == id) return m_values[i];
        }
        return 0;
    }
    return 0;
  }
  std::size_t Size() const { return m_used; }
  // The (id, sum) pairs sorted by id.
  std::vector<std::pair<std::uint32_t, std::uint64_t>> Sorted() const {
    std::vector<std::pair<std::uint32_t, std::uint64_t>> out;
    out.reserve(m_used);
    ForEach([&out](std::uint32_t id, std::uint64_t sum) { out.emplace_back(id, sum); });
    if (m_form == Form::Table) std::sort(out.begin(), out.end());
    return out;
  }
  // Calls f(id, sum) for every feature: in id order, except in table order while a table.
  template <class F>
  void ForEach(F&& f) const {
    switch (m_form) {
      case Form::List:
        for (std::size_t i = 0; i < m_listIds.size(); ++i) f(m_listIds[i], m_listValues[i]);
        return;
      case Form::Dense:
        for (std::size_t id = 0; id < m_dense.size(); ++id) {
          if (m_dense[id] != 0) f(static_cast<std::uint32_t>(id), m_dense[id]);
        }
        return;
      case Form::Table:
        for (std::size_t i = 0; i < m_keys.size(); ++i) {
          if (m_keys[i] != kEmpty) f(m_keys[i], m_values[i]);
        }
        return;
    }
  }

 private:
  enum class Form { List, Table, Dense };

  std::size_t slot(std::uint32_t id) const {
    return static_cast<std::size_t>((id * 0x9E3779B97F4A7C15ULL) >> m_shift) & (m_keys.size() - 1);
  }
  void insertNew(std::uint32_t id, std::uint64_t value) {
    std::size_t j = slot(id);
    while (m_keys[j] != kEmpty) j = (j + 1) & (m_keys.size() - 1);
    m_keys[j] = id;
    m_values[j] = value;
  }
  void resizeTable(std::size_t size) {
    m_keys.assign(size, kEmpty);
    m_values.assign(size, 0);
    m_shift = 64 - static_cast<unsigned>(std::countr_zero(size));
  }
  void grow() {
    std::vector<std::uint32_t> keys;
    std::vector<std::uint64_t> values;
    std::swap(keys, m_keys);
    std::swap(values, m_values);
    resizeTable(keys.empty() ? 64 : keys.size() * 2);
    for (std::size_t i = 0; i < keys.size(); ++i) {
      if (keys[i] != kEmpty) insertNew(keys[i], values[i]);
    }
  }
  void toTable() {
    m_form = Form::Table;
    resizeTable(std::max<std::size_t>(64, std::bit_ceil(m_used * 2 + 1)));
    for (std::size_t i = 0; i < m_listIds.size(); ++i) insertNew(m_listIds[i], m_listValues[i]);
    std::vector<std::uint32_t>().swap(m_listIds);
    std::vector<std::uint64_t>().swap(m_listValues);
  }
  void densify() {
    std::vector<std::uint64_t> dense(m_ids, 0);
    ForEach([&dense](std::uint32_t id, std::uint64_t sum) { dense[id] = sum; });
    m_dense = std::move(dense);
    m_form = Form::Dense;
    std::vector<std::uint32_t>().swap(m_listIds);
    std::vector<std::uint64_t>().swap(m_listValues);
    std::vector<std::uint32_t>().swap(m_keys);
    std::vector<std::uint64_t>().swap(m_values);
  }

  std::size_t m_ids;  // 2^bits
  Form m_form = Form::List;
  std::vector<std::uint32_t> m_listIds;  // increasing
  std::vector<std::uint64_t> m_listValues;
  std::vector<std::uint64_t> m_dense;  // [id]
  std::vector<std::uint32_t> m_keys;
  std::vector<std::uint64_t> m_values;
  std::size_t m_used = 0;
  unsigned m_shift = 64;
};

}  // namespace Qel::Detail
