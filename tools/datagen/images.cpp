// quorl-images: writes every picture in data/images and the contact sheet
// docs/images.png.
//
//   quorl-images <images-dir> <contact-sheet.png>
//
// Fonts are read from the URW base35 set (C059, Z003) and DejaVu Sans.
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_IMPLEMENTATION
#define STB_TRUETYPE_IMPLEMENTATION
#include <stb/stb_image.h>
#include <stb/stb_image_write.h>

#include <turbojpeg.h>

#include "cards.h"

#include <complex>
#include <map>

using namespace gen;

namespace {

std::string g_out;
const std::string kUrw = "/usr/share/fonts/opentype/urw-base35/";

void write_png(const std::string& name, int w, int h, int comp, const std::vector<uint8_t>& data) {
  std::string path = g_out + "/" + name;
  if (!stbi_write_png(path.c_str(), w, h, comp, data.data(), w * comp)) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::exit(1);
  }
  std::printf("  %s %dx%d/%d\n", name.c_str(), w, h, comp);
}

void write_jpg(const std::string& name, const Canvas& c, int quality = 90) {
  std::string path = g_out + "/" + name;
  std::vector<uint8_t> b = c.bytes();
  if (!stbi_write_jpg(path.c_str(), c.w, c.h, 3, b.data(), quality)) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::exit(1);
  }
  std::printf("  %s %dx%d\n", name.c_str(), c.w, c.h);
}

// One-channel baseline JPEG of the canvas's red channel: the decoder hands it over as one
// component, so the picture becomes a one-channel texture that is cheap to filter.
void write_grey_jpg(const std::string& name, const Canvas& c, int quality) {
  std::string path = g_out + "/" + name;
  std::vector<uint8_t> grey(size_t(c.w) * c.h);
  for (size_t i = 0; i < grey.size(); ++i)
    grey[i] = uint8_t(std::lround(clamp01(c.px[i * 3]) * 255.f));
  tjhandle tj = tjInitCompress();
  unsigned char* jpeg = nullptr;
  unsigned long size = 0;
  FILE* f = nullptr;
  bool ok = tj &&
            tjCompress2(tj, grey.data(), c.w, 0, c.h, TJPF_GRAY, &jpeg, &size, TJSAMP_GRAY, quality,
                        TJFLAG_ACCURATEDCT) == 0 &&
            (f = std::fopen(path.c_str(), "wb")) && std::fwrite(jpeg, 1, size, f) == size;
  if (f) ok = std::fclose(f) == 0 && ok;
  tjFree(jpeg);
  if (tj) tjDestroy(tj);
  if (!ok) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::exit(1);
  }
  std::printf("  %s %dx%d/1\n", name.c_str(), c.w, c.h);
}

// ---------------------------------------------------------------- brick ---
void make_brick() {
  const int kSize = 256, kRowHeight = 32, kBrickWidth = 64, kMortar = 4;
  Canvas c(kSize, kSize);
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) {
      int row = y / kRowHeight;
      int shift = (row & 1) ? kBrickWidth / 2 : 0;
      int bx = ((x + shift) % kSize) / kBrickWidth;
      int lx = (x + shift) % kBrickWidth, ly = y % kRowHeight;
      float grain = tile_fbm(float(x), float(y), kSize, 32, 4, 11);
      float fine = tile_noise(x * 0.5f, y * 0.5f, kSize / 2, 12);
      float r, g, b;
      bool is_mortar = lx < kMortar || ly < kMortar;
      if (is_mortar) {
        float m = 0.50f + 0.12f * grain + 0.06f * fine;
        r = m * 1.05f;
        g = m * 0.98f;
        b = m * 0.86f;
        // The brick above throws a shadow into the joint.
        if (ly < kMortar && ly <= 1) {
          r *= 0.72f;
          g *= 0.72f;
          b *= 0.72f;
        }
        if (lx < kMortar && lx <= 0) {
          r *= 0.85f;
          g *= 0.85f;
          b *= 0.85f;
        }
      } else {
        float tone = hashf(bx, row, 5), kind = hashf(bx, row, 6);
        r = 0.58f + 0.16f * tone;
        g = 0.25f + 0.08f * tone;
        b = 0.16f + 0.04f * tone;
        if (kind < 0.18f) {
          r *= 0.66f;
          g *= 0.62f;
          b *= 0.66f;
        }  // over-fired
        else if (kind > 0.86f) {
          r *= 1.10f;
          g *= 1.22f;
          b *= 1.1f;
        }  // pale
        float spots = tile_noise(x * 0.75f, y * 0.75f, kSize * 3 / 4, 20 + bx + row * 4);
        float k = 0.78f + 0.30f * grain + 0.12f * (fine - 0.5f);
        if (spots > 0.74f) k *= 0.78f;
        r *= k;
        g *= k;
        b *= k;
        // Bevel: lit top edge, darker bottom and right edges.
        int ex = kBrickWidth - 1 - lx, ey = kRowHeight - 1 - ly;
        if (ly < kMortar + 2) {
          r *= 1.18f;
          g *= 1.16f;
          b *= 1.14f;
        }
        if (ey < 2 || ex < 2) {
          r *= 0.78f;
          g *= 0.78f;
          b *= 0.78f;
        }
        // A chipped corner now and then.
        float chip = hashf(bx, row, 9);
        if (chip > 0.7f && lx - kMortar + ly - kMortar < 5) {
          r = 0.42f;
          g = 0.39f;
          b = 0.33f;
        }
      }
      float* p = c.at(x, y);
      p[0] = r;
      p[1] = g;
      p[2] = b;
    }
  write_png("brick.png", kSize, kSize, 3, c.bytes());
}

// ---------------------------------------------------------------- stars ---
void stamp_glow(Canvas& c, float cx, float cy, float sigma, Rgb col, float amp, bool spikes) {
  int rad = int(std::ceil(sigma * 3 + (spikes ? 9 : 0)));
  for (int dy = -rad; dy <= rad; ++dy)
    for (int dx = -rad; dx <= rad; ++dx) {
      int x = int(std::floor(cx)) + dx, y = int(std::floor(cy)) + dy;
      float fx = x + 0.5f - cx, fy = y + 0.5f - cy;
      float v = amp * std::exp(-(fx * fx + fy * fy) / (2 * sigma * sigma));
      if (spikes) {
        float sx = std::exp(-fy * fy / 0.35f) * std::exp(-std::fabs(fx) / 3.0f);
        float sy = std::exp(-fx * fx / 0.35f) * std::exp(-std::fabs(fy) / 3.0f);
        v += amp * 0.55f * (sx + sy);
      }
      int wx = ((x % c.w) + c.w) % c.w, wy = ((y % c.h) + c.h) % c.h;
      float* p = c.at(wx, wy);
      p[0] += col.r * v;
      p[1] += col.g * v;
      p[2] += col.b * v;
    }
}

void make_stars() {
  const int kSize = 256;
  Canvas c(kSize, kSize);
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) {
      float neb = tile_fbm(float(x), float(y), kSize, 4, 5, 40);
      float neb2 = tile_fbm(float(x), float(y), kSize, 8, 4, 41);
      float k = smooth(0.45f, 0.8f, neb) * 0.10f;
      float* p = c.at(x, y);
      p[0] = 0.015f + k * 0.8f + 0.02f * neb2;
      p[1] = 0.020f + k * 0.6f + 0.02f * neb2;
      p[2] = 0.045f + k * 1.0f + 0.03f * neb2;
    }
  Rng rng(1916);
  const Rgb tints[] = {{1, 1, 1}, {1, 0.92f, 0.78f}, {0.8f, 0.88f, 1}, {1, 0.8f, 0.7f}};
  for (int i = 0; i < 420; ++i) {
    float x = rng.range(0, kSize), y = rng.range(0, kSize);
    float b = std::pow(rng.uni(), 2.6f);
    Rgb t = tints[rng.irange(0, 3)];
    stamp_glow(c, x, y, 0.45f + 0.25f * b, t, 0.25f + 1.6f * b, false);
  }
  for (int i = 0; i < 9; ++i) {
    float x = rng.range(0, kSize), y = rng.range(0, kSize);
    Rgb t = tints[rng.irange(0, 3)];
    stamp_glow(c, x, y, 1.1f + rng.range(0, 0.5f), t, 1.6f, true);
  }
  write_png("stars.png", kSize, kSize, 3, c.bytes());
}

// ----------------------------------------------------------- mandelbrot ---
// The show zooms 6.25x into texture point (0.5, 0.75), i.e. pixel column
// 512, row 768: -0.745 + 0.16i, in the seahorse valley
// between the main cardioid and the period-2 bulb; the whole set is still
// in the picture.  The zoom lays a square patch of the picture on the 4:3
// film frame, so the picture spans 4/3 more of the real axis than of the
// imaginary one (about the target's column, which stays put): on film the
// plane keeps its proportions and the bulbs stay round.
const double kMandelCx = -0.745, kMandelCy = -0.79, kMandelW = 3.8;
const double kMandelWideW = kMandelW * 4.0 / 3.0;

Rgb palette(float t) {
  struct Stop {
    float t;
    Rgb c;
  };
  static const Stop stops[] = {{0.00f, {0.00f, 0.03f, 0.10f}}, {0.16f, {0.13f, 0.42f, 0.80f}},
                               {0.42f, {0.93f, 1.00f, 1.00f}}, {0.64f, {1.00f, 0.70f, 0.05f}},
                               {0.86f, {0.25f, 0.06f, 0.02f}}, {1.00f, {0.00f, 0.03f, 0.10f}}};
  t -= std::floor(t);
  for (int i = 0; i < 5; ++i)
    if (t <= stops[i + 1].t) {
      float k = (t - stops[i].t) / (stops[i + 1].t - stops[i].t);
      k = k * k * (3 - 2 * k);
      return {mixf(stops[i].c.r, stops[i + 1].c.r, k), mixf(stops[i].c.g, stops[i + 1].c.g, k),
              mixf(stops[i].c.b, stops[i + 1].c.b, k)};
    }
  return stops[0].c;
}

Rgb mandel_sample(double re, double im) {
  const int kMaxIter = 1200;
  // Skip the main cardioid and the period-2 bulb.
  double q = (re - 0.25) * (re - 0.25) + im * im;
  if (q * (q + (re - 0.25)) < 0.25 * im * im || (re + 1) * (re + 1) + im * im < 0.0625)
    return {0, 0, 0};
  double x = 0, y = 0;
  int n = 0;
  while (n < kMaxIter && x * x + y * y < 1e6) {
    double xt = x * x - y * y + re;
    y = 2 * x * y + im;
    x = xt;
    ++n;
  }
  if (n >= kMaxIter) return {0, 0, 0};
  double mu = n + 1 - std::log(std::log(std::sqrt(x * x + y * y))) / std::log(2.0);
  float t = float(std::log(mu + 1.0) * 0.9);
  Rgb c = palette(t);
  // Far exterior fades to dark so the set stands out in the whole view.
  float glow = float(smooth(1.5f, 9.f, float(mu)));
  float k = 0.25f + 0.75f * glow;
  return {c.r * k, c.g * k, c.b * k};
}

void make_mandelbrot() {
  const int kSize = 1024, kSamples = 3;
  Canvas c(kSize, kSize);
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) {
      float r = 0, g = 0, b = 0;
      for (int sy = 0; sy < kSamples; ++sy)
        for (int sx = 0; sx < kSamples; ++sx) {
          double u = (x + (sx + 0.5) / kSamples) / kSize - 0.5,
                 v = (y + (sy + 0.5) / kSamples) / kSize - 0.5;
          Rgb s = mandel_sample(kMandelCx + u * kMandelWideW, kMandelCy + v * kMandelW);
          r += s.r;
          g += s.g;
          b += s.b;
        }
      float* p = c.at(x, y);
      p[0] = r / (kSamples * kSamples);
      p[1] = g / (kSamples * kSamples);
      p[2] = b / (kSamples * kSamples);
    }
  write_png("mandelbrot.png", kSize, kSize, 3, c.bytes());
}

// ---------------------------------------------------------------- frame ---
void make_frame() {
  const int kWidth = 1024, kHeight = 768;
  Canvas c(kWidth, kHeight);
  const float hx = kWidth * 0.46f, hy = kHeight * 0.46f, radius = 46, soft = 18;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      // Centred coordinates: rows y and H-1-y give identical values.
      float px = std::fabs(x + 0.5f - kWidth * 0.5f), py = std::fabs(y + 0.5f - kHeight * 0.5f);
      float dx = px - (hx - radius), dy = py - (hy - radius);
      float ox = std::max(dx, 0.f), oy = std::max(dy, 0.f);
      float d = std::sqrt(ox * ox + oy * oy) + std::min(std::max(dx, dy), 0.f) - radius;
      float gate = 1.f - smooth(-soft, 2.f, d);
      float rx = px / hx, ry = py / hy;
      float r2 = (rx * rx + ry * ry) * 0.5f;
      float vignette = 1.0f - 0.36f * r2 - 0.12f * r2 * r2;
      float v = gate * vignette;
      if (x < 8 || y < 8 || x >= kWidth - 8 || y >= kHeight - 8) v = 0;
      c.at(x, y)[0] = v;
    }
  // Grey: the projector shader gives the lamp its warm tint.
  write_grey_jpg("frame.jpg", c, 95);
}

// -------------------------------------------------------------- stills ---
struct CardFonts {
  Font roman{kUrw + "C059-Roman.otf"}, italic{kUrw + "C059-Italic.otf"},
      bold{kUrw + "C059-Bold.otf"}, bold_italic{kUrw + "C059-BdIta.otf"},
      script{kUrw + "Z003-MediumItalic.otf"};
  Fonts set() const { return Fonts{{&roman, &italic, &bold, &bold_italic, &script}}; }
};

void make_card(const CardFonts& cf, const std::string& name, const std::vector<Line>& lines) {
  Mask m(640, 480);
  draw_border(m, 1.f);
  draw_lines(m, cf.set(), lines, 1.f);
  write_jpg(name, ink_to_canvas(m), 90);
}

void make_stills(const CardFonts& f) {
  const int kDivider = -1;
  make_card(f, "present.jpg",
            {{kItalic, 26, "The"},
             {kBold, 38, "QUORL KINEMATOGRAPH", 2},
             {kBold, 38, "COMPANY", 2},
             {kItalic, 22, "of Upper Plimsworth-on-the-Wold"},
             {kDivider, 120, ""},
             {kRoman, 24, "respectfully presents"},
             {kBold, 34, "A MOVING PICTURE", 2},
             {kItalic, 22, "in one reel & a great many frames"}});
  make_card(f, "title.jpg",
            {{kRoman, 20, "A PHOTO-PLAY IN MANY MARVELS", 3},
             {kBold, 124, "QUORL", 8},
             {kDivider, 150, ""},
             {kItalic, 30, "or, The Cube Who Would Be Round"},
             {kRoman, 20, "A Drama of Light, Bricks & Arithmetic", 1}});
  make_card(f, "vantrope.jpg",
            {{kItalic, 28, "The Machinery of Calculation"},
             {kItalic, 28, "devised & wound up by"},
             {kBold, 64, "VANTROPE", 4},
             {kDivider, 110, ""},
             {kItalic, 22, "who assures us that every cog"},
             {kItalic, 22, "was counted twice, & once backwards."}});
  make_card(f, "plemk.jpg",
            {{kItalic, 28, "Pictures Painted, Lit"},
             {kItalic, 28, "& Scratched by"},
             {kBold, 64, "PLEMK", 4},
             {kDivider, 110, ""},
             {kItalic, 22, "The dust is entirely authentic."},
             {kItalic, 22, "Kindly do not blow upon the screen."}});
  make_card(f, "mus.jpg",
            {{kItalic, 28, "Musick punched into a Roll"},
             {kItalic, 28, "& performed by"},
             {kBold, 44, "THE BRENLOWICK", 3},
             {kBold, 44, "PLAYER-PIANO", 3},
             {kDivider, 110, ""},
             {kItalic, 22, "which asks neither wages nor applause,"},
             {kItalic, 22, "but will accept both."}});
  make_card(f, "definition.jpg",
            {{kBoldItalic, 64, "quorl,"},
             {kItalic, 22, "noun. Chiefly Kinematographic."},
             {kDivider, 120, ""},
             {kRoman, 23, "1. A cube of impetuous disposition."},
             {kRoman, 23, "2. The noise a projector makes at full gallop."},
             {kRoman, 23, "3. A thing seen once & never explained."}});
  make_card(f, "dorlz.jpg",
            {{kBold, 58, "MEANWHILE,", 4},
             {kItalic, 30, "in another part of the Picture..."},
             {kDivider, 100, ""},
             {kRoman, 20, "(the Audience is begged not to ask which part)"}});
  make_card(f, "dumdeedum.jpg",
            {{kScript, 58, "Dum-dee-dum..."},
             {kDivider, 110, ""},
             {kRoman, 25, "Certain Globules, having no"},
             {kRoman, 25, "pressing engagements, resolve"},
             {kRoman, 25, "to become better acquainted."}});
  make_card(f, "gazillion.jpg",
            {{kBold, 40, "A GAZILLION", 3},
             {kBold, 40, "TRIANGLES!", 3},
             {kDivider, 110, ""},
             {kItalic, 26, "Forty-four, to be exact,"},
             {kItalic, 26, "but who is counting?"}});
  make_card(f, "lookcube.jpg",
            {{kBold, 56, "LOOK! A CUBE!", 3},
             {kDivider, 110, ""},
             {kRoman, 25, "Built of genuine bricks"},
             {kRoman, 25, "by a bricklayer of the"},
             {kRoman, 25, "Mathematical persuasion."}});
  make_card(f, "math.jpg",
            {{kItalic, 32, "And now,"},
             {kBold, 42, "A LITTLE MATHEMATICS.", 2},
             {kDivider, 110, ""},
             {kRoman, 24, "Ladies & Gentlemen are advised"},
             {kRoman, 24, "to hold on to their hats."}});
  make_card(f, "tmandel.jpg",
            {{kItalic, 28, "Thus was Infinity examined"},
             {kItalic, 28, "at a magnification of"},
             {kBold, 46, "SIX & ONE QUARTER.", 2},
             {kDivider, 110, ""},
             {kRoman, 21, "The remainder is left as an exercise"},
             {kRoman, 21, "for the Audience."}});
  make_card(f, "greets1.jpg",
            {{kItalic, 30, "Hearty Greetings are extended to"},
             {kDivider, 120, ""},
             {kRoman, 25, "The Phosphorescent Brothers"},
             {kRoman, 25, "The Ladies' Raster Auxiliary"},
             {kRoman, 25, "Sprocket, Gate & Shutter"},
             {kRoman, 25, "The Flickering Society of Nitrate Falls"}});
  make_card(f, "greets2.jpg",
            {{kItalic, 30, "& no less warmly to"},
             {kDivider, 120, ""},
             {kRoman, 25, "The Cathode Temperance League"},
             {kRoman, 25, "The Magic-Lantern Benevolent Guild"},
             {kRoman, 25, "Kinetoscope & Daughters"},
             {kRoman, 25, "& the Projectionist, who never sleeps"}});
  make_card(f, "theend.jpg",
            {{kScript, 104, "The End"},
             {kDivider, 130, ""},
             {kItalic, 21, "Patrons are requested to collect"},
             {kItalic, 21, "their hats, parcels & sweethearts."}});
}

// --------------------------------------------------------- filmwriting ---
// 32 frames of 320x240 stacked vertically: "quorl" appears letter by letter
// behind a soft pen front, then a swash is drawn beneath it.
void make_film_writing(const CardFonts& f) {
  const int kWidth = 320, kHeight = 240, kFrames = 32;
  const float s = kWidth / 640.f;
  Mask border(kWidth, kHeight);
  draw_border(border, s);

  Mask text(kWidth, kHeight);
  const std::string word = "quorl";
  float px = 128;
  float wdt = f.script.width(word, px);
  if (wdt > 220) {
    px *= 220 / wdt;
    wdt = 220;
  }
  float x0 = std::round(kWidth * 0.5f - wdt * 0.5f), base = kHeight * 0.5f + px * 0.16f;
  std::vector<std::pair<float, float>> glyphs(word.size(), {0.f, 0.f});
  f.script.draw(text, word, px, x0, base, 0, [&](int i, float a, float b) {
    glyphs[size_t(i)] = {a, b};
  });

  // Reveal time (in frames) for each text pixel: letters in turn, each
  // swept left to right with a slight italic slant.
  const float kTextStart = 1.f, kTextEnd = 19.5f;
  float total_w = 0;
  for (auto& g : glyphs) total_w += g.second - g.first;
  std::vector<float> reveal(size_t(kWidth) * kHeight, 1e9f);
  float acc = 0;
  for (size_t gi = 0; gi < glyphs.size(); ++gi) {
    float a = glyphs[gi].first, b = glyphs[gi].second, gw = b - a;
    float t0 = kTextStart + (kTextEnd - kTextStart) * acc / total_w;
    float t1 = kTextStart + (kTextEnd - kTextStart) * (acc + gw) / total_w;
    acc += gw;
    for (int y = 0; y < kHeight; ++y)
      for (int x = int(a) - 2; x <= int(b) + 2; ++x) {
        if (x < 0 || x >= kWidth || text.at(x, y) <= 0) continue;
        float slant = (base - y) * 0.22f;
        float u = clamp01((x + slant - a) / std::max(gw, 1.f));
        float t = mixf(t0, t1, u);
        float& r = reveal[size_t(y) * kWidth + x];
        r = std::min(r, t);  // overlapping letters: first one wins
      }
  }

  // The swash: a gentle curve beneath the word, with a tapering pen.
  auto swash = [&](float u) -> V2 {
    float x = mixf(x0 + wdt * 0.2f, x0 + wdt + 8, u);
    float y = base + 26 + 5 * std::sin(u * kPi * 1.5f + 0.3f) - 14 * u * u;
    return {x, y};
  };
  const float kSwashStart = 20.f, kSwashEnd = 26.f;
  const int kSteps = 400;

  std::vector<uint8_t> out(size_t(kWidth) * kHeight * kFrames * 3, 0);
  for (int k = 0; k < kFrames; ++k) {
    Mask m = border;
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        float cov = text.at(x, y);
        if (cov <= 0) continue;
        float r = reveal[size_t(y) * kWidth + x];
        float shown = clamp01((k - r) * 1.3f + 0.6f);  // soft pen front
        m.put(x, y, cov * shown);
      }
    float done = clamp01((k - kSwashStart) / (kSwashEnd - kSwashStart));
    for (int i = 0; i <= kSteps; ++i) {
      float u = float(i) / kSteps;
      if (u > done) break;
      V2 p = swash(u);
      float thick = 0.8f + 3.2f * std::sin(u * kPi * 0.9f + 0.1f);
      for (int y = int(p.y - 4); y <= int(p.y + 4); ++y)
        for (int x = int(p.x - 4); x <= int(p.x + 4); ++x) {
          float d = len({x + 0.5f - p.x, y + 0.5f - p.y});
          m.put(x, y, clamp01(thick * 0.5f + 0.5f - d));
        }
    }
    Canvas c = ink_to_canvas(m);
    std::vector<uint8_t> b = c.bytes();
    std::copy(b.begin(), b.end(), out.begin() + size_t(k) * kWidth * kHeight * 3);
  }
  Canvas all(kWidth, kHeight * kFrames);
  for (size_t i = 0; i < out.size(); ++i) all.px[i] = out[i] / 255.f;
  write_jpg("filmwriting.jpg", all, 90);
}

// ------------------------------------------------------------ scratches ---
// Grey + alpha overlays.  Everything wraps around the edges.
struct Overlay {
  // 512 texels: at full-screen sizes a texel stays near two pixels, so marks stay fine.
  static const int kSize = 512;
  std::vector<float> g = std::vector<float>(kSize * kSize, 0.f),
                     a = std::vector<float>(kSize * kSize, 0.f);
  void mark(int x, int y, float grey, float cov) {
    cov = clamp01(cov);
    if (cov <= 0) return;
    x = ((x % kSize) + kSize) % kSize;
    y = ((y % kSize) + kSize) % kSize;
    size_t i = size_t(y) * kSize + x;
    float na = cov + a[i] * (1 - cov);
    g[i] = (grey * cov + g[i] * a[i] * (1 - cov)) / na;
    a[i] = na;
  }
  void disc(float cx, float cy, float r, float grey, float alpha) {
    for (int y = int(std::floor(cy - r - 1)); y <= int(cy + r + 1); ++y)
      for (int x = int(std::floor(cx - r - 1)); x <= int(cx + r + 1); ++x) {
        float d = len({x + 0.5f - cx, y + 0.5f - cy});
        mark(x, y, grey, alpha * clamp01(r + 0.5f - d));
      }
  }
};

void make_scratches(int index, uint64_t seed) {
  const int kSize = Overlay::kSize;
  const float kScale = kSize / 256.f;  // sizes below are given for a 256-texel overlay
  Overlay o;
  Rng rng(seed);
  // Long vertical scratches running the full height (periodic wobble).
  int long_ones = rng.irange(2, 4);
  for (int i = 0; i < long_ones; ++i) {
    float x0 = rng.range(0, kSize), amp = kScale * rng.range(0.3f, 2.5f),
          ph = rng.range(0, 2 * kPi);
    int waves = rng.irange(1, 2);
    bool dark = rng.uni() < 0.3f;
    float width = kScale * rng.range(0.5f, 1.2f), alpha = rng.range(0.35f, 0.75f);
    int nseed = rng.irange(0, 1000);
    for (int y = 0; y < kSize; ++y) {
      float x = x0 + amp * std::sin(2 * kPi * waves * y / kSize + ph);
      float fade =
          0.35f + 0.65f * tile_noise(0.5f, y / (16.f * kScale), int(kSize / (16 * kScale)), nseed);
      for (int xx = int(x - 2 * kScale); xx <= int(x + 2 * kScale); ++xx) {
        float d = std::fabs(xx + 0.5f - x);
        o.mark(xx, y, dark ? 0.08f : 0.95f, alpha * fade * clamp01(width * 0.5f + 0.5f - d));
      }
    }
  }
  // Short scratches with tapering ends.
  int short_ones = rng.irange(3, 7);
  for (int i = 0; i < short_ones; ++i) {
    float x0 = rng.range(0, kSize), y0 = rng.range(0, kSize), length = kScale * rng.range(20, 140);
    float tilt = rng.range(-0.04f, 0.04f);
    bool dark = rng.uni() < 0.35f;
    float alpha = rng.range(0.3f, 0.8f), width = kScale * rng.range(0.5f, 1.0f);
    for (int j = 0; j < int(length); ++j) {
      float u = j / length, x = x0 + tilt * j;
      float taper = std::sin(u * kPi);
      for (int xx = int(x - kScale); xx <= int(x + 2 * kScale); ++xx) {
        float d = std::fabs(xx + 0.5f - x);
        o.mark(xx, int(y0) + j, dark ? 0.1f : 0.92f,
               alpha * taper * clamp01(width * 0.5f + 0.5f - d));
      }
    }
  }
  // Dust specks: irregular blobs, mostly dark.
  int specks = rng.irange(18, 34);
  for (int i = 0; i < specks; ++i) {
    float cx = rng.range(0, kSize), cy = rng.range(0, kSize);
    float r = kScale * (0.5f + 2.2f * std::pow(rng.uni(), 2.5f));
    bool dark = rng.uni() < 0.7f;
    float alpha = rng.range(0.7f, 1.0f);
    o.disc(cx, cy, r, dark ? 0.03f : 0.97f, alpha);
    int lumps = rng.irange(0, 3);
    for (int l = 0; l < lumps; ++l)
      o.disc(cx + rng.range(-r, r), cy + rng.range(-r, r), r * rng.range(0.4f, 0.8f),
             dark ? 0.03f : 0.97f, alpha);
  }
  // A hair or two: a dark, thin, curling line.
  int hairs = (index % 2 == 0) ? 1 : rng.irange(0, 2);
  for (int h = 0; h < hairs; ++h) {
    float x = rng.range(0, kSize), y = rng.range(0, kSize), ang = rng.range(0, 2 * kPi);
    float curl = rng.range(-0.05f, 0.05f), length = kScale * rng.range(60, 150);
    for (float t = 0; t < length; t += 0.4f) {
      curl += rng.range(-0.012f, 0.012f);
      curl = std::max(-0.09f, std::min(0.09f, curl));
      ang += curl * 0.4f / kScale;
      x += 0.4f * std::cos(ang);
      y += 0.4f * std::sin(ang);
      float fade = std::min(1.f, std::min(t, length - t) / (10.f * kScale));
      o.disc(x, y, 0.45f * kScale, 0.04f, 0.85f * fade);
    }
  }
  std::vector<uint8_t> out(size_t(kSize) * kSize * 2);
  for (int i = 0; i < kSize * kSize; ++i) {
    out[size_t(i) * 2] = uint8_t(std::lround(clamp01(o.g[i]) * 255));
    out[size_t(i) * 2 + 1] = uint8_t(std::lround(clamp01(o.a[i]) * 255));
  }
  write_png("f" + std::to_string(index) + ".png", kSize, kSize, 2, out);
}

// -------------------------------------------------------- contact sheet ---
void make_contact_sheet(const std::string& path) {
  const char* names[] = {"present.jpg",   "title.jpg",      "vantrope.jpg", "plemk.jpg",
                         "mus.jpg",       "definition.jpg", "dorlz.jpg",    "dumdeedum.jpg",
                         "gazillion.jpg", "lookcube.jpg",   "math.jpg",     "tmandel.jpg",
                         "greets1.jpg",   "greets2.jpg",    "theend.jpg",   "filmwriting.jpg",
                         "frame.jpg",     "brick.png",      "stars.png",    "mandelbrot.png",
                         "f1.png",        "f2.png",         "f3.png",       "f4.png"};
  const int kColumns = 6, kCellWidth = 210, kCellHeight = 182, kThumbWidth = 196,
            kThumbHeight = 147, kTop = 40;
  const int kWidth = kColumns * kCellWidth, kHeight = kTop + 4 * kCellHeight;
  Canvas sheet(kWidth, kHeight);
  for (float& v : sheet.px) v = 0.16f;
  Font label("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
  Font heading(kUrw + "C059-Bold.otf");
  Mask ink(kWidth, kHeight);
  heading.draw(ink, "quorl \xE2\x80\x94 data/images", 24, 14, 28);
  for (int i = 0; i < 24; ++i) {
    int cx = (i % kColumns) * kCellWidth + (kCellWidth - kThumbWidth) / 2,
        cy = kTop + (i / kColumns) * kCellHeight + 4;
    int w, h, comp;
    std::string file = g_out + "/" + names[i];
    unsigned char* img = stbi_load(file.c_str(), &w, &h, &comp, 0);
    if (!img) {
      std::fprintf(stderr, "cannot read back %s\n", file.c_str());
      std::exit(1);
    }
    int src_h = h, src_y = 0;
    std::string caption = names[i];
    if (caption == "filmwriting.jpg") {
      src_h = 240;
      src_y = 240 * 24;
      caption += " (frame 24/32)";
    }
    float scale = std::min(float(kThumbWidth) / w, float(kThumbHeight) / src_h);
    int tw = int(w * scale), th = int(src_h * scale);
    int ox = cx + (kThumbWidth - tw) / 2, oy = cy + (kThumbHeight - th) / 2;
    for (int y = 0; y < th; ++y)
      for (int x = 0; x < tw; ++x) {
        // Box filter over the source footprint.
        int sx0 = int(x / scale), sx1 = std::max(sx0 + 1, int((x + 1) / scale));
        int sy0 = int(y / scale), sy1 = std::max(sy0 + 1, int((y + 1) / scale));
        float acc[3] = {0, 0, 0};
        int n = 0;
        for (int sy = sy0; sy < sy1 && sy < src_h; ++sy)
          for (int sx = sx0; sx < sx1 && sx < w; ++sx) {
            const unsigned char* p = img + (size_t(src_y + sy) * w + sx) * comp;
            if (comp == 2) {
              // Overlay: marks over mid-grey, checker shows coverage.
              float a = p[1] / 255.f, g = p[0] / 255.f;
              float bg = 0.45f;
              for (float& v : acc) v += mixf(bg, g, a);
            } else {
              for (int k = 0; k < 3; ++k) acc[k] += p[k] / 255.f;
            }
            ++n;
          }
        float* d = sheet.at(ox + x, oy + y);
        for (int k = 0; k < 3; ++k) d[k] = acc[k] / n;
      }
    stbi_image_free(img);
    float lw = label.width(caption, 12);
    label.draw(ink, caption, 12, std::round(cx + kThumbWidth * 0.5f - lw * 0.5f),
               float(cy + kThumbHeight + 18));
  }
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) sheet.blend(x, y, {0.95f, 0.93f, 0.86f}, ink.at(x, y));
  std::vector<uint8_t> b = sheet.bytes();
  if (!stbi_write_png(path.c_str(), kWidth, kHeight, 3, b.data(), kWidth * 3)) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::exit(1);
  }
  std::printf("  %s %dx%d\n", path.c_str(), kWidth, kHeight);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <images-dir> <contact-sheet.png>\n", argv[0]);
    return 2;
  }
  g_out = argv[1];
  stbi_write_png_compression_level = 9;
  CardFonts fonts;
  make_brick();
  make_stars();
  make_frame();
  make_stills(fonts);
  make_film_writing(fonts);
  for (int i = 1; i <= 4; ++i) make_scratches(i, 7000 + uint64_t(i) * 131);
  make_mandelbrot();
  make_contact_sheet(argv[2]);
  return 0;
}
