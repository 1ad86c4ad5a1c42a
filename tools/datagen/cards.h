// Intertitle cards: cream serif lettering on black inside an ornamental
// double-line border with notched corners.
#pragma once

#include "common.h"

namespace gen {

struct V2 {
  float x, y;
};
inline float len(V2 a) { return std::sqrt(a.x * a.x + a.y * a.y); }

inline float sd_segment(V2 p, V2 a, V2 b) {
  V2 pa{p.x - a.x, p.y - a.y}, ba{b.x - a.x, b.y - a.y};
  float h = clamp01((pa.x * ba.x + pa.y * ba.y) / (ba.x * ba.x + ba.y * ba.y));
  return len({pa.x - ba.x * h, pa.y - ba.y * h});
}

// Signed distance to an axis-aligned box centred at the origin.
inline float sd_box(V2 q, V2 half) {
  float dx = std::fabs(q.x) - half.x, dy = std::fabs(q.y) - half.y;
  float ox = std::max(dx, 0.f), oy = std::max(dy, 0.f);
  return std::sqrt(ox * ox + oy * oy) + std::min(std::max(dx, dy), 0.f);
}

// Filled rhombus with half-diagonals a (x) and b (y), approximate distance.
inline float sd_rhombus(V2 q, float a, float b) {
  float k = (std::fabs(q.x) / a + std::fabs(q.y) / b - 1.f);
  return k * (a * b) / std::sqrt(a * a + b * b);
}

// Arc of radius r around c covering directions (angles of p - c) in [a0, a1].
inline float sd_arc(V2 p, V2 c, float r, float a0, float a1) {
  V2 d{p.x - c.x, p.y - c.y};
  float ang = std::atan2(d.y, d.x);
  if (ang >= a0 && ang <= a1) return std::fabs(len(d) - r);
  V2 e0{c.x + r * std::cos(a0), c.y + r * std::sin(a0)};
  V2 e1{c.x + r * std::cos(a1), c.y + r * std::sin(a1)};
  return std::min(len({p.x - e0.x, p.y - e0.y}), len({p.x - e1.x, p.y - e1.y}));
}

inline float stroke_cov(float d, float width) { return clamp01(width * 0.5f + 0.5f - d); }
inline float fill_cov(float sd) { return clamp01(0.5f - sd); }

// Border ornament for a card of w x h pixels; s = w / 640.
inline void draw_border(Mask& m, float s) {
  const float hw = m.w * 0.5f, hh = m.h * 0.5f;
  const float outer = 18 * s, inner = 28 * s, notch = 15 * s;
  for (int y = 0; y < m.h; ++y)
    for (int x = 0; x < m.w; ++x) {
      // Fold into one quadrant: the design is symmetric both ways.
      V2 q{std::fabs(x + 0.5f - hw), std::fabs(y + 0.5f - hh)};
      float cov = 0;
      // Heavy outer rule.
      cov = std::max(cov, stroke_cov(std::fabs(sd_box(q, {hw - outer, hh - outer})), 3.2f * s));
      // Fine inner rule with concave notched corners.
      V2 c{hw - inner, hh - inner};
      float dc = len({q.x - c.x, q.y - c.y});
      float d_in = std::fabs(sd_box(q, c));
      if (dc < notch) d_in = 1e9f;
      // Gaps around the mid-side diamonds.
      if (q.x < 15 * s && std::fabs(q.y - c.y) < 3 * s) d_in = 1e9f;
      if (q.y < 15 * s && std::fabs(q.x - c.x) < 3 * s) d_in = 1e9f;
      if (q.x <= c.x && q.y <= c.y) d_in = std::min(d_in, std::fabs(dc - notch));
      cov = std::max(cov, stroke_cov(d_in, 1.4f * s));
      // Corner flourish: dot in the notch, a second broken arc, a leaf.
      cov = std::max(cov, fill_cov(dc - 3.2f * s));
      V2 rel{c.x - q.x, c.y - q.y};  // pointing into the card
      float arc = sd_arc({rel.x, rel.y}, {0, 0}, notch + 7 * s, 0.32f, kPi * 0.5f - 0.32f);
      cov = std::max(cov, stroke_cov(arc, 1.2f * s));
      {
        float dd = notch + 19 * s;
        V2 lc{dd * 0.7071f, dd * 0.7071f};
        V2 d{rel.x - lc.x, rel.y - lc.y};
        V2 rot{(d.x + d.y) * 0.7071f, (d.x - d.y) * 0.7071f};
        cov = std::max(cov, fill_cov(sd_rhombus(rot, 8.0f * s, 3.0f * s)));
        V2 lc2{(dd + 11 * s) * 0.7071f, (dd + 11 * s) * 0.7071f};
        cov = std::max(cov, fill_cov(len({rel.x - lc2.x, rel.y - lc2.y}) - 1.6f * s));
      }
      // Mid-side diamonds with flanking dots.
      cov = std::max(cov, fill_cov(sd_rhombus({q.x, q.y - c.y}, 8 * s, 4.2f * s)));
      cov = std::max(cov, fill_cov(len({q.x - 12 * s, q.y - c.y}) - 1.7f * s));
      cov = std::max(cov, fill_cov(sd_rhombus({q.x - c.x, q.y}, 4.2f * s, 8 * s)));
      cov = std::max(cov, fill_cov(len({q.x - c.x, q.y - 12 * s}) - 1.7f * s));
      m.put(x, y, cov);
    }
}

// A horizontal divider: rule, dot, diamond, dot, rule, centred at (cx, cy).
inline void draw_divider(Mask& m, float cx, float cy, float half_width, float s) {
  int x0 = int(cx - half_width - 4), x1 = int(cx + half_width + 4);
  int y0 = int(cy - 8 * s), y1 = int(cy + 8 * s) + 1;
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x) {
      V2 q{std::fabs(x + 0.5f - cx), y + 0.5f - cy};
      float cov = fill_cov(sd_rhombus(q, 9 * s, 4.8f * s));
      cov = std::max(cov, fill_cov(len({q.x - 16 * s, q.y}) - 2.0f * s));
      // Tapering rule: thick near the middle, fine at the tips.
      if (q.x > 24 * s && q.x < half_width) {
        float t = (q.x - 24 * s) / (half_width - 24 * s);
        float width = mixf(2.2f, 0.5f, t) * s;
        cov = std::max(cov, stroke_cov(std::fabs(q.y), width));
      }
      m.put(x, y, cov);
    }
}

enum FontId { kRoman, kItalic, kBold, kBoldItalic, kScript, kFontCount };

struct Line {
  int font;  // FontId, or -1 for a divider ornament
  float px;  // pixel height (for a divider: its half width)
  std::string text;
  float tracking = 0;
};

struct Fonts {
  const Font* f[kFontCount];
};

// Lays out the lines centred in the card and renders the lettering.
inline void draw_lines(Mask& m, const Fonts& fonts, const std::vector<Line>& lines, float s) {
  const float max_width = m.w - 2 * 64 * s;
  struct Placed {
    Line line;
    float px, height;
  };
  std::vector<Placed> placed;
  float total = 0;
  for (const Line& l : lines) {
    Placed p{l, l.px * s, 0};
    if (l.font >= 0) {
      float wdt = fonts.f[l.font]->width(l.text, p.px, l.tracking * s);
      if (wdt > max_width) p.px *= max_width / wdt;
      p.height = p.px * 1.22f;
    } else {
      p.height = 30 * s;
    }
    total += p.height;
    placed.push_back(p);
  }
  float y = m.h * 0.5f - total * 0.5f;
  for (const Placed& p : placed) {
    if (p.line.font < 0) {
      draw_divider(m, m.w * 0.5f, y + p.height * 0.5f, p.line.px * s, s);
    } else {
      const Font& f = *fonts.f[p.line.font];
      float wdt = f.width(p.line.text, p.px, p.line.tracking * s);
      // Baseline sits about 78% of the way down the line box.
      f.draw(m, p.line.text, p.px, std::round(m.w * 0.5f - wdt * 0.5f), y + p.height * 0.80f,
             p.line.tracking * s);
    }
    y += p.height;
  }
}

inline const Rgb kCream{0.96f, 0.93f, 0.84f};

// Turns an ink mask into cream-on-black pixels.
inline Canvas ink_to_canvas(const Mask& m) {
  Canvas c(m.w, m.h);
  for (int y = 0; y < m.h; ++y)
    for (int x = 0; x < m.w; ++x) {
      float a = m.v[size_t(y) * m.w + x];
      float* p = c.at(x, y);
      p[0] = kCream.r * a;
      p[1] = kCream.g * a;
      p[2] = kCream.b * a;
    }
  return c;
}

}  // namespace gen
