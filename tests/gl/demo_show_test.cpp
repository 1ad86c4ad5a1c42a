// The show drawn for real on llvmpipe (fixture in demo_show.h): whole frames of the film and
// the screen at chosen clocks.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "demo_show.h"
#include "gfx/image_decode.h"

namespace {

using showtest::brightest;
using showtest::correlation;
using showtest::DemoShow;
using showtest::is_black;
using showtest::Rgba;
using showtest::spread;

TEST_F(DemoShow, WhiteFrameFillsTheFilmAndFadesInOnScreen) {
  start_show(320, 240);
  frame_at(1.0);  // slot 1, an advance
  const Rgba f = film();
  for (int y = 0; y < 120; ++y) {
    for (int x = 0; x < 160; ++x) {
      const unsigned char* p = f.at(x, y);
      ASSERT_TRUE(p[0] == 255 && p[1] == 255 && p[2] == 255 && p[3] == 0) << x << "," << y;
    }
  }
  const double lit = screen().lum(160, 120);
  EXPECT_GT(lit, 60.0);  // a lit gate, fading in
  // The same film frame a moment later: no advance, so the lamp is back at 0.9..1.1 (times
  // the fade-in) after the advance's dip to 0.5..0.9.
  frame_at(1.01);
  EXPECT_GT(screen().lum(160, 120), lit);
}

TEST_F(DemoShow, StillPictureShowsUprightInsideTheGate) {
  start_show(640, 480);
  frame_at(9.5);  // slot 4: "images/title.jpg"
  const Rgba s = screen();
  std::ifstream file("images/title.jpg", std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  gfx::Image image;
  const char* reason = "";
  ASSERT_TRUE(gfx::decode_image(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                                &image, &reason))
      << reason;
  ASSERT_EQ(image.components, 3);
  const int w = image.width, h = image.height;
  const unsigned char* pic = image.pixels;
  ASSERT_EQ(w, 640);
  ASSERT_EQ(h, 480);
  // On a 640 x 480 screen the picture maps one to one (up to the jitter); compare the
  // brightness of each row inside the gate with the picture's rows, upright and turned.
  std::vector<double> shown, upright, turned;
  for (int y = 60; y < 420; ++y) {
    double a = 0, b = 0, c = 0;
    for (int x = 80; x < 560; ++x) {
      a += s.lum(x, y);
      const unsigned char* p = pic + 3 * (y * w + x);
      const unsigned char* q = pic + 3 * ((h - 1 - y) * w + x);
      b += 0.3 * p[0] + 0.59 * p[1] + 0.11 * p[2];
      c += 0.3 * q[0] + 0.59 * q[1] + 0.11 * q[2];
    }
    shown.push_back(a), upright.push_back(b), turned.push_back(c);
  }
  gfx::free_image(&image);
  EXPECT_GT(correlation(shown, upright), 0.8);
  EXPECT_LT(correlation(shown, turned), 0.5);
  // The big title letters are lit, the card's black around them is dark.
  EXPECT_GT(brightest(s, 60, 160, 580, 280), 150.0);  // "QUORL" in big letters
  EXPECT_LT(s.lum(320, 60), 60.0);                    // the black card above it
}

TEST_F(DemoShow, MetaballsFrameHasBlobsOnABackground) {
  start_show(320, 240);
  frame_at(60.03);  // slot 14
  const Rgba f = film();
  EXPECT_GT(spread(f), 20.0);
  double lo = 255, hi = 0;
  for (int y = 0; y < 120; ++y)
    for (int x = 0; x < 160; ++x) lo = std::min(lo, f.lum(x, y)), hi = std::max(hi, f.lum(x, y));
  EXPECT_LT(lo, 50.0);
  EXPECT_GT(hi, 150.0);
}

TEST_F(DemoShow, LitAndTexturedCubesSpinInFrontOfMidGrey) {
  start_show(320, 240);
  for (double t : {70.0, 80.0}) {  // slots 16 and 18
    frame_at(t);
    const Rgba f = film();
    for (int corner = 0; corner < 4; ++corner) {
      const unsigned char* p = f.at(corner % 2 ? 159 : 0, corner / 2 ? 119 : 0);
      EXPECT_NEAR(p[0], 128, 1) << t;
      EXPECT_NEAR(p[1], 128, 1) << t;
      EXPECT_NEAR(p[2], 128, 1) << t;
    }
    int differing = 0;
    for (int y = 0; y < 120; ++y)
      for (int x = 0; x < 160; ++x) differing += std::fabs(f.lum(x, y) - 128.0) > 8.0;
    EXPECT_GT(differing, 160 * 120 / 20) << t;  // the cube covers a good part of the frame
    EXPECT_GT(spread(f), 10.0) << t;
  }
}

TEST_F(DemoShow, WideScreenHasBlackBarsLeftAndRight) {
  start_show(640, 360);
  frame_at(9.5);
  const Rgba s = screen();
  // The 4:3 picture is 480 pixels wide in the middle: bars of 80 pixels either side.
  for (int y = 0; y < 360; y += 3)
    for (int x : {0, 40, 75, 564, 600, 639}) ASSERT_TRUE(is_black(s, x, y)) << x << "," << y;
  EXPECT_GT(brightest(s, 200, 120, 440, 240), 120.0);  // the title in the middle is lit
}

TEST_F(DemoShow, NarrowScreenHasBlackBarsAboveAndBelow) {
  start_show(480, 480);
  frame_at(9.5);
  const Rgba s = screen();
  // 4:3 across the full width: 360 rows in the middle, bars of 60 rows.
  for (int x = 0; x < 480; x += 3)
    for (int y : {0, 30, 55, 424, 450, 479}) ASSERT_TRUE(is_black(s, x, y)) << x << "," << y;
  EXPECT_GT(brightest(s, 120, 160, 360, 320), 120.0);
}

TEST_F(DemoShow, EndOfShowQuitsAndTheLastCompositeIsDark) {
  start_show(320, 240);
  frame_at(130.0);
  int code = -1;
  EXPECT_FALSE(platform::take_quit(&code));
  frame_at(131.01);
  EXPECT_TRUE(platform::take_quit(&code));
  EXPECT_EQ(code, 0);
  frame_at(131.02);  // the one more pass the main loop runs after the quit
  const Rgba s = screen();
  for (int y = 0; y < 240; y += 4)
    for (int x = 0; x < 320; x += 4) ASSERT_EQ(s.lum(x, y), 0.0) << x << "," << y;
}

}  // namespace
