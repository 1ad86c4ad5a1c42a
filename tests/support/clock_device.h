// A sound device paced by the clock, for the music's refill thread: a thread that takes
// buffers of frames at absolute deadlines through the real callback body and never waits
// for anyone, as hardware (or a sound server) does. It drives the real refill thread over
// a real frame source, records everything it was handed, and times each refill: how long
// after the device started a half the refill thread looked, and how long the refill took.
// Used by the real-time tests and by bench/music_clock_bench.
#pragma once

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "audio/refill.h"
#include "platform/audio_device.h"

namespace clockdev {

using Clock = std::chrono::steady_clock;

enum class Stall {
  kNone,
  kInRefill,    // the refill of the half after `stall_half` stops inside its first decode
  kBeforeLook,  // the refill thread, woken as `stall_half` starts, stops before it looks
};

struct Options {
  double seconds = 10.0;
  uint32_t device_frames = 1024;
  Stall stall = Stall::kNone;
  uint32_t stall_half = 0;  // run half at whose start the stall happens
  uint32_t stall_ms = 400;
  bool woken = true;          // false: the refill thread only polls
  bool high_priority = true;  // false: the refill thread keeps the normal priority
};

struct Result {
  std::vector<float> heard;  // interleaved stereo from the device's position 0 on
  uint64_t stale_halves = 0;
  uint64_t halves_caught_up = 0;
  std::vector<double> wake_ms;    // per refill: device reached the half -> refill looked
  std::vector<double> refill_ms;  // per refill: time to fill the half
  double device_late_ms = 0;      // worst lateness of the fake device against its deadlines
};

namespace detail {

constexpr size_t kMaxHalves = 1 << 16;  // 6.7 hours at 44100 Hz

// Shared with a detached refill thread that runs until the process ends: never destroyed.
struct Shared {
  audio::LoopingBlock block{};
  audio::LoopPlayer player{&block, 0, {0}, {0}, {}};
  audio::RefillJob job;
  audio::FrameSource inner;  // the real source the stalling wrapper forwards to
  Options options;
  Clock::time_point half_start[kMaxHalves];  // written by the device before it plays them
  Clock::time_point looked_at;               // refill thread only
  std::atomic<bool> stall_armed{false};
  std::atomic<bool> stalled{false};
  double wake_ms[kMaxHalves];
  double refill_ms[kMaxHalves];
  std::atomic<uint32_t> timed{0};
  std::atomic<bool> bound{false};
};

// PositionFn has no context: each refill thread binds to its run on its first call (the
// run waits for that before starting the device), so earlier runs' threads, which live on,
// keep reading their own stopped devices.
inline std::atomic<Shared*> g_binding{nullptr};
inline thread_local Shared* t_shared = nullptr;

inline void sleep_ms(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

inline uint64_t position() {
  if (!t_shared) {
    t_shared = g_binding.load(std::memory_order_acquire);
    t_shared->bound.store(true, std::memory_order_release);
  }
  Shared* s = t_shared;
  uint64_t p = s->player.played.load(std::memory_order_acquire);
  const Options& o = s->options;
  if (o.stall != Stall::kNone && p >= uint64_t{o.stall_half} * audio::kHalfFrames &&
      !s->stalled.exchange(true)) {
    if (o.stall == Stall::kBeforeLook) {
      sleep_ms(o.stall_ms);
      p = s->player.played.load(std::memory_order_acquire);
    } else {
      s->stall_armed.store(true);
    }
  }
  s->looked_at = Clock::now();
  return p;
}

inline int decode(void* shared, float*** channels) {
  auto* s = static_cast<Shared*>(shared);
  if (s->stall_armed.exchange(false)) sleep_ms(s->options.stall_ms);
  return s->inner.decode(s->inner.decoder, channels);
}

inline double ms_between(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double, std::milli>(b - a).count();
}

inline void after_poll(void* shared, uint64_t position, int refilled) {
  auto* s = static_cast<Shared*>(shared);
  const uint32_t half = audio::run_half(position);
  if (refilled < 0 || half == 0 || half >= kMaxHalves) return;  // 0: before the device ran
  const uint32_t i = s->timed.load(std::memory_order_relaxed);
  if (i >= kMaxHalves) return;
  s->wake_ms[i] = ms_between(s->half_start[half], s->looked_at);
  s->refill_ms[i] = ms_between(s->looked_at, Clock::now());
  s->timed.store(i + 1, std::memory_order_release);
}

// Hardware does not wait for the CPU; the nearest a thread gets is a real-time priority.
inline void try_real_time() {
  sched_param param{};
  param.sched_priority = 10;
  (void)pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
}

}  // namespace detail

// Plays `source` (whose first frame is the music's first) for o.seconds through a fresh
// looping block and a fresh refill thread. False when the refill thread could not start.
inline bool run(const audio::FrameSource& source, uint32_t rate, const Options& o, Result* result) {
  auto* s = new detail::Shared();
  s->inner = source;
  s->options = o;
  s->job.source = {&detail::decode, s, source.right_channel};
  s->job.block = &s->block;
  s->job.position = &detail::position;
  if (o.woken && !platform::make_wakeup(&s->player.half_started)) return false;
  s->job.half_started = o.woken ? &s->player.half_started : nullptr;
  s->job.rate = rate;
  s->job.raise_priority = o.high_priority;
  s->job.observer = &detail::after_poll;
  s->job.observer_context = s;

  detail::g_binding.store(s, std::memory_order_release);
  if (!audio::start_refill_thread(&s->job)) return false;
  // Bound, and its first poll (half 1, the device still "paused" at 0) done.
  while (!s->bound.load(std::memory_order_acquire) ||
         s->block.holds[1].load(std::memory_order_acquire) != 1) {
    detail::sleep_ms(1);
  }

  const uint64_t calls = static_cast<uint64_t>(o.seconds * rate / o.device_frames);
  result->heard.assign(calls * o.device_frames * 2, 0.0f);
  double late_ms = 0;
  std::thread device([&] {
    detail::try_real_time();
    const Clock::time_point start = Clock::now();
    uint64_t position = 0;
    for (uint64_t call = 0; call < calls; ++call) {
      const Clock::time_point due =
          start + std::chrono::nanoseconds(call * o.device_frames * 1000000000ull / rate);
      std::this_thread::sleep_until(due);
      late_ms = std::max(late_ms, detail::ms_between(due, Clock::now()));
      // The call that takes the position to a half's first frame is the crossing: it
      // stamps that half before it plays, so the refill thread finds the stamp.
      const uint64_t crossed = (position + o.device_frames) / audio::kHalfFrames;
      if (crossed * audio::kHalfFrames > position && crossed < detail::kMaxHalves) {
        s->half_start[crossed] = Clock::now();
      }
      audio::play_from_loop(&s->player, &result->heard[position * 2], o.device_frames);
      position += o.device_frames;
    }
  });
  device.join();
  detail::sleep_ms(50);  // a refill running as the device stopped ends its timing

  result->stale_halves = s->player.stale_halves.load();
  result->halves_caught_up = s->job.state.halves_caught_up.load();
  const uint32_t timed = s->timed.load(std::memory_order_acquire);
  result->wake_ms.assign(s->wake_ms, s->wake_ms + timed);
  result->refill_ms.assign(s->refill_ms, s->refill_ms + timed);
  result->device_late_ms = late_ms;
  return true;
}

// The value below which a share `q` of the figures lie (nearest rank); 0 when empty.
inline double quantile(std::vector<double> v, double q) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const size_t at = std::min(v.size() - 1, static_cast<size_t>(q * static_cast<double>(v.size())));
  return v[at];
}

}  // namespace clockdev
