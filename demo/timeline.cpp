#include "demo/timeline.h"

#include <cmath>

#include "demo/cube_scenes.h"
#include "demo/demo.h"
#include "demo/film_counts.h"
#include "demo/flat_scenes.h"
#include "demo/intertitles.h"
#include "demo/metaballs.h"
#include "demo/projector.h"
#include "demo/state.h"
#include "gfx/film.h"
#include "gfx/textures.h"
#include "platform/events.h"
#include "platform/quit.h"

namespace demo {
namespace {

constexpr double kFadeOutStart = 129.0;
constexpr double kFadeInEnd = 2.0;

struct Bounds {
  double b[kSlotCount];
  Bounds() {
    // Formed by adding 2, 2, twenty-five 5s and 2 to 0, as the schedule always was.
    double end = 0.0;
    int i = 0;
    b[i++] = end += 2;
    b[i++] = end += 2;
    for (int k = 0; k < 25; ++k) b[i++] = end += 5;
    b[i++] = end += 2;
  }
};
const Bounds kBounds;

struct TimelineState {
  int index = 0;  // film-frame index of the previous display frame
  Drawing drawing = Drawing::kAll;
} g_timeline;

// Still-picture slots and their texture slots; 0 marks a slot that is not a still picture.
constexpr int kStillPictures[kSlotCount + 1] = {
    0,  // fall-through
    0, 0, gfx::kTexPresent, gfx::kTexTitle, gfx::kTexVantrope, gfx::kTexPlemk, gfx::kTexMus,
    gfx::kTexDefinition, 0, 0, gfx::kTexDorlz, 0, gfx::kTexDumDeeDum, 0, gfx::kTexDorlz, 0,
    gfx::kTexGazillion, 0, gfx::kTexLookCube, 0, gfx::kTexMath, 0, gfx::kTexTMandel, 0,
    gfx::kTexGreets1, gfx::kTexGreets2, gfx::kTexTheEnd, 0,
};

// The slot's action. Without `draw` only what the show keeps between frames changes (still
// picture, writing strip, quit); the film frame is left as it was.
void run_slot(int slot, double tau, int index, bool draw) {
  if (kStillPictures[slot] != 0) {
    show_still_picture(kStillPictures[slot]);
    return;
  }
  if (slot == 2) {
    writing_strip(index);
    return;
  }
  if (!slot_draws_film(slot)) {
    platform::post_quit(0);  // fall-through: the show is over
    return;
  }
  if (!draw) return;
  switch (slot) {
    case 1: case 28: white_frame(); break;
    case 9: star_tunnel(); break;
    case 10: planes(); break;
    case 12: brick_tunnel(1.0f, 0.0f); break;
    case 14: case 24: metaballs(); break;
    case 16: lit_cube(); break;
    case 18: textured_cube(); break;
    case 20: brick_tunnel(-2.0f, 2.0f); break;
    case 22: mandelbrot_zoom((tau - 99.0) / 5.0); break;
    default: break;
  }
}

// The nine slots that render a scene into the film frame (not a still, the strip or white).
bool renders_scene(int slot) {
  switch (slot) {
    case 9: case 10: case 12: case 14: case 16: case 18: case 20: case 22: case 24: return true;
    default: return false;
  }
}

}  // namespace

const double* slot_bounds() { return kBounds.b; }

bool slot_draws_film(int slot) {
  return slot >= 1 && slot <= kSlotCount && kStillPictures[slot] == 0 && slot != 2;
}

int slot_for(double tau) {
  for (int i = 0; i < kSlotCount; ++i) {
    if (kBounds.b[i] > tau) return i + 1;
  }
  return kFallThrough;
}

FrameTime frame_time(double t) {
  FrameTime ft;
  ft.tau = t;
  if (t >= kFadeOutStart) {
    const double x = t - kFadeOutStart;
    const double radicand = 1.0 - x * 0.25 * x;
    if (radicand >= 0.0) {
      const double phi = std::sqrt(radicand);
      ft.fade = phi;
      ft.tau = kFadeOutStart + phi;
    } else {
      // Past t = 131 the fade-out has no real value: no effective time, and the lamp is
      // out rather than a NaN brightness.
      ft.has_tau = false;
      ft.fade = 0.0;
    }
  }
  if (ft.has_tau && ft.tau < kFadeInEnd) {
    const double x = ft.tau - kFadeInEnd;
    const double radicand = 1.0 - x * 0.25 * x;
    ft.fade = radicand > 0.0 ? std::sqrt(radicand) : 0.0;
  }
  ft.index = ft.has_tau ? static_cast<int>(ft.tau * 16.0) : 0;
  return ft;
}

int film_frame_index() { return g_timeline.index; }

void set_drawing(Drawing drawing) { g_timeline.drawing = drawing; }

void reset_show_for_test() {
  g_timeline = TimelineState{};
  reset_film_counts();
  reset_projector();
  reset_intertitles();
  seed_random();
}

void frame() {
  if (platform::escape_pressed()) platform::post_quit(0);
  double flicker = frame_flicker(demo_random_state());
  const FrameTime ft = frame_time(inputs().clock);
  const int previous = g_timeline.index;
  g_timeline.index = ft.index;
  const bool advance = ft.index != previous;
  if (advance) {
    flicker = advance_randomisation();
    clear_still_picture();
    const int slot = ft.has_tau ? slot_for(ft.tau) : kFallThrough;
    const bool draw = g_timeline.drawing != Drawing::kNone;
    const Inputs& in = inputs();
    if (draw) {
      gfx::glBindFramebuffer(GL_FRAMEBUFFER, gfx::film_framebuffer());
      gfx::glViewport(0, 0, in.film_width, in.film_height);
    }
    run_slot(slot, ft.tau, ft.index, draw);
    if (draw) {
      gfx::glBindFramebuffer(GL_FRAMEBUFFER, 0);
      gfx::glViewport(0, 0, static_cast<GLsizei>(in.screen_width),
                      static_cast<GLsizei>(in.screen_height));
    }
    note_advance(previous, ft.index, in.clock < kFadeOutStart, draw && renders_scene(slot));
  } else if (!ft.has_tau) {
    // Past the end without an advance: a clock that passed 131 s before the first advance
    // (the process stopped early and resumed late) leaves the index at 0, so the
    // fall-through would never run. The show is over all the same.
    platform::post_quit(0);
  }
  // The first and last two seconds fade the lamp in and out, advance or not: slot 1 and
  // slot 28 are exactly the frames with a fade. The advance that finds no slot keeps its
  // new flicker value; the frames after it, with no fade-out value, have the lamp out.
  const double fade = advance && !ft.has_tau ? 1.0 : ft.fade;
  if (g_timeline.drawing == Drawing::kAll) composite(still_picture(), flicker * fade);
}

}  // namespace demo
