#include "app/seek.h"

#include <cmath>

#include "demo/demo.h"
#include "demo/timeline.h"
#include "platform/quit.h"

namespace app {

int64_t show_frames(int fps) {
  int64_t k = static_cast<int64_t>(std::floor(demo::kShowSeconds * fps));
  while (static_cast<double>(k) / fps <= demo::kShowSeconds) ++k;
  return k + 2;
}

int64_t frame_at_or_after(double t, int fps) {
  int64_t k = static_cast<int64_t>(std::ceil(t * fps));
  while (k > 0 && static_cast<double>(k - 1) / fps >= t) --k;
  while (static_cast<double>(k) / fps < t) ++k;
  return k;
}

bool draws_film_at(int64_t k, int fps) {
  const demo::FrameTime now = demo::frame_time(static_cast<double>(k) / fps);
  const int previous = k == 0 ? 0 : demo::frame_time(static_cast<double>(k - 1) / fps).index;
  if (now.index == previous) return false;
  return demo::slot_draws_film(now.has_tau ? demo::slot_for(now.tau) : demo::kFallThrough);
}

std::vector<demo::Drawing> drawing_plan(const std::vector<bool>& written, int fps) {
  std::vector<demo::Drawing> plan(written.size(), demo::Drawing::kNone);
  // Backwards: after (in time) each written frame that does not draw its own film frame,
  // the next film-drawing advance found is the one whose picture it shows.
  bool film_needed = false;
  for (size_t i = written.size(); i-- > 0;) {
    const int64_t k = static_cast<int64_t>(i);
    if (written[i]) {
      plan[i] = demo::Drawing::kAll;
      film_needed = !draws_film_at(k, fps);
    } else if (film_needed && draws_film_at(k, fps)) {
      plan[i] = demo::Drawing::kFilmOnly;
      film_needed = false;
    }
  }
  return plan;
}

bool ShowRunner::next(demo::Drawing drawing) {
  if (ended_) return false;
  demo::set_frame_clock(static_cast<double>(k_) / fps_);
  demo::set_drawing(drawing);
  ended_ = platform::take_quit(nullptr);
  demo::frame(false);  // no viewer: Escape is never pressed
  ++k_;
  return true;
}

bool run_to_frame(int64_t last, int fps) {
  std::vector<bool> written(static_cast<size_t>(last) + 1, false);
  written.back() = true;
  const std::vector<demo::Drawing> plan = drawing_plan(written, fps);
  ShowRunner show(fps);
  for (const demo::Drawing drawing : plan) {
    if (!show.next(drawing)) return false;
  }
  return true;
}

}  // namespace app
