// A progress bar on standard error: count, rate and time left, redrawn at most ten times a
// second. Shown only when standard error is a terminal and the user did not ask for quiet.
// Add may be called from several threads; drawing happens on the caller of Add or Finish.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

namespace QelTool {

class Progress {
 public:
  // `total` 0 means unknown: then no bar and no time left, only the count and the rate.
  Progress(std::string label, std::uint64_t total, bool quiet);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  static bool Enabled(bool quiet);
  void SetTotal(std::uint64_t total);
  void Add(std::uint64_t count);
  // Draws the final state and ends the line (once).
  void Finish();

  // The line drawn for the given state (without the carriage return); exposed for tests.
  static std::string Format(const std::string& label, std::uint64_t done, std::uint64_t total,
                            double seconds);

 private:
  void Draw(bool force);

  std::string m_label;
  std::atomic<std::uint64_t> m_total;
  std::atomic<std::uint64_t> m_done{0};
  bool m_enabled;
  bool m_finished = false;
  std::mutex m_drawing;
  std::chrono::steady_clock::time_point m_start;
  std::chrono::steady_clock::time_point m_lastDraw;
};

}  // namespace QelTool
