// The schedule, the effective time with its fades, and the values the intertitles and the
// flat scenes and metaballs hand to their shaders.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "demo/flat_scenes.h"
#include "demo/intertitles.h"
#include "demo/metaballs.h"
#include "demo/timeline.h"

namespace {

TEST(Schedule, BoundsAreWholeSecondsAndExclusive) {
  const double* b = demo::slot_bounds();
  EXPECT_EQ(b[0], 2.0);
  EXPECT_EQ(b[1], 4.0);
  for (int i = 2; i < 27; ++i) EXPECT_EQ(b[i], 9.0 + 5.0 * (i - 2)) << i;
  EXPECT_EQ(b[27], 131.0);

  EXPECT_EQ(demo::slot_for(0.0), 1);
  EXPECT_EQ(demo::slot_for(1.9999999), 1);
  EXPECT_EQ(demo::slot_for(2.0), 2);
  EXPECT_EQ(demo::slot_for(4.0), 3);
  EXPECT_EQ(demo::slot_for(60.03), 14);
  EXPECT_EQ(demo::slot_for(128.99), 27);
  EXPECT_EQ(demo::slot_for(129.0), 28);
  EXPECT_EQ(demo::slot_for(130.0), 28);
  EXPECT_EQ(demo::slot_for(std::nan("")), demo::kFallThrough);
}

TEST(FrameTime, FadeInFromBlackOverTheFirstTwoSeconds) {
  demo::FrameTime f = demo::frame_time(0.0);
  EXPECT_EQ(f.index, 0);
  EXPECT_EQ(f.fade, 0.0);
  f = demo::frame_time(1.0 / 16);
  EXPECT_EQ(f.index, 1);
  EXPECT_DOUBLE_EQ(f.fade, std::sqrt(1 - (1.0 / 16 - 2) * 0.25 * (1.0 / 16 - 2)));
  f = demo::frame_time(2.0);
  EXPECT_EQ(f.index, 32);
  EXPECT_EQ(f.fade, 1.0);
  f = demo::frame_time(60.03);
  EXPECT_EQ(f.index, 960);
  EXPECT_EQ(f.fade, 1.0);
  EXPECT_EQ(f.tau, 60.03);
}

TEST(FrameTime, LastTwoSecondsRunTheIndexBackFrom2080To2064) {
  EXPECT_EQ(demo::frame_time(129.0).index, 2080);
  EXPECT_EQ(demo::frame_time(129.0).tau, 130.0);
  EXPECT_EQ(demo::frame_time(129.001).index, 2079);  // the first frame past 129
  EXPECT_EQ(demo::frame_time(129.6).index, 2079);    // 2079 holds for about 0.7 s
  EXPECT_EQ(demo::frame_time(129.8).index, 2078);
  const demo::FrameTime end = demo::frame_time(131.0);
  EXPECT_TRUE(end.has_tau);
  EXPECT_EQ(end.tau, 129.0);
  EXPECT_EQ(end.index, 2064);
  EXPECT_EQ(end.fade, 0.0);

  std::set<int> seen;
  int previous = 2080;
  for (double t = 129.0005; t <= 131.0; t += 0.0001) {
    const demo::FrameTime f = demo::frame_time(t);
    ASSERT_LE(f.index, previous) << t;
    ASSERT_GE(f.index, 2064);
    ASSERT_NEAR(f.fade, f.tau - 129.0, 1e-12);  // the lamp fades with phi
    seen.insert(f.index);
    previous = f.index;
  }
  EXPECT_EQ(seen.size(), 16u);  // 2079 down to 2064, each one
}

TEST(FrameTime, PastTheEndThereIsNoTimeAndTheLampIsOut) {
  for (double t : {131.0000001, 131.5, 200.0}) {
    const demo::FrameTime f = demo::frame_time(t);
    EXPECT_FALSE(f.has_tau);
    EXPECT_EQ(f.index, 0);
    EXPECT_EQ(f.fade, 0.0);  // a number, not NaN
  }
}

TEST(WritingStrip, BandsFollowTheIndexFromTheRollStart) {
  for (int index = 32; index < 64; ++index) {
    const demo::StripMapping m = demo::writing_strip_mapping(32, index, 4.0 / 3.0);
    EXPECT_EQ(m.qb.y, 0.015625f + 0.03125f * (index - 32)) << index;
    EXPECT_EQ(m.qb.x, 0.5f);
    EXPECT_EQ(m.qs.x, 0.5f);
    EXPECT_EQ(m.qs.y, -0.015625f);
  }
  EXPECT_EQ(demo::writing_strip_mapping(32, 63, 4.0 / 3.0).qb.y, 0.984375f);
  // A late start at 33: the slot ends after index 63, band 30.
  EXPECT_EQ(demo::writing_strip_mapping(33, 33, 4.0 / 3.0).qb.y, 0.015625f);
  EXPECT_EQ(demo::writing_strip_mapping(33, 63, 4.0 / 3.0).qb.y, 0.953125f);
  EXPECT_EQ(demo::writing_strip_mapping(32, 40, 16.0 / 9.0).qs.x, 0.6666667f);
}

TEST(FlatScenes, UniformValues) {
  const demo::PlanesValues p = demo::planes_values(40.0);
  EXPECT_EQ(p.time, 40.0f);
  EXPECT_FLOAT_EQ(p.cx, -0.6669381f);
  EXPECT_FLOAT_EQ(p.cy, 0.1862783f);
  EXPECT_EQ(p.cy, static_cast<float>(0.25 * std::sin(40.0)));  // scaled before rounding

  const demo::ZoomValues z0 = demo::mandelbrot_values(0.0);
  EXPECT_EQ(z0.scale, 0.5f);
  EXPECT_EQ(z0.bias_x, 0.5f);
  EXPECT_EQ(z0.bias_y, 0.5f);
  const demo::ZoomValues z1 = demo::mandelbrot_values(0.25);
  EXPECT_EQ(z1.scale, 0.29f);
  EXPECT_EQ(z1.bias_y, 0.625f);

  const demo::TunnelValues straight = demo::brick_tunnel_values(1.0f, 0.0f, 50.3);
  EXPECT_EQ(straight.time, 50.3f);
  EXPECT_EQ(straight.bend, 0.0f);
  EXPECT_FALSE(std::signbit(straight.bend));
  const demo::TunnelValues back = demo::brick_tunnel_values(-2.0f, 2.0f, 91.0);
  EXPECT_EQ(back.time, -182.0f);
  EXPECT_EQ(back.bend, static_cast<float>(std::sin(182.0)));
}

TEST(Metaballs, PathsRepeatEveryTwoPiAndStayInTheFrame) {
  float table[64];
  for (int i = 0; i < 64; ++i) table[i] = std::sin(i * 1.7f);  // phases and amplitudes in [-1, 1]
  table[4 * 3 + 3] = 0.0f;                                     // ball 3: no y amplitude
  float a[32], b[32];
  demo::ball_positions_at(table, 60.0, a);
  demo::ball_positions_at(table, 60.0 + 2 * M_PI, b);
  for (int i = 0; i < 32; ++i) {
    EXPECT_NEAR(a[i], b[i], 1e-6) << i;
    EXPECT_LE(std::fabs(a[i]), 1.0f);
  }
  EXPECT_EQ(a[0], static_cast<float>(std::cos(static_cast<double>(table[0]) + 60.0) * table[1]));
  EXPECT_EQ(a[7], 0.0f);  // moves on a line
  EXPECT_EQ(demo::kMetaballsField, 70.0f);
}

}  // namespace
