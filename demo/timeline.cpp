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
#include "platform/quit.h"

namespace demo {
namespace {

// What a slot shows.
enum class Shows {
  kWhite,
  kWritingStrip,
  kStill,
  kStarTunnel,
  kPlanes,
  kBrickTunnel,
  kMetaballs,
  kLitCube,
  kTexturedCube,
  kMandelbrotZoom
};
enum class Fade { kNone, kIn, kOut };

// One row of the schedule. The slot runs while the effective time is below `end` (from
// the previous row's end). `texture`: the still picture's texture slot; `a`, `b`: the
// brick tunnel's direction and offset.
struct Slot {
  double end;
  Shows shows;
  Fade fade;
  int texture;
  float a, b;
};

// The schedule: two 2-second slots, twenty-five of 5 seconds, one of 2 (the ends are
// whole seconds, so sums and literals are the same doubles).
constexpr Slot kSchedule[kSlotCount] = {
    {2, Shows::kWhite, Fade::kIn, 0, 0, 0},                       // 1
    {4, Shows::kWritingStrip, Fade::kNone, 0, 0, 0},              // 2
    {9, Shows::kStill, Fade::kNone, gfx::kTexPresent, 0, 0},      // 3
    {14, Shows::kStill, Fade::kNone, gfx::kTexTitle, 0, 0},       // 4
    {19, Shows::kStill, Fade::kNone, gfx::kTexVantrope, 0, 0},    // 5
    {24, Shows::kStill, Fade::kNone, gfx::kTexPlemk, 0, 0},       // 6
    {29, Shows::kStill, Fade::kNone, gfx::kTexMus, 0, 0},         // 7
    {34, Shows::kStill, Fade::kNone, gfx::kTexDefinition, 0, 0},  // 8
    {39, Shows::kStarTunnel, Fade::kNone, 0, 0, 0},               // 9
    {44, Shows::kPlanes, Fade::kNone, 0, 0, 0},                   // 10
    {49, Shows::kStill, Fade::kNone, gfx::kTexDorlz, 0, 0},       // 11
    {54, Shows::kBrickTunnel, Fade::kNone, 0, 1.0f, 0.0f},        // 12
    {59, Shows::kStill, Fade::kNone, gfx::kTexDumDeeDum, 0, 0},   // 13
    {64, Shows::kMetaballs, Fade::kNone, 0, 0, 0},                // 14
    {69, Shows::kStill, Fade::kNone, gfx::kTexDorlz, 0, 0},       // 15
    {74, Shows::kLitCube, Fade::kNone, 0, 0, 0},                  // 16
    {79, Shows::kStill, Fade::kNone, gfx::kTexGazillion, 0, 0},   // 17
    {84, Shows::kTexturedCube, Fade::kNone, 0, 0, 0},             // 18
    {89, Shows::kStill, Fade::kNone, gfx::kTexLookCube, 0, 0},    // 19
    {94, Shows::kBrickTunnel, Fade::kNone, 0, -2.0f, 2.0f},       // 20
    {99, Shows::kStill, Fade::kNone, gfx::kTexMath, 0, 0},        // 21
    {104, Shows::kMandelbrotZoom, Fade::kNone, 0, 0, 0},          // 22
    {109, Shows::kStill, Fade::kNone, gfx::kTexTMandel, 0, 0},    // 23
    {114, Shows::kMetaballs, Fade::kNone, 0, 0, 0},               // 24
    {119, Shows::kStill, Fade::kNone, gfx::kTexGreets1, 0, 0},    // 25
    {124, Shows::kStill, Fade::kNone, gfx::kTexGreets2, 0, 0},    // 26
    {129, Shows::kStill, Fade::kNone, gfx::kTexTheEnd, 0, 0},     // 27
    {131, Shows::kWhite, Fade::kOut, 0, 0, 0},                    // 28
};

constexpr const Slot& row(int slot) { return kSchedule[slot - 1]; }
constexpr double start_of(int slot) { return slot == 1 ? 0.0 : row(slot - 1).end; }

constexpr int slot_with_fade(Fade fade) {
  for (int s = 1; s <= kSlotCount; ++s) {
    if (row(s).fade == fade) return s;
  }
  return kFallThrough;
}

// The lamp fades in over the fade-in slot and out over the fade-out slot.
constexpr double kFadeInEnd = row(slot_with_fade(Fade::kIn)).end;
constexpr double kFadeOutStart = start_of(slot_with_fade(Fade::kOut));
static_assert(row(kSlotCount).end == kShowSeconds, "the schedule ends with the show");

struct Bounds {
  double b[kSlotCount];
  constexpr Bounds() : b() {
    for (int i = 0; i < kSlotCount; ++i) b[i] = kSchedule[i].end;
  }
};
constexpr Bounds kBounds;

struct TimelineState {
  int index = 0;  // film-frame index of the previous display frame
  Drawing drawing = Drawing::kAll;
} g_timeline;

// The slot's action. Without `draw` only what the show keeps between frames changes (still
// picture, writing strip, quit); the film frame is left as it was.
void run_slot(int slot, double tau, int index, bool draw) {
  if (slot == kFallThrough) {
    platform::post_quit(0);  // the show is over
    return;
  }
  const Slot& s = row(slot);
  if (s.shows == Shows::kStill) {
    show_still_picture(s.texture);
    return;
  }
  if (s.shows == Shows::kWritingStrip) {
    writing_strip(index);
    return;
  }
  if (!draw) return;
  switch (s.shows) {
    case Shows::kWhite: white_frame(); break;
    case Shows::kStarTunnel: star_tunnel(); break;
    case Shows::kPlanes: planes(); break;
    case Shows::kBrickTunnel: brick_tunnel(s.a, s.b); break;
    case Shows::kMetaballs: metaballs(); break;
    case Shows::kLitCube: lit_cube(); break;
    case Shows::kTexturedCube: textured_cube(); break;
    case Shows::kMandelbrotZoom: mandelbrot_zoom((tau - start_of(slot)) / 5.0); break;
    default: break;
  }
}

// The slots that render a scene into the film frame (not a still, the strip or white).
bool renders_scene(int slot) {
  if (slot < 1 || slot > kSlotCount) return false;
  const Shows shows = row(slot).shows;
  return shows != Shows::kWhite && shows != Shows::kWritingStrip && shows != Shows::kStill;
}

}  // namespace

const double* slot_bounds() { return kBounds.b; }

bool slot_draws_film(int slot) {
  return slot >= 1 && slot <= kSlotCount && row(slot).shows != Shows::kStill &&
         row(slot).shows != Shows::kWritingStrip;
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

void frame(bool escape) {
  if (escape) platform::post_quit(0);
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
