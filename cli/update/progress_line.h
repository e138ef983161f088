// A download's progress on a terminal: one line, redrawn at most ten times
// a second, with the bytes so far, the rate and the time left.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace povupdate_cli {

class ProgressLine {
 public:
  // Draws nothing unless `shown` (standard output is a terminal, and
  // neither --json nor --quiet was given).
  ProgressLine(std::string name, bool shown);
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  void Report(std::uint64_t done, std::uint64_t total);

  // Whether standard output is a terminal.
  static bool OnTerminal();

 private:
  using Clock = std::chrono::steady_clock;
  std::string name_;
  bool shown_;
  bool drawn_ = false;
  Clock::time_point start_ = Clock::now();
  Clock::time_point last_{};
  std::uint64_t first_ = 0;
  bool started_ = false;
};

}  // namespace povupdate_cli
