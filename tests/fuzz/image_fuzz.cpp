// The picture decoder on arbitrary bytes, exactly as the texture catalogue calls it. Whatever
// the bytes, it must return without touching memory it does not own; a decoded picture must
// be of a size the caps allow and be readable to its last byte, and a failure must leave the
// picture empty with a reason.
#include <cstdint>
#include <cstdlib>

#include "gfx/image_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  gfx::Image image;
  const char* reason = nullptr;
  if (gfx::decode_image(data, size, &image, &reason)) {
    const int64_t pixels = int64_t(image.width) * image.height;
    if (image.width < 1 || image.height < 1 || image.width > gfx::kMaxImageSide ||
        image.height > gfx::kMaxImageSide || pixels > gfx::kMaxImagePixels ||
        image.components < 1 || image.components > 4 || !image.pixels)
      std::abort();
    // Touch the first and last byte so ASan sees a short buffer.
    volatile uint8_t edge = image.pixels[0] ^ image.pixels[pixels * image.components - 1];
    (void)edge;
  } else if (!reason || !reason[0] || image.pixels) {
    std::abort();
  }
  gfx::free_image(&image);
  return 0;
}
