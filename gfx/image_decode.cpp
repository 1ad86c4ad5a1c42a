#include "gfx/image_decode.h"

#include <cstdlib>
#include <cstring>

#include "gfx/image_formats.h"

namespace gfx {
namespace {

const uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

}  // namespace

bool decode_image(const uint8_t* bytes, size_t length, Image* out, const char** reason) {
  *out = Image{};
  const char* why = "unknown image type";
  // The content decides the format, never the file name.
  if (bytes && length >= sizeof kPngSignature &&
      std::memcmp(bytes, kPngSignature, sizeof kPngSignature) == 0) {
    why = image_format::decode_png(bytes, length, out);
  } else if (bytes && length >= 2 && bytes[0] == 0xFF && bytes[1] == 0xD8) {
    why = image_format::decode_jpeg(bytes, length, out);
  }
  if (why) {
    free_image(out);
    if (reason) *reason = why;
    return false;
  }
  return true;
}

void free_image(Image* image) {
  if (!image) return;
  std::free(image->pixels);
  *image = Image{};
}

}  // namespace gfx
