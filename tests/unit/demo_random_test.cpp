// The demo random generator, the lamp flicker and what an advance draws.
#include <gtest/gtest.h>

#include <cmath>

#include "demo/projector.h"
#include "demo/random.h"
#include "platform/crt_rand.h"

namespace {

TEST(DemoRandom, DrawsComeFromTheLowBitsBeforeTheStep) {
  uint32_t s = 453946;  // below 2^23: every bit is used
  EXPECT_FLOAT_EQ(demo::unit_draw(s), 0.05411458f);
  EXPECT_EQ(demo::unit_draw(s), static_cast<float>((453946u * 16807u) & 0x7FFFFF) / 8388608.0f);
  EXPECT_EQ(s, 453946u * 16807u * 16807u);  // wraps modulo 2^32

  uint32_t zero = 0x12800000;  // low 23 bits all 0
  EXPECT_EQ(demo::unit_draw(zero), 0.0f);
  zero = 0x12800000;
  EXPECT_EQ(demo::signed_draw(zero), -1.0f);

  uint32_t ones = 0xFFFFFFFF;  // low 23 bits all 1
  EXPECT_EQ(demo::unit_draw(ones), 1.0f - std::ldexp(1.0f, -23));
  ones = 0xFFFFFFFF;
  EXPECT_EQ(demo::signed_draw(ones), 1.0f - std::ldexp(1.0f, -22));
}

TEST(DemoRandom, FirstFlickerOfTheShow) {
  uint32_t s = 453946;
  const double d = demo::frame_flicker(s);
  EXPECT_NEAR(d, 0.9108229, 6e-8);
  EXPECT_EQ(d, static_cast<double>(static_cast<float>(d)));
  EXPECT_EQ(s, 453946u * 16807u);  // one step per display frame
  for (int i = 0; i < 1000; ++i) {
    const double v = demo::frame_flicker(s);
    ASSERT_GE(v, static_cast<double>(0.9f));
    ASSERT_LT(v, 1.1);
    ASSERT_EQ(v, static_cast<double>(static_cast<float>(v)));  // single precision
  }
}

TEST(AdvanceValues, ScaleFollowsTheScreenAspect) {
  EXPECT_EQ(demo::aspect_scale(4.0 / 3.0), 0.5f);
  EXPECT_EQ(demo::aspect_scale(16.0 / 9.0), 0.6666667f);
  uint32_t s = 453946;
  platform::CrtRand rng;
  const demo::AdvanceValues v = demo::advance_values(s, rng, 16.0 / 9.0);
  EXPECT_EQ(v.qs.x, 0.6666667f);
  EXPECT_EQ(v.qs.y, -0.5f);
  EXPECT_EQ(std::fabs(v.us.x), 0.6666667f);
  EXPECT_EQ(std::fabs(v.us.y), 0.5f);
}

TEST(AdvanceValues, DrawOrderSignsAndRanges) {
  const double aspect = 16.0 / 10.0;
  uint32_t s = 453946;
  platform::CrtRand rng;
  rng.state = 777;
  for (int i = 0; i < 500; ++i) {
    // The library draws that this advance will take, in order.
    platform::CrtRand peek = rng;
    const int k = peek.next(), sx = peek.next(), sy = peek.next();
    uint32_t expect_state = s;
    const float u = demo::unit_draw(expect_state);
    float w[4];
    for (float& x : w) x = demo::signed_draw(expect_state);

    const demo::AdvanceValues v = demo::advance_values(s, rng, aspect);
    ASSERT_EQ(s, expect_state) << "five demo draws per advance";
    ASSERT_EQ(rng.state, peek.state) << "three library draws per advance";
    ASSERT_EQ(v.flicker, static_cast<double>(static_cast<float>(u * 0.3999999761581421 + 0.5)));
    ASSERT_GE(v.flicker, 0.5);
    ASSERT_LT(v.flicker, 0.9);
    ASSERT_EQ(v.scratch_slot, 20 + k % 4);
    ASSERT_EQ(v.us.x, (sx & 1) ? -0.6f : 0.6f);
    ASSERT_EQ(v.us.y, (sy & 1) ? -0.5f : 0.5f);
    ASSERT_EQ(v.ub.x, static_cast<float>(w[0] * 0.2 * 3 * 0.25 + 0.5));
    ASSERT_NEAR(v.ub.x, 0.5, 0.15 + 1e-7);
    ASSERT_EQ(v.ub.y, static_cast<float>(w[1] * 0.20000000298023224 + 0.5));
    ASSERT_NEAR(v.ub.y, 0.5, 0.2 + 1e-7);
    ASSERT_EQ(v.qb.x, static_cast<float>(w[2] * 0.0024999999441206455 / aspect + 0.5));
    ASSERT_NEAR(v.qb.x, 0.5, 0.0025 / aspect + 1e-7);
    ASSERT_NEAR(v.qb.y, 0.5, 0.0025 + 1e-7);
    ASSERT_EQ(v.qb.y, static_cast<float>(w[3] * 0.0024999999441206455 + 0.5));
    ASSERT_EQ(v.qs.x, 0.6f);
    ASSERT_EQ(v.qs.y, -0.5f);
  }
}

TEST(AdvanceValues, FirstAdvanceOfTheShowOnAWideScreen) {
  // Worked out by hand from the seed: u = 453946 / 2^23, then the signed draws of the next
  // four states; aspect 16:10.
  uint32_t s = 453946;
  platform::CrtRand rng;
  const demo::AdvanceValues v = demo::advance_values(s, rng, 16.0 / 10.0);
  EXPECT_EQ(v.flicker, static_cast<double>(0.52164584f));
  EXPECT_EQ(v.scratch_slot, 20 + 41 % 4);
  EXPECT_EQ(v.us.x, -0.6f);  // 18467 is odd
  EXPECT_EQ(v.us.y, 0.5f);   // 6334 is even
  EXPECT_EQ(v.ub.x, 0.50112462f);
  EXPECT_EQ(v.ub.y, 0.50145996f);
  EXPECT_EQ(v.qb.x, 0.50107723f);
  EXPECT_EQ(v.qb.y, 0.49771422f);
}

TEST(AdvanceValues, BothSignsOfTheScratchFlipsOccur) {
  uint32_t s = 453946;
  platform::CrtRand rng;
  int seen[2][2] = {};
  int slots[4] = {};
  for (int i = 0; i < 200; ++i) {
    const demo::AdvanceValues v = demo::advance_values(s, rng, 4.0 / 3.0);
    seen[v.us.x < 0][v.us.y < 0]++;
    slots[v.scratch_slot - 20]++;
  }
  for (auto& row : seen)
    for (int n : row) EXPECT_GT(n, 20);
  for (int n : slots) EXPECT_GT(n, 20);
}

}  // namespace
