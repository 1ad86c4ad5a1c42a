// The show drawn for real on llvmpipe, shared by the pixel tests: a scene data directory in
// a temporary folder (the repository's shaders and pictures, and a cube mesh of our own or
// the show's), the program's start-up without music, then demo frames at chosen clocks, read
// back with glReadPixels. The film frame reaches the screen upside down: Rgba row 0 of the
// film is the bottom of the picture as shown.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/start_show.h"
#include "demo/demo.h"
#include "demo/timeline.h"
#include "gfx/film.h"
#include "gfx/mesh.h"
#include "gfx/programs.h"
#include "gfx/textures.h"
#include "gl_context.h"
#include "platform/crt_rand.h"
#include "platform/quit.h"
#include "temp_dir.h"

namespace showtest {

// A 2 x 2 x 2 cube about the origin, counter-clockwise seen from outside.
inline constexpr char kCubeObj[] =
    "v -1 -1 -1\nv 1 -1 -1\nv 1 1 -1\nv -1 1 -1\nv -1 -1 1\nv 1 -1 1\nv 1 1 1\nv -1 1 1\n"
    "vn 0 0 1\nvn 0 0 -1\nvn 1 0 0\nvn -1 0 0\nvn 0 1 0\nvn 0 -1 0\n"
    "f 5//1 6//1 7//1\nf 5//1 7//1 8//1\nf 1//2 4//2 3//2\nf 1//2 3//2 2//2\n"
    "f 2//3 3//3 7//3\nf 2//3 7//3 6//3\nf 1//4 5//4 8//4\nf 1//4 8//4 4//4\n"
    "f 4//5 8//5 7//5\nf 4//5 7//5 3//5\nf 1//6 2//6 6//6\nf 1//6 6//6 5//6\n";

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

inline Rgba read_bound_framebuffer(int w, int h) {
  Rgba r;
  r.w = w;
  r.h = h;
  r.px.resize(4 * w * h);
  gfx::glPixelStorei(GL_PACK_ALIGNMENT, 1);
  gfx::glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, r.px.data());
  return r;
}

inline double spread(const Rgba& img) {
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

inline bool is_black(const Rgba& img, int x, int y) {
  const unsigned char* p = img.at(x, y);
  return p[0] == 0 && p[1] == 0 && p[2] == 0;
}

// The brightest pixel of a box: lettering is thin, so single pixels may fall between strokes.
inline double brightest(const Rgba& img, int x0, int y0, int x1, int y1) {
  double m = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) m = std::max(m, img.lum(x, y));
  return m;
}

inline double correlation(const std::vector<double>& a, const std::vector<double>& b) {
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
  }

  void TearDown() override {
    gl_.close();
    platform::reset_quit();
  }

  // Replaces the test's cube with another mesh text, or with the show's own mesh.
  void use_mesh(const std::string& obj) {
    std::ofstream(dir_ + "/3d/cube.obj", std::ios::trunc) << obj;
  }
  void use_show_mesh() {
    std::ifstream in(QUORL_SOURCE_DIR "/data/3d/cube.obj");
    use_mesh(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
  }

  // Start-up as the program runs it (without music) on the test's w x h context.
  void start_show(int w, int h) {
    ASSERT_TRUE(gl_.open(w, h, dir_.c_str())) << gl_.error();
    platform::library_rand().state = 1;
    app::StartOptions start;
    start.output = app::StartOptions::Output::kCurrentContext;
    start.width = w;
    start.height = h;
    start.music = app::StartOptions::Music::kNone;
    ASSERT_TRUE(app::start_show(start));
    demo::reset_show_for_test();
  }

  // One demo frame at clock t; the previous index is whatever the last frame left.
  void frame_at(double t) {
    demo::set_frame_clock(t);
    demo::frame();
  }

  Rgba film() {
    gfx::glBindFramebuffer(GL_FRAMEBUFFER, gfx::film_framebuffer());
    Rgba r = read_bound_framebuffer(demo::kFilmWidth, demo::kFilmHeight);
    gfx::glBindFramebuffer(GL_FRAMEBUFFER, 0);
    return r;
  }
  Rgba screen() { return read_bound_framebuffer(gl_.width(), gl_.height()); }

  testdir::TempDir tmp_{"quorl-show"};
  const std::string& dir_ = tmp_.path();
  gltest::GlContext gl_;
};

}  // namespace showtest
