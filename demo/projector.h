// The film projector composite: every display frame one full-screen quad through the
// `projector` program, mixing the frame picture (the lit gate), the film frame or a still
// picture, and a scratch overlay, at a flickering brightness. The random values that make
// the film jump and the scratches change are drawn here, at each advance.
#pragma once

#include <cstdint>

#include "gfx/gl.h"
#include "platform/crt_rand.h"

namespace demo {

// A vec2 uniform value, single precision as uploaded.
struct Vec2 {
  float x = 0.0f;
  float y = 0.0f;
};

// What an advance draws: the new flicker value d' and the projector parameters.
struct AdvanceValues {
  double flicker = 0.0;  // d', in [0.5, 0.9), already rounded to single precision
  int scratch_slot = 0;  // texture slot 20..23
  Vec2 us, ub, qs, qb;
};

// A = aspect * 0.5 * 3 * 0.25 in double, rounded to single: the x scale that fits the 4:3
// picture to the screen width (0.5 on a 4:3 screen).
float aspect_scale(double aspect);

// The display frame's flicker value d = u * 0.2 + 0.9 (single-precision constants), one draw.
double frame_flicker(uint32_t& random_state);

// The advance randomisation: one unit draw, three library draws, four signed draws, in
// that order.
AdvanceValues advance_values(uint32_t& random_state, platform::CrtRand& library, double aspect);

// Projector parameters held between advances (all zero before the first one).
struct ProjectorParams {
  GLuint scratch_texture = 0;
  Vec2 us, ub, qs, qb;
};

// Module state: draws with the show's generators (demo state from demo/state.h, library
// generator from platform/) and keeps the parameters. Returns d'.
double advance_randomisation();
const ProjectorParams& projector_params();
// The writing strip replaces the film mapping of the current advance.
void set_film_mapping(Vec2 qs, Vec2 qb);
void reset_projector();

// Draws the screen: binds, ten uniforms, one strip. `still` (0: none) replaces the film
// frame on texture unit 1. `flicker` is the value of `r`, rounded to single here.
void composite(GLuint still, double flicker);

}  // namespace demo
