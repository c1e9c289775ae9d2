// Process-wide retry settings that the product's components configure and read. The one
// instance lives until the process ends; any thread may read or change it (each value is
// read and written atomically).
#pragma once

#include <qel/core/Export.h>

#include <atomic>
#include <cstdint>

namespace Qel {

class QEL_API HighAvailability {
 public:
  // The instance, created on first use: inactive, 30 retry seconds, 500 ms between retries.
  static HighAvailability* getInstance();

  void InitializeHAParameters(bool isActive, std::int32_t retrySeconds,
                              std::int32_t milliSecondsBetweenRetries);
  bool getIsActive() const { return m_isActive.load(std::memory_order_relaxed); }
  std::int32_t getRetrySeconds() const { return m_retrySeconds.load(std::memory_order_relaxed); }
  std::int32_t getMilliSecondsBetweenRetries() const {
    return m_milliSecondsBetweenRetries.load(std::memory_order_relaxed);
  }

  HighAvailability(const HighAvailability&) = delete;
  HighAvailability& operator=(const HighAvailability&) = delete;

 protected:
  HighAvailability() = default;

  static HighAvailability* instance;

 private:
  std::atomic<bool> m_isActive{false};
  std::atomic<std::int32_t> m_milliSecondsBetweenRetries{500};
  std::atomic<std::int32_t> m_retrySeconds{30};
};

}  // namespace Qel
