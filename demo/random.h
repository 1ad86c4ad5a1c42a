// The demo random generator: one 32-bit state, s -> s * 16807 mod 2^32. A draw reads the
// low 23 bits of the current state before stepping it. The numbers are formed the way the
// show always formed them: the 23 bits become the mantissa of a single-precision number in
// [2, 4), which is halved minus 1 (unit draw, [0, 1)) or taken minus 3 (signed draw,
// [-1, 1)). Both are exact in single precision.
#pragma once

#include <cstdint>
#include <cstring>

namespace demo {

constexpr uint32_t kDemoRandomMultiplier = 16807u;

// The number in [2, 4) whose mantissa is the low 23 bits of `state`.
inline float mantissa_number(uint32_t state) {
  const uint32_t bits = 0x40000000u | (state & 0x7FFFFFu);
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

inline float unit_draw(uint32_t& state) {
  const float f = mantissa_number(state);
  state *= kDemoRandomMultiplier;  // unsigned arithmetic wraps modulo 2^32
  return f * 0.5f - 1.0f;
}

inline float signed_draw(uint32_t& state) {
  const float f = mantissa_number(state);
  state *= kDemoRandomMultiplier;
  return f - 3.0f;
}

}  // namespace demo
