#include "update/progress_line.h"

#include <cstdio>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace povupdate_cli {
namespace {

constexpr std::chrono::milliseconds kRedraw{100};
constexpr double kMegabyte = 1024.0 * 1024.0;

}  // namespace

ProgressLine::ProgressLine(std::string name, bool shown) : name_(std::move(name)), shown_(shown) {}

ProgressLine::~ProgressLine() {
  // The next line of output starts on a line of its own.
  if (drawn_) (void)std::fputs("\n", stdout);
}

bool ProgressLine::OnTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stdout)) != 0;
#else
  return isatty(STDOUT_FILENO) != 0;
#endif
}

void ProgressLine::Report(std::uint64_t done, std::uint64_t total) {
  if (!shown_) return;
  const Clock::time_point now = Clock::now();
  if (!started_) {
    // A resumed download's rate counts only what this run brought.
    started_ = true;
    first_ = done;
    start_ = now;
  }
  if (drawn_ && now - last_ < kRedraw && done != total) return;
  last_ = now;
  drawn_ = true;
  const double seconds = std::chrono::duration<double>(now - start_).count();
  const double rate = seconds > 0 ? static_cast<double>(done - first_) / seconds : 0;
  const double left = rate > 0 ? static_cast<double>(total - done) / rate : 0;
  (void)std::printf("\r%s  %.1f / %.1f MB  %.1f MB/s  %d:%02d left \x1b[K", name_.c_str(),
                    static_cast<double>(done) / kMegabyte, static_cast<double>(total) / kMegabyte,
                    rate / kMegabyte, static_cast<int>(left) / 60, static_cast<int>(left) % 60);
  (void)std::fflush(stdout);
}

}  // namespace povupdate_cli
