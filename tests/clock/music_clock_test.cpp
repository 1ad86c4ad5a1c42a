// The shipped music through the real refill thread and the real decoder, played by a device
// that takes 1024-frame buffers by the clock and never waits (tests/support/clock_device.h).
// Real time: these run one at a time (RUN_SERIAL), the minute-long ones under the `slow` label.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "audio/music.h"
#include "clock_device.h"
#include "stress_load.h"
#include "temp_dir.h"
#include "test_vorbis.h"

namespace {

using audio::kHalfFrames;

class ClockDevice : public ::testing::Test {
 public:
  void SetUp() override {
    ASSERT_TRUE(cwd_.ok());
    ASSERT_TRUE(audio::open_music_source(&source_, &rate_)) << "no shipped music in data/";
    reference_ = reference_vorbis_decode(audio::kMusicPath);
    ASSERT_FALSE(reference_.empty());
  }

  // Frame `p` the device handed over, against the decode's frame p - 16384 (the lead-in
  // plays first); silence before the music and after its end.
  float expected(uint64_t p, int side) const {
    if (p < kHalfFrames) return 0.0f;
    const uint64_t r = 2 * (p - kHalfFrames) + static_cast<uint64_t>(side);
    return r < reference_.size() ? reference_[r] : 0.0f;
  }

  // Frames [from, to) equal the decode; returns the first frame that does not, or `to`.
  uint64_t first_wrong(const clockdev::Result& r, uint64_t from, uint64_t to) const {
    for (uint64_t p = from; p < to; ++p) {
      if (r.heard[2 * p] != expected(p, 0) || r.heard[2 * p + 1] != expected(p, 1)) return p;
    }
    return to;
  }

  void play_in_step(const clockdev::Options& options) {
    clockdev::Result r;
    ASSERT_TRUE(clockdev::run(source_, rate_, options, &r));
    const uint64_t frames = r.heard.size() / 2;
    EXPECT_EQ(r.stale_halves, 0u) << "worst wake-up " << clockdev::quantile(r.wake_ms, 1.0)
                                  << " ms, worst refill " << clockdev::quantile(r.refill_ms, 1.0)
                                  << " ms, device late by up to " << r.device_late_ms << " ms";
    EXPECT_EQ(r.halves_caught_up, 0u);
    EXPECT_EQ(first_wrong(r, 0, frames), frames) << "frames played: " << frames;
  }

  testdir::WorkingDir cwd_{QUORL_SOURCE_DIR "/data"};
  audio::FrameSource source_{};
  uint32_t rate_ = 0;
  std::vector<float> reference_;
};

TEST_F(ClockDevice, QuietMinutePlaysTheDecodeWithNoStaleHalf) {
  clockdev::Options options;
  options.seconds = 60;
  play_in_step(options);
}

TEST_F(ClockDevice, LoadedMinutePlaysTheDecodeWithNoStaleHalf) {
  StressLoad load({"--cpu", "4", "--vm", "2"});
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  ASSERT_TRUE(load.running()) << "stress-ng did not start (setup.sh installs it)";
  clockdev::Options options;
  options.seconds = 60;
  play_in_step(options);
  EXPECT_TRUE(load.running()) << "the load ended before the minute did";
}

// A stall of 400 ms is longer than a half (372 ms at 44100 Hz): exactly the next half is
// late. It plays as silence until the refill lands (never as the music of two halves ago),
// and from the half after it the music is where the position says.
void expect_one_stale_half_then_in_step(const ClockDevice& test, const clockdev::Result& r,
                                        uint32_t stall_half, uint64_t caught_up) {
  EXPECT_EQ(r.stale_halves, 1u);
  EXPECT_EQ(r.halves_caught_up, caught_up);
  const uint64_t late_from = uint64_t{stall_half + 1} * kHalfFrames;
  const uint64_t late_to = late_from + kHalfFrames;
  const uint64_t frames = r.heard.size() / 2;
  ASSERT_GT(frames, late_to + 4 * kHalfFrames);
  EXPECT_EQ(test.first_wrong(r, 0, late_from), late_from) << "before the stall";
  uint64_t silent = 0;
  for (uint64_t p = late_from; p < late_to; ++p) {
    if (r.heard[2 * p] == 0.0f && r.heard[2 * p + 1] == 0.0f) {
      ++silent;
      continue;
    }
    ASSERT_EQ(r.heard[2 * p], test.expected(p, 0)) << "the late half, frame " << p;
    ASSERT_EQ(r.heard[2 * p + 1], test.expected(p, 1)) << "the late half, frame " << p;
  }
  EXPECT_GT(silent, 0u) << "the late half played no silence, so nothing was late";
  EXPECT_EQ(test.first_wrong(r, late_to, frames), frames) << "not in step after the late half";
}

constexpr uint32_t kStallHalf = 4;

clockdev::Options stalled(clockdev::Stall stall) {
  clockdev::Options options;
  options.seconds = 6;
  options.stall = stall;
  options.stall_half = kStallHalf;
  return options;
}

TEST_F(ClockDevice, RefillStalled400msInsideIsOneStaleHalfThenInStep) {
  clockdev::Result r;
  ASSERT_TRUE(clockdev::run(source_, rate_, stalled(clockdev::Stall::kInRefill), &r));
  // The stalled refill still lands in its own half, so no music is skipped.
  expect_one_stale_half_then_in_step(*this, r, kStallHalf, 0);
}

TEST_F(ClockDevice, RefillStalled400msBeforeItLooksSkipsTheHalfItMissed) {
  clockdev::Result r;
  ASSERT_TRUE(clockdev::run(source_, rate_, stalled(clockdev::Stall::kBeforeLook), &r));
  // The thread looks when the next half already plays: it fills the one after and drops
  // the music of the half it missed, so the late half is entirely silent.
  expect_one_stale_half_then_in_step(*this, r, kStallHalf, 1);
  const uint64_t late_from = uint64_t{kStallHalf + 1} * kHalfFrames;
  for (uint64_t p = late_from; p < late_from + kHalfFrames; ++p) {
    ASSERT_EQ(r.heard[2 * p], 0.0f) << p;
  }
}

}  // namespace
