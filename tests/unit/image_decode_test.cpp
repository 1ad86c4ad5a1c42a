// The picture decoder: every PNG colour type and JPEG kind the catalogue takes, with the
// component count of the file; the kinds it refuses, each with its reason; the size caps;
// and hostile files (crafted JPEG tables, a decompression bomb, every truncation), which
// must fail cleanly, in bounded time and memory, without a word on stderr.
#include "gfx/image_decode.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "image_forge.h"

namespace {

using forge::Bytes;

struct Decoded {
  bool ok = false;
  std::string reason;
  int width = 0, height = 0, components = 0;
  Bytes pixels;
};

Decoded decode(const Bytes& bytes) {
  Decoded d;
  gfx::Image image;
  const char* reason = nullptr;
  d.ok = gfx::decode_image(bytes.data(), bytes.size(), &image, &reason);
  if (d.ok) {
    d.width = image.width;
    d.height = image.height;
    d.components = image.components;
    d.pixels.assign(image.pixels,
                    image.pixels + size_t(image.width) * image.height * image.components);
  } else {
    d.reason = reason ? reason : "(null)";
    EXPECT_EQ(image.pixels, nullptr);
  }
  gfx::free_image(&image);
  return d;
}

forge::Png png(uint32_t w, uint32_t h, int color_type, Bytes rows) {
  forge::Png p;
  p.width = w;
  p.height = h;
  p.color_type = color_type;
  p.rows = std::move(rows);
  return p;
}

void expect_pixels(const forge::Png& p, int components, const Bytes& want) {
  const Decoded d = decode(forge::png_file(p));
  ASSERT_TRUE(d.ok) << d.reason;
  EXPECT_EQ(d.width, int(p.width));
  EXPECT_EQ(d.height, int(p.height));
  EXPECT_EQ(d.components, components);
  EXPECT_EQ(d.pixels, want);
}

TEST(ImageDecodePng, EachColourTypeKeepsItsComponentsAndPixelsTopRowFirst) {
  {
    SCOPED_TRACE("grey");
    const Bytes rows = {0, 50, 100, 255, 10, 20, 30, 40};
    expect_pixels(png(4, 2, 0, rows), 1, rows);
  }
  {
    SCOPED_TRACE("grey + alpha");
    const Bytes rows = {1, 2, 3, 4, 5, 6, 7, 8};
    expect_pixels(png(2, 2, 4, rows), 2, rows);
  }
  {
    SCOPED_TRACE("RGB");
    Bytes rows(4 * 2 * 3);
    for (size_t i = 0; i < rows.size(); ++i) rows[i] = uint8_t(i * 11);
    expect_pixels(png(4, 2, 2, rows), 3, rows);
  }
  {
    SCOPED_TRACE("RGBA");
    Bytes rows(2 * 2 * 4);
    for (size_t i = 0; i < rows.size(); ++i) rows[i] = uint8_t(255 - i * 13);
    expect_pixels(png(2, 2, 6, rows), 4, rows);
  }
}

TEST(ImageDecodePng, PalettesExpandAndColourKeysBecomeAlpha) {
  const Bytes palette = {10, 20, 30, 40, 50, 60, 70, 80, 90};
  {
    SCOPED_TRACE("palette");
    forge::Png p = png(4, 1, 3, {2, 0, 1, 2});
    p.plte = palette;
    expect_pixels(p, 3, {70, 80, 90, 10, 20, 30, 40, 50, 60, 70, 80, 90});
  }
  {
    SCOPED_TRACE("palette + tRNS (entries without an alpha are opaque)");
    forge::Png p = png(4, 1, 3, {2, 0, 1, 2});
    p.plte = palette;
    p.trns = {0, 128};
    expect_pixels(p, 4, {70, 80, 90, 255, 10, 20, 30, 0, 40, 50, 60, 128, 70, 80, 90, 255});
  }
  {
    SCOPED_TRACE("grey + colour key");
    forge::Png p = png(4, 1, 0, {50, 51, 50, 0});
    p.trns = {0, 50};
    expect_pixels(p, 2, {50, 0, 51, 255, 50, 0, 0, 255});
  }
  {
    SCOPED_TRACE("RGB + colour key");
    forge::Png p = png(2, 1, 2, {1, 2, 3, 1, 2, 4});
    p.trns = {0, 1, 0, 2, 0, 3};
    expect_pixels(p, 4, {1, 2, 3, 0, 1, 2, 4, 255});
  }
}

// A picture with a dark top, a bright bottom and a left-to-right ramp: a flip or a
// transposition shows at once.
Bytes ramp(int w, int h, int channels) {
  Bytes px(size_t(w) * h * channels);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < channels; ++c)
        px[(size_t(y) * w + x) * channels + c] =
            uint8_t((y < h / 2 ? 20 : 180) + x * 40 / w + c * 10);
  return px;
}

TEST(ImageDecodeJpeg, GreyAndColourDecodeToTheirComponentsAndTheEncodedPicture) {
  const int w = 64, h = 48;
  struct Kind {
    const char* name;
    int pixel_format, subsampling, components;
  };
  for (const Kind& k :
       {Kind{"grey", TJPF_GRAY, TJSAMP_GRAY, 1}, Kind{"RGB 4:4:4", TJPF_RGB, TJSAMP_444, 3},
        Kind{"RGB 4:2:0", TJPF_RGB, TJSAMP_420, 3}}) {
    SCOPED_TRACE(k.name);
    const Bytes source = ramp(w, h, k.components);
    const Bytes jpeg = forge::jpeg_file(source, w, h, k.pixel_format, k.subsampling, 95);
    ASSERT_FALSE(jpeg.empty());
    const Decoded d = decode(jpeg);
    ASSERT_TRUE(d.ok) << d.reason;
    EXPECT_EQ(d.width, w);
    EXPECT_EQ(d.height, h);
    ASSERT_EQ(d.components, k.components);
    // Away from the one hard edge, a quality-95 JPEG stays within a few levels.
    int worst = 0;
    for (int y = 0; y < h; ++y) {
      if (y >= h / 2 - 8 && y < h / 2 + 8) continue;
      for (int i = 0; i < w * k.components; ++i) {
        const size_t at = size_t(y) * w * k.components + i;
        worst = std::max(worst, std::abs(int(d.pixels[at]) - int(source[at])));
      }
    }
    EXPECT_LE(worst, 6);
  }
}

TEST(ImageDecode, RefusedKindsGiveTheirReason) {
  const Bytes rgb = ramp(16, 16, 3);
  const Bytes baseline = forge::jpeg_file(rgb, 16, 16, TJPF_RGB, TJSAMP_444, 90);
  const size_t frame = forge::jpeg_frame_marker(baseline);
  ASSERT_NE(frame, 0u);
  auto with_byte = [&](size_t at, uint8_t value) {
    Bytes b = baseline;
    b[at] = value;
    return b;
  };
  forge::Png grey16 = png(2, 2, 0, Bytes(8, 7));
  grey16.depth = 16;
  forge::Png palette4 = png(4, 1, 3, {0x01, 0x20});
  palette4.depth = 4;
  palette4.plte = {1, 2, 3, 4, 5, 6, 7, 8, 9};

  struct Case {
    const char* name;
    Bytes bytes;
    const char* reason;
  };
  const Case cases[] = {
      {"empty", {}, "unknown image type"},
      {"text", Bytes({'h', 'e', 'l', 'l', 'o', ' ', 'p', 'n', 'g', '!'}), "unknown image type"},
      {"GIF", Bytes({'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0}), "unknown image type"},
      {"16-bit PNG", forge::png_file(grey16), "8bit only"},
      {"4-bit palette PNG", forge::png_file(palette4), "8bit only"},
      {"progressive JPEG",
       forge::jpeg_file(rgb, 16, 16, TJPF_RGB, TJSAMP_420, 90, TJFLAG_PROGRESSIVE),
       "progressive jpeg"},
      {"arithmetic JPEG", with_byte(frame, 0xC9), "arithmetic jpeg"},
      {"progressive arithmetic JPEG", with_byte(frame, 0xCA), "progressive jpeg"},
      {"lossless JPEG", with_byte(frame, 0xC3), "lossless jpeg"},
      {"hierarchical JPEG", with_byte(frame, 0xC5), "hierarchical jpeg"},
      {"12-bit JPEG", with_byte(frame + 3, 12), "8bit only"},
      {"CMYK JPEG", forge::jpeg_file(Bytes(16 * 16 * 4, 90), 16, 16, TJPF_CMYK, TJSAMP_444, 90),
       "cmyk jpeg"},
      {"JPEG with no frame", Bytes({0xFF, 0xD8, 0xFF, 0xD9}), "corrupt jpeg"},
      {"JPEG start only", Bytes({0xFF, 0xD8}), "corrupt jpeg"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Decoded d = decode(c.bytes);
    EXPECT_FALSE(d.ok);
    EXPECT_EQ(d.reason, c.reason);
  }
}

TEST(ImageDecode, SizeCapsApplyFromTheHeaderAlone) {
  // Only headers: the caps must refuse before any pixel data is looked at.
  auto png_claiming = [](uint32_t w, uint32_t h) {
    Bytes b = forge::png_header(png(w, h, 0, Bytes()));
    forge::png_chunk(b, "IEND", {});
    return b;
  };
  EXPECT_EQ(decode(png_claiming(16385, 1)).reason, "too large");
  EXPECT_EQ(decode(png_claiming(1, 16385)).reason, "too large");
  EXPECT_EQ(decode(png_claiming(8193, 8192)).reason, "too large");  // 64 Mpixel + 8192

  const Bytes small = forge::jpeg_file(ramp(16, 16, 1), 16, 16, TJPF_GRAY, TJSAMP_GRAY, 90);
  const size_t frame = forge::jpeg_frame_marker(small);
  auto jpeg_claiming = [&](uint16_t w, uint16_t h) {
    Bytes b = small;
    b[frame + 4] = uint8_t(h >> 8);
    b[frame + 5] = uint8_t(h);
    b[frame + 6] = uint8_t(w >> 8);
    b[frame + 7] = uint8_t(w);
    return b;
  };
  EXPECT_EQ(decode(jpeg_claiming(16384, 16384)).reason, "too large");
  EXPECT_EQ(decode(jpeg_claiming(16385, 8)).reason, "too large");
  EXPECT_EQ(decode(jpeg_claiming(8, 20000)).reason, "too large");
}

// ------------------------------------------------------------------- hostile files ---

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

long address_space_now() {
  std::ifstream status("/proc/self/status");
  std::string key;
  long kib = 0;
  while (status >> key) {
    if (key == "VmSize:" && status >> kib) return kib * 1024;
  }
  return 0;
}

// Runs in a forked child: decodes with 1 s of CPU and room_mb of address space beyond what
// the process holds (sanitizers reserve their own shadow, so there only the CPU limit),
// then prints the outcome. Over the CPU limit the child dies and the test sees it; over the
// memory limit an allocation fails, which must come out as a failed decode.
void decode_in_bounds(const Bytes& bytes, rlim_t room_mb = 100) {
  rlimit cpu{1, 2};
  setrlimit(RLIMIT_CPU, &cpu);
  if (!kSanitized) {
    const rlim_t room = rlim_t(address_space_now()) + (room_mb << 20);
    rlimit as{room, room};
    setrlimit(RLIMIT_AS, &as);
  }
  gfx::Image image;
  const char* reason = "decoded";
  gfx::decode_image(bytes.data(), bytes.size(), &image, &reason);
  std::fprintf(stderr, "outcome: %s\n", reason);
  std::_Exit(0);
}

TEST(ImageDecodeHostile, CraftedJpegTablesFailQuicklyInBoundedMemory) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(decode_in_bounds(forge::jpeg_oversized_huffman_table()), ::testing::ExitedWithCode(0),
              "outcome: corrupt jpeg");
  EXPECT_EXIT(decode_in_bounds(forge::jpeg_baseline_undefined_ac_table()),
              ::testing::ExitedWithCode(0), "outcome: corrupt jpeg");
  EXPECT_EXIT(decode_in_bounds(forge::jpeg_progressive_undefined_ac_table()),
              ::testing::ExitedWithCode(0), "outcome: progressive jpeg");
}

TEST(ImageDecodeHostile, PngBombFailsQuicklyInBoundedMemory) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // 16384 x 16384 RGBA: a 1 MB file that inflates to 1 GiB.
  const Bytes bomb = forge::png_bomb(16384, 16384, 6, 1024);
  EXPECT_LT(bomb.size(), size_t(2) << 20);
  EXPECT_EXIT(decode_in_bounds(bomb), ::testing::ExitedWithCode(0), "outcome: too large");
  // A small picture followed by 1 GiB of compressed zeros: only what the picture needs
  // is inflated.
  EXPECT_EXIT(decode_in_bounds(forge::png_bomb(64, 64, 0, 1024)), ::testing::ExitedWithCode(0),
              "outcome: decoded");
}

TEST(ImageDecodeHostile, AllocationFailureIsAFailedDecodeNeverAnAbort) {
  if (kSanitized) GTEST_SKIP() << "the address-space limit needs a build without sanitizers";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // Within the caps, but larger than the 16 MB the child may take: 64 Mpixel grey PNG, and
  // a JPEG header claiming 8000 x 8000 RGB.
  EXPECT_EXIT(decode_in_bounds(forge::png_bomb(8192, 8192, 0, 64), 16),
              ::testing::ExitedWithCode(0), "outcome: out of memory");
  Bytes jpeg = forge::jpeg_file(ramp(16, 16, 3), 16, 16, TJPF_RGB, TJSAMP_444, 90);
  const size_t frame = forge::jpeg_frame_marker(jpeg);
  jpeg[frame + 4] = jpeg[frame + 6] = uint8_t(8000 >> 8);
  jpeg[frame + 5] = jpeg[frame + 7] = uint8_t(8000 & 0xFF);
  EXPECT_EXIT(decode_in_bounds(jpeg, 16), ::testing::ExitedWithCode(0), "outcome: out of memory");
}

TEST(ImageDecodeHostile, EveryTruncationFailsOrGivesTheWholePictureAndNothingIsPrinted) {
  const Bytes rgb = ramp(24, 16, 3);
  forge::Png p = png(24, 16, 2, rgb);
  const Bytes files[] = {forge::png_file(p),
                         forge::jpeg_file(rgb, 24, 16, TJPF_RGB, TJSAMP_420, 90)};
  testing::internal::CaptureStderr();
  for (const Bytes& file : files) {
    const Decoded whole = decode(file);
    ASSERT_TRUE(whole.ok) << whole.reason;
    for (size_t n = 0; n < file.size(); ++n) {
      const Decoded part = decode(Bytes(file.begin(), file.begin() + n));
      if (part.ok) {
        // Only bytes after the last pixel data (the end chunk or marker) may go missing.
        EXPECT_EQ(part.pixels, whole.pixels) << "decoded from " << n << " of " << file.size();
      } else {
        EXPECT_FALSE(part.reason.empty());
      }
    }
  }
  for (const Bytes& hostile :
       {forge::jpeg_oversized_huffman_table(), forge::jpeg_baseline_undefined_ac_table()})
    EXPECT_FALSE(decode(hostile).ok);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(ImageDecode, ThreadsDecodingAtOnceGetTheSamePictures) {
  const Bytes rgb = ramp(64, 64, 3);
  const Bytes files[] = {forge::png_file(png(64, 64, 2, rgb)),
                         forge::jpeg_file(rgb, 64, 64, TJPF_RGB, TJSAMP_420, 90),
                         forge::jpeg_oversized_huffman_table()};
  Decoded expected[3];
  for (int i = 0; i < 3; ++i) expected[i] = decode(files[i]);
  bool same[4] = {};
  std::thread threads[4];
  for (int t = 0; t < 4; ++t) {
    threads[t] = std::thread([&, t] {
      bool all = true;
      for (int round = 0; round < 20; ++round) {
        const Decoded d = decode(files[(t + round) % 3]);
        const Decoded& e = expected[(t + round) % 3];
        all = all && d.ok == e.ok && d.reason == e.reason && d.pixels == e.pixels;
      }
      same[t] = all;
    });
  }
  for (std::thread& t : threads) t.join();
  for (bool s : same) EXPECT_TRUE(s);
}

}  // namespace
