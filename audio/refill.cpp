#include "audio/refill.h"

#include <chrono>
#include <thread>

namespace audio {

void fill_half(RefillState* s, const FrameSource& source, float* half) {
  for (uint32_t slot = 0; slot < kHalfFrames; ++slot) {
    if (s->cursor == s->length) {
      float** channels = nullptr;
      const int n = source.decode(source.decoder, &channels);
      s->length = n > 0 ? n : 0;
      s->cursor = 0;
      s->channels = channels;
    }
    float left = 0.0f;
    float right = 0.0f;
    if (s->cursor < s->length) {
      left = s->channels[0][s->cursor];
      right = s->channels[source.right_channel][s->cursor];
      ++s->cursor;
    }
    half[2 * slot] = left;
    half[2 * slot + 1] = right;
  }
}

int refill_poll(RefillState* s, const FrameSource& source, uint64_t position,
                platform::LoopingBlock* block) {
  const uint32_t p = playing_half(position);
  int refilled = -1;
  if (p != s->last_half) {
    refilled = static_cast<int>(s->last_half);
    fill_half(s, source, block->samples + 2 * kHalfFrames * s->last_half);
    block->published.fetch_add(1, std::memory_order_release);
  }
  s->last_half = p;
  return refilled;
}

namespace {

void run_refill(RefillJob* job) {
  // A rate above 8192000 Hz would make the period 0; never spin without sleeping.
  uint32_t period = poll_period_ms(job->rate);
  if (period == 0) period = 1;
  for (;;) {
    refill_poll(&job->state, job->source, job->position(), job->block);
    std::this_thread::sleep_for(std::chrono::milliseconds(period));
  }
}

}  // namespace

void start_refill_thread(RefillJob* job) { std::thread(run_refill, job).detach(); }

}  // namespace audio
