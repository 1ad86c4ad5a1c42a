// The refill bookkeeping: which half of the looping block the device plays, and how the
// half after it is filled with the next 16384 frames of decoded music. Pure functions of
// their inputs (a position and a frame source), so tests drive them directly.
#pragma once
#include <atomic>
#include <cstdint>

#include "platform/audio_device.h"
#include "platform/audio_thread.h"

namespace audio {

constexpr uint32_t kHalfFrames = audio::kLoopHalfFrames;  // 16384

// Decodes the next frame: returns its samples per channel (0 once the stream has ended)
// and points *channels at the per-channel sample arrays, valid until the next call.
using DecodeFrame = int (*)(void* decoder, float*** channels);

struct FrameSource {
  DecodeFrame decode;
  void* decoder;
  int right_channel;  // 1; 0 for a one-channel stream, whose channel 0 goes to both sides
};

// Carried from one refill to the next: a decoded frame may span two refills.
struct RefillState {
  // Run half (audio::run_half) to fill next; half 0 is the lead-in's silence, so the
  // first poll, made while the device is paused at 0, fills half 1 at once.
  uint32_t next_half = 1;
  int cursor = 0;  // next unread sample of the current frame
  int length = 0;  // samples per channel of the current frame
  float** channels = nullptr;
  // Halves' worth of music skipped to get back in step; read by other threads.
  std::atomic<uint64_t> halves_caught_up{0};
};

// The half of the block the device is playing at `position` frames: bit 14.
constexpr uint32_t playing_half(uint64_t position) { return audio::run_half(position) & 1u; }

// Time the device takes for 8192 frames, in whole milliseconds (unsigned division): the
// longest wait between polls when no wake-up comes.
constexpr uint32_t poll_period_ms(uint32_t rate) { return 8192000u / rate; }

// Writes the next kHalfFrames frames into `half` (interleaved stereo): decoding when the
// current frame is used up, silence once the source returns 0. Allocates nothing.
void fill_half(RefillState* state, const FrameSource& source, float* half);

// Pulls `frames` frames from the source and drops them.
void skip_frames(RefillState* state, const FrameSource& source, uint64_t frames);

// One poll: when the half after the playing one is not filled yet, fills it and publishes
// it in the block. Halves that were due earlier and missed (the device played them as
// silence) are skipped in the stream first, so the music stays where the position says.
// Returns the refilled block half, or -1.
int refill_poll(RefillState* state, const FrameSource& source, uint64_t position,
                audio::LoopingBlock* block);

using PositionFn = uint64_t (*)();
// Called after each poll with the position it saw and its result (tests and benchmarks
// time the refills with it).
using PollObserver = void (*)(void* context, uint64_t position, int refilled);

// Everything the refill thread touches. Must never be destroyed while the thread runs
// (which is until the process ends): allocate it with new and keep it.
struct RefillJob {
  RefillState state;
  FrameSource source;
  audio::LoopingBlock* block;
  PositionFn position;
  const platform::Wakeup* half_started;  // woken by the device as each half starts; null: poll only
  uint32_t rate;
  bool raise_priority = true;  // off only to measure how a thread at normal priority fares
  void (*watch)() = nullptr;   // looks after the device before each poll; null: nothing to do
  PollObserver observer = nullptr;
  void* observer_context = nullptr;
};

// One pass of the refill thread's loop: the job's watch, the position, refill_poll, the
// observer. Where no thread may be started the main loop calls it (refill_from_main_loop).
void poll_refill(RefillJob* job);

using ThreadStarter = bool (*)(platform::ThreadMain main, void* arg);

// Starts the detached refill thread: it asks for a high priority, then polls whenever the
// device starts a half and at least every poll_period_ms(rate), forever, calling the
// job's watch first. False when the
// thread cannot be created.
bool start_refill_thread(RefillJob* job, ThreadStarter starter = &platform::start_detached_thread);

}  // namespace audio
