// Seeking: the main loop's passes with an exact clock (display frame k runs at k / fps),
// and which of them must draw for a chosen frame to come out as in a full run. The capture
// tool and the page's stills start from here.
#pragma once

#include <cstdint>
#include <vector>

#include "demo/demo.h"

namespace app {

// Display frames the show runs at `fps`: up to the first frame past 131 s, whose demo frame
// posts the quit, plus the one more pass the main loop runs after it.
int64_t show_frames(int fps);

// The first display frame at or after t seconds.
int64_t frame_at_or_after(double t, int fps);

// Whether display frame k is an advance whose slot draws into the film frame. The film-frame
// index follows from the clock alone, so this needs no run of the show.
bool draws_film_at(int64_t k, int fps);

// What each display frame 0 .. written.size() - 1 has to draw so that the frames marked
// written come out exactly as in a full run: those frames draw everything; before each of
// them only the last advance that draws the film frame since the previous written frame
// renders its film frame (the composite shows it later); every other frame runs the demo's
// logic only. Frames after the last written one need not run at all.
std::vector<demo::Drawing> drawing_plan(const std::vector<bool>& written, int fps);

class ShowRunner {
 public:
  explicit ShowRunner(int fps) : fps_(fps) {}
  // Runs the next display frame: clock, take a posted quit, one demo frame drawing what it
  // is told. The pass that took the quit is the last, as in the program. False once the
  // show has ended.
  bool next(demo::Drawing drawing = demo::Drawing::kAll);
  int64_t frame() const { return k_ - 1; }  // the frame just run (-1 before the first)
  double time() const { return static_cast<double>(k_ - 1) / fps_; }
  bool ended() const { return ended_; }

 private:
  int fps_;
  int64_t k_ = 0;
  bool ended_ = false;
};

// Runs display frames 0 .. `last` at `fps`, each drawing only what `drawing_plan` asks for
// frame `last` alone: a still seeked to directly. False when the show ended before it.
bool run_to_frame(int64_t last, int fps);

}  // namespace app
