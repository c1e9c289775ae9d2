// Process-wide source of increasing numeric ids. The counter is shared by all instances and is
// atomic, so ids may be drawn from several threads at once.
#pragma once

#include <qel/core/Export.h>

#include <atomic>
#include <cstdint>

namespace Qel {

class QEL_API UniqueIdShared {
 public:
  UniqueIdShared() = default;
  // Instances hold nothing: copies share the one counter.
  UniqueIdShared(const UniqueIdShared&) {}
  UniqueIdShared& operator=(const UniqueIdShared&) { return *this; }
  virtual ~UniqueIdShared() = default;

  // The current counter value; with `increment` the counter then moves on by one.
  virtual std::int32_t GetNextId(bool increment);
  // Raises the counter to `id` if it is lower; never lowers it.
  virtual void SetNextId(std::int32_t id);

 private:
  static std::atomic<std::int32_t> m_NextId;
};

}  // namespace Qel
