#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "audio/refill.h"

namespace {

using audio::kHalfFrames;
using audio::LoopingBlock;

// A scripted decoder: frames of the given lengths, then 0 forever. Sample k of the whole
// stream is k + 1 on channel 0 and -(k + 1) on channel 1 (exact in float below 2^24), so
// every copied slot tells which sample it came from.
struct FakeDecoder {
  explicit FakeDecoder(std::vector<int> lengths, int channel_count = 2)
      : lengths_(std::move(lengths)), channel_count_(channel_count) {}

  static int decode(void* self, float*** channels) {
    return static_cast<FakeDecoder*>(self)->next(channels);
  }
  audio::FrameSource source(int right_channel = 1) { return {&decode, this, right_channel}; }

  int next(float*** channels) {
    ++calls;
    if (frame_ >= lengths_.size()) return 0;
    const int n = lengths_[frame_++];
    for (int c = 0; c < 3; ++c) samples_[c].assign(n, 0.0f);
    for (int i = 0; i < n; ++i) {
      samples_[0][i] = static_cast<float>(emitted_ + i + 1);
      samples_[1][i] = channel_count_ > 1 ? -static_cast<float>(emitted_ + i + 1) : 999.0f;
      samples_[2][i] = 555.0f;
    }
    emitted_ += n;
    for (int c = 0; c < 3; ++c) pointers_[c] = samples_[c].data();
    *channels = pointers_;
    return n;
  }

  int calls = 0;

 private:
  std::vector<int> lengths_;
  int channel_count_;
  size_t frame_ = 0;
  int emitted_ = 0;
  std::vector<float> samples_[3];
  float* pointers_[3] = {};
};

std::unique_ptr<LoopingBlock> make_block(float fill) {
  auto block = std::make_unique<LoopingBlock>();
  for (float& s : block->samples) s = fill;
  return block;
}

float left(const LoopingBlock& b, uint32_t frame) { return b.samples[2 * frame]; }
float right(const LoopingBlock& b, uint32_t frame) { return b.samples[2 * frame + 1]; }

TEST(RefillRules, PlayingHalfIsBit14OfThePosition) {
  EXPECT_EQ(audio::playing_half(0), 0u);
  EXPECT_EQ(audio::playing_half(16383), 0u);
  EXPECT_EQ(audio::playing_half(16384), 1u);
  EXPECT_EQ(audio::playing_half(32767), 1u);
  EXPECT_EQ(audio::playing_half(32768), 0u);
  // Counts across many repetitions without overflowing into a wrong half.
  EXPECT_EQ(audio::playing_half((uint64_t{1} << 40) + 16384), 1u);
  EXPECT_EQ(audio::playing_half((uint64_t{1} << 40) + 16383), 0u);
}

TEST(RefillRules, PollPeriodIsEightThousandOneHundredNinetyTwoFramesInWholeMs) {
  EXPECT_EQ(audio::poll_period_ms(44100), 185u);
  EXPECT_EQ(audio::poll_period_ms(22050), 371u);
  EXPECT_EQ(audio::poll_period_ms(48000), 170u);
}

TEST(Refill, FirstPollFillsHalfOneAtOnceAndLeavesHalfZeroSilent) {
  FakeDecoder decoder({4096, 4096, 4096, 4096, 4096, 4096});
  auto block = std::make_unique<LoopingBlock>();  // zeroed, as the output allocates it
  audio::RefillState state;
  EXPECT_EQ(audio::refill_poll(&state, decoder.source(), 0, block.get()), 1);
  EXPECT_EQ(state.next_half, 2u);
  EXPECT_EQ(block->holds[1].load(), 1u);  // published for run half 1
  EXPECT_EQ(block->holds[0].load(), 0u);  // the lead-in: silence, as allocated
  for (uint32_t f = 0; f < kHalfFrames; ++f) {
    ASSERT_EQ(left(*block, f), 0.0f) << f;
    ASSERT_EQ(right(*block, f), 0.0f) << f;
    ASSERT_EQ(left(*block, kHalfFrames + f), static_cast<float>(f + 1)) << f;
    ASSERT_EQ(right(*block, kHalfFrames + f), -static_cast<float>(f + 1)) << f;
  }
  EXPECT_EQ(decoder.calls, 4);

  // Still paused: further polls at position 0 write nothing.
  EXPECT_EQ(audio::refill_poll(&state, decoder.source(), 0, block.get()), -1);
  EXPECT_EQ(audio::refill_poll(&state, decoder.source(), 16383, block.get()), -1);
  EXPECT_EQ(decoder.calls, 4);
  EXPECT_EQ(block->holds[1].load(), 1u);
  EXPECT_EQ(left(*block, 0), 0.0f);
}

TEST(Refill, HalvesAlternateAndTheMusicRunsOnWithoutGapsOrRepeats) {
  FakeDecoder decoder(std::vector<int>(200, 1000));
  auto block = make_block(0.0f);
  audio::RefillState state;
  const uint64_t positions[] = {0, 9000, 16384, 20000, 32768, 50000};
  const int expected_half[] = {1, -1, 0, -1, 1, 0};
  // Each refill continues the stream where the previous one stopped.
  uint32_t next_sample = 1;
  for (int i = 0; i < 6; ++i) {
    const int half = audio::refill_poll(&state, decoder.source(), positions[i], block.get());
    ASSERT_EQ(half, expected_half[i]) << "poll " << i;
    if (half < 0) continue;
    const uint32_t base = static_cast<uint32_t>(half) * kHalfFrames;
    for (uint32_t f = 0; f < kHalfFrames; ++f, ++next_sample) {
      ASSERT_EQ(left(*block, base + f), static_cast<float>(next_sample)) << "poll " << i;
    }
  }
}

TEST(Refill, MissedHalvesAreSkippedInTheStreamSoTheMusicStaysInStep) {
  FakeDecoder decoder(std::vector<int>(300, 1000));
  auto block = make_block(0.0f);
  audio::RefillState state;
  ASSERT_EQ(audio::refill_poll(&state, decoder.source(), 0, block.get()), 1);
  // The thread slept through run halves 2 and 3: the device is 5 frames into half 3. Half 4
  // is the next it may write; the music meant for 2 and 3 is dropped, not played late.
  ASSERT_EQ(audio::refill_poll(&state, decoder.source(), 3 * kHalfFrames + 5, block.get()), 0);
  EXPECT_EQ(state.halves_caught_up.load(), 2u);
  EXPECT_EQ(block->holds[0].load(), 4u);
  for (uint32_t f = 0; f < kHalfFrames; ++f) {
    // Run half n plays decoded frames (n - 1) * 16384 onwards, after the lead-in.
    ASSERT_EQ(left(*block, f), static_cast<float>(3 * kHalfFrames + f + 1)) << f;
  }
  // Polls while half 3 plays find nothing more to do; half 4 starting asks for half 5.
  EXPECT_EQ(audio::refill_poll(&state, decoder.source(), 4 * kHalfFrames - 1, block.get()), -1);
  ASSERT_EQ(audio::refill_poll(&state, decoder.source(), 4 * kHalfFrames, block.get()), 1);
  EXPECT_EQ(block->holds[1].load(), 5u);
  EXPECT_EQ(left(*block, kHalfFrames), static_cast<float>(4 * kHalfFrames + 1));
  EXPECT_EQ(state.halves_caught_up.load(), 2u);
}

TEST(Refill, SkippingPastTheEndOfTheStreamLeavesSilence) {
  FakeDecoder decoder({5000, 5000});
  auto block = make_block(7.0f);
  audio::RefillState state;
  ASSERT_EQ(audio::refill_poll(&state, decoder.source(), 2 * kHalfFrames, block.get()), 1);
  EXPECT_EQ(state.halves_caught_up.load(), 2u);
  for (uint32_t f = 0; f < kHalfFrames; ++f) ASSERT_EQ(left(*block, kHalfFrames + f), 0.0f) << f;
}

TEST(Refill, FrameStartingAtSlot16000IsSplit384And640AcrossTwoRefills) {
  // 16000 samples fill slots 0..15999; the 1024-sample frame starts at slot 16000.
  FakeDecoder decoder({16000, 1024, 5000, 20000});
  auto block = make_block(0.0f);
  audio::RefillState state;
  ASSERT_EQ(audio::refill_poll(&state, decoder.source(), 0, block.get()), 1);
  EXPECT_EQ(state.length, 1024);
  EXPECT_EQ(state.cursor, 384);
  EXPECT_EQ(left(*block, kHalfFrames + 15999), 16000.0f);
  EXPECT_EQ(left(*block, kHalfFrames + 16000), 16001.0f);  // sample 0 of the frame
  EXPECT_EQ(left(*block, kHalfFrames + 16383), 16384.0f);  // sample 383
  const int calls_after_first = decoder.calls;

  ASSERT_EQ(audio::refill_poll(&state, decoder.source(), 16384, block.get()), 0);
  // The remaining 640 samples open the next refill without decoding again.
  EXPECT_EQ(left(*block, 0), 16385.0f);    // sample 384 of the frame
  EXPECT_EQ(left(*block, 639), 17024.0f);  // sample 1023
  EXPECT_EQ(right(*block, 639), -17024.0f);
  EXPECT_EQ(left(*block, 640), 17025.0f);           // sample 0 of the next frame
  EXPECT_EQ(decoder.calls, calls_after_first + 2);  // the 5000 frame, then the 20000 one
}

TEST(Refill, AfterTheLastFrameEverySlotIsSilence) {
  FakeDecoder decoder({100, 50});
  auto block = make_block(7.0f);  // not silence, so every silent slot must be written
  audio::RefillState state;
  ASSERT_EQ(audio::refill_poll(&state, decoder.source(), 0, block.get()), 1);
  for (uint32_t f = 0; f < 150; ++f) ASSERT_EQ(left(*block, kHalfFrames + f), f + 1.0f);
  for (uint32_t f = 150; f < kHalfFrames; ++f) {
    ASSERT_EQ(left(*block, kHalfFrames + f), 0.0f) << f;
    ASSERT_EQ(right(*block, kHalfFrames + f), 0.0f) << f;
  }
  // Later refills of both halves stay silent; the music is not repeated.
  ASSERT_EQ(audio::refill_poll(&state, decoder.source(), 16384, block.get()), 0);
  ASSERT_EQ(audio::refill_poll(&state, decoder.source(), 32768, block.get()), 1);
  for (float s : block->samples) ASSERT_EQ(s, 0.0f);
  // Two real frames, then every silent slot (150..16383, then two whole halves) asks the
  // decoder once more.
  EXPECT_EQ(decoder.calls,
            2 + static_cast<int>(kHalfFrames - 150) + 2 * static_cast<int>(kHalfFrames));
}

TEST(Refill, OneChannelStreamFillsBothChannels) {
  FakeDecoder decoder({3000, 3000, 3000, 3000, 3000, 3000}, 1);
  auto block = make_block(0.0f);
  audio::RefillState state;
  ASSERT_EQ(audio::refill_poll(&state, decoder.source(0), 0, block.get()), 1);
  for (uint32_t f = 0; f < kHalfFrames; ++f) {
    ASSERT_EQ(left(*block, kHalfFrames + f), f + 1.0f) << f;
    ASSERT_EQ(right(*block, kHalfFrames + f), f + 1.0f) << f;
  }
}

TEST(Refill, ChannelsBeyondTheSecondAreDropped) {
  FakeDecoder decoder({20000}, 3);
  auto block = make_block(0.0f);
  audio::RefillState state;
  ASSERT_EQ(audio::refill_poll(&state, decoder.source(), 0, block.get()), 1);
  for (uint32_t f = 0; f < kHalfFrames; ++f) {
    ASSERT_EQ(left(*block, kHalfFrames + f), f + 1.0f);
    ASSERT_EQ(right(*block, kHalfFrames + f), -(f + 1.0f));
  }
}

bool refuse_thread(platform::ThreadMain, void*) { return false; }

TEST(RefillThread, ACreationTheSystemRefusesIsReportedNotThrown) {
  FakeDecoder decoder({1000});
  audio::RefillJob job;
  job.source = decoder.source();
  EXPECT_FALSE(audio::start_refill_thread(&job, &refuse_thread));
  EXPECT_EQ(decoder.calls, 0);
}

}  // namespace
