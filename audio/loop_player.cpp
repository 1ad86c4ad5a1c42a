// The looping block's player, the same for every sound device: what a device callback
// copies, and how it keeps in step with the clock.
#include <cstring>

#include "audio/loop_player.h"

namespace audio {

void play_from_loop(LoopPlayer* player, float* out, uint32_t frames) {
  // Only this callback writes `played`, so its own earlier value needs no ordering.
  uint64_t position = player->played.load(std::memory_order_relaxed);
  const uint32_t half_before = run_half(position);
  uint32_t left = frames;
  while (left > 0) {
    // One run never leaves its half, so it is all fresh or all stale.
    uint32_t run = kLoopHalfFrames - player->cursor % kLoopHalfFrames;
    if (run > left) run = left;
    const uint32_t half = run_half(position);
    const bool fresh = player->block->holds[half & 1].load(std::memory_order_acquire) == half;
    if (player->cursor % kLoopHalfFrames == 0 && !fresh) {
      player->stale_halves.fetch_add(1, std::memory_order_relaxed);
    }
    // A stale half plays as silence, not as the music of two halves ago: a gap followed
    // by the music in step is heard as a dropout, a repeat as a wrong bar.
    if (fresh) {
      std::memcpy(out, player->block->samples + 2 * player->cursor, run * 2 * sizeof(float));
    } else {
      std::memset(out, 0, run * 2 * sizeof(float));
    }
    out += 2 * run;
    left -= run;
    position += run;
    player->cursor = (player->cursor + run) % kLoopFrames;
  }
  // Release: the refill thread, seeing the new position, writes only after these reads.
  player->played.store(position, std::memory_order_release);
  // The position has reached a new half: the refill may write the one after it. After the
  // store, so the woken refill thread already sees the position there.
  if (run_half(position) != half_before) platform::wake(player->half_started);
}

void keep_in_step(LoopPlayer* player, uint64_t due) {
  const uint64_t position = player->played.load(std::memory_order_relaxed);
  if (player->first_lag.load(std::memory_order_relaxed) == kNoLag) {
    player->first_lag.store(static_cast<int64_t>(due - position), std::memory_order_relaxed);
  }
  player->lead = lead_after(player->lead, position, due);
  const uint64_t skip = frames_to_skip(position, due, player->lead, kStepMarginFrames);
  if (skip == 0) return;
  player->cursor = static_cast<uint32_t>((player->cursor + skip % kLoopFrames) % kLoopFrames);
  player->frames_skipped.fetch_add(skip, std::memory_order_relaxed);
  player->underruns.fetch_add(1, std::memory_order_relaxed);
  player->played.store(position + skip, std::memory_order_release);
  if (run_half(position + skip) != run_half(position)) platform::wake(player->half_started);
}

}  // namespace audio
