// Picture decoding for the texture catalogue. Every picture file is untrusted: the
// decoders behind this interface are made for hostile input, sizes are capped from the
// header before pixel memory is taken, and a failure is a short reason, never a crash.
#pragma once

#include <cstddef>
#include <cstdint>

namespace gfx {

struct Image {
  uint8_t* pixels = nullptr;
  int width = 0;
  int height = 0;
  int components = 0;
};

// Largest picture accepted: each side, and width x height.
constexpr int kMaxImageSide = 16384;
constexpr int64_t kMaxImagePixels = int64_t{64} << 20;

// Decodes a PNG or JPEG held in memory: 8 bits per channel, rows top first, the file's own
// component count. False with a short static reason text on failure. Thread-safe (no globals).
bool decode_image(const uint8_t* bytes, size_t length, Image* out, const char** reason);
void free_image(Image* image);

}  // namespace gfx
