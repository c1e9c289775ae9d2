#include "qel/util/UniqueIdShared.h"

namespace Qel {

std::atomic<std::int32_t> UniqueIdShared::m_NextId{0};

std::int32_t UniqueIdShared::GetNextId(bool increment) {
  return increment ? m_NextId.fetch_add(1, std::memory_order_relaxed)
                   : m_NextId.load(std::memory_order_relaxed);
}

void UniqueIdShared::SetNextId(std::int32_t id) {
  std::int32_t current = m_NextId.load(std::memory_order_relaxed);
  while (current < id && !m_NextId.compare_exchange_weak(current, id, std::memory_order_relaxed)) {
  }
}

}  // namespace Qel
