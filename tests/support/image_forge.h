// Builds picture files in memory for the decoder tests: well-formed PNGs of every colour
// type, JPEGs from libjpeg-turbo's encoder, and hostile files (crafted JPEG tables, a PNG
// decompression bomb) put together segment by segment, so each test says what its bytes are.
#pragma once

#include <turbojpeg.h>
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

namespace forge {

using Bytes = std::vector<uint8_t>;

inline void put16(Bytes& v, uint32_t x) {
  v.push_back(uint8_t(x >> 8));
  v.push_back(uint8_t(x));
}
inline void put32(Bytes& v, uint32_t x) {
  put16(v, x >> 16);
  put16(v, x & 0xFFFF);
}
inline void append(Bytes& v, const Bytes& tail) { v.insert(v.end(), tail.begin(), tail.end()); }

// ------------------------------------------------------------------------------- PNG ---

inline void png_chunk(Bytes& png, const char* type, const Bytes& data) {
  put32(png, uint32_t(data.size()));
  Bytes body(type, type + 4);
  append(body, data);
  append(png, body);
  put32(png, uint32_t(crc32(0, body.data(), uInt(body.size()))));
}

struct Png {
  uint32_t width = 0, height = 0;
  int depth = 8;
  int color_type = 0;  // 0 grey, 2 RGB, 3 palette, 4 grey+alpha, 6 RGBA
  Bytes rows;          // packed samples, row after row, no filter bytes
  Bytes plte, trns;    // written when not empty
};

inline int png_channels(int color_type) {
  switch (color_type) {
    case 2: return 3;
    case 4: return 2;
    case 6: return 4;
    default: return 1;
  }
}

inline Bytes png_header(const Png& p) {
  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Bytes ihdr;
  put32(ihdr, p.width);
  put32(ihdr, p.height);
  ihdr.insert(ihdr.end(), {uint8_t(p.depth), uint8_t(p.color_type), 0, 0, 0});
  png_chunk(png, "IHDR", ihdr);
  if (!p.plte.empty()) png_chunk(png, "PLTE", p.plte);
  if (!p.trns.empty()) png_chunk(png, "tRNS", p.trns);
  return png;
}

inline Bytes png_file(const Png& p) {
  const size_t stride = (size_t(p.width) * png_channels(p.color_type) * p.depth + 7) / 8;
  Bytes filtered;
  for (uint32_t y = 0; y < p.height; ++y) {
    filtered.push_back(0);  // filter: none
    filtered.insert(filtered.end(), p.rows.begin() + y * stride, p.rows.begin() + (y + 1) * stride);
  }
  uLongf size = compressBound(uLong(filtered.size()));
  Bytes idat(size);
  compress2(idat.data(), &size, filtered.data(), uLong(filtered.size()), 9);
  idat.resize(size);
  Bytes png = png_header(p);
  png_chunk(png, "IDAT", idat);
  png_chunk(png, "IEND", {});
  return png;
}

// A valid zlib stream of `blocks` MiB of zero bytes, about 1 KB per MiB: one compressed
// MiB, ended by a full flush so it can be repeated as it is.
inline Bytes zlib_zeros(int blocks) {
  const Bytes mib(1 << 20, 0);
  Bytes block(compressBound(uLong(mib.size())) + 64);
  z_stream z{};
  deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
  z.next_in = const_cast<Bytef*>(mib.data());
  z.avail_in = uInt(mib.size());
  z.next_out = block.data();
  z.avail_out = uInt(block.size());
  deflate(&z, Z_FULL_FLUSH);
  block.resize(block.size() - z.avail_out);
  deflateEnd(&z);

  Bytes stream = {0x78, 0xDA};
  const uLong one = adler32(adler32(0, nullptr, 0), mib.data(), uInt(mib.size()));
  uLong adler = adler32(0, nullptr, 0);
  for (int i = 0; i < blocks; ++i) {
    append(stream, block);
    adler = adler32_combine(adler, one, z_off_t(mib.size()));
  }
  stream.insert(stream.end(), {0x03, 0x00});  // final, empty fixed-Huffman block
  put32(stream, uint32_t(adler));
  return stream;
}

// ~1 MB of file whose IDAT inflates to `mib` MiB.
inline Bytes png_bomb(uint32_t width, uint32_t height, int color_type, int mib) {
  Png p;
  p.width = width;
  p.height = height;
  p.color_type = color_type;
  Bytes png = png_header(p);
  png_chunk(png, "IDAT", zlib_zeros(mib));
  png_chunk(png, "IEND", {});
  return png;
}

// ------------------------------------------------------------------------------ JPEG ---

// Encodes with libjpeg-turbo. pixel_format TJPF_GRAY, TJPF_RGB or TJPF_CMYK.
inline Bytes jpeg_file(const Bytes& pixels, int width, int height, int pixel_format,
                       int subsampling, int quality, int flags = 0) {
  tjhandle h = tjInitCompress();
  unsigned char* out = nullptr;
  unsigned long size = 0;
  const int pitch = width * tjPixelSize[pixel_format];
  Bytes jpeg;
  if (tjCompress2(h, pixels.data(), width, pitch, height, pixel_format, &out, &size, subsampling,
                  quality, flags) == 0)
    jpeg.assign(out, out + size);
  tjFree(out);
  tjDestroy(h);
  return jpeg;
}

// Offset of the first start-of-frame segment's marker byte (the byte after 0xFF).
inline size_t jpeg_frame_marker(const Bytes& j) {
  for (size_t i = 2; i + 1 < j.size(); ++i)
    if (j[i] == 0xFF && j[i + 1] >= 0xC0 && j[i + 1] <= 0xC3) return i + 1;
  return 0;
}

inline void segment(Bytes& j, uint8_t marker, const Bytes& body) {
  j.insert(j.end(), {0xFF, marker});
  put16(j, uint32_t(body.size() + 2));
  append(j, body);
}

// Huffman table segment body: class (0 DC, 1 AC), slot, 16 code counts, then one symbol per
// code. The counts may add up to more than a table can hold.
inline Bytes huffman_table(int table_class, int slot, const Bytes& counts) {
  Bytes body = {uint8_t(table_class << 4 | slot)};
  append(body, counts);
  size_t codes = 0;
  for (uint8_t c : counts) codes += c;
  for (size_t i = 0; i < codes; ++i) body.push_back(uint8_t(i));
  return body;
}

// Start-of-scan body for the one component: its DC and AC table slots, spectral range.
inline Bytes scan(int dc_slot, int ac_slot, int first, int last) {
  return {1, 1, uint8_t(dc_slot << 4 | ac_slot), uint8_t(first), uint8_t(last), 0};
}

// An 8 x 8 grey picture under frame_marker (0xC0 baseline, 0xC2 progressive): a
// quantisation table, the usual luminance DC table in slot 0, extra_table when given, then
// each scan followed by entropy-coded bytes.
inline Bytes crafted_jpeg(uint8_t frame_marker, const Bytes& extra_table,
                          const std::vector<Bytes>& scans) {
  Bytes j = {0xFF, 0xD8};
  Bytes dqt(65, 1);
  dqt[0] = 0;  // 8-bit table 0
  segment(j, 0xDB, dqt);
  segment(j, frame_marker, {8, 0, 8, 0, 8, 1, /*id*/ 1, /*sampling*/ 0x11, /*table*/ 0});
  segment(j, 0xC4, huffman_table(0, 0, {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0}));
  if (!extra_table.empty()) segment(j, 0xC4, extra_table);
  for (const Bytes& s : scans) {
    segment(j, 0xDA, s);
    for (int i = 0; i < 64; ++i) j.push_back(uint8_t(i * 37 % 255));  // never 0xFF
  }
  j.insert(j.end(), {0xFF, 0xD9});
  return j;
}

// A Huffman table declaring 300 codes (a table holds at most 256).
inline Bytes jpeg_oversized_huffman_table() {
  Bytes counts(16, 0);
  counts[14] = counts[15] = 150;
  return crafted_jpeg(0xC0, huffman_table(1, 0, counts), {scan(0, 0, 0, 63)});
}

// A baseline scan naming AC table 3, which no segment defines.
inline Bytes jpeg_baseline_undefined_ac_table() {
  return crafted_jpeg(0xC0, {}, {scan(0, 3, 0, 63)});
}

// A progressive picture whose AC scan names AC table 3, which no segment defines.
inline Bytes jpeg_progressive_undefined_ac_table() {
  return crafted_jpeg(0xC2, {}, {scan(0, 0, 0, 0), scan(0, 3, 1, 63)});
}

}  // namespace forge
