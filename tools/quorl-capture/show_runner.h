// The main loop's passes with an exact clock: display frame k runs at k / fps.
#pragma once

#include <cstdint>

#include "progress.h"

namespace capture {

// Display frames the show runs at `fps`: up to the first frame past 131 s, whose demo frame
// posts the quit, plus the one more pass the main loop runs after it.
int64_t show_frames(int fps);

// The first display frame at or after t seconds.
int64_t frame_at_or_after(double t, int fps);

class ShowRunner {
 public:
  explicit ShowRunner(int fps) : fps_(fps) {}
  // Runs the next display frame: clock, take a posted quit, one demo frame. The pass that
  // took the quit is the last, as in the program. False once the show has ended.
  bool next();
  int64_t frame() const { return k_ - 1; }  // the frame just run (-1 before the first)
  double time() const { return static_cast<double>(k_ - 1) / fps_; }

 private:
  int fps_;
  int64_t k_ = 0;
  bool ended_ = false;
};

// Runs the next display frame to completion on the GPU, counting its time as rendering.
bool render_next(ShowRunner& show, Progress& progress);

}  // namespace capture
