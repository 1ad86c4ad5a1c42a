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
#include "platform/threads.h"

namespace audio {
namespace {

// Set once on the main thread. The decoder reads from `file` for the whole run, and the
// refill thread owns the decoder after start-up; nothing here is ever released.
struct MusicState {
  uint8_t* file;
  uint32_t length;
  VorbisStream* decoder;
} g_music;

// What the run report reads, from any thread: set once the device and the refill thread run.
std::atomic<const RefillJob*> g_refill{nullptr};
std::atomic<uint32_t> g_device_rate{0};  // 0: no device, so no music plays
RefillJob* g_main_loop_job = nullptr;    // refilled by the main loop (no threads)

}  // namespace

namespace {

bool open_source(FrameSource* source, uint32_t* rate, uint32_t max_rate) {
  uint32_t length = 0;
  uint8_t* file = platform::read_whole_file(kMusicPath, &length);
  if (!file) return false;
  VorbisStream* decoder = open_vorbis(file, length, max_rate);
  if (!decoder) {
    std::free(file);
    return false;
  }
  g_music = {file, length, decoder};
  *source = vorbis_source(decoder);
  *rate = vorbis_rate(decoder);
  return true;
}

}  // namespace

bool open_music_source(FrameSource* source, uint32_t* rate) {
  return open_source(source, rate, kMaxMusicRate);
}

bool open_music() {
  FrameSource source{};
  uint32_t rate = 0;
  // Any rate the stream has: one the device refuses gives a silent show, not a failure.
  if (!open_source(&source, &rate, UINT32_MAX)) return false;

  // The block starts as silence; the device may be absent, then the show runs silently.
  auto* block = new audio::LoopingBlock();
  const bool playing = platform::open_looping_output(block, rate);

  auto* job = new RefillJob();
  job->source = source;
  job->block = block;
  job->position = &platform::looping_output_position;
  job->half_started = &platform::looping_output_wakeup();
  job->rate = rate;
  job->watch = &platform::watch_looping_output;
  if (!platform::threads_available()) {
    g_main_loop_job = job;
  } else if (!start_refill_thread(job)) {
    // Without its refill the device would only loop the first half: play nothing instead.
    platform::close_looping_output();
    return true;
  }
  g_refill.store(job, std::memory_order_release);
  if (playing) g_device_rate.store(rate, std::memory_order_release);
  return true;
}

void resume_output() { platform::resume_looping_output(); }

void refill_from_main_loop() {
  if (g_main_loop_job) poll_refill(g_main_loop_job);
}

MusicStats music_stats() {
  MusicStats stats{};
  stats.rate = g_device_rate.load(std::memory_order_acquire);
  if (stats.rate == 0) return stats;
  const RefillJob* job = g_refill.load(std::memory_order_acquire);
  stats.played_frames = platform::looping_output_position();
  stats.stale_halves = platform::looping_output_stale_halves();
  stats.halves_caught_up = job->state.halves_caught_up.load(std::memory_order_relaxed);
  const platform::OutputCounts counts = platform::looping_output_counts();
  stats.frames_skipped = counts.frames_skipped;
  stats.underruns = counts.underruns;
  stats.first_lag = counts.first_lag;
  stats.devices_lost = counts.losses;
  stats.devices_reopened = counts.reopens;
  stats.device_playing = counts.playing;
  return stats;
}

}  // namespace audio
