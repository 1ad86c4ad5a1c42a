#include "progress.h"

#include <unistd.h>

#include <cstdio>

namespace capture {

Progress::Progress(int64_t total_frames, bool stats)
    : total_(total_frames > 0 ? total_frames : 1),
      terminal_(isatty(STDERR_FILENO) == 1),
      stats_(stats),
      start_(Clock::now()),
      last_draw_(start_) {}

void Progress::frame_done() {
  ++done_;
  if (!terminal_) return;
  const auto now = Clock::now();
  if (done_ < total_ && now - last_draw_ < std::chrono::milliseconds(200)) return;
  last_draw_ = now;
  const double elapsed = std::chrono::duration<double>(now - start_).count();
  const double fps = elapsed > 0 ? done_ / elapsed : 0.0;
  const double left = fps > 0 ? (total_ - done_) / fps : 0.0;
  constexpr int kWidth = 30;
  const int filled = static_cast<int>(kWidth * done_ / total_);
  char bar[kWidth + 1];
  for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '.';
  bar[kWidth] = '\0';
  std::fprintf(stderr, "\r[%s] %lld/%lld frames  %.1f fps  %d:%02d left ", bar,
               static_cast<long long>(done_), static_cast<long long>(total_), fps,
               static_cast<int>(left) / 60, static_cast<int>(left) % 60);
  std::fflush(stderr);
}

void Progress::finish() {
  if (terminal_) std::fputc('\n', stderr);
  if (!stats_) return;
  const double elapsed = std::chrono::duration<double>(Clock::now() - start_).count();
  const double other = elapsed - render_s_ - readback_s_ - encode_s_;
  std::fprintf(stderr,
               "frames %lld  total %.1f s  render %.1f s  read-back %.1f s  encode %.1f s  "
               "other %.1f s  (%.2f x the show's 131 s)\n",
               static_cast<long long>(done_), elapsed, render_s_, readback_s_, encode_s_, other,
               elapsed / 131.0);
}

}  // namespace capture
