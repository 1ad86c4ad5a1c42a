#include "audio/refill.h"

namespace audio {
namespace {

// Takes `frames` frames from the stream into `out` (interleaved stereo), or drops them
// when `out` is null.
void take_frames(RefillState* s, const FrameSource& source, uint64_t frames, float* out) {
  for (uint64_t slot = 0; slot < frames; ++slot) {
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
    } else if (!out) {
      return;  // the stream has ended: nothing more to skip
    }
    if (out) {
      out[2 * slot] = left;
      out[2 * slot + 1] = right;
    }
  }
}

}  // namespace

void fill_half(RefillState* s, const FrameSource& source, float* half) {
  take_frames(s, source, kHalfFrames, half);
}

void skip_frames(RefillState* s, const FrameSource& source, uint64_t frames) {
  take_frames(s, source, frames, nullptr);
}

int refill_poll(RefillState* s, const FrameSource& source, uint64_t position,
                audio::LoopingBlock* block) {
  // The playing half is the device's; the one after it is the next we may write.
  const uint32_t due = audio::run_half(position) + 1;
  if (s->next_half > due) return -1;  // already filled
  const uint32_t missed = due - s->next_half;
  if (missed > 0) {
    skip_frames(s, source, uint64_t{missed} * kHalfFrames);
    s->halves_caught_up.fetch_add(missed, std::memory_order_relaxed);
  }
  const uint32_t h = due & 1u;
  fill_half(s, source, block->samples + 2 * kHalfFrames * h);
  block->holds[h].store(due, std::memory_order_release);
  s->next_half = due + 1;
  return static_cast<int>(h);
}

void poll_refill(RefillJob* job) {
  if (job->watch) job->watch();
  const uint64_t position = job->position();
  const int refilled = refill_poll(&job->state, job->source, position, job->block);
  if (job->observer) job->observer(job->observer_context, position, refilled);
}

namespace {

void* run_refill(void* arg) {
  auto* job = static_cast<RefillJob*>(arg);
  if (job->raise_priority) platform::raise_thread_priority();
  // A rate above 8192000 Hz would make the period 0; never spin without waiting.
  uint32_t period = poll_period_ms(job->rate);
  if (period == 0) period = 1;
  const platform::Wakeup none;
  const platform::Wakeup& half_started = job->half_started ? *job->half_started : none;
  for (;;) {
    poll_refill(job);
    platform::wait_for_wakeup(half_started, period);
  }
  return nullptr;
}

}  // namespace

bool start_refill_thread(RefillJob* job, ThreadStarter starter) {
  return starter(&run_refill, job);
}

}  // namespace audio
