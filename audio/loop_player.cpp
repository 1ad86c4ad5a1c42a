// The looping block's player, the same for every sound device: what a device callback
// copies, and how it keeps in step with the clock.
#include <algorithm>
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

uint64_t step_skip(StepWatch* w, int64_t lag) {
  if (!w->started) {
    w->started = true;
    return lag > 0 ? static_cast<uint64_t>(lag) : 0;
  }
  if (lag > w->lead + kStepMarginFrames) {
    w->seen = 0;
    return static_cast<uint64_t>(lag - w->lead - kStepMarginFrames);
  }
  w->window[w->seen % kStepWindow] = lag;
  if (++w->seen < kStepWindow) return 0;
  const int64_t* begin = w->window;
  const int64_t* end = begin + kStepWindow;
  const int64_t level = *std::min_element(begin, end);
  if (!w->lead_known) {
    w->lead_known = true;
    w->lead = level;
    return 0;
  }
  if (level > w->lead + kStepToleranceFrames) {
    w->seen = 0;
    return static_cast<uint64_t>(level - w->lead);
  }
  const int64_t top = *std::max_element(begin, end);
  if (top < w->lead) w->lead = top;
  return 0;
}

void keep_in_step(LoopPlayer* player, uint64_t due) {
  const uint64_t position = player->played.load(std::memory_order_relaxed);
  const int64_t lag = static_cast<int64_t>(due - position);
  if (player->first_lag.load(std::memory_order_relaxed) == kNoLag) {
    player->first_lag.store(lag, std::memory_order_relaxed);
  }
  const uint64_t skip = step_skip(&player->watch, lag);
  if (skip == 0) return;
  player->cursor = static_cast<uint32_t>((player->cursor + skip % kLoopFrames) % kLoopFrames);
  player->frames_skipped.fetch_add(skip, std::memory_order_relaxed);
  player->underruns.fetch_add(1, std::memory_order_relaxed);
  player->played.store(position + skip, std::memory_order_release);
  if (run_half(position + skip) != run_half(position)) platform::wake(player->half_started);
}

}  // namespace audio
