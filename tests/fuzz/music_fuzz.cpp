// The music decoder on arbitrary bytes, as the program uses it: open over the file in
// memory, then pull pieces as the refill does, reading every sample of both sides, until
// the stream ends (bounded, so a stream of endless tiny packets cannot stall the run).
// Seeds (corpus/music/): three short sines made with ffmpeg's libvorbis encoder (stereo
// 44100 Hz, mono 8000 Hz, stereo 48000 Hz) and the first 12 KB of the shipped music.
#include <cstdint>
#include <cstdlib>

#include "audio/vorbis_decoder.h"

namespace {
constexpr int64_t kMaxSamples = 1 << 20;  // about 24 s at 44100 Hz
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  audio::VorbisStream* stream = audio::open_vorbis(data, size);
  if (!stream) return 0;
  const uint32_t rate = audio::vorbis_rate(stream);
  if (rate == 0 || rate > audio::kMaxMusicRate || audio::vorbis_channels(stream) < 1) std::abort();
  const audio::FrameSource source = audio::vorbis_source(stream);
  volatile float sink = 0.0f;
  int64_t samples = 0;
  float** channels = nullptr;
  for (int n; samples < kMaxSamples && (n = source.decode(source.decoder, &channels)) > 0;) {
    for (int i = 0; i < n; ++i) sink = sink + channels[0][i] + channels[source.right_channel][i];
    samples += n;
  }
  audio::close_vorbis(stream);
  return 0;
}
