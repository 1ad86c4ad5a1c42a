// PNG output and the small image work of the contact sheet.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace capture {

struct Image {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;  // top row first
};

// Reads the current framebuffer (width x height) into `out`, top row first.
void read_framebuffer(int width, int height, Image* out);
// The same as packed RGB rows in GL's order, bottom row first (no copy to turn it over).
void read_framebuffer_bottom_up(int width, int height, uint8_t* out);

// Writes `image` as `path` (see OutputFile: whole or not at all). False with "cannot write
// PATH: <the system's reason>".
bool write_png(const std::string& path, const Image& image, std::string* error);

// A copy of `src` scaled to width x height.
Image resized(const Image& src, int width, int height);

// Copies `src` into `dst` with its top left at (x, y).
void blit(const Image& src, Image* dst, int x, int y);

// Draws `text` with a small built-in font, top left at (x, y), `scale` pixels per dot.
void draw_text(Image* dst, int x, int y, const std::string& text, int scale, uint8_t grey);

}  // namespace capture
