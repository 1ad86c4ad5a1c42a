// The cube camera and spin at the angles the show is known by.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "demo/cube_math.h"

namespace {

uint32_t bits(float f) {
  uint32_t b;
  std::memcpy(&b, &f, sizeof b);
  return b;
}

void expect_column(const demo::Mat4& m, int col, float a, float b, float c, float d, double tol) {
  EXPECT_NEAR(m.at(0, col), a, tol) << "column " << col;
  EXPECT_NEAR(m.at(1, col), b, tol) << "column " << col;
  EXPECT_NEAR(m.at(2, col), c, tol) << "column " << col;
  EXPECT_NEAR(m.at(3, col), d, tol) << "column " << col;
}

TEST(CubeMath, ProjectionConstantsToTheBit) {
  const demo::Mat4 p = demo::cube_projection();
  EXPECT_EQ(p.at(0, 0), 0.75f);
  EXPECT_EQ(p.at(1, 1), 1.0f);
  EXPECT_EQ(bits(p.at(2, 2)), 0xbf80419au);
  EXPECT_EQ(p.at(3, 2), -1.0f);
  EXPECT_EQ(bits(p.at(2, 3)), 0xbe4d0148u);
  EXPECT_EQ(p.at(3, 3), 0.0f);
}

TEST(CubeMath, AtRestTheModelSitsThreeUnitsAhead) {
  const demo::CubeMatrices c = demo::cube_matrices(0.0);
  expect_column(c.nm, 0, 1, 0, 0, 0, 0);
  expect_column(c.nm, 1, 0, 1, 0, 0, 0);
  expect_column(c.nm, 2, 0, 0, 1, 0, 0);
  expect_column(c.nm, 3, 0, 0, -3, 1, 0);
  expect_column(c.m, 0, 0.75f, 0, 0, 0, 0);
  expect_column(c.m, 1, 0, 1, 0, 0, 0);
  expect_column(c.m, 2, 0, 0, -1.002002f, -1, 1e-7);
  expect_column(c.m, 3, 0, 0, 2.8058057f, 3, 1e-6);
}

TEST(CubeMath, SpinStretchesAlongItsUnnormalisedAxis) {
  const demo::Mat4 half = demo::cube_spin(M_PI / 2);
  expect_column(half, 0, 0.0625f, 1.125f, -0.25f, 0, 1e-6);
  expect_column(half, 1, -0.875f, 0.25f, 0.75f, 0, 1e-6);
  expect_column(half, 2, 0.75f, 0.25f, 1.0f, 0, 1e-6);
  expect_column(half, 3, 0, 0, 0, 1, 0);

  const demo::Mat4 turn = demo::cube_spin(M_PI);
  expect_column(turn, 0, -0.875f, 0.25f, 0.5f, 0, 1e-6);
  expect_column(turn, 1, 0.25f, -0.5f, 1.0f, 0, 1e-6);
  expect_column(turn, 2, 0.5f, 1.0f, 1.0f, 0, 1e-6);
  // The axis comes out 1.625 times as long.
  const float axis[3] = {0.25f, 0.5f, 1.0f};
  for (int row = 0; row < 3; ++row) {
    float v = 0;
    for (int k = 0; k < 3; ++k) v += turn.at(row, k) * axis[k];
    EXPECT_NEAR(v, 1.625f * axis[row], 1e-6);
  }
}

TEST(CubeMath, LargeAnglesKeepSinglePrecision) {
  const demo::Mat4 r = demo::cube_spin(69.0);
  expect_column(r, 0, 0.99380f, -0.11396f, 0.05904f, 0, 5e-6);
  expect_column(r, 2, -0.05574f, 0.03200f, 1.0f, 0, 5e-6);
  for (double t = 69.0; t < 84.0; t += 0.37) {
    const demo::Mat4 s = demo::cube_spin(t);
    const double theta = static_cast<float>(t);
    ASSERT_NEAR(s.at(2, 2), 1.0f, 1e-6) << t;  // k + c
    ASSERT_NEAR(s.at(1, 1) - 0.25f * s.at(2, 2), 0.75 * std::cos(theta), 2e-6) << t;
    ASSERT_NEAR(s.at(1, 0) - s.at(0, 1), 2 * std::sin(theta), 2e-6) << t;
  }
  // nm is the spin moved back three units; m is the projection of it.
  const demo::CubeMatrices c = demo::cube_matrices(69.0);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(c.nm.e[i], r.e[i]);
  EXPECT_EQ(c.nm.at(2, 3), -3.0f);
  const demo::Mat4 again = demo::mat4_multiply(demo::cube_projection(), c.nm);
  EXPECT_EQ(std::memcmp(again.e, c.m.e, sizeof again.e), 0);
}

}  // namespace
