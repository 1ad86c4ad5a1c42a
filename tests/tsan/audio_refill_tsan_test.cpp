// The real refill thread against a fake device, built with -fsanitize=thread: the fake
// device thread plays the looping block through the real callback body at 44100 frames a
// second while the refill thread polls its position and rewrites the halves.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "audio/refill.h"
#include "platform/audio_device.h"

namespace {

constexpr uint32_t kRate = 44100;
constexpr uint32_t kDeviceFrames = 1024;

// Shared with the detached refill thread, which outlives the test: never destroyed.
audio::LoopPlayer* g_player = nullptr;

uint64_t fake_position() { return g_player->played.load(std::memory_order_acquire); }

// An endless ramp in frames of uneven length: sample k is (k mod 2^20) + 1 on both sides
// (the right one negated), so the device can check that nothing is lost or repeated.
struct RampDecoder {
  std::vector<float> left = std::vector<float>(2048);
  std::vector<float> right = std::vector<float>(2048);
  float* pointers[2] = {left.data(), right.data()};
  uint32_t next = 0;
  int frame = 0;
  static int decode(void* self, float*** channels) {
    auto* d = static_cast<RampDecoder*>(self);
    const int n = (d->frame++ % 2) ? 1024 : 1931;
    for (int i = 0; i < n; ++i, ++d->next) {
      d->left[i] = static_cast<float>(d->next % (1u << 20) + 1);
      d->right[i] = -d->left[i];
    }
    *channels = d->pointers;
    return n;
  }
};

TEST(RefillThreadUnderTsan, FakeDeviceHearsTheRampWithoutGaps) {
  auto* block = new audio::LoopingBlock();
  g_player = new audio::LoopPlayer{block, 0, {0}, {0}, {}};
  auto* decoder = new RampDecoder();
  auto* job = new audio::RefillJob();
  job->source = {&RampDecoder::decode, decoder, 1};
  job->block = block;
  job->position = &fake_position;
  job->rate = kRate;
  ASSERT_TRUE(platform::make_wakeup(&g_player->half_started));
  job->half_started = &g_player->half_started;
  ASSERT_TRUE(audio::start_refill_thread(job));

  // As in start-up: the thread's first poll happens while the device is still paused.
  while (block->holds[1].load(std::memory_order_acquire) != 1) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }

  // The fake device: hands over 1024 frames every 1024 / 44100 s, about 1.6 s in all.
  std::vector<float> heard;
  std::thread device([&] {
    std::vector<float> buffer(2 * kDeviceFrames);
    const auto start = std::chrono::steady_clock::now();
    for (uint32_t call = 0; call < 70; ++call) {
      play_from_loop(g_player, buffer.data(), kDeviceFrames);
      heard.insert(heard.end(), buffer.begin(), buffer.end());
      std::this_thread::sleep_until(
          start + std::chrono::microseconds((call + 1) * 1000000ull * kDeviceFrames / kRate));
    }
  });
  device.join();

  ASSERT_EQ(heard.size(), 2u * 70 * kDeviceFrames);
  // 70 buffers of 1024 frames: halves 0 to 4 started.
  for (uint32_t f = 0; f < audio::kHalfFrames; ++f) {
    ASSERT_EQ(heard[2 * f], 0.0f) << "lead-in frame " << f;
  }
  for (size_t f = audio::kHalfFrames; f < heard.size() / 2; ++f) {
    const float expect = static_cast<float>(f - audio::kHalfFrames + 1);
    ASSERT_EQ(heard[2 * f], expect) << "frame " << f;
    ASSERT_EQ(heard[2 * f + 1], -expect) << "frame " << f;
  }
  EXPECT_EQ(g_player->stale_halves.load(), 0u);  // the refill thread kept up
  // Run half 5 was filled once half 4 started.
  EXPECT_GE(std::max(block->holds[0].load(), block->holds[1].load()), 5u);
}

}  // namespace
