// Intrusive reference counting for nodes and analysers. Counts change atomically, so
// references may be taken and dropped from several threads at once; the counted object itself
// is used by one thread at a time.
#pragma once

#include <qel/core/Export.h>

#include <atomic>
#include <cstdint>
#include <string>

namespace Qel {

class QEL_API RefCounter {
 public:
  RefCounter() = default;
  RefCounter(const RefCounter&) = delete;
  RefCounter& operator=(const RefCounter&) = delete;
  virtual ~RefCounter() = default;

  // Atomic increment; returns the new count.
  std::int32_t AddRefCount() { return m_refCount.fetch_add(1, std::memory_order_relaxed) + 1; }
  // Atomic decrement; deletes the object when the new count is 0 or less. Returns the new count.
  std::int32_t Release() {
    const std::int32_t count = m_refCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (count <= 0) delete this;
    return count;
  }
  std::int32_t GetRefCount() const { return m_refCount.load(std::memory_order_relaxed); }

  // Kept for source compatibility; they do nothing.
  static void StartDebugSession(const std::u16string&, const std::u16string&, bool) {}
  static void StopDebugSession() {}

 private:
  std::atomic<std::int32_t> m_refCount{0};
};

}  // namespace Qel
