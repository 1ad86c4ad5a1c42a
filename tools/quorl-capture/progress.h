// Progress on stderr and, on request, where the time went. On a terminal a bar redrawn in
// place; otherwise (a pipe, a log file) a plain line every few seconds. Both count the
// frames written, not the frames run.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "capture_report.h"

namespace capture {

class Progress {
 public:
  // `terminal`: draw a bar in place rather than lines.
  Progress(int64_t frames_to_write, bool stats, bool terminal);
  // Time is measured around these; what is left is the capture's own work.
  template <typename F>
  void timed_render(F&& f) {
    const double s = timed(f, &render_s_);
    if (stats_) note_render_time(s);
  }
  template <typename F>
  void timed_seek(F&& f) {
    timed(f, &seek_s_);
  }
  template <typename F>
  void timed_readback(F&& f) {
    timed(f, &readback_s_);
  }
  template <typename F>
  void timed_encode(F&& f) {
    timed(f, &encode_s_);
  }
  // Time spent elsewhere (another thread) that the figures should show.
  void add_encode_seconds(double s) { encode_s_ += s; }
  void count_rendered() { ++rendered_; }
  void frame_written();
  void finish();
  bool stats() const { return stats_; }
  int64_t written() const { return done_; }
  int64_t rendered() const { return rendered_; }

  // The progress text: frames, percent, time left (m:ss), e.g. "120/7863 frames  1%  2:10 left".
  static std::string status(int64_t done, int64_t total, double elapsed_s);

 private:
  using Clock = std::chrono::steady_clock;
  template <typename F>
  double timed(F& f, double* total) {
    const auto t0 = Clock::now();
    f();
    const double s = std::chrono::duration<double>(Clock::now() - t0).count();
    *total += s;
    return s;
  }
  int64_t total_, done_ = 0, rendered_ = 0;
  bool stats_, terminal_;
  Clock::time_point start_, last_draw_;
  double render_s_ = 0.0, seek_s_ = 0.0, readback_s_ = 0.0, encode_s_ = 0.0;
};

}  // namespace capture
