// The scenes' shapes on real GL: which way is up, whether round things stay round on the
// 4:3 film, where the zoom ends, whether the bricks on the cube can be read at 160 x 120,
// and what the cube scenes really have switched on while they draw.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "demo/cube_math.h"
#include "demo/cube_scenes.h"
#include "demo/flat_scenes.h"
#include "demo_show.h"
#include "gfx/image_decode.h"

namespace {

using showtest::DemoShow;
using showtest::Rgba;

// Replaces a catalogue picture with plain white, so a scene shows only its own shape.
void whiten(int slot) {
  const unsigned char white[3] = {255, 255, 255};
  gfx::glBindTexture(GL_TEXTURE_2D, gfx::texture(slot));
  gfx::glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  gfx::glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 1, 1, 0, GL_RGB, GL_UNSIGNED_BYTE, white);
}

// Mean brightness of each row of a box.
std::vector<double> row_means(const Rgba& img, int x0, int x1, int y0, int y1) {
  std::vector<double> rows;
  for (int y = y0; y < y1; ++y) {
    double sum = 0;
    for (int x = x0; x < x1; ++x) sum += img.lum(x, y);
    rows.push_back(sum / (x1 - x0));
  }
  return rows;
}

// Pixels from (x, y) along (dx, dy) until the brightness reaches `level`.
int steps_to(const Rgba& img, int x, int y, int dx, int dy, double level) {
  int n = 0;
  while (x >= 0 && y >= 0 && x < img.w && y < img.h && img.lum(x, y) < level) x += dx, y += dy, ++n;
  return n;
}

TEST_F(DemoShow, StarTunnelVanishesInTheMiddleAndStaysRound) {
  start_show(320, 240);
  whiten(gfx::kTexStars);  // what is left is the tunnel's fog: dark at its vanishing point
  frame_at(36.0);          // slot 9
  const Rgba f = film();
  double darkest = 255;
  for (int y = 0; y < 120; ++y)
    for (int x = 0; x < 160; ++x) darkest = std::min(darkest, f.lum(x, y));
  const double edge = f.lum(0, 60);
  ASSERT_GT(edge, darkest + 60);
  // The middle of the darkest spot: the horizon at mid-height, the vanishing point centred.
  double sx = 0, sy = 0, count = 0;
  for (int y = 0; y < 120; ++y)
    for (int x = 0; x < 160; ++x)
      if (f.lum(x, y) < darkest + 0.1 * (edge - darkest)) sx += x, sy += y, ++count;
  EXPECT_NEAR(sx / count, 79.5, 1.0);
  EXPECT_NEAR(sy / count, 59.5, 1.0);
  // Equal units on both axes: the fog reaches half brightness as far sideways as up and down.
  const double half = (darkest + edge) / 2;
  const int left = steps_to(f, 79, 60, -1, 0, half), right = steps_to(f, 80, 60, 1, 0, half);
  const int up = steps_to(f, 80, 59, 0, -1, half), down = steps_to(f, 80, 60, 0, 1, half);
  EXPECT_GT(left, 10);
  EXPECT_NEAR(left, right, 1);
  EXPECT_NEAR(up, down, 1);
  EXPECT_NEAR((left + right) / 2.0, (up + down) / 2.0, 1.5);
}

TEST_F(DemoShow, PlanesShowTheFloorBelowAMidHeightHorizon) {
  start_show(640, 480);
  frame_at(41.0);  // slot 10
  // On screen: inside the gate, the haze of the horizon is the darkest band, near the middle,
  // and the lit floor is below it, the shaded ceiling above.
  const std::vector<double> rows = row_means(screen(), 80, 560, 40, 440);
  size_t darkest = 0;
  double band_min = 1e9;
  for (size_t y = 0; y + 16 <= rows.size(); ++y) {
    double band = 0;
    for (size_t k = y; k < y + 16; ++k) band += rows[k];
    if (band < band_min) band_min = band, darkest = y + 8;
  }
  EXPECT_NEAR(40.0 + darkest, 240.0, 24.0);
  double ceiling = 0, floor = 0;
  for (size_t y = 20; y < 140; ++y) ceiling += rows[y];
  for (size_t y = 260; y < 380; ++y) floor += rows[y];
  EXPECT_GT(floor, 1.2 * ceiling);
}

// The Mandelbrot picture as the film frame should show it with scale s and bias (0.5, by):
// film pixel (x, y), with y counted from the film's first row, samples texel
// ((x + 0.5) / 80 - 1) * s + 0.5 across and ((y + 0.5) / 60 - 1) * s + by down the picture.
struct Picture {
  std::vector<unsigned char> rgb;
  int w = 0, h = 0;
  double lum_at(double u, double v) const {
    const int x = std::min(w - 1, std::max(0, static_cast<int>(std::floor(u * w))));
    const int y = std::min(h - 1, std::max(0, static_cast<int>(std::floor(v * h))));
    const unsigned char* p = &rgb[3 * (y * w + x)];
    return 0.3 * p[0] + 0.59 * p[1] + 0.11 * p[2];
  }
};

Picture load_picture(const char* path) {
  std::ifstream file(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  Picture p;
  gfx::Image image;
  const char* reason = "";
  if (gfx::decode_image(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &image,
                        &reason) &&
      image.components == 3) {
    p.w = image.width;
    p.h = image.height;
    p.rgb.assign(image.pixels, image.pixels + 3 * p.w * p.h);
  }
  gfx::free_image(&image);
  return p;
}

// Correlation of the film frame with the picture seen around centre (cu, cv).
double match(const Rgba& film, const Picture& pic, double s, double cu, double cv) {
  std::vector<double> shown, expected;
  for (int y = 0; y < 120; ++y) {
    for (int x = 0; x < 160; ++x) {
      shown.push_back(film.lum(x, 119 - y));  // y from the film's first row
      expected.push_back(pic.lum_at(((x + 0.5) / 80 - 1) * s + cu, ((y + 0.5) / 60 - 1) * s + cv));
    }
  }
  return showtest::correlation(shown, expected);
}

TEST_F(DemoShow, MandelbrotZoomEndsCentredOnItsTarget) {
  start_show(320, 240);
  const Picture pic = load_picture("images/mandelbrot.png");
  ASSERT_EQ(pic.w, 1024);
  frame_at(103.99);  // the last film frame of slot 22
  const demo::ZoomValues v = demo::mandelbrot_values((103.99 - 99) / 5);
  const Rgba f = film();
  const double at_target = match(f, pic, v.scale, 0.5, v.bias_y);
  EXPECT_GT(at_target, 0.95);
  EXPECT_NEAR(v.bias_y, 0.75, 0.001);
  // A tenth of the view off to any side, or turned over, matches clearly worse.
  const double off = v.scale * 0.2;
  for (double du : {-off, off})
    EXPECT_LT(match(f, pic, v.scale, 0.5 + du, v.bias_y), at_target - 0.1);
  for (double dv : {-off, off})
    EXPECT_LT(match(f, pic, v.scale, 0.5, v.bias_y + dv), at_target - 0.1);
  EXPECT_LT(match(f, pic, -v.scale, 0.5, v.bias_y), at_target - 0.1);
}

// Bounding boxes of the 4-connected groups of set pixels that stay `margin` pixels or more
// away from the frame's edge.
struct Box {
  int x0 = 1 << 20, y0 = 1 << 20, x1 = -1, y1 = -1, area = 0;
  int w() const { return x1 - x0 + 1; }
  int h() const { return y1 - y0 + 1; }
};
std::vector<Box> inner_groups(const std::vector<char>& set, int w, int h, int margin) {
  std::vector<Box> boxes;
  std::vector<char> seen(set.size(), 0);
  for (int start = 0; start < w * h; ++start) {
    if (!set[start] || seen[start]) continue;
    Box b;
    std::vector<int> stack = {start};
    seen[start] = 1;
    while (!stack.empty()) {
      const int i = stack.back(), x = i % w, y = i / w;
      stack.pop_back();
      b.x0 = std::min(b.x0, x), b.x1 = std::max(b.x1, x), b.y0 = std::min(b.y0, y),
      b.y1 = std::max(b.y1, y);
      ++b.area;
      const int next[4] = {x > 0 ? i - 1 : -1, x + 1 < w ? i + 1 : -1, y > 0 ? i - w : -1,
                           y + 1 < h ? i + w : -1};
      for (int j : next)
        if (j >= 0 && set[j] && !seen[j]) seen[j] = 1, stack.push_back(j);
    }
    const bool inner =
        b.x0 > margin && b.y0 > margin && b.x1 < w - 1 - margin && b.y1 < h - 1 - margin;
    if (inner) boxes.push_back(b);
  }
  return boxes;
}

TEST_F(DemoShow, MandelbrotBulbIsRoundOnTheFilm) {
  start_show(320, 240);
  frame_at(102.0);  // mid-zoom: the period-2 bulb whole in view, left of the main cardioid
  const Rgba f = film();
  // The set is black. Pixels whose whole 5 x 5 neighbourhood is black: the thin neck between
  // the bulb and the cardioid falls away, the bulb keeps its shape, 2 pixels in all round.
  std::vector<char> core(160 * 120, 0);
  for (int y = 2; y < 118; ++y) {
    for (int x = 2; x < 158; ++x) {
      bool all = true;
      for (int k = -2; k <= 2 && all; ++k)
        for (int j = -2; j <= 2 && all; ++j) all = f.lum(x + j, y + k) < 8;
      core[y * 160 + x] = all;
    }
  }
  Box bulb;
  for (const Box& b : inner_groups(core, 160, 120, 2))
    if (b.area > bulb.area) bulb = b;
  ASSERT_GT(bulb.area, 300) << "no bulb in view";
  const double w = bulb.w() + 4, h = bulb.h() + 4;
  EXPECT_NEAR(w / h, 1.0, 0.08) << w << " x " << h;
  EXPECT_GT(h, 30);
}

}  // namespace
