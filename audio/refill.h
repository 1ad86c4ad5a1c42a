// The refill bookkeeping: which half of the looping block the device plays, and how the
// half it has just left is refilled with the next 16384 frames of decoded music. Pure
// functions of their inputs (a position and a frame source), so tests drive them directly.
#pragma once
#include <cstdint>

#include "platform/audio_device.h"

namespace audio {

constexpr uint32_t kHalfFrames = platform::kLoopFrames / 2;  // 16384

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
  uint32_t last_half = 1;  // so the first poll (position 0) fills half 1 at once
  int cursor = 0;          // next unread sample of the current frame
  int length = 0;          // samples per channel of the current frame
  float** channels = nullptr;
};

// The half the device is playing at `position` frames: bit 14.
constexpr uint32_t playing_half(uint64_t position) {
  return static_cast<uint32_t>(position >> 14) & 1u;
}

// Time the device takes for 8192 frames, in whole milliseconds (unsigned division).
constexpr uint32_t poll_period_ms(uint32_t rate) { return 8192000u / rate; }

// Writes the next kHalfFrames frames into `half` (interleaved stereo): decoding when the
// current frame is used up, silence once the source returns 0. Allocates nothing.
void fill_half(RefillState* state, const FrameSource& source, float* half);

// One poll: when the device has crossed into the other half since the last poll, refills
// the half it left and publishes the block. Returns the refilled half, or -1.
int refill_poll(RefillState* state, const FrameSource& source, uint64_t position,
                platform::LoopingBlock* block);

using PositionFn = uint64_t (*)();

// Everything the refill thread touches. Must never be destroyed while the thread runs
// (which is until the process ends): allocate it with new and keep it.
struct RefillJob {
  RefillState state;
  FrameSource source;
  platform::LoopingBlock* block;
  PositionFn position;
  uint32_t rate;
};

// Starts the detached refill thread: poll, then sleep poll_period_ms(rate), forever.
void start_refill_thread(RefillJob* job);

}  // namespace audio
