// A recursive lock: the owning thread may enter it again and must leave it as often. One
// object is shared by the threads it protects data for; it cannot be copied.
#pragma once

#include <mutex>

namespace Qel {

class CriticalSection {
 public:
  CriticalSection() = default;
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;

  // Blocks until the calling thread owns the lock.
  void Lock() { m_mutex.lock(); }
  // Leaves the lock once; only the owning thread may call it.
  void Unlock() { m_mutex.unlock(); }

 private:
  std::recursive_mutex m_mutex;
};

}  // namespace Qel
