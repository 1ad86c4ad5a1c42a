// Small helpers shared by the data generators: a deterministic random
// source, tileable value noise, float canvases and a stb_truetype text
// renderer.  Everything here is deterministic: the same build on the same
// input writes the same bytes.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <stb/stb_truetype.h>

namespace gen {

constexpr float kPi = 3.14159265358979f;

inline float clamp01(float v) { return v < 0.f ? 0.f : (v > 1.f ? 1.f : v); }
inline float mixf(float a, float b, float t) { return a + (b - a) * t; }
inline float smooth(float e0, float e1, float x) {
  float t = clamp01((x - e0) / (e1 - e0));
  return t * t * (3.f - 2.f * t);
}

// xorshift-style generator with a fixed seed per use.
struct Rng {
  uint64_t s;
  explicit Rng(uint64_t seed) : s(seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull) {
    if (!s) s = 1;
  }
  uint32_t next() {
    s ^= s << 13;
    s ^= s >> 7;
    s ^= s << 17;
    return uint32_t(s >> 32);
  }
  float uni() { return float(next() >> 8) * (1.0f / 16777216.0f); }
  float range(float a, float b) { return a + (b - a) * uni(); }
  int irange(int a, int b) { return a + int(next() % uint32_t(b - a + 1)); }
};

inline uint32_t hash3(int x, int y, int z) {
  uint32_t h = uint32_t(x) * 374761393u + uint32_t(y) * 668265263u + uint32_t(z) * 2246822519u;
  h = (h ^ (h >> 13)) * 1274126177u;
  return h ^ (h >> 16);
}
inline float hashf(int x, int y, int z) { return float(hash3(x, y, z) & 0xFFFFFF) / 16777215.0f; }

// Value noise on a lattice that repeats every `period` cells.
inline float tile_noise(float x, float y, int period, int seed) {
  int ix = int(std::floor(x)), iy = int(std::floor(y));
  float fx = x - ix, fy = y - iy;
  auto w = [period](int v) { return ((v % period) + period) % period; };
  float a = hashf(w(ix), w(iy), seed), b = hashf(w(ix + 1), w(iy), seed);
  float c = hashf(w(ix), w(iy + 1), seed), d = hashf(w(ix + 1), w(iy + 1), seed);
  fx = fx * fx * (3 - 2 * fx);
  fy = fy * fy * (3 - 2 * fy);
  return mixf(mixf(a, b, fx), mixf(c, d, fx), fy);
}

// Fractal noise over a picture of `size` pixels that tiles seamlessly.
inline float tile_fbm(float px, float py, int size, int base_period, int octaves, int seed) {
  float sum = 0, amp = 0.5f, norm = 0;
  int period = base_period;
  for (int o = 0; o < octaves; ++o) {
    float scale = float(period) / float(size);
    sum += amp * tile_noise(px * scale, py * scale, period, seed + o * 31);
    norm += amp;
    amp *= 0.5f;
    period *= 2;
  }
  return sum / norm;
}

struct Rgb {
  float r, g, b;
};

// Float RGB canvas.
struct Canvas {
  int w = 0, h = 0;
  std::vector<float> px;
  Canvas(int width, int height) : w(width), h(height), px(size_t(width) * height * 3, 0.f) {}
  float* at(int x, int y) { return &px[(size_t(y) * w + x) * 3]; }
  void blend(int x, int y, Rgb c, float a) {
    if (x < 0 || y < 0 || x >= w || y >= h || a <= 0) return;
    float* p = at(x, y);
    a = clamp01(a);
    p[0] = mixf(p[0], c.r, a);
    p[1] = mixf(p[1], c.g, a);
    p[2] = mixf(p[2], c.b, a);
  }
  std::vector<uint8_t> bytes() const {
    std::vector<uint8_t> out(px.size());
    for (size_t i = 0; i < px.size(); ++i) out[i] = uint8_t(std::lround(clamp01(px[i]) * 255.f));
    return out;
  }
};

// Single-channel coverage mask.
struct Mask {
  int w = 0, h = 0;
  std::vector<float> v;
  Mask(int width, int height) : w(width), h(height), v(size_t(width) * height, 0.f) {}
  float& at(int x, int y) { return v[size_t(y) * w + x]; }
  void put(int x, int y, float a) {
    if (x < 0 || y < 0 || x >= w || y >= h) return;
    float& d = at(x, y);
    d = std::max(d, clamp01(a));
  }
};

inline std::vector<unsigned char> read_file(const std::string& path) {
  std::vector<unsigned char> data;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    std::fprintf(stderr, "cannot open %s\n", path.c_str());
    std::exit(1);
  }
  unsigned char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.insert(data.end(), buf, buf + n);
  std::fclose(f);
  return data;
}

// Decodes one code point from UTF-8, advancing i.
inline int utf8_next(const std::string& s, size_t& i) {
  unsigned char c = (unsigned char)s[i++];
  if (c < 0x80) return c;
  int extra = (c >= 0xF0) ? 3 : (c >= 0xE0) ? 2 : 1;
  int cp = c & (0x3F >> extra);
  for (int k = 0; k < extra && i < s.size(); ++k) cp = (cp << 6) | ((unsigned char)s[i++] & 0x3F);
  return cp;
}

struct Font {
  std::vector<unsigned char> data;
  stbtt_fontinfo info{};
  explicit Font(const std::string& path) : data(read_file(path)) {
    if (!stbtt_InitFont(&info, data.data(), stbtt_GetFontOffsetForIndex(data.data(), 0))) {
      std::fprintf(stderr, "bad font %s\n", path.c_str());
      std::exit(1);
    }
  }
  float scale_for(float px) const { return stbtt_ScaleForPixelHeight(&info, px); }

  // Width in pixels of `text` at pixel height `px` (plus letter spacing).
  float width(const std::string& text, float px, float tracking = 0) const {
    float s = scale_for(px), x = 0;
    int prev = 0;
    for (size_t i = 0; i < text.size();) {
      int cp = utf8_next(text, i);
      if (prev) x += s * stbtt_GetCodepointKernAdvance(&info, prev, cp);
      int adv, lsb;
      stbtt_GetCodepointHMetrics(&info, cp, &adv, &lsb);
      x += s * adv + tracking;
      prev = cp;
    }
    return x - (text.empty() ? 0 : tracking);
  }

  // Renders text with its baseline at y, starting at x.  Calls
  // hook(index, x0, x1) for each glyph with its horizontal extent.
  template <class Hook>
  void draw(Mask& m, const std::string& text, float px, float x, float y, float tracking,
            Hook hook) const {
    float s = scale_for(px);
    int prev = 0, index = 0;
    for (size_t i = 0; i < text.size();) {
      int cp = utf8_next(text, i);
      if (prev) x += s * stbtt_GetCodepointKernAdvance(&info, prev, cp);
      int adv, lsb;
      stbtt_GetCodepointHMetrics(&info, cp, &adv, &lsb);
      float ix = std::floor(x), fx = x - ix;
      float iy = std::floor(y), fy = y - iy;
      int x0, y0, x1, y1;
      stbtt_GetCodepointBitmapBoxSubpixel(&info, cp, s, s, fx, fy, &x0, &y0, &x1, &y1);
      int gw = x1 - x0, gh = y1 - y0;
      if (gw > 0 && gh > 0) {
        std::vector<unsigned char> bmp(size_t(gw) * gh);
        stbtt_MakeCodepointBitmapSubpixel(&info, bmp.data(), gw, gh, gw, s, s, fx, fy, cp);
        for (int yy = 0; yy < gh; ++yy)
          for (int xx = 0; xx < gw; ++xx)
            m.put(int(ix) + x0 + xx, int(iy) + y0 + yy, bmp[size_t(yy) * gw + xx] / 255.f);
        hook(index, ix + x0, ix + x1);
      }
      x += s * adv + tracking;
      prev = cp;
      ++index;
    }
  }
  void draw(Mask& m, const std::string& text, float px, float x, float y,
            float tracking = 0) const {
    draw(m, text, px, x, y, tracking, [](int, float, float) {});
  }
};

}  // namespace gen
