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

using platform::kLoopFrames;
using platform::LoopingBlock;
using platform::LoopPlayer;

// Frame f of the block holds (f + tag, -(f + tag)).
void stamp(LoopingBlock* block, float tag) {
  for (uint32_t f = 0; f < kLoopFrames; ++f) {
    block->samples[2 * f] = static_cast<float>(f) + tag;
    block->samples[2 * f + 1] = -(static_cast<float>(f) + tag);
  }
}

TEST(LoopPlayback, WrapsAt32768FramesAndCountsAcrossRepetitions) {
  auto block = std::make_unique<LoopingBlock>();
  stamp(block.get(), 0.0f);
  LoopPlayer player{block.get(), 0, {0}};
  std::vector<float> out(2 * 1000);
  uint64_t handed = 0;
  // 1000 does not divide 32768, so some calls straddle the end of the block.
  for (int call = 0; call < 70; ++call) {
    if (call == 40) stamp(block.get(), 0.5f);  // read afresh on the next repetition
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

TEST_F(LoopingOutputTest, DiskDevicePlaysTheBlockInALoopFromTheResume) {
  const std::string raw = dir_ + "/out.raw";
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", raw.c_str(), 1);
  setenv("SDL_DISKAUDIODELAY", "2", 1);  // fast, but not a busy loop while paused
  auto block = std::make_unique<LoopingBlock>();
  stamp(block.get(), 1.0f);  // no zero sample anywhere in the block
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
  ASSERT_EQ(start % (2 * 1024), 0u) << "silence is not whole 1024-frame device buffers";
  const size_t frames = (out.size() - start) / 2;
  ASSERT_EQ(frames, played);
  for (size_t i = 0; i < frames; ++i) {
    const float expect = static_cast<float>(i % kLoopFrames) + 1.0f;
    ASSERT_EQ(out[start + 2 * i], expect) << i;
    ASSERT_EQ(out[start + 2 * i + 1], -expect) << i;
  }
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
