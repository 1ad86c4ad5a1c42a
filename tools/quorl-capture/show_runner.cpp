#include "show_runner.h"

#include <cmath>

#include "demo/demo.h"
#include "gfx/gl.h"
#include "platform/quit.h"

namespace capture {

int64_t show_frames(int fps) {
  int64_t k = static_cast<int64_t>(std::floor(131.0 * fps));
  while (static_cast<double>(k) / fps <= 131.0) ++k;
  return k + 2;
}

int64_t frame_at_or_after(double t, int fps) {
  int64_t k = static_cast<int64_t>(std::ceil(t * fps));
  while (k > 0 && static_cast<double>(k - 1) / fps >= t) --k;
  while (static_cast<double>(k) / fps < t) ++k;
  return k;
}

bool ShowRunner::next() {
  if (ended_) return false;
  demo::set_frame_clock(static_cast<double>(k_) / fps_);
  ended_ = platform::take_quit(nullptr);
  demo::frame();
  ++k_;
  return true;
}

bool render_next(ShowRunner& show, Progress& progress) {
  bool ran = false;
  progress.timed_render([&] {
    ran = show.next();
    gfx::glFinish();
  });
  return ran;
}

}  // namespace capture
