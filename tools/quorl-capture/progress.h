// Progress on a terminal (a bar on stderr) and, on request, where the time went.
#pragma once

#include <chrono>
#include <cstdint>

namespace capture {

class Progress {
 public:
  Progress(int64_t total_frames, bool stats);
  // Time spent in read-back and encoding is measured around these; the rest is rendering.
  template <typename F>
  void timed_readback(F&& f) { timed(f, &readback_s_); }
  template <typename F>
  void timed_encode(F&& f) { timed(f, &encode_s_); }
  void frame_done();
  void finish();

 private:
  using Clock = std::chrono::steady_clock;
  template <typename F>
  void timed(F& f, double* total) {
    const auto t0 = Clock::now();
    f();
    *total += std::chrono::duration<double>(Clock::now() - t0).count();
  }
  int64_t total_, done_ = 0;
  bool terminal_, stats_;
  Clock::time_point start_, last_draw_;
  double readback_s_ = 0.0, encode_s_ = 0.0;
};

}  // namespace capture
