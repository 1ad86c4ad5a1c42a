#include "demo/metaballs.h"

#include <cmath>

#include "demo/state.h"
#include "gfx/film.h"
#include "gfx/programs.h"

namespace demo {

void ball_positions_at(const float table[64], double t, float positions[32]) {
  for (int i = 0; i < 16; ++i) {
    const float* ball = table + 4 * i;
    positions[2 * i] = static_cast<float>(std::cos(static_cast<double>(ball[0]) + t) * ball[1]);
    positions[2 * i + 1] = static_cast<float>(std::sin(static_cast<double>(ball[2]) + t) * ball[3]);
  }
}

void metaballs() {
  using namespace gfx::uniform;
  float* positions = ball_positions();
  ball_positions_at(ball_table(), inputs().clock, positions);
  auto loc = [](int place) { return gfx::uniform_location(gfx::kMetaballs, place); };
  gfx::glUseProgram(gfx::program(gfx::kMetaballs));
  gfx::glUniform1f(loc(kMetaTime), kMetaballsField);
  gfx::glUniform2fv(loc(kMetaP), 16, positions);
  // The film frame's own 4:3, not the screen's: balls live in x in [-4/3, 4/3], y in [-1, 1].
  gfx::glUniform2f(loc(kMetaQs), static_cast<float>(4.0 / 3.0), 1.0f);
  gfx::glUniform2f(loc(kMetaQb), 0.0f, 0.0f);
  gfx::draw_screen_quad();
}

}  // namespace demo
