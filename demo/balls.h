// The metaballs' random tables, drawn at start-up from the library generator.
#pragma once

#include "platform/crt_rand.h"

namespace demo {

// u(d) = d * 2.0 / 32767.0 - 1.0 in double, rounded to single precision.
float unit_from_rand(int draw);

// Ball table first (64 draws, entry i = u(draw)), then the positions (32 draws; per pair
// x = u * 1.3333333333333333 with u still in double, rounded once, then y = u). Takes
// exactly 96 draws.
void fill_ball_tables(platform::CrtRand& rng, float table[64], float positions[32]);

}  // namespace demo
