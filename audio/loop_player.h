// The looping block and its player, the same for every sound device: one block of 32768
// stereo float frames the device plays over and over, what its callback copies, and how the
// position keeps in step with the clock.
#pragma once
#include <atomic>
#include <cstdint>

#include "platform/audio_thread.h"

namespace audio {

constexpr uint32_t kLoopFrames = 32768;
constexpr uint32_t kLoopBytes = kLoopFrames * 2 * sizeof(float);  // 262144
constexpr uint32_t kLoopHalfFrames = kLoopFrames / 2;             // 16384

// Frames per device callback, and so the sound server's buffer for us: 93 ms at 44100 Hz,
// enough to ride out a busy desktop's scheduling delays, while the music lags the picture
// by no more than a film's sound may. It divides 16384, so a callback never straddles a
// half (the copy splits there anyway).
constexpr uint32_t kDeviceFrames = 4096;

// Keeping the music with the clock. At the start of each callback the lag is the frames
// due since the resume (clock x rate) minus the position. A server asks for the next
// buffer while it still holds some, so in step the lag there is negative: the device's
// own lead, learned as the lowest lag seen (at most one device buffer; PipeWire's pulse
// server gives about 2600 frames). When the lag exceeds that lead by more than the margin,
// the server ran dry and played silence meanwhile: the position moves forward so the lag
// is the lead again, and what is heard is back in step. The margin is one device buffer
// (93 ms at 44100 Hz): a callback that is merely late raises the lag by its lateness, by
// at most the lead before the server runs dry, so a margin below the lead would skip music
// that was never late; above it, the music is heard at most the margin behind the picture.
constexpr uint32_t kStepMarginFrames = kDeviceFrames;
constexpr int64_t kMaxLeadFrames = kDeviceFrames;
constexpr int64_t kNoLag = INT64_MIN;  // no callback looked at the clock yet

// Frames a device at `rate` takes in `ticks` of a counter running at `ticks_per_second`.
// Split so that no product overflows for any rate and any run length.
constexpr uint64_t frames_due(uint64_t ticks, uint64_t ticks_per_second, uint32_t rate) {
  return ticks / ticks_per_second * rate + ticks % ticks_per_second * rate / ticks_per_second;
}

// The device's lead after seeing `position` with `due` frames due: the lowest lag so far,
// never below -kMaxLeadFrames (a burst of callbacks runs further ahead once; that is no
// lead to keep) and never above 0.
constexpr int64_t lead_after(int64_t lead, uint64_t position, uint64_t due) {
  const int64_t lag = static_cast<int64_t>(due - position);
  return lag >= lead ? lead : lag < -kMaxLeadFrames ? -kMaxLeadFrames : lag;
}

// Frames to move the position forward to be back at the lead: 0 while the lag is at most
// `margin` above it.
constexpr uint64_t frames_to_skip(uint64_t position, uint64_t due, int64_t lead, uint32_t margin) {
  const int64_t lag = static_cast<int64_t>(due - position);
  return lag > lead + static_cast<int64_t>(margin) ? static_cast<uint64_t>(lag - lead) : 0;
}

// Half number n of the run: positions n * 16384 up to (n + 1) * 16384, played from half
// n % 2 of the block. Half 0 is the silent lead-in.
constexpr uint32_t run_half(uint64_t position) { return static_cast<uint32_t>(position >> 14); }

// The block the device plays: interleaved left/right single-precision samples.
// `holds[h]` is the run half whose music block half h holds. Whoever rewrites a block half
// stores the run half there (release) after writing the samples; the device loads it
// (acquire) before each copy and plays silence instead of a half that holds other music.
// Zeroed, it is right from the start: half 0 holds the lead-in's silence, half 1 nothing.
struct LoopingBlock {
  float samples[kLoopFrames * 2];
  std::atomic<uint32_t> holds[2];
};

// What the device callback keeps between calls.
struct LoopPlayer {
  const LoopingBlock* block;
  uint32_t cursor;                        // next frame of the block to hand over, < kLoopFrames
  std::atomic<uint64_t> played;           // frames handed over since open, across repetitions
  std::atomic<uint64_t> stale_halves{0};  // halves that started before they were refilled
  platform::Wakeup half_started;          // woken when the position reaches a new half
  // Kept in step with the clock once resumed_at is set (never for drivers that write a
  // file at the program's pace): counter tick of the resume, and the device's rate.
  std::atomic<uint64_t> resumed_at{0};
  uint64_t ticks_per_second = 1;
  uint32_t rate = 0;
  std::atomic<uint64_t> frames_skipped{0};  // moved forward to stay in step
  std::atomic<uint64_t> underruns{0};       // times the position was found behind the clock
  int64_t lead = 0;                         // the callback's own: lead_after
  std::atomic<int64_t> first_lag{kNoLag};   // the lag at the first callback after the resume
};

// Learns the device's lead, and when the position is more than kStepMarginFrames behind
// it, moves the position (and the cursor) forward to the lead and counts the skip; the halves it
// lands in play from the block as usual, or as silence until the refill catches up. Call only from
// the callback.
void keep_in_step(LoopPlayer* player, uint64_t due);

// The whole callback: copies `frames` frames from the block at the cursor into `out`
// (interleaved stereo), wrapping at kLoopFrames and reading the block afresh each time,
// then adds the frames to the played counter. Never blocks.
void play_from_loop(LoopPlayer* player, float* out, uint32_t frames);

}  // namespace audio
