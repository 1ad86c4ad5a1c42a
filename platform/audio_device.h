// The looping sound output: one block of 32768 stereo float frames played over and over by
// the sound device, with a position counter of the frames handed to it. Stands in for a
// wave-output device playing one looping buffer.
#pragma once
#include <atomic>
#include <cstdint>

#include "platform/audio_thread.h"

namespace platform {

constexpr uint32_t kLoopFrames = 32768;
constexpr uint32_t kLoopBytes = kLoopFrames * 2 * sizeof(float);  // 262144
constexpr uint32_t kLoopHalfFrames = kLoopFrames / 2;             // 16384

// Frames per device callback, and so the sound server's buffer for us: 93 ms at 44100 Hz,
// enough to ride out a busy desktop's scheduling delays, while the music lags the picture
// by no more than a film's sound may. It divides 16384, so a callback never straddles a
// half (the copy splits there anyway).
constexpr uint32_t kDeviceFrames = 4096;

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
  uint32_t cursor;               // next frame of the block to hand over, < kLoopFrames
  std::atomic<uint64_t> played;  // frames handed over since open, across repetitions
  std::atomic<uint64_t> stale_halves{0};  // halves that started before they were refilled
  Wakeup half_started;                    // woken when the position reaches a new half
};

// The whole callback: copies `frames` frames from the block at the cursor into `out`
// (interleaved stereo), wrapping at kLoopFrames and reading the block afresh each time,
// then adds the frames to the played counter. Never blocks.
void play_from_loop(LoopPlayer* player, float* out, uint32_t frames);

// Opens the default output device for 2 channels of float32 at `rate` with no format
// change and kDeviceFrames frames per callback, paused, playing `block` from its start.
// False when no device opens; the caller then runs silently and the position stays 0.
// Call once; `block` must outlive the process.
bool open_looping_output(const LoopingBlock* block, uint32_t rate);

// Closes the device (the show then runs silently); harmless without one.
void close_looping_output();

// Starts (or restarts) playback; nothing happens when no device is open.
void resume_looping_output();

// Frames handed to the device since it was opened; 0 while paused or without a device.
uint64_t looping_output_position();

// Halves the device started that held other music than the run's (each played as silence).
uint64_t looping_output_stale_halves();

// Woken when the device's position reaches a new half.
const Wakeup& looping_output_wakeup();

}  // namespace platform
