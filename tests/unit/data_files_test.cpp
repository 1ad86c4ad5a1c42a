// The committed data files, held to the formats the program and its shaders
// rely on: which files exist, how the pictures are encoded and laid out, and
// the shape of the cube mesh.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#define STB_IMAGE_STATIC
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>
#pragma GCC diagnostic pop

#include "gfx/image_decode.h"

namespace {

std::string dataPath(const std::string& rel) {
  return std::string(QUORL_SOURCE_DIR) + "/data/" + rel;
}

std::vector<unsigned char> slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in),
                                    std::istreambuf_iterator<char>());
}

const std::vector<std::string> kStills = {
    "present.jpg",    "title.jpg",   "vantrope.jpg",  "plemk.jpg",     "mus.jpg",
    "definition.jpg", "dorlz.jpg",   "dumdeedum.jpg", "gazillion.jpg", "lookcube.jpg",
    "math.jpg",       "tmandel.jpg", "greets1.jpg",   "greets2.jpg",   "theend.jpg"};

struct Expected {
  int w, h, comp;
  bool repeats;  // sampled beyond [0,1]: must be square and tile seamlessly
};

std::map<std::string, Expected> expectedPictures() {
  std::map<std::string, Expected> m = {{"brick.png", {256, 256, 3, true}},
                                       {"stars.png", {256, 256, 3, true}},
                                       {"mandelbrot.png", {1024, 1024, 3, true}},
                                       {"frame.jpg", {1024, 768, 1, false}},
                                       {"filmwriting.jpg", {320, 7680, 3, false}},
                                       {"f1.png", {512, 512, 2, true}},
                                       {"f2.png", {512, 512, 2, true}},
                                       {"f3.png", {512, 512, 2, true}},
                                       {"f4.png", {512, 512, 2, true}}};
  for (const std::string& s : kStills) m[s] = {640, 480, 3, false};
  return m;
}

struct Picture {
  int w = 0, h = 0, comp = 0;
  std::vector<unsigned char> px;
  int at(int x, int y, int c) const { return px[(size_t(y) * w + x) * comp + c]; }
  float luma(int x, int y) const {
    if (comp < 3) return float(at(x, y, 0));
    return 0.299f * at(x, y, 0) + 0.587f * at(x, y, 1) + 0.114f * at(x, y, 2);
  }
};

Picture load(const std::string& name) {
  Picture p;
  std::vector<unsigned char> bytes = slurp(dataPath("images/" + name));
  unsigned char* d = stbi_load_from_memory(bytes.data(), int(bytes.size()), &p.w, &p.h, &p.comp, 0);
  if (d) {
    p.px.assign(d, d + size_t(p.w) * p.h * p.comp);
    stbi_image_free(d);
  }
  return p;
}

// The first start-of-frame marker of a JPEG stream, found by walking its
// segments; 0 when there is none.
int firstFrameMarker(const std::vector<unsigned char>& j) {
  if (j.size() < 4 || j[0] != 0xFF || j[1] != 0xD8) return 0;
  size_t i = 2;
  while (i + 4 <= j.size()) {
    if (j[i] != 0xFF) return 0;
    int marker = j[i + 1];
    if (marker == 0xFF) {
      ++i;
      continue;
    }  // fill byte
    if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
      return 0xFF00 | marker;
    if (marker == 0xDA || marker == 0xD9) return 0;  // scan or end before any frame
    size_t len = (size_t(j[i + 2]) << 8) | j[i + 3];
    i += 2 + len;
  }
  return 0;
}

// Mean absolute difference across each line between neighbouring columns
// (or rows): returns the one across the wrap-around seam and the largest
// one found inside the picture.
std::pair<double, double> seamAndWorstInterior(const Picture& p, bool horizontal) {
  int n = horizontal ? p.h : p.w, len = horizontal ? p.w : p.h;
  double seam = 0, worst = 0;
  for (int k = 0; k < len; ++k) {
    int k2 = (k + 1) % len;
    double d = 0;
    for (int i = 0; i < n; ++i)
      for (int c = 0; c < p.comp; ++c)
        d += horizontal ? std::abs(p.at(k, i, c) - p.at(k2, i, c))
                        : std::abs(p.at(i, k, c) - p.at(i, k2, c));
    d /= n;
    if (k2 == 0)
      seam = d;
    else
      worst = std::max(worst, d);
  }
  return {seam, worst};
}

}  // namespace

TEST(DataFiles, EverythingTheProgramLoadsIsPresent) {
  std::vector<std::string> files;
  for (const auto& kv : expectedPictures()) files.push_back("images/" + kv.first);
  files.push_back("3d/cube.obj");
  files.push_back("music/BrenlowickpianoRoll-ChineseBlues1916.ogg");
  for (const char* s :
       {"tunnel", "projector", "metaballs", "cube", "screen", "plasma", "texturedcube", "planes"})
    files.push_back(std::string("shaders/") + s + ".fs");
  for (const char* s : {"tunnel", "projector", "cube"})
    files.push_back(std::string("shaders/") + s + ".vs");
  ASSERT_EQ(files.size(), 24u + 2u + 11u);
  for (const std::string& f : files)
    EXPECT_FALSE(slurp(dataPath(f)).empty()) << f << " missing or empty";
}

TEST(DataPictures, DecodeWithTheExpectedSizeAndLayout) {
  for (const auto& [name, want] : expectedPictures()) {
    SCOPED_TRACE(name);
    Picture p = load(name);
    ASSERT_FALSE(p.px.empty()) << stbi_failure_reason();
    EXPECT_GE(p.comp, 1);
    EXPECT_LE(p.comp, 4);
    EXPECT_EQ(p.w, want.w);
    EXPECT_EQ(p.h, want.h);
    EXPECT_EQ(p.comp, want.comp);
    EXPECT_EQ((p.w * p.comp) % 4, 0) << "rows must be a multiple of 4 bytes";
    if (want.repeats) {
      EXPECT_EQ(p.w, p.h);
    }
  }
}

// The program's decoder against stb_image, which decoded these pictures before it, kept
// here as the reference: PNG must match exactly; JPEG decoders round the IDCT, the chroma
// upsampling and the colour conversion each a little differently, which stacks up to 3
// levels on a few samples of sharp cream-on-black lettering.
TEST(DataPictures, TheProgramsDecoderGivesThePixelsTheReferenceDecoderGave) {
  for (const auto& kv : expectedPictures()) {
    const std::string& name = kv.first;
    SCOPED_TRACE(name);
    const Picture want = load(name);
    ASSERT_FALSE(want.px.empty()) << stbi_failure_reason();
    const std::vector<unsigned char> bytes = slurp(dataPath("images/" + name));
    gfx::Image got;
    const char* reason = "";
    ASSERT_TRUE(gfx::decode_image(bytes.data(), bytes.size(), &got, &reason)) << reason;
    EXPECT_EQ(got.width, want.w);
    EXPECT_EQ(got.height, want.h);
    ASSERT_EQ(got.components, want.comp);
    const bool jpeg = name.substr(name.size() - 4) == ".jpg";
    long over_two = 0;
    int worst = 0;
    for (size_t i = 0; i < want.px.size(); ++i) {
      const int d = std::abs(int(got.pixels[i]) - int(want.px[i]));
      worst = std::max(worst, d);
      over_two += d > 2;
    }
    gfx::free_image(&got);
    EXPECT_LE(worst, jpeg ? 3 : 0);
    EXPECT_LE(over_two, long(want.px.size() / 10000)) << "samples more than 2 levels off";
  }
}

TEST(DataPictures, EncodingsAreWhatTheLoaderExpects) {
  for (const auto& kv : expectedPictures()) {
    const std::string& name = kv.first;
    SCOPED_TRACE(name);
    std::vector<unsigned char> b = slurp(dataPath("images/" + name));
    ASSERT_GT(b.size(), 40u);
    if (name.size() > 4 && name.substr(name.size() - 4) == ".jpg") {
      EXPECT_EQ(firstFrameMarker(b), 0xFFC0) << "JPEG must be baseline";
    } else {
      const unsigned char sig[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
      ASSERT_TRUE(std::equal(sig, sig + 8, b.begin()));
      ASSERT_TRUE(std::equal(b.begin() + 12, b.begin() + 16, "IHDR"));
      EXPECT_EQ(b[24], 8) << "8 bits per channel";
      EXPECT_EQ(b[25], kv.second.comp == 2 ? 4 : 2) << "PNG colour type (grey+alpha or RGB)";
    }
  }
}

TEST(DataPictures, RepeatingTexturesTileWithoutAVisibleSeam) {
  for (const char* name : {"brick.png", "stars.png", "f1.png", "f2.png", "f3.png", "f4.png"}) {
    SCOPED_TRACE(name);
    Picture p = load(name);
    ASSERT_FALSE(p.px.empty());
    for (bool horizontal : {true, false}) {
      // The seam may be as sharp as the sharpest line inside, no sharper.
      auto [seam, worst] = seamAndWorstInterior(p, horizontal);
      EXPECT_LE(seam, worst * 1.05 + 1.0) << (horizontal ? "left/right" : "top/bottom") << " edge";
    }
  }
}

TEST(DataPictures, IntertitlesAreLightLetteringOnBlack) {
  for (const std::string& name : kStills) {
    SCOPED_TRACE(name);
    Picture p = load(name);
    ASSERT_FALSE(p.px.empty());
    long dark = 0, light = 0;
    for (int y = 0; y < p.h; ++y)
      for (int x = 0; x < p.w; ++x) {
        float l = p.luma(x, y);
        dark += l < 40;
        light += l > 180;
      }
    double n = double(p.w) * p.h;
    EXPECT_GT(dark / n, 0.75) << "background should be black";
    EXPECT_GT(light / n, 0.02) << "there should be lettering";
    // Lettering in the middle of the card, not just the border.
    long middle = 0;
    for (int y = p.h / 4; y < p.h * 3 / 4; ++y)
      for (int x = p.w / 4; x < p.w * 3 / 4; ++x) middle += p.luma(x, y) > 180;
    EXPECT_GT(middle, 500);
    // The stills are cream, never a cool white.
    EXPECT_LE(p.at(p.w / 2, 0, 2), p.at(p.w / 2, 0, 0) + 8);
  }
}

TEST(DataPictures, FilmWritingIsThirtyTwoFramesOfAWordBeingWritten) {
  Picture p = load("filmwriting.jpg");
  ASSERT_FALSE(p.px.empty());
  ASSERT_EQ(p.h % 32, 0);
  const int bandH = p.h / 32;
  EXPECT_EQ(p.w * 3, bandH * 4) << "each band is 4:3";
  // Ink in the text area (inside the border) of each band.
  std::vector<double> ink(32, 0);
  for (int k = 0; k < 32; ++k)
    for (int y = bandH / 5; y < bandH * 4 / 5; ++y)
      for (int x = p.w / 8; x < p.w * 7 / 8; ++x)
        ink[size_t(k)] += p.luma(x, k * bandH + y) / 255.0;
  EXPECT_LT(ink[0], ink[31] * 0.1) << "the first frame is (nearly) blank";
  for (int k = 1; k < 32; ++k)
    EXPECT_GE(ink[size_t(k)], ink[size_t(k) - 1] * 0.98) << "frame " << k;
  EXPECT_GT(ink[13], ink[31] * 0.2) << "writing is under way by mid-film";
  EXPECT_LT(ink[13], ink[31] * 0.9);
  for (int k = 26; k < 32; ++k)
    EXPECT_NEAR(ink[size_t(k)], ink[31], ink[31] * 0.01) << "held from frame 26";
}

TEST(DataPictures, ProjectorFrameIsASymmetricLitGateWithBlackEdges) {
  Picture p = load("frame.jpg");
  ASSERT_FALSE(p.px.empty());
  // Grey: one texture channel to filter per pixel; the shader adds the lamp's tint.
  ASSERT_EQ(p.comp, 1);
  double sum = 0;
  int worst = 0;
  for (int y = 0; y < p.h / 2; ++y)
    for (int x = 0; x < p.w; ++x)
      for (int c = 0; c < p.comp; ++c) {
        int d = std::abs(p.at(x, y, c) - p.at(x, p.h - 1 - y, c));
        sum += d;
        worst = std::max(worst, d);
      }
  EXPECT_LT(sum / (double(p.w) * p.h / 2 * p.comp), 0.5) << "vertically symmetric on average";
  EXPECT_LE(worst, 6) << "vertically symmetric everywhere";
  for (int y = 0; y < p.h; ++y)
    for (int x = 0; x < p.w; ++x) {
      if (x >= 8 && y >= 8 && x < p.w - 8 && y < p.h - 8) continue;
      for (int c = 0; c < p.comp; ++c)
        ASSERT_LE(p.at(x, y, c), 2) << "edge pixel " << x << "," << y;
    }
  EXPECT_GT(p.luma(p.w / 2, p.h / 2), 220) << "bright centre";
  EXPECT_GT(p.luma(p.w / 2, p.h / 2), p.luma(p.w / 8, p.h / 8) + 10) << "vignette";
  EXPECT_GT(p.luma(p.w / 2, p.h / 12), 100) << "gate fills most of the height";
  EXPECT_GT(p.luma(p.w / 12, p.h / 2), 100) << "gate fills most of the width";
}

TEST(DataPictures, MandelbrotZoomTargetSitsOnDetail) {
  Picture p = load("mandelbrot.png");
  ASSERT_FALSE(p.px.empty());
  // The show ends on a window 0.16 of the picture wide around (0.5, 0.75).
  const int cx = p.w / 2, cy = p.h * 3 / 4, half = int(p.w * 0.08f);
  double sum = 0, sq = 0;
  long dark = 0, bright = 0, n = 0;
  for (int y = cy - half; y < cy + half; ++y)
    for (int x = cx - half; x < cx + half; ++x) {
      float l = p.luma(x, y);
      sum += l;
      sq += l * l;
      ++n;
      dark += l < 20;
      bright += l > 160;
    }
  double mean = sum / n, sd = std::sqrt(sq / n - mean * mean);
  EXPECT_GT(sd, 40) << "strong contrast where the zoom lands";
  EXPECT_GT(dark, n / 20) << "some of the set itself";
  EXPECT_GT(bright, n / 50) << "bright boundary bands";
  // The whole set: interior (black) near the middle, dark far corners.
  EXPECT_LT(p.luma(0, 0) + p.luma(p.w - 1, 0) + p.luma(0, p.h - 1) + p.luma(p.w - 1, p.h - 1),
            4 * 90);
}

TEST(DataPictures, ScratchOverlaysAreMostlyCleanFilm) {
  for (const char* name : {"f1.png", "f2.png", "f3.png", "f4.png"}) {
    SCOPED_TRACE(name);
    Picture p = load(name);
    ASSERT_EQ(p.comp, 2);
    double coverage = 0;
    long dark = 0, light = 0;
    for (int y = 0; y < p.h; ++y)
      for (int x = 0; x < p.w; ++x) {
        coverage += p.at(x, y, 1) / 255.0;
        if (p.at(x, y, 1) > 100) {
          if (p.at(x, y, 0) < 64)
            ++dark;
          else
            ++light;
        }
      }
    coverage /= double(p.w) * p.h;
    EXPECT_LT(coverage, 0.05);
    EXPECT_GT(coverage, 0.002);
    EXPECT_GT(dark, 10) << "dark specks";
    EXPECT_GT(light, 10) << "light scratches";
  }
  EXPECT_NE(slurp(dataPath("images/f1.png")), slurp(dataPath("images/f2.png")));
  EXPECT_NE(slurp(dataPath("images/f3.png")), slurp(dataPath("images/f4.png")));
}

// ------------------------------------------------------------------ mesh ---
namespace {

using Vec3 = std::array<double, 3>;
Vec3 sub(const Vec3& a, const Vec3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
Vec3 cross(const Vec3& a, const Vec3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
double dot(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

struct Mesh {
  std::vector<Vec3> v, vn;
  std::vector<std::array<int, 6>> f;  // v0 n0 v1 n1 v2 n2, 0-based
  std::vector<std::string> errors;
};

// Reads the subset the program's loader understands, noting every line
// outside it.
Mesh parseObj(const std::string& text) {
  Mesh m;
  std::istringstream in(text);
  std::string line;
  int lineNo = 0;
  while (std::getline(in, line)) {
    ++lineNo;
    if (line.empty() || line[0] == '#') continue;
    std::istringstream ls(line);
    std::string tag;
    ls >> tag;
    auto bad = [&](const std::string& why) {
      m.errors.push_back("line " + std::to_string(lineNo) + ": " + why);
    };
    if (tag == "v" || tag == "vn") {
      Vec3 p;
      std::string rest;
      if (!(ls >> p[0] >> p[1] >> p[2]) || (ls >> rest)) {
        bad("want three numbers");
        continue;
      }
      (tag == "v" ? m.v : m.vn).push_back(p);
    } else if (tag == "f") {
      std::array<int, 6> face{};
      int corners = 0;
      std::string corner;
      while (ls >> corner) {
        int a = 0, n = 0;
        char tail = 0;
        if (corners >= 3 || std::sscanf(corner.c_str(), "%d//%d%c", &a, &n, &tail) != 2) {
          bad("want exactly three a//n corners");
          corners = -100;
          break;
        }
        if (a < 1 || a > int(m.v.size()) || n < 1 || n > int(m.vn.size()))
          bad("index refers to nothing above it");
        face[size_t(corners) * 2] = a - 1;
        face[size_t(corners) * 2 + 1] = n - 1;
        ++corners;
      }
      if (corners == 3)
        m.f.push_back(face);
      else if (corners >= 0)
        bad("want exactly three corners");
    } else {
      bad("unknown line '" + tag + "'");
    }
  }
  return m;
}

}  // namespace

TEST(DataMesh, CubeIsAClosedOutwardWoundSolidInTheLoadersSubset) {
  std::vector<unsigned char> bytes = slurp(dataPath("3d/cube.obj"));
  ASSERT_FALSE(bytes.empty());
  Mesh m = parseObj(std::string(bytes.begin(), bytes.end()));
  for (const std::string& e : m.errors) ADD_FAILURE() << e;
  ASSERT_TRUE(m.errors.empty());
  ASSERT_GE(m.f.size(), 12u);

  // Every directed edge once, and its reverse once: closed and consistently wound.
  std::map<std::pair<int, int>, int> edges;
  for (const auto& t : m.f)
    for (int k = 0; k < 3; ++k) ++edges[{t[size_t(k) * 2], t[size_t((k + 1) % 3) * 2]}];
  for (const auto& [e, count] : edges) {
    EXPECT_EQ(count, 1) << "edge " << e.first << "-" << e.second << " used twice in one direction";
    auto back = edges.find({e.second, e.first});
    EXPECT_TRUE(back != edges.end() && back->second == 1)
        << "edge " << e.first << "-" << e.second << " is open";
  }

  double volume = 0;
  Vec3 lo{1e9, 1e9, 1e9}, hi{-1e9, -1e9, -1e9};
  for (const Vec3& p : m.v)
    for (int k = 0; k < 3; ++k) {
      lo[size_t(k)] = std::min(lo[size_t(k)], p[size_t(k)]);
      hi[size_t(k)] = std::max(hi[size_t(k)], p[size_t(k)]);
    }
  for (const auto& t : m.f) {
    const Vec3 &a = m.v[size_t(t[0])], &b = m.v[size_t(t[2])], &c = m.v[size_t(t[4])];
    Vec3 n = cross(sub(b, a), sub(c, a));
    ASSERT_GT(dot(n, n), 1e-12) << "degenerate triangle";
    volume += dot(a, cross(b, c)) / 6.0;
    Vec3 centroid{(a[0] + b[0] + c[0]) / 3, (a[1] + b[1] + c[1]) / 3, (a[2] + b[2] + c[2]) / 3};
    EXPECT_GT(dot(n, centroid), 0) << "triangle faces inwards";
    double nl = std::sqrt(dot(n, n));
    for (int k = 0; k < 3; ++k) {
      const Vec3& vn = m.vn[size_t(t[size_t(k) * 2 + 1])];
      double l = std::sqrt(dot(vn, vn));
      EXPECT_NEAR(l, 1.0, 1e-3) << "unit normals";
      EXPECT_GT(dot(vn, n) / (l * nl), 0.5) << "vertex normal disagrees with the face";
    }
  }
  const double full = 1.5 * 1.5 * 1.5;
  EXPECT_GT(volume, full * 0.9);
  EXPECT_LE(volume, full * 1.0001);
  for (int k = 0; k < 3; ++k) {
    EXPECT_NEAR(lo[size_t(k)], -0.75, 1e-4);
    EXPECT_NEAR(hi[size_t(k)], 0.75, 1e-4);
  }
}
