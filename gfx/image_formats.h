// The two picture formats behind gfx/image_decode.h. Each fills *out (pixels from
// std::malloc) and returns nullptr, or returns a short static reason and leaves *out empty.
#pragma once

#include <cstddef>
#include <cstdint>

#include "gfx/image_decode.h"

namespace gfx {
namespace image_format {

const char* decode_png(const uint8_t* bytes, size_t length, Image* out);
const char* decode_jpeg(const uint8_t* bytes, size_t length, Image* out);

// The size caps, checked from a header before any pixel memory is taken.
inline const char* check_size(int64_t width, int64_t height) {
  if (width <= 0 || height <= 0) return "bad size";
  if (width > kMaxImageSide || height > kMaxImageSide || width * height > kMaxImagePixels)
    return "too large";
  return nullptr;
}

}  // namespace image_format
}  // namespace gfx
