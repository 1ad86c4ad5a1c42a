// The show drawn for real on llvmpipe: a scene data directory in a temporary folder (the
// repository's shaders and pictures, and a cube mesh of our own), the full start-up of the
// graphics, then demo frames at chosen clocks, read back with glReadPixels.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "demo/demo.h"
#include "demo/timeline.h"
#include "gfx/film.h"
#include "gfx/image_decode.h"
#include "gfx/mesh.h"
#include "gfx/programs.h"
#include "gfx/textures.h"
#include "gl_context.h"
#include "temp_dir.h"
#include "platform/crt_rand.h"
#include "platform/events.h"
#include "platform/quit.h"

namespace {

// A 2 x 2 x 2 cube about the origin, counter-clockwise seen from outside.
const char kCubeObj[] =
    "v -1 -1 -1\nv 1 -1 -1\nv 1 1 -1\nv -1 1 -1\nv -1 -1 1\nv 1 -1 1\nv 1 1 1\nv -1 1 1\n"
    "vn 0 0 1\nvn 0 0 -1\nvn 1 0 0\nvn -1 0 0\nvn 0 1 0\nvn 0 -1 0\n"
    "f 5//1 6//1 7//1\nf 5//1 7//1 8//1\nf 1//2 4//2 3//2\nf 1//2 3//2 2//2\n"
    "f 2//3 3//3 7//3\nf 2//3 7//3 6//3\nf 1//4 5//4 8//4\nf 1//4 8//4 4//4\n"
    "f 4//5 8//5 7//5\nf 4//5 7//5 3//5\nf 1//6 2//6 6//6\nf 1//6 6//6 5//6\n";

bool no_escape() { return false; }

struct Rgba {
  std::vector<unsigned char> px;
  int w = 0, h = 0;
  // Row 0 is the top of the picture (glReadPixels gives the bottom row first).
  const unsigned char* at(int x, int y) const { return &px[4 * ((h - 1 - y) * w + x)]; }
  double lum(int x, int y) const {
    const unsigned char* p = at(x, y);
    return 0.3 * p[0] + 0.59 * p[1] + 0.11 * p[2];
  }
};

Rgba read_bound_framebuffer(int w, int h) {
  Rgba r;
  r.w = w;
  r.h = h;
  r.px.resize(4 * w * h);
  gfx::glPixelStorei(GL_PACK_ALIGNMENT, 1);
  gfx::glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, r.px.data());
  return r;
}

double spread(const Rgba& img) {
  double sum = 0, sum2 = 0;
  const int n = img.w * img.h;
  for (int y = 0; y < img.h; ++y) {
    for (int x = 0; x < img.w; ++x) {
      const double l = img.lum(x, y);
      sum += l;
      sum2 += l * l;
    }
  }
  const double mean = sum / n;
  return std::sqrt(sum2 / n - mean * mean);
}

// The brightest pixel of a box: lettering is thin, so single pixels may fall between strokes.
bool is_black(const Rgba& img, int x, int y) {
  const unsigned char* p = img.at(x, y);
  return p[0] == 0 && p[1] == 0 && p[2] == 0;
}

double brightest(const Rgba& img, int x0, int y0, int x1, int y1) {
  double m = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) m = std::max(m, img.lum(x, y));
  return m;
}

double correlation(const std::vector<double>& a, const std::vector<double>& b) {
  double ma = 0, mb = 0;
  for (size_t i = 0; i < a.size(); ++i) ma += a[i], mb += b[i];
  ma /= a.size();
  mb /= b.size();
  double sab = 0, saa = 0, sbb = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    sab += (a[i] - ma) * (b[i] - mb);
    saa += (a[i] - ma) * (a[i] - ma);
    sbb += (b[i] - mb) * (b[i] - mb);
  }
  return sab / std::sqrt(saa * sbb);
}

class DemoShow : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tmp_.ok());
    const std::string data = QUORL_SOURCE_DIR "/data";
    ASSERT_EQ(symlink((data + "/shaders").c_str(), (dir_ + "/shaders").c_str()), 0);
    ASSERT_EQ(symlink((data + "/images").c_str(), (dir_ + "/images").c_str()), 0);
    ASSERT_EQ(mkdir((dir_ + "/3d").c_str(), 0755), 0);
    std::ofstream(dir_ + "/3d/cube.obj") << kCubeObj;
    platform::set_escape_hook(&no_escape);
  }

  void TearDown() override {
    gl_.close();
    platform::set_escape_hook(nullptr);
    platform::reset_quit();
  }

  // The graphics part of start-up, in the program's order, on a screen of w x h.
  void start_show(int w, int h) {
    ASSERT_TRUE(gl_.open(w, h, dir_.c_str())) << gl_.error();
    ASSERT_TRUE(gfx::set_up_programs());
    ASSERT_TRUE(gfx::load_texture_catalogue());
    gfx::create_screen_quad();
    ASSERT_TRUE(gfx::load_mesh(&gfx::cube_mesh()));
    demo::set_film_size(160, 120);
    platform::library_rand().state = 1;
    demo::fill_ball_tables();
    ASSERT_TRUE(gfx::create_film_framebuffer(160, 120));
    demo::set_screen(w, h, static_cast<double>(w) / h);
    demo::reset_show_for_test();
  }

  // One demo frame at clock t; the previous index is whatever the last frame left.
  void frame_at(double t) {
    demo::set_frame_clock(t);
    demo::frame();
  }

  Rgba film() {
    gfx::glBindFramebuffer(GL_FRAMEBUFFER, gfx::film_framebuffer());
    Rgba r = read_bound_framebuffer(160, 120);
    gfx::glBindFramebuffer(GL_FRAMEBUFFER, 0);
    return r;
  }
  Rgba screen() { return read_bound_framebuffer(gl_.width(), gl_.height()); }

  testdir::TempDir tmp_{"quorl-show"};
  const std::string& dir_ = tmp_.path();
  gltest::GlContext gl_;
};

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
                                &image, &reason)) << reason;
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
