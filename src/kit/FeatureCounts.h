// FeatureCounts: per-feature sums (fixed point, unsigned 64-bit) of feature ids below 2^bits.
// Features added in increasing id order (one document's features, a model file) are kept as a
// sorted list; the first feature out of order moves them into an open-addressing hash table; once
// a sixteenth of the ids are present the table turns into a plain array indexed by id (at most 128
// bytes per feature then, against 12 in the list and 21 to 43 in the table), which is much faster
// to add to. In every form memory grows with the features present, not with the hash space. One
// thread at a time.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <utility>
#include <vector>

#include "kit/LargeAllocator.h"

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
    if (m_used * 4 >= m_slots.size() * 3) grow();
    std::size_t i = slot(id);
    while (m_slots[i].id != kEmpty && m_slots[i].id != id) i = (i + 1) & (m_slots.size() - 1);
    Slot& s = m_slots[i];
    if (s.id == kEmpty) {
      s.id = id;
      s.sum = value;
      ++m_used;
      if (m_used >= m_ids / 16) densify();
      return true;
    }
    if (s.sum > UINT64_MAX - value) return false;
    s.sum += value;
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
        for (std::size_t i = slot(id); m_slots[i].id != kEmpty;
             i = (i + 1) & (m_slots.size() - 1)) {
          if (m_slots[i].id == id) return m_slots[i].sum;
        }
        return 0;
    }
    return 0;
  }
  std::size_t Size() const { return m_used; }
  // The (id, sum) pairs sorted by id.
  LargeVector<std::pair<std::uint32_t, std::uint64_t>> Sorted() const {
    LargeVector<std::pair<std::uint32_t, std::uint64_t>> out;
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
        for (const Slot& s : m_slots) {
          if (s.id != kEmpty) f(s.id, s.sum);
        }
        return;
    }
  }

  // Calls f(id, sum) for every feature with lo <= id < hi, in the order of ForEach.
  template <class F>
  void ForEachIn(std::uint32_t lo, std::uint32_t hi, F&& f) const {
    switch (m_form) {
      case Form::List:
        for (auto i = static_cast<std::size_t>(
                 std::lower_bound(m_listIds.begin(), m_listIds.end(), lo) - m_listIds.begin());
             i < m_listIds.size() && m_listIds[i] < hi; ++i) {
          f(m_listIds[i], m_listValues[i]);
        }
        return;
      case Form::Dense:
        for (std::size_t id = lo; id < hi && id < m_dense.size(); ++id) {
          if (m_dense[id] != 0) f(static_cast<std::uint32_t>(id), m_dense[id]);
        }
        return;
      case Form::Table:
        for (const Slot& s : m_slots) {
          if (s.id != kEmpty && s.id >= lo && s.id < hi) f(s.id, s.sum);
        }
        return;
    }
  }

 private:
  enum class Form { List, Table, Dense };
  struct Slot {  // one cache access per lookup
    std::uint32_t id = kEmpty;
    std::uint64_t sum = 0;
  };

  std::size_t slot(std::uint32_t id) const {
    return static_cast<std::size_t>((id * 0x9E3779B97F4A7C15ULL) >> m_shift) & (m_slots.size() - 1);
  }
  void insertNew(std::uint32_t id, std::uint64_t value) {
    std::size_t j = slot(id);
    while (m_slots[j].id != kEmpty) j = (j + 1) & (m_slots.size() - 1);
    m_slots[j] = {id, value};
  }
  void resizeTable(std::size_t size) {
    m_slots.assign(size, Slot{});
    m_shift = 64 - static_cast<unsigned>(std::countr_zero(size));
  }
  void grow() {
    LargeVector<Slot> slots;
    std::swap(slots, m_slots);
    resizeTable(slots.empty() ? 64 : slots.size() * 2);
    for (const Slot& s : slots) {
      if (s.id != kEmpty) insertNew(s.id, s.sum);
    }
  }
  void toTable() {
    m_form = Form::Table;
    resizeTable(std::max<std::size_t>(64, std::bit_ceil(m_used * 2 + 1)));
    for (std::size_t i = 0; i < m_listIds.size(); ++i) insertNew(m_listIds[i], m_listValues[i]);
    LargeVector<std::uint32_t>().swap(m_listIds);
    LargeVector<std::uint64_t>().swap(m_listValues);
  }
  void densify() {
    LargeVector<std::uint64_t> dense(m_ids, 0);
    ForEach([&dense](std::uint32_t id, std::uint64_t sum) { dense[id] = sum; });
    m_dense = std::move(dense);
    m_form = Form::Dense;
    LargeVector<std::uint32_t>().swap(m_listIds);
    LargeVector<std::uint64_t>().swap(m_listValues);
    LargeVector<Slot>().swap(m_slots);
  }

  std::size_t m_ids;  // 2^bits
  Form m_form = Form::List;
  LargeVector<std::uint32_t> m_listIds;  // increasing
  LargeVector<std::uint64_t> m_listValues;
  LargeVector<std::uint64_t> m_dense;  // [id]
  LargeVector<Slot> m_slots;
  std::size_t m_used = 0;
  unsigned m_shift = 64;
};

}  // namespace Qel::Detail
