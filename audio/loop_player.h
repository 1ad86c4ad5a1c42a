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

// Keeping the music with the clock. The clock starts at the device's first request, and at
// the start of each callback the lag is the frames due since then (clock x rate) minus the
// position. A server asks for the next buffer while it still holds some, so in step the lag
// sits at a level of its own, the lead: within a few frames for PipeWire's pulse server,
// drifting over some 500 frames for PulseAudio's. When the server runs dry it plays silence
// and the music falls behind by as much, and the level rises by that much: that rise, not
// the lag of one late callback (which a server that still held enough plays through), is
// what a skip moves the position forward by, so that the music lands where the clock says.
// The level is the lowest lag of the last kStepWindow callbacks; the lead is the first such
// window's level, and follows a server that comes to hold more (a whole window below it;
// a burst of requests after a dropout is shorter than that). A rise within the tolerance is
// such drift, and no skip. A callback more than kStepMarginFrames beyond the lead is a long
// stop (a suspend, a server that ran dry for long): all of it but the margin (more than a
// server holds when it asks) is skipped at once, never too much, and the window takes the rest.
constexpr uint32_t kStepWindow = 8;  // callbacks: 0.74 s at 44100 Hz
constexpr int64_t kStepToleranceFrames = 1024;
constexpr int64_t kStepMarginFrames = 2 * kDeviceFrames;
constexpr int64_t kNoLag = INT64_MIN;  // no callback looked at the clock yet

// How long the first frame waits for the device's first request before the show starts
// without it: a server that served a run before can take over a second.
constexpr uint32_t kFirstRequestWaitMs = 2000;

// Frames a device at `rate` takes in `ticks` of a counter running at `ticks_per_second`.
// Split so that no product overflows for any rate and any run length.
constexpr uint64_t frames_due(uint64_t ticks, uint64_t ticks_per_second, uint32_t rate) {
  return ticks / ticks_per_second * rate + ticks % ticks_per_second * rate / ticks_per_second;
}

// What the step keeping has learned of a device: pure state, reset for each device opened.
struct StepWatch {
  bool started = false;     // the first callback has been seen
  bool lead_known = false;  // a whole window has been seen
  int64_t lead = 0;         // the level in step
  uint32_t seen = 0;        // lags in the window since the start or the last skip
  int64_t window[kStepWindow] = {};
};

// The frames to move the position forward at a callback whose lag is `lag`, learning as it
// goes. The first callback's lag is the lateness of a request that came after the clock
// started without it: skipped whole.
uint64_t step_skip(StepWatch* watch, int64_t lag);

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
  // file at the program's pace): counter tick the clock counts from, and the device's rate.
  std::atomic<uint64_t> resumed_at{0};
  uint64_t ticks_per_second = 1;
  uint32_t rate = 0;
  std::atomic<uint64_t> frames_skipped{0};  // moved forward to stay in step
  std::atomic<uint64_t> underruns{0};       // times the position was found behind the clock
  StepWatch watch{};                        // the callback's own
  std::atomic<int64_t> first_lag{kNoLag};   // the lag at the first callback: 0 unless it came late
};

// Moves the position (and the cursor) forward by step_skip's frames and counts the skip;
// the halves it lands in play from the block as usual, or as silence until the refill
// catches up. Call only from the callback.
void keep_in_step(LoopPlayer* player, uint64_t due);

// The whole callback: copies `frames` frames from the block at the cursor into `out`
// (interleaved stereo), wrapping at kLoopFrames and reading the block afresh each time,
// then adds the frames to the played counter. Never blocks.
void play_from_loop(LoopPlayer* player, float* out, uint32_t frames);

}  // namespace audio
