#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <fstream>
#include <iterator>

#include "app/seek.h"
#include "args.h"
#include "audio/music.h"
#include "audio/vorbis_decoder.h"
#include "soundtrack.h"
#include "test_vorbis.h"

namespace {

bool parse(std::vector<std::string> args, capture::Options* o, std::string* error = nullptr) {
  std::string e;
  return capture::parse_args(args, o, error ? error : &e);
}

TEST(CaptureArgs, EachModeWithDefaults) {
  capture::Options o;
  ASSERT_TRUE(parse({"--video", "show.mp4"}, &o));
  EXPECT_EQ(o.mode, capture::Mode::kVideo);
  EXPECT_EQ(o.width, 1920);
  EXPECT_EQ(o.height, 1080);
  EXPECT_EQ(o.fps, 60);
  ASSERT_TRUE(parse(
      {"--size", "320x240", "--fps", "25", "--frames", "out", "--from", "2.5", "--to", "4"}, &o));
  EXPECT_EQ(o.mode, capture::Mode::kFrames);
  EXPECT_EQ(o.width, 320);
  EXPECT_EQ(o.height, 240);
  EXPECT_EQ(o.fps, 25);
  EXPECT_EQ(o.frames_dir, "out");
  EXPECT_DOUBLE_EQ(o.from, 2.5);
  EXPECT_DOUBLE_EQ(o.to, 4.0);
  ASSERT_TRUE(parse({"--at", "1,2.5,130", "--out", "dir"}, &o));
  EXPECT_EQ(o.at, (std::vector<double>{1.0, 2.5, 130.0}));
  EXPECT_EQ(o.out_dir, "dir");
  ASSERT_TRUE(parse({"--sheet", "s.png"}, &o));
  EXPECT_EQ(o.sheet, "s.png");
  ASSERT_TRUE(parse({"--video", "x.mkv"}, &o));
}

TEST(CaptureArgs, BadInputIsRefusedWithAReason) {
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"--video"},
      {"--video", "show.avi"},
      {"--size", "320", "--sheet", "s.png"},
      {"--size", "321x240", "--sheet", "s.png"},
      {"--size", "0x0", "--sheet", "s.png"},
      {"--fps", "0", "--sheet", "s.png"},
      {"--fps", "sixty", "--sheet", "s.png"},
      {"--at", "1,,2", "--out", "d"},
      {"--at", "-1", "--out", "d"},
      {"--at", "1"},
      {"--sheet", "a.png", "--video", "b.mp4"},
      {"--from", "3", "--sheet", "s.png"},
      {"--frames", "d", "--from", "5", "--to", "4"},
      {"--sheet", "s.png", "--out", "d"},
      {"--bogus", "1"},
      {"stray"},
  };
  for (const auto& args : bad) {
    capture::Options o;
    std::string error;
    EXPECT_FALSE(parse(args, &o, &error)) << ::testing::PrintToString(args);
    EXPECT_FALSE(error.empty());
  }
}

TEST(CaptureClock, FrameCountsFollowTheShowsEnd) {
  // At 60 fps frame 7860 is t = 131 exactly (not past it); 7861 posts the quit; one more.
  EXPECT_EQ(app::show_frames(60), 7863);
  EXPECT_EQ(app::show_frames(10), 1313);
  EXPECT_EQ(app::frame_at_or_after(0.0, 60), 0);
  EXPECT_EQ(app::frame_at_or_after(1.0, 60), 60);
  EXPECT_EQ(app::frame_at_or_after(1.001, 60), 61);
  EXPECT_EQ(app::frame_at_or_after(0.1, 30), 3);  // 3/30 == 0.1 in double
}

// A decoder yielding frames of 1000 samples counting up from 1, `frames` of them.
struct CountingDecoder {
  int frames_left;
  float left[1000], right[1000];
  float* channels[2] = {left, right};
  float next = 1.0f;
};
int decode_counting(void* d, float*** channels) {
  auto* c = static_cast<CountingDecoder*>(d);
  if (c->frames_left-- <= 0) return 0;
  for (int i = 0; i < 1000; ++i) {
    c->left[i] = c->next;
    c->right[i] = -c->next;
    c->next += 1.0f;
  }
  *channels = c->channels;
  return 1000;
}

TEST(CaptureSoundtrack, LeadInThenTheDecodedStreamWithExactFrameCounts) {
  CountingDecoder decoder{60, {}, {}};  // 60000 samples of music
  capture::Soundtrack track({&decode_counting, &decoder, 1}, 44100, 60);
  std::vector<float> all;
  size_t per_frame_total = 0;
  for (int k = 0; k < 120; ++k) {  // two seconds of video
    const std::vector<float>& chunk = track.next_video_frame();
    EXPECT_EQ(chunk.size(), 2u * 735);  // 44100 / 60 exactly
    per_frame_total += chunk.size() / 2;
    all.insert(all.end(), chunk.begin(), chunk.end());
  }
  EXPECT_EQ(per_frame_total, 88200u);
  for (size_t i = 0; i < 16384 * 2; ++i) ASSERT_EQ(all[i], 0.0f) << "lead-in frame " << i / 2;
  for (size_t f = 16384; f < 16384 + 60000; ++f) {
    const float expected = static_cast<float>(f - 16384 + 1);
    ASSERT_EQ(all[2 * f], expected) << "frame " << f;
    ASSERT_EQ(all[2 * f + 1], -expected);
  }
  for (size_t f = 16384 + 60000; f < 88200; ++f) ASSERT_EQ(all[2 * f], 0.0f);
}

TEST(CaptureSoundtrack, CarriesTheFractionOfRateOverFps) {
  CountingDecoder decoder{0, {}, {}};
  capture::Soundtrack track({&decode_counting, &decoder, 1}, 44100, 7);  // 6300 per frame
  capture::Soundtrack odd({&decode_counting, &decoder, 1}, 22050, 32);   // 689.0625 per frame
  size_t total = 0;
  for (int k = 0; k < 32; ++k) total += odd.next_video_frame().size() / 2;
  EXPECT_EQ(total, 22050u);
  EXPECT_EQ(track.next_video_frame().size(), 2u * 6300);
}

TEST(CaptureSoundtrack, ShippedMusicIsLibvorbisfilesDecodeAfterTheLeadIn) {
  const std::string path = std::string(QUORL_SOURCE_DIR "/data/") + audio::kMusicPath;
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                   std::istreambuf_iterator<char>()};
  audio::VorbisStream* v = audio::open_vorbis(bytes.data(), bytes.size());
  ASSERT_NE(v, nullptr);
  std::vector<float> all;
  {
    capture::Soundtrack track(audio::vorbis_source(v), audio::vorbis_rate(v), 30);
    for (int k = 0; k < 30 * 8; ++k) {  // eight seconds of video
      const std::vector<float>& chunk = track.next_video_frame();
      all.insert(all.end(), chunk.begin(), chunk.end());
    }
  }
  audio::close_vorbis(v);
  const std::vector<float> ref = reference_vorbis_decode(path);
  ASSERT_EQ(all.size(), 2u * 44100 * 8);
  ASSERT_GT(ref.size(), all.size());
  const size_t lead_in = 2 * 16384;
  for (size_t i = 0; i < lead_in; ++i) ASSERT_EQ(all[i], 0.0f) << "lead-in sample " << i;
  for (size_t i = lead_in; i < all.size(); ++i) {
    ASSERT_EQ(all[i], ref[i - lead_in]) << "music sample " << i - lead_in;
  }
}

}  // namespace
