// Progress on a terminal (a bar on stderr) and, on request, where the time went.
#pragma once

#include <chrono>
#include <cstdint>

#include "capture_report.h"

namespace capture {

class Progress {
 public:
  Progress(int64_t total_frames, bool stats);
  // Time is measured around these three; what is left is the capture's own work.
  template <typename F>
  void timed_render(F&& f) {
    const double s = timed(f, &render_s_);
    if (stats_) note_render_time(s);
  }
  template <typename F>
  void timed_readback(F&& f) { timed(f, &readback_s_); }
  template <typename F>
  void timed_encode(F&& f) { timed(f, &encode_s_); }
  void frame_done();
  void finish();

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
  int64_t total_, done_ = 0;
  bool terminal_, stats_;
  Clock::time_point start_, last_draw_;
  double render_s_ = 0.0, readback_s_ = 0.0, encode_s_ = 0.0;
};

}  // namespace capture
