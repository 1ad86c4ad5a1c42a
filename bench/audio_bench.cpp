// Music decoding figures: how long decoding and copying one half of the looping block takes
// against the time that half plays, and the whole music file decoded piece by piece.
// Prints medians; run from anywhere (the music is found through the source tree).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "audio/music.h"
#include "audio/refill.h"
#include "audio/vorbis_decoder.h"
#include "platform/file_reader.h"

namespace {

using Clock = std::chrono::steady_clock;

double ms_since(Clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

struct File {
  uint8_t* bytes = nullptr;
  uint32_t length = 0;
};

// Decodes and copies successive halves of the music as the refill thread does.
void bench_half_refill(const File& file) {
  audio::VorbisStream* v = audio::open_vorbis(file.bytes, file.length);
  const uint32_t rate = audio::vorbis_rate(v);
  auto block = std::make_unique<audio::LoopingBlock>();
  audio::RefillState state;
  const audio::FrameSource source = audio::vorbis_source(v);
  std::vector<double> times;
  for (int half = 0; half < 200; ++half) {
    const auto t0 = Clock::now();
    audio::fill_half(&state, source, block->samples + 2 * audio::kHalfFrames * (half % 2));
    times.push_back(ms_since(t0));
    if (state.length == 0) break;  // the music has ended: only silence from here
  }
  audio::close_vorbis(v);
  const double plays_ms = 1000.0 * audio::kHalfFrames / rate;
  const double med = median(times);
  const double worst = *std::max_element(times.begin(), times.end());
  std::printf("refill of one half (16384 frames), %zu halves at %u Hz:\n", times.size(), rate);
  std::printf("  median %.3f ms, worst %.3f ms; the half plays %.1f ms\n", med, worst, plays_ms);
  std::printf("  median / play time = %.4f (worst %.4f); a refill must end within %.1f ms\n",
              med / plays_ms, worst / plays_ms, plays_ms / 2);
}

long decode_all(const File& file) {
  audio::VorbisStream* v = audio::open_vorbis(file.bytes, file.length);
  const audio::FrameSource source = audio::vorbis_source(v);
  long frames = 0;
  float** out = nullptr;
  for (int n; (n = source.decode(source.decoder, &out)) > 0;) frames += n;
  audio::close_vorbis(v);
  return frames;
}

template <typename Decode>
double time_whole(const File& file, Decode decode, long* frames) {
  std::vector<double> times;
  for (int run = 0; run < 5; ++run) {
    const auto t0 = Clock::now();
    *frames = decode(file);
    times.push_back(ms_since(t0));
  }
  return median(times);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string fallback = std::string(QUORL_SOURCE_DIR "/data/") + audio::kMusicPath;
  const char* path = argc > 1 ? argv[1] : fallback.c_str();
  File file;
  file.bytes = platform::read_whole_file(path, &file.length);
  audio::VorbisStream* probe = file.bytes ? audio::open_vorbis(file.bytes, file.length) : nullptr;
  if (!probe) {
    std::fprintf(stderr, "%s: cannot read it as Ogg Vorbis\n", path);
    return 1;
  }
  const uint32_t rate = audio::vorbis_rate(probe);
  std::printf("music: %s (%u bytes, %d channels, %u Hz)\n", path, file.length,
              audio::vorbis_channels(probe), rate);
  audio::close_vorbis(probe);

  bench_half_refill(file);

  long frames = 0;
  const double ms = time_whole(file, decode_all, &frames);
  std::printf(
      "whole file through libvorbisfile, median of 5: %.1f ms, %ld frames "
      "(%.1f s of music, %.0fx real time)\n",
      ms, frames, double(frames) / rate, 1000.0 * frames / rate / ms);
  std::free(file.bytes);
  return 0;
}
