#include "demo/intertitles.h"

#include "demo/state.h"
#include "gfx/textures.h"

namespace demo {
namespace {

constexpr double kBandHeight = 0.03125;   // 1/32: the strip holds 32 frames
constexpr float kBandScale = -0.015625f;  // -1/64: one band over the screen height, top first

struct IntertitleState {
  GLuint still = 0;
  int roll_start = 0;  // 0: the strip has not started yet
} g_titles;

}  // namespace

StripMapping writing_strip_mapping(int start, int index, double aspect) {
  StripMapping m;
  m.qs = {aspect_scale(aspect), kBandScale};
  const int bands_left = start - index + 15;  // in 32-bit integers, as always
  m.qb = {0.5f, static_cast<float>(0.5 - (static_cast<double>(bands_left) + 0.5) * kBandHeight)};
  return m;
}

GLuint still_picture() { return g_titles.still; }
void clear_still_picture() { g_titles.still = 0; }
void show_still_picture(int texture_slot) { g_titles.still = gfx::texture(texture_slot); }

void writing_strip(int index) {
  if (g_titles.roll_start == 0) g_titles.roll_start = index;
  const StripMapping m = writing_strip_mapping(g_titles.roll_start, index, inputs().aspect);
  set_film_mapping(m.qs, m.qb);
  show_still_picture(gfx::kTexFilmWriting);
}

int roll_start() { return g_titles.roll_start; }

void white_frame() {
  gfx::glClearColor(1.0f, 1.0f, 1.0f, 0.0f);
  gfx::glClear(GL_COLOR_BUFFER_BIT);
}

void reset_intertitles() { g_titles = IntertitleState{}; }

}  // namespace demo
