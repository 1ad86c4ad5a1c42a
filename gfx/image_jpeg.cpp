// JPEG through libjpeg-turbo's TurboJPEG API: baseline and extended sequential Huffman
// JPEGs, grey or colour, 8-bit samples. The frame kind is read from the markers before the
// library sees the data, so progressive, arithmetic-coded, lossless and hierarchical files
// are refused with their own reason and never decoded. Any warning (a truncated or damaged
// scan) ends the decode as a failure instead of giving a half-grey picture, and the
// library's messages stay in its handle.
#include <turbojpeg.h>

#include <cstdlib>
#include <memory>

#include "gfx/image_formats.h"

namespace gfx {
namespace image_format {
namespace {

struct HandleFree {
  void operator()(void* handle) const { tjDestroy(handle); }
};

struct Frame {
  int marker = 0;  // 0xC0..0xCF start-of-frame marker, 0 when none precedes the scan
  int precision = 0;
};

bool is_start_of_frame(int marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// Walks the marker segments after SOI the way libjpeg reads them, up to the first frame
// header. Anything that is not a well-formed segment before it gives no frame.
Frame find_frame(const uint8_t* b, size_t length) {
  size_t i = 2;
  while (i < length) {
    if (b[i] != 0xFF) return {};
    while (i < length && b[i] == 0xFF) ++i;  // fill bytes
    if (i >= length) return {};
    const int marker = b[i++];
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // no length
    if (marker == 0xD8 || marker == 0xD9 || marker == 0xDA || marker == 0x00) return {};
    if (length - i < 2) return {};
    const size_t segment = (size_t(b[i]) << 8) | b[i + 1];
    if (segment < 2 || segment > length - i) return {};
    if (is_start_of_frame(marker)) return {marker, segment > 2 ? b[i + 2] : 0};
    i += segment;
  }
  return {};
}

// Null for a frame kind we decode, else why not.
const char* refuse_frame(const Frame& f) {
  switch (f.marker) {
    case 0xC0:
    case 0xC1: return f.precision == 8 ? nullptr : "8bit only";
    case 0xC2:
    case 0xCA: return "progressive jpeg";
    case 0xC3:
    case 0xCB: return "lossless jpeg";
    case 0xC9: return "arithmetic jpeg";
    case 0: return "corrupt jpeg";
    default: return "hierarchical jpeg";
  }
}

}  // namespace

const char* decode_jpeg(const uint8_t* bytes, size_t length, Image* out) {
  if (const char* why = refuse_frame(find_frame(bytes, length))) return why;
  std::unique_ptr<void, HandleFree> handle(tjInitDecompress());
  if (!handle) return "out of memory";
  int width = 0, height = 0, subsampling = 0, colorspace = 0;
  if (tjDecompressHeader3(handle.get(), bytes, static_cast<unsigned long>(length), &width, &height,
                          &subsampling, &colorspace) != 0)
    return "corrupt jpeg";
  if (colorspace == TJCS_CMYK || colorspace == TJCS_YCCK) return "cmyk jpeg";
  if (const char* why = check_size(width, height)) return why;

  const bool grey = colorspace == TJCS_GRAY;
  const int components = grey ? 1 : 3;
  const size_t size = size_t(width) * size_t(height) * components;
  uint8_t* pixels = static_cast<uint8_t*>(std::malloc(size));
  if (!pixels) return "out of memory";
  const int flags = TJFLAG_STOPONWARNING | TJFLAG_LIMITSCANS;
  if (tjDecompress2(handle.get(), bytes, static_cast<unsigned long>(length), pixels, width,
                    width * components, height, grey ? TJPF_GRAY : TJPF_RGB, flags) != 0) {
    std::free(pixels);
    return "corrupt jpeg";
  }
  out->pixels = pixels;
  out->width = width;
  out->height = height;
  out->components = components;
  return nullptr;
}

}  // namespace image_format
}  // namespace gfx
