// The looping sound output: one block of 32768 stereo float frames played over and over by
// the sound device, with a position counter of the frames handed to it. Stands in for a
// wave-output device playing one looping buffer.
#pragma once
#include <atomic>
#include <cstdint>

namespace platform {

constexpr uint32_t kLoopFrames = 32768;
constexpr uint32_t kLoopBytes = kLoopFrames * 2 * sizeof(float);  // 262144

// The block the device plays: interleaved left/right single-precision samples.
// Whoever rewrites part of it bumps `published` (release) afterwards; the device reads it
// (acquire) before each copy. The device never waits on it: it only makes the hand-over of
// the halves well ordered for the memory model, so both sides stay lock-free.
struct LoopingBlock {
  float samples[kLoopFrames * 2];
  std::atomic<uint32_t> published;
};

// What the device callback keeps between calls.
struct LoopPlayer {
  const LoopingBlock* block;
  uint32_t cursor;               // next frame of the block to hand over, < kLoopFrames
  std::atomic<uint64_t> played;  // frames handed over since open, across repetitions
};

// The whole callback: copies `frames` frames from the block at the cursor into `out`
// (interleaved stereo), wrapping at kLoopFrames and reading the block afresh each time,
// then adds the frames to the played counter.
void play_from_loop(LoopPlayer* player, float* out, uint32_t frames);

// Opens the default output device for 2 channels of float32 at `rate` with no format
// change and about 1024 frames per callback, paused, playing `block` from its start.
// False when no device opens; the caller then runs silently and the position stays 0.
// Call once; `block` must outlive the process.
bool open_looping_output(const LoopingBlock* block, uint32_t rate);

// Starts (or restarts) playback; nothing happens when no device is open.
void resume_looping_output();

// Frames handed to the device since it was opened; 0 while paused or without a device.
uint64_t looping_output_position();

}  // namespace platform
