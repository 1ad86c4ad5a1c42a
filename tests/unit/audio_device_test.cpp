#include <gtest/gtest.h>

#include <SDL.h>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <utility>
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

// A sound server by the clock, in frames: it plays one frame per frame of time from what it
// holds (silence when it holds nothing) and asks for the next buffer when it holds `ask_at`
// frames; the callback answers `late` frames after the request, and hands the server the
// 4096 frames at the position after step_skip's skip. It starts as a device does at the
// clock's start: holding `ask_at` frames of silence from before the resume.
struct ServerModel {
  explicit ServerModel(int64_t ask_at) { held.push_back({-ask_at, ask_at}); }

  int64_t held_frames() const {
    int64_t n = 0;
    for (const auto& run : held) n += run.second;
    return n;
  }
  void play(int64_t frames) {
    now += frames;
    while (frames > 0 && !held.empty()) {
      const int64_t n = std::min(frames, held.front().second);
      held.front().first += n;
      held.front().second -= n;
      frames -= n;
      if (held.front().second == 0) held.pop_front();
    }
    silence += frames;
  }
  // One request and its callback. Returns how far the music heard right after it is behind
  // the clock: in step that stays what the server held at the start.
  int64_t callback(int64_t ask_at, int64_t late) {
    if (held_frames() > ask_at) play(held_frames() - ask_at);
    play(late);
    const uint64_t skip = audio::step_skip(&watch, now - position);
    position += static_cast<int64_t>(skip);
    skipped += skip;
    skips += skip > 0;
    held.push_back({position, audio::kDeviceFrames});
    position += audio::kDeviceFrames;
    return now - held.front().first;
  }

  std::deque<std::pair<int64_t, int64_t>> held;  // runs of music frames: first, count
  int64_t now = 0;                               // frames since the clock's start
  int64_t position = 0;
  int64_t silence = 0;
  uint64_t skipped = 0, skips = 0;
  audio::StepWatch watch;
};

// Lateness of an ordinary callback on a busy machine: 0 to 300 frames, now and then 1300.
int64_t jitter(uint32_t k) { return k % 13 == 5 ? 1300 : (k * 7919) % 301; }

// Servers that never run dry: late callbacks they play through, a level that drifts as
// PulseAudio's does, a server that comes to hold more. Nothing may be skipped.
TEST(StayingInStep, ALateCallbackOrADriftingLevelIsNoSkip) {
  for (const int64_t ask_at : {int64_t{90}, int64_t{1500}, int64_t{3000}}) {
    ServerModel server(ask_at);
    for (uint32_t k = 0; k < 400; ++k) {
      // PulseAudio: the level sinks by 40 frames a window, then jumps back by 520.
      const int64_t drift = ask_at >= 1500 ? 65 * static_cast<int64_t>(k % 104) / 8 : 0;
      const int64_t late = std::min<int64_t>(jitter(k), ask_at + drift);
      ASSERT_EQ(server.callback(ask_at + drift, k == 0 ? 0 : late), ask_at) << ask_at << " " << k;
    }
    EXPECT_EQ(server.skipped, 0u) << ask_at;
    EXPECT_EQ(server.silence, 0) << ask_at;
  }
  ServerModel server(1000);
  for (uint32_t k = 0; k < 200; ++k) server.callback(k < 50 ? 1000 : 3000, 0);
  EXPECT_EQ(server.skipped, 0u) << "a server that holds more from then on is no dropout";
}

// The server runs dry for `gap` frames (one callback that late) amid ordinary lateness: the
// music falls behind by the silence and must be back where the clock says within a window,
// neither behind nor ahead by more than the tolerance, and stay there.
void expect_back_in_step(int64_t ask_at, int64_t gap) {
  SCOPED_TRACE(::testing::Message() << "server asks at " << ask_at << ", dry for " << gap);
  ServerModel server(ask_at);
  constexpr uint32_t kGapAt = 40;
  for (uint32_t k = 0; k < 120; ++k) {
    const int64_t late = k == 0 ? 0 : k == kGapAt ? ask_at + gap : std::min(jitter(k), ask_at);
    const int64_t behind = server.callback(ask_at, late) - ask_at;
    if (k < kGapAt) {
      ASSERT_EQ(behind, 0) << k;
    } else if (k > kGapAt + audio::kStepWindow + 1) {
      ASSERT_LE(std::abs(behind), audio::kStepToleranceFrames) << "callback " << k;
    }
  }
  EXPECT_EQ(server.silence, gap);
  const int64_t behind_at_end = server.now - server.held.front().first - ask_at;
  EXPECT_LE(behind_at_end, 301) << "no further than one callback's ordinary lateness";
  EXPECT_GE(behind_at_end, -301) << "a skip overshot: the music runs ahead of the picture";
  EXPECT_LE(server.skips, 2u);
}

TEST(StayingInStep, AfterTheServerRanDryTheMusicIsBackWhereTheClockSays) {
  for (const int64_t ask_at : {int64_t{90}, int64_t{2600}, int64_t{4000}}) {
    expect_back_in_step(ask_at, 2330);        // the dropout a loaded PulseAudio gave
    expect_back_in_step(ask_at, 6000);        // past the margin: most at once, then the rest
    expect_back_in_step(ask_at, 10 * 44100);  // a suspend of 10 s
  }
}

// After a dropout a server may ask for more than usual, once, to fill up again: those
// callbacks run ahead of the level for a moment, which is no new lead.
TEST(StayingInStep, TheBurstAfterADropoutTeachesNoLead) {
  ServerModel server(3000);
  for (uint32_t k = 0; k < 120; ++k) {
    const int64_t ask_at = k == 31 || k == 32 ? 3000 + 2 * audio::kDeviceFrames : 3000;
    const int64_t behind = server.callback(ask_at, k == 30 ? 3000 + 3000 : 0) - 3000;
    ASSERT_GE(behind, 0) << "the music ran ahead of the picture at callback " << k;
  }
  EXPECT_EQ(server.silence, 3000);
  EXPECT_EQ(server.skipped, 3000u);
  EXPECT_EQ(server.now - server.held.front().first, 3000) << "back in step";
}

TEST(StayingInStep, ARequestAfterTheClockStartedWithoutItIsSkippedWhole) {
  audio::StepWatch watch;
  EXPECT_EQ(audio::step_skip(&watch, 22050), 22050u);  // came 0.5 s after the wait gave up
  audio::StepWatch in_time;
  EXPECT_EQ(audio::step_skip(&in_time, 0), 0u);  // the clock started at the request itself
  EXPECT_EQ(audio::step_skip(&in_time, 3000), 0u) << "one late callback is no skip";
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
  // A stop: the clock says 7000 + the margin, the position is 1000; all but the margin is
  // skipped at once.
  audio::keep_in_step(&player, 7000 + audio::kStepMarginFrames);
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
  EXPECT_EQ(player.underruns.load(), 1u);
  // A stop of 10 s: the position lands in a half the refill has not filled (silence, no
  // stale half counted), and the refill is woken to catch up.
  platform::wait_for_wakeup(player.half_started, 0);
  audio::keep_in_step(&player, 8000 + 441000 + audio::kStepMarginFrames);
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
