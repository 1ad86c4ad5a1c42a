#include <gtest/gtest.h>

#include <SDL.h>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/audio_device.h"
#include "temp_dir.h"

namespace {

using audio::kLoopFrames;
using audio::LoopingBlock;
using audio::LoopPlayer;

// Frame f of the block holds (f + tag, -(f + tag)).
void stamp(LoopingBlock* block, float tag) {
  for (uint32_t f = 0; f < kLoopFrames; ++f) {
    block->samples[2 * f] = static_cast<float>(f) + tag;
    block->samples[2 * f + 1] = -(static_cast<float>(f) + tag);
  }
}

// Marks both block halves as holding the run halves about to play from `position`.
void publish_around(LoopingBlock* block, uint64_t position) {
  const uint32_t half = audio::run_half(position);
  block->holds[half & 1].store(half);
  block->holds[(half + 1) & 1].store(half + 1);
}

TEST(LoopPlayback, WrapsAt32768FramesAndCountsAcrossRepetitions) {
  auto block = std::make_unique<LoopingBlock>();
  stamp(block.get(), 0.0f);
  LoopPlayer player{block.get(), 0, {0}, {0}, {}};
  std::vector<float> out(2 * 1000);
  uint64_t handed = 0;
  // 1000 does not divide 32768, so some calls straddle the end of the block.
  for (int call = 0; call < 70; ++call) {
    if (call == 40) stamp(block.get(), 0.5f);  // read afresh on the next repetition
    publish_around(block.get(), handed);
    play_from_loop(&player, out.data(), 1000);
    for (uint32_t i = 0; i < 1000; ++i) {
      const uint32_t frame = static_cast<uint32_t>((handed + i) % kLoopFrames);
      const float tag = call >= 40 ? 0.5f : 0.0f;
      ASSERT_EQ(out[2 * i], frame + tag) << "call " << call << " frame " << i;
      ASSERT_EQ(out[2 * i + 1], -(frame + tag)) << "call " << call << " frame " << i;
    }
    handed += 1000;
    ASSERT_EQ(player.played.load(), handed);
    ASSERT_EQ(player.cursor, handed % kLoopFrames);
  }
  EXPECT_GT(handed, 2u * kLoopFrames);
  EXPECT_EQ(player.stale_halves.load(), 0u);
}

// Device calls of 1000 frames straddle half boundaries; each half is judged on its own.
TEST(LoopPlayback, AHalfNotRefilledInTimePlaysAsSilenceAndIsCountedOnce) {
  auto block = std::make_unique<LoopingBlock>();  // holds {0, 0}: only the lead-in is ready
  stamp(block.get(), 1.0f);
  LoopPlayer player{block.get(), 0, {0}, {0}, {}};
  ASSERT_TRUE(platform::make_wakeup(&player.half_started));
  std::vector<float> out(2 * 1000);
  // Frames 16000..16999: 384 of the lead-in half, then 616 of half 1, which is stale.
  for (int call = 0; call < 16; ++call) play_from_loop(&player, out.data(), 1000);
  play_from_loop(&player, out.data(), 1000);
  EXPECT_EQ(out[2 * 383], 16383.0f + 1.0f);
  for (uint32_t i = 384; i < 1000; ++i) ASSERT_EQ(out[2 * i], 0.0f) << i;
  EXPECT_EQ(player.stale_halves.load(), 1u);
  // The refill catches up within the half: from the next call on, half 1 plays.
  block->holds[1].store(1);
  play_from_loop(&player, out.data(), 1000);
  EXPECT_EQ(out[0], 17000.0f + 1.0f);
  EXPECT_EQ(player.stale_halves.load(), 1u) << "one late half is one stale half";
  // Half 2 plays from block half 0, which still holds run half 0: stale again, and the
  // music of two halves ago is not repeated.
  for (int call = 0; call < 15; ++call) play_from_loop(&player, out.data(), 1000);
  EXPECT_EQ(player.played.load(), 33000u);
  EXPECT_EQ(out[2 * 767], 32767.0f + 1.0f);
  for (uint32_t i = 768; i < 1000; ++i) ASSERT_EQ(out[2 * i], 0.0f) << i;
  EXPECT_EQ(player.stale_halves.load(), 2u);
}

TEST(LoopPlayback, TheCallThatReachesANewHalfWakesTheRefillOnce) {
  auto block = std::make_unique<LoopingBlock>();
  LoopPlayer player{block.get(), 0, {0}, {0}, {}};
  ASSERT_TRUE(platform::make_wakeup(&player.half_started));
  std::vector<float> out(2 * 2048);
  const auto woken = [&] {
    const auto start = std::chrono::steady_clock::now();
    platform::wait_for_wakeup(player.half_started, 200);
    return std::chrono::steady_clock::now() - start < std::chrono::milliseconds(100);
  };
  play_from_loop(&player, out.data(), 2048);  // inside half 0
  EXPECT_FALSE(woken());
  for (int call = 0; call < 6; ++call) play_from_loop(&player, out.data(), 2048);
  EXPECT_FALSE(woken()) << "14336 frames: still in half 0";
  play_from_loop(&player, out.data(), 2048);  // 16384: the position is in half 1
  play_from_loop(&player, out.data(), 2048);
  EXPECT_TRUE(woken()) << "a wake-up not yet waited for is kept";
  EXPECT_FALSE(woken()) << "and collapses into one";
  // A call that straddles the end of the block reaches half 0 of the next pass.
  play_from_loop(&player, out.data(), 1000);
  for (int call = 0; call < 6; ++call) play_from_loop(&player, out.data(), 2048);
  EXPECT_FALSE(woken()) << "31720 frames";
  play_from_loop(&player, out.data(), 2048);  // 31720 .. 33768
  EXPECT_TRUE(woken());
}

TEST(StayingInStep, FramesDueAtTheRateWithoutOverflow) {
  struct Case {
    uint64_t ticks, per_second;
    uint32_t rate;
    uint64_t due;
  };
  const Case cases[] = {
      {0, 1000000000, 44100, 0},
      {1000000000, 1000000000, 44100, 44100},
      {500000000, 1000000000, 44100, 22050},
      {22675, 1000000000, 44100, 0},  // less than one frame
      {22676, 1000000000, 44100, 1},
      {131ull * 1000000000, 1000000000, 44100, 131ull * 44100},
      // A day at the largest rate a Vorbis header can state: ticks x rate alone overflows.
      {86400ull * 1000000000, 1000000000, 0xFFFFFFFFu, 86400ull * 0xFFFFFFFFull},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(audio::frames_due(c.ticks, c.per_second, c.rate), c.due) << c.ticks;
  }
}

TEST(StayingInStep, TheLeadIsTheLowestLagSeenWithinOneDeviceBuffer) {
  struct Case {
    int64_t lead;
    uint64_t position, due;
    int64_t after;
  };
  const Case cases[] = {
      {0, 1000, 1000, 0},          {0, 900, 1000, 0},  // behind (a late callback) teaches no lead
      {0, 3640, 1000, -2640},                          // ahead: a server holding 2640 frames
      {-2640, 3000, 1000, -2640},                      // less ahead than before: keeps the lowest
      {-2640, 10000, 1000, -4096},                     // a burst runs further ahead: capped
  };
  for (const Case& c : cases) {
    EXPECT_EQ(audio::lead_after(c.lead, c.position, c.due), c.after) << c.position;
  }
}

TEST(StayingInStep, SkipsOnlyWhenTheLagExceedsTheLeadByMoreThanTheMargin) {
  constexpr uint32_t m = audio::kStepMarginFrames;
  struct Case {
    uint64_t position, due;
    int64_t lead;
    uint64_t skip;
  };
  const Case cases[] = {
      {100000, 100000, 0, 0},
      {100000, 100000 + m, 0, 0},          // at the margin: a late callback, not a gap
      {100000, 100000 + m + 1, 0, m + 1},  // past it: back to the clock
      {100000, 100000 + m - 2640, -2640, 0},
      {100000, 100000 + m - 2639, -2640, m + 1},  // back to the device's own lead
      {200000, 100000, 0, 0},                     // ahead of the clock: never moved back
      {0, 441000, 0, 441000},                     // 10 s stopped, or a first callback that late
  };
  for (const Case& c : cases) {
    EXPECT_EQ(audio::frames_to_skip(c.position, c.due, c.lead, m), c.skip)
        << c.position << " " << c.due;
  }
}

// The callback's step keeping with the block: a skip moves position and cursor together,
// lands in the half the refill has ready, counts, and wakes the refill when the half changes.
TEST(StayingInStep, ASkipPlaysOnFromTheBlockWhereTheClockIs) {
  auto block = std::make_unique<LoopingBlock>();
  stamp(block.get(), 1.0f);
  LoopPlayer player{block.get(), 0, {0}, {0}, {}};
  ASSERT_TRUE(platform::make_wakeup(&player.half_started));
  publish_around(block.get(), 0);
  std::vector<float> out(2 * 1000);
  audio::keep_in_step(&player, 0);
  play_from_loop(&player, out.data(), 1000);
  EXPECT_EQ(player.first_lag.load(), 0);
  // The server ran dry for 6000 frames: the clock says 7000, the position is 1000.
  audio::keep_in_step(&player, 7000);
  EXPECT_EQ(player.played.load(), 7000u);
  EXPECT_EQ(player.cursor, 7000u);
  play_from_loop(&player, out.data(), 1000);
  EXPECT_EQ(out[0], 7000.0f + 1.0f);
  EXPECT_EQ(player.frames_skipped.load(), 6000u);
  EXPECT_EQ(player.underruns.load(), 1u);
  EXPECT_EQ(player.first_lag.load(), 0) << "only the first callback's lag is kept";
  // Within the margin nothing moves.
  audio::keep_in_step(&player, 8000 + audio::kStepMarginFrames);
  EXPECT_EQ(player.played.load(), 8000u);
  // A stop of 10 s: the position lands in a half the refill has not filled (silence, no
  // stale half counted), and the refill is woken to catch up.
  platform::wait_for_wakeup(player.half_started, 0);
  audio::keep_in_step(&player, 8000 + 441000);
  EXPECT_EQ(player.played.load(), 449000u);
  EXPECT_EQ(player.cursor, 449000u % kLoopFrames);
  EXPECT_EQ(player.underruns.load(), 2u);
  const auto start = std::chrono::steady_clock::now();
  platform::wait_for_wakeup(player.half_started, 500);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250));
  play_from_loop(&player, out.data(), 1000);
  for (uint32_t i = 0; i < 1000; ++i) ASSERT_EQ(out[2 * i], 0.0f) << i;
  EXPECT_EQ(player.stale_halves.load(), 0u);
}

class LoopingOutputTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(tmp_.ok()); }
  void TearDown() override {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);  // closes the device before its block goes away
  }
  testdir::TempDir tmp_{"quorl-audio-device"};
  const std::string& dir_ = tmp_.path();
};

// Without a refill, the device plays the block once from the resume; every later half holds
// music of a previous pass, so it plays as silence and counts as stale.
TEST_F(LoopingOutputTest, DiskDevicePlaysTheBlockFromTheResumeThenSilenceForStaleHalves) {
  const std::string raw = dir_ + "/out.raw";
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", raw.c_str(), 1);
  setenv("SDL_DISKAUDIODELAY", "2", 1);  // fast, but not a busy loop while paused
  auto block = std::make_unique<LoopingBlock>();
  stamp(block.get(), 1.0f);  // no zero sample anywhere in the block
  block->holds[1].store(1);
  ASSERT_TRUE(platform::open_looping_output(block.get(), 44100));

  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(platform::looping_output_position(), 0u) << "a fresh device must be paused";

  platform::resume_looping_output();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (platform::looping_output_position() < 3 * kLoopFrames &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  SDL_QuitSubSystem(SDL_INIT_AUDIO);  // flushes and closes the file
  const uint64_t played = platform::looping_output_position();
  ASSERT_GE(played, 3u * kLoopFrames);

  std::ifstream in(raw, std::ios::binary | std::ios::ate);
  const auto bytes = static_cast<size_t>(in.tellg());
  std::vector<float> out(bytes / sizeof(float));
  in.seekg(0);
  in.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(bytes));
  // While paused the device writes whole buffers of silence; the block follows from its
  // frame 0 at the resume.
  size_t start = 0;
  while (start < out.size() && out[start] == 0.0f) ++start;
  ASSERT_EQ(start % (2 * audio::kDeviceFrames), 0u) << "silence is not whole device buffers";
  const size_t frames = (out.size() - start) / 2;
  ASSERT_EQ(frames, played);
  for (size_t i = 0; i < frames; ++i) {
    const float expect = i < kLoopFrames ? static_cast<float>(i) + 1.0f : 0.0f;
    ASSERT_EQ(out[start + 2 * i], expect) << i;
    ASSERT_EQ(out[start + 2 * i + 1], -expect) << i;
  }
  EXPECT_EQ(platform::looping_output_stale_halves(), (played + 16383) / 16384 - 2);
}

TEST_F(LoopingOutputTest, WithoutADeviceTheShowRunsSilentlyAtPositionZero) {
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  auto block = std::make_unique<LoopingBlock>();
  EXPECT_FALSE(platform::open_looping_output(block.get(), 44100));
  platform::resume_looping_output();  // harmless
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(platform::looping_output_position(), 0u);
}

}  // namespace
