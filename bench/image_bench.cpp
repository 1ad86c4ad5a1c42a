// Picture decoding figures: the 24 shipped pictures decoded from memory by the program's
// decoder (libjpeg-turbo, libspng) and by stb_image, which the program used before, as the
// baseline measured in the same run. Prints the median total over several rounds and the
// ratio; run from anywhere (the pictures are found through the source tree). An argument sets
// the number of rounds (1 is enough under callgrind, whose instruction counts a shared
// machine does not disturb).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#include <stb/stb_image.h>
#pragma GCC diagnostic pop

#include "gfx/image_decode.h"
#include "gfx/textures.h"
#include "platform/file_reader.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kDefaultRounds = 9;

struct File {
  std::string path;
  uint8_t* bytes = nullptr;
  uint32_t length = 0;
};

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

bool decode_ours(const File& f) {
  gfx::Image image;
  const char* reason = "";
  const bool ok = gfx::decode_image(f.bytes, f.length, &image, &reason);
  gfx::free_image(&image);
  return ok;
}

bool decode_stb(const File& f) {
  int w = 0, h = 0, n = 0;
  stbi_uc* pixels = stbi_load_from_memory(f.bytes, static_cast<int>(f.length), &w, &h, &n, 0);
  stbi_image_free(pixels);
  return pixels != nullptr;
}

// Milliseconds to decode every file once, or -1 when one fails.
double total_ms(const std::vector<File>& files, bool (*decode)(const File&)) {
  const auto t0 = Clock::now();
  for (const File& f : files)
    if (!decode(f)) return -1.0;
  return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : kDefaultRounds;
  std::vector<File> files;
  for (int slot = 0; slot < gfx::kTextureCount; ++slot) {
    File f;
    f.path = std::string(QUORL_SOURCE_DIR "/data/") + gfx::texture_path(slot);
    f.bytes = platform::read_whole_file(f.path.c_str(), &f.length);
    if (!f.bytes) {
      std::fprintf(stderr, "image_bench: cannot read %s\n", f.path.c_str());
      return 1;
    }
    files.push_back(f);
  }
  std::vector<double> ours, stb;
  for (int round = 0; round < rounds; ++round) {  // interleaved: both see the same load
    ours.push_back(total_ms(files, &decode_ours));
    stb.push_back(total_ms(files, &decode_stb));
    if (ours.back() < 0 || stb.back() < 0) {
      std::fprintf(stderr, "image_bench: a picture failed to decode\n");
      return 1;
    }
  }
  const double a = median(ours), b = median(stb);
  std::printf("24 pictures, median of %d rounds:\n", rounds);
  std::printf("  libjpeg-turbo + libspng  %8.2f ms\n", a);
  std::printf("  stb_image (before)       %8.2f ms\n", b);
  std::printf("  ratio before / after     %8.2f\n", b / a);
  for (const File& f : files) std::free(f.bytes);
  return 0;
}
