#include "Progress.h"

#include <unistd.h>

#include <cstdio>

#include "Tool.h"

namespace QelTool {

namespace {

std::string Clock(double seconds) {
  if (!(seconds >= 0.0) || seconds > 359999.0) return "--:--";
  const auto s = static_cast<unsigned long>(seconds + 0.5);
  char buffer[32];
  if (s >= 3600) {
    std::snprintf(buffer, sizeof buffer, "%lu:%02lu:%02lu", s / 3600, s / 60 % 60, s % 60);
  } else {
    std::snprintf(buffer, sizeof buffer, "%lu:%02lu", s / 60, s % 60);
  }
  return buffer;
}

}  // namespace

Progress::Progress(std::string label, std::uint64_t total, bool quiet)
    : m_label(std::move(label)),
      m_total(total),
      m_enabled(Enabled(quiet)),
      m_start(std::chrono::steady_clock::now()),
      m_lastDraw(m_start) {}

Progress::~Progress() { Finish(); }

bool Progress::Enabled(bool quiet) { return !quiet && isatty(STDERR_FILENO) == 1; }

void Progress::SetTotal(std::uint64_t total) { m_total = total; }

void Progress::Add(std::uint64_t count) {
  m_done += count;
  if (m_enabled) Draw(false);
}

void Progress::Finish() {
  if (!m_enabled) return;
  std::lock_guard lock(m_drawing);
  if (m_finished) return;
  m_finished = true;
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
  std::fprintf(stderr, "\r%s\033[K\n", Format(m_label, m_done, m_total, seconds).c_str());
}

void Progress::Draw(bool force) {
  std::unique_lock lock(m_drawing, std::try_to_lock);
  if (!lock.owns_lock() || m_finished) return;
  const auto now = std::chrono::steady_clock::now();
  if (!force && now - m_lastDraw < std::chrono::milliseconds(100)) return;
  m_lastDraw = now;
  const double seconds = std::chrono::duration<double>(now - m_start).count();
  std::fprintf(stderr, "\r%s\033[K", Format(m_label, m_done, m_total, seconds).c_str());
  std::fflush(stderr);
}

std::string Progress::Format(const std::string& label, std::uint64_t done, std::uint64_t total,
                             double seconds) {
  const double rate = seconds > 0.0 ? static_cast<double>(done) / seconds : 0.0;
  std::string line = label + " ";
  if (total > 0) {
    constexpr int kWidth = 30;
    const double fraction = done >= total ? 1.0 : static_cast<double>(done) / total;
    const int filled = static_cast<int>(fraction * kWidth);
    line += "[" + std::string(filled, '#') + std::string(kWidth - filled, '.') + "] ";
    line += std::to_string(done) + "/" + std::to_string(total);
  } else {
    line += std::to_string(done);
  }
  line += "  " + FormatFixed(rate, 0) + "/s";
  if (total > 0) {
    const double left = rate > 0.0 && done <= total ? (total - done) / rate : -1.0;
    line += "  " + Clock(done >= total ? seconds : left) + (done >= total ? " total" : " left");
  }
  return line;
}

}  // namespace QelTool
