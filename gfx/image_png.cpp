// PNG through libspng: 8 bits per channel only, palettes expanded, a tRNS colour key turned
// into an alpha channel (grey -> grey+alpha, RGB -> RGBA), as the catalogue has always read
// PNGs. libspng checks chunk CRCs and the zlib stream and never prints.
#include <spng.h>

#include <cstdlib>
#include <memory>

#include "gfx/image_formats.h"

namespace gfx {
namespace image_format {
namespace {

// Ancillary chunks (text, colour profiles) are read and dropped; these bound what a file
// can make the library hold on to. (The chunk count has the library's own limit.)
constexpr size_t kChunkSizeLimit = size_t{8} << 20;
constexpr size_t kChunkCacheLimit = size_t{16} << 20;

struct ContextFree {
  void operator()(spng_ctx* ctx) const { spng_ctx_free(ctx); }
};

const char* reason_for(int err) {
  switch (err) {
    case SPNG_EMEM: return "out of memory";
    case SPNG_EUSER_WIDTH:
    case SPNG_EUSER_HEIGHT: return "too large";
    case SPNG_IO_EOF:
    case SPNG_EOF: return "truncated png";
    default: return "corrupt png";
  }
}

struct Layout {
  int components;
  int format;  // spng output format
  int flags;   // spng decode flags
};

// The output layout from the header, or components 0 for a kind we do not take.
Layout layout_for(const spng_ihdr& ihdr, bool has_trns) {
  const int trns = has_trns ? SPNG_DECODE_TRNS : 0;
  switch (ihdr.color_type) {
    // Without a colour key, 8-bit samples come out as stored.
    case SPNG_COLOR_TYPE_GRAYSCALE:
      return has_trns ? Layout{2, SPNG_FMT_GA8, trns} : Layout{1, SPNG_FMT_PNG, 0};
    case SPNG_COLOR_TYPE_GRAYSCALE_ALPHA: return {2, SPNG_FMT_PNG, 0};
    case SPNG_COLOR_TYPE_TRUECOLOR:
      return has_trns ? Layout{4, SPNG_FMT_RGBA8, trns} : Layout{3, SPNG_FMT_PNG, 0};
    case SPNG_COLOR_TYPE_TRUECOLOR_ALPHA: return {4, SPNG_FMT_PNG, 0};
    case SPNG_COLOR_TYPE_INDEXED:
      return has_trns ? Layout{4, SPNG_FMT_RGBA8, trns} : Layout{3, SPNG_FMT_RGB8, 0};
    default: return {0, 0, 0};
  }
}

}  // namespace

const char* decode_png(const uint8_t* bytes, size_t length, Image* out) {
  std::unique_ptr<spng_ctx, ContextFree> ctx(spng_ctx_new(0));
  if (!ctx) return "out of memory";
  spng_ctx* c = ctx.get();
  int err = spng_set_image_limits(c, kMaxImageSide, kMaxImageSide);
  if (!err) err = spng_set_chunk_limits(c, kChunkSizeLimit, kChunkCacheLimit);
  if (!err) err = spng_set_png_buffer(c, bytes, length);
  if (err) return reason_for(err);

  spng_ihdr ihdr{};
  if ((err = spng_get_ihdr(c, &ihdr))) return reason_for(err);
  if (ihdr.bit_depth != 8) return "8bit only";
  if (const char* why = check_size(ihdr.width, ihdr.height)) return why;

  spng_trns trns{};
  err = spng_get_trns(c, &trns);
  if (err && err != SPNG_ECHUNKAVAIL) return reason_for(err);
  const Layout layout = layout_for(ihdr, err == 0);
  if (!layout.components) return "corrupt png";

  size_t size = 0;
  if ((err = spng_decoded_image_size(c, layout.format, &size))) return reason_for(err);
  if (size != size_t(ihdr.width) * ihdr.height * layout.components) return "corrupt png";
  uint8_t* pixels = static_cast<uint8_t*>(std::malloc(size));
  if (!pixels) return "out of memory";
  if ((err = spng_decode_image(c, pixels, size, layout.format, layout.flags))) {
    std::free(pixels);
    return reason_for(err);
  }
  out->pixels = pixels;
  out->width = static_cast<int>(ihdr.width);
  out->height = static_cast<int>(ihdr.height);
  out->components = layout.components;
  return nullptr;
}

}  // namespace image_format
}  // namespace gfx
