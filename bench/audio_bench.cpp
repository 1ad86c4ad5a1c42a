// Music decoding figures: how long decoding and copying one half of the looping block takes
// against the time that half plays, and stb_vorbis against libvorbisfile on the whole music
// file. Prints medians; run from anywhere (the music is found through the source tree).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#define STB_VORBIS_HEADER_ONLY
#include <stb/stb_vorbis.h>

#ifdef QUORL_HAVE_VORBISFILE
#include <vorbis/vorbisfile.h>
#endif

#include "audio/music.h"
#include "audio/refill.h"
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

int decode_frame(void* decoder, float*** channels) {
  return stb_vorbis_get_frame_float(static_cast<stb_vorbis*>(decoder), nullptr, channels);
}

struct File {
  uint8_t* bytes = nullptr;
  uint32_t length = 0;
};

// Decodes and copies successive halves of the music as the refill thread does.
void bench_half_refill(const File& file) {
  int error = 0;
  stb_vorbis* v =
      stb_vorbis_open_memory(file.bytes, static_cast<int>(file.length), &error, nullptr);
  const stb_vorbis_info info = stb_vorbis_get_info(v);
  auto block = std::make_unique<platform::LoopingBlock>();
  audio::RefillState state;
  const audio::FrameSource source{&decode_frame, v, info.channels >= 2 ? 1 : 0};
  std::vector<double> times;
  for (int half = 0; half < 200; ++half) {
    const auto t0 = Clock::now();
    audio::fill_half(&state, source, block->samples + 2 * audio::kHalfFrames * (half % 2));
    times.push_back(ms_since(t0));
    if (state.length == 0) break;  // the music has ended: only silence from here
  }
  stb_vorbis_close(v);
  const double plays_ms = 1000.0 * audio::kHalfFrames / info.sample_rate;
  const double med = median(times);
  const double worst = *std::max_element(times.begin(), times.end());
  std::printf("refill of one half (16384 frames), %zu halves at %u Hz:\n", times.size(),
              info.sample_rate);
  std::printf("  median %.3f ms, worst %.3f ms; the half plays %.1f ms\n", med, worst, plays_ms);
  std::printf("  median / play time = %.4f (worst %.4f); a refill must end within %.1f ms\n",
              med / plays_ms, worst / plays_ms, plays_ms / 2);
}

long decode_all_stb(const File& file) {
  int error = 0;
  stb_vorbis* v =
      stb_vorbis_open_memory(file.bytes, static_cast<int>(file.length), &error, nullptr);
  long frames = 0;
  float** out = nullptr;
  for (int n; (n = stb_vorbis_get_frame_float(v, nullptr, &out)) > 0;) frames += n;
  stb_vorbis_close(v);
  return frames;
}

#ifdef QUORL_HAVE_VORBISFILE
struct MemoryReader {
  const File* file;
  size_t at;
};

size_t mem_read(void* dst, size_t size, size_t count, void* src) {
  auto* r = static_cast<MemoryReader*>(src);
  const size_t left = r->file->length - r->at;
  const size_t n = std::min(left, size * count);
  std::copy(r->file->bytes + r->at, r->file->bytes + r->at + n, static_cast<uint8_t*>(dst));
  r->at += n;
  return size ? n / size : 0;
}

long decode_all_vorbisfile(const File& file) {
  MemoryReader reader{&file, 0};
  OggVorbis_File vf;
  const ov_callbacks callbacks{mem_read, nullptr, nullptr, nullptr};  // not seekable
  if (ov_open_callbacks(&reader, &vf, nullptr, 0, callbacks) != 0) return -1;
  long frames = 0;
  float** pcm = nullptr;
  int section = 0;
  for (long n; (n = ov_read_float(&vf, &pcm, 4096, &section)) != 0;) {
    if (n > 0) frames += n;
  }
  ov_clear(&vf);
  return frames;
}
#endif

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
  int error = 0;
  stb_vorbis* probe = file.bytes ? stb_vorbis_open_memory(file.bytes, static_cast<int>(file.length),
                                                          &error, nullptr)
                                 : nullptr;
  if (!probe) {
    std::fprintf(stderr, "%s: cannot read it as Ogg Vorbis\n", path);
    return 1;
  }
  const stb_vorbis_info info = stb_vorbis_get_info(probe);
  stb_vorbis_close(probe);
  std::printf("music: %s (%u bytes, %d channels, %u Hz)\n", path, file.length, info.channels,
              info.sample_rate);

  bench_half_refill(file);

  long stb_frames = 0;
  const double stb_ms = time_whole(file, decode_all_stb, &stb_frames);
  std::printf("whole file, median of 5:\n");
  std::printf("  stb_vorbis     %8.1f ms  %ld frames (%.1f s of music, %.0fx real time)\n",
              stb_ms, stb_frames, double(stb_frames) / info.sample_rate,
              1000.0 * stb_frames / info.sample_rate / stb_ms);
#ifdef QUORL_HAVE_VORBISFILE
  long ov_frames = 0;
  const double ov_ms = time_whole(file, decode_all_vorbisfile, &ov_frames);
  std::printf("  libvorbisfile  %8.1f ms  %ld frames (%.1f s of music, %.0fx real time)\n",
              ov_ms, ov_frames, double(ov_frames) / info.sample_rate,
              1000.0 * ov_frames / info.sample_rate / ov_ms);
  std::printf("  stb_vorbis / libvorbisfile time = %.2f\n", stb_ms / ov_ms);
#else
  std::printf("  libvorbisfile  not found at build time: no comparison\n");
#endif
  std::free(file.bytes);
  return 0;
}
