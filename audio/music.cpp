// Music stream decoding: the whole Ogg Vorbis file in memory, a libvorbisfile decoder over
// it, the looping output opened paused and the refill thread started.
#include "audio/music.h"

#include <atomic>
#include <cstdlib>
#include <new>

#include "audio/refill.h"
#include "audio/vorbis_decoder.h"
#include "platform/audio_device.h"
#include "platform/file_reader.h"

namespace audio {
namespace {

// Set once on the main thread. The decoder reads from `file` for the whole run, and the
// refill thread owns the decoder after start-up; nothing here is ever released.
struct MusicState {
  uint8_t* file;
  uint32_t length;
  VorbisStream* decoder;
} g_music;

// The rate of the open device; 0 while none is open. Read by music_stats() from any thread.
std::atomic<uint32_t> g_device_rate{0};

}  // namespace

bool open_music_source(FrameSource* source, uint32_t* rate) {
  uint32_t length = 0;
  uint8_t* file = platform::read_whole_file(kMusicPath, &length);
  if (!file) return false;
  VorbisStream* decoder = open_vorbis(file, length);
  if (!decoder) {
    std::free(file);
    return false;
  }
  g_music = {file, length, decoder};
  *source = vorbis_source(decoder);
  *rate = vorbis_rate(decoder);
  return true;
}

bool open_music() {
  FrameSource source{};
  uint32_t rate = 0;
  if (!open_music_source(&source, &rate)) return false;

  // The block starts as silence; the device may be absent, then the show runs silently.
  auto* block = new platform::LoopingBlock();
  if (platform::open_looping_output(block, rate)) g_device_rate.store(rate);

  auto* job = new RefillJob();
  job->source = source;
  job->block = block;
  job->position = &platform::looping_output_position;
  job->rate = rate;
  start_refill_thread(job);
  return true;
}

void resume_output() { platform::resume_looping_output(); }

MusicStats music_stats() {
  // The refill thread does not count stale or caught-up halves yet: both stay 0.
  return {platform::looping_output_position(), 0, 0, g_device_rate.load()};
}

}  // namespace audio
