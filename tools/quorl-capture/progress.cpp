#include "progress.h"

#include <cstdio>

#include "demo/demo.h"

namespace capture {
namespace {
constexpr auto kBarEvery = std::chrono::milliseconds(200);
constexpr auto kLineEvery = std::chrono::seconds(5);
}  // namespace

Progress::Progress(int64_t frames_to_write, bool stats, bool terminal)
    : total_(frames_to_write > 0 ? frames_to_write : 1),
      stats_(stats),
      terminal_(terminal),
      start_(Clock::now()),
      last_draw_(start_) {}

std::string Progress::status(int64_t done, int64_t total, double elapsed_s) {
  const double rate = elapsed_s > 0 ? done / elapsed_s : 0.0;
  const int left = rate > 0 ? static_cast<int>((total - done) / rate + 0.5) : 0;
  char text[96];
  std::snprintf(text, sizeof text, "%lld/%lld frames  %d%%  %d:%02d left",
                static_cast<long long>(done), static_cast<long long>(total),
                static_cast<int>(100 * done / total), left / 60, left % 60);
  return text;
}

void Progress::frame_written() {
  if (done_ < total_) ++done_;
  const auto now = Clock::now();
  if (done_ < total_ && now - last_draw_ < (terminal_ ? kBarEvery : kLineEvery)) return;
  if (!terminal_ && done_ == total_) return;  // the last line would only say "done"
  last_draw_ = now;
  const std::string text =
      status(done_, total_, std::chrono::duration<double>(now - start_).count());
  if (!terminal_) {
    std::fprintf(stderr, "quorl-capture: %s\n", text.c_str());
    return;
  }
  constexpr int kWidth = 30;
  const int filled = static_cast<int>(kWidth * done_ / total_);
  char bar[kWidth + 1];
  for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '.';
  bar[kWidth] = '\0';
  std::fprintf(stderr, "\r[%s] %s ", bar, text.c_str());
  std::fflush(stderr);
}

void Progress::finish() {
  if (terminal_ && done_ > 0) std::fputc('\n', stderr);
  if (!stats_) return;
  const double elapsed = std::chrono::duration<double>(Clock::now() - start_).count();
  const double other = elapsed - render_s_ - seek_s_ - readback_s_ - encode_s_;
  std::fprintf(stderr,
               "written %lld  rendered %lld  total %.1f s  render %.1f s  seek %.1f s  "
               "read-back %.1f s  encode %.1f s  other %.1f s  (%.2f x the show's 131 s)\n",
               static_cast<long long>(done_), static_cast<long long>(rendered_), elapsed, render_s_,
               seek_s_, readback_s_, encode_s_, other, elapsed / demo::kShowSeconds);
}

}  // namespace capture
