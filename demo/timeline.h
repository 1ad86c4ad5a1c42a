// The timeline: the 131-second schedule of 28 slots and the demo frame that runs it. The
// pure parts (slot bounds and lookup, effective time, fades, film-frame index) are free
// functions of their inputs; demo::frame() (demo/demo.h) does the work.
#pragma once

namespace demo {

constexpr int kSlotCount = 28;
constexpr int kFallThrough = 0;  // no slot: the show is over

// Exclusive upper bounds of the slots on the effective time, slot 1 first.
const double* slot_bounds();
// The first slot (1..28) whose bound is above tau; kFallThrough when none is (tau is NaN).
int slot_for(double tau);
// Whether the slot's action draws into the film frame (scenes and white frames do; still
// pictures, the writing strip and the fall-through leave it as it was).
bool slot_draws_film(int slot);

// What the frame clock makes of one display frame.
struct FrameTime {
  bool has_tau = true;  // false past t = 131, where the fade-out has no real value
  double tau = 0.0;     // effective time (meaningful only with has_tau)
  double fade = 1.0;    // the factor on the flicker value: g, phi, 1, or 0 past the end
  int index = 0;        // film-frame index: trunc(16 tau), 0 without tau
};
FrameTime frame_time(double t);

// Forgets everything the show kept between frames (index, projector parameters, still
// picture, roll start) and reseeds the demo generator; tests replay the show with it.
void reset_show_for_test();
int film_frame_index();

}  // namespace demo
