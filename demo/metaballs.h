// The metaballs scene: 16 balls on elliptic paths (period 2 pi seconds) from the start-up
// ball table, drawn by the `metaballs` fragment shader on one full-screen quad.
#pragma once

namespace demo {

// x_i = cos(phase x + t) * amplitude x, y_i = sin(phase y + t) * amplitude y, in double,
// rounded to single; `table` holds 16 records (phase x, amplitude x, phase y, amplitude y).
void ball_positions_at(const float table[64], double t, float positions[32]);

// The shader's constant `t` (its field scale), the same at every time.
constexpr float kMetaballsField = 70.0f;

void metaballs();

}  // namespace demo
