#include <gtest/gtest.h>

#include <SDL.h>
#include <unistd.h>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "audio/music.h"
#include "audio/refill.h"
#include "platform/audio_device.h"
#include "temp_dir.h"
#include "test_vorbis.h"

namespace {

// Runs each test in a fresh directory laid out like data/ (music/ inside it).
class MusicTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(cwd_.ok()); }
  void TearDown() override { SDL_QuitSubSystem(SDL_INIT_AUDIO); }
  void write_music(const std::string& bytes) {
    ASSERT_EQ(std::system("mkdir -p music"), 0);
    std::ofstream(audio::kMusicPath, std::ios::binary) << bytes;
  }
  bool make_vorbis(int channels, int rate, const char* seconds) {
    return std::system("mkdir -p music") == 0 &&
           make_test_vorbis(audio::kMusicPath, channels, rate, seconds);
  }
  testdir::TempDir tmp_{"quorl-music"};
  const std::string& dir_ = tmp_.path();
  testdir::WorkingDir cwd_{dir_};
};

TEST_F(MusicTest, MissingFileFails) {
  EXPECT_FALSE(audio::open_music());
  EXPECT_EQ(audio::music_stats().rate, 0u);
}

TEST_F(MusicTest, FilesThatAreNotOggVorbisFail) {
  write_music("");
  EXPECT_FALSE(audio::open_music());
  write_music("RIFF\x24\0\0\0WAVEfmt this is no vorbis stream at all");
  EXPECT_FALSE(audio::open_music());
  // A real Ogg page header in front of garbage is still no Vorbis stream.
  write_music(std::string("OggS\0\x02", 6) + std::string(200, '\x5a'));
  EXPECT_FALSE(audio::open_music());
}

// Opens the music on SDL's disk device, plays it for a while, and checks the file: silence
// while paused (whole device buffers), 16384 frames of silence after the resume, then the
// decode bit for bit, then silence.
void play_and_compare(uint32_t rate, uint64_t frames_to_play) {
  int channels = 0;
  const std::vector<float> ref = reference_vorbis_decode(audio::kMusicPath, &channels);
  ASSERT_GT(ref.size(), 2u * 44100);
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", "out.raw", 1);
  unsetenv("SDL_DISKAUDIODELAY");  // real time: the refill thread polls at real time too
  ASSERT_TRUE(audio::open_music());
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  audio::resume_output();
  // Generous: a slow machine writes the same file, only later.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (platform::looping_output_position() < frames_to_play &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const audio::MusicStats stats = audio::music_stats();
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
  const uint64_t played = platform::looping_output_position();
  ASSERT_GE(played, frames_to_play);
  EXPECT_GE(stats.played_frames, frames_to_play);
  EXPECT_EQ(stats.rate, rate);
  // A late refill would show as silence below; the counter says why.
  EXPECT_EQ(stats.stale_halves, 0u);
  EXPECT_EQ(stats.halves_caught_up, 0u);

  std::ifstream in("out.raw", std::ios::binary | std::ios::ate);
  const auto bytes = static_cast<size_t>(in.tellg());
  std::vector<float> out(bytes / sizeof(float));
  in.seekg(0);
  in.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(bytes));
  ASSERT_EQ(out.size() % 2, 0u);

  size_t out_first = 0, ref_first = 0;
  while (out_first < out.size() && out[out_first] == 0.0f) ++out_first;
  while (ref_first < ref.size() && ref[ref_first] == 0.0f) ++ref_first;
  ASSERT_LT(out_first, out.size()) << "no sound was written";
  ASSERT_EQ(out_first % 2, ref_first % 2);
  const size_t music_start = (out_first - ref_first) / 2;  // in frames
  ASSERT_GE(music_start, audio::kHalfFrames);
  EXPECT_EQ((music_start - audio::kHalfFrames) % audio::kDeviceFrames, 0u)
      << "the lead-in after the resume is not exactly 16384 frames";
  for (size_t i = 2 * music_start; i < out.size(); ++i) {
    const size_t r = i - 2 * music_start;
    const float expect = r < ref.size() ? ref[r] : 0.0f;
    ASSERT_EQ(out[i], expect) << "sample " << r << " of the music (channel " << r % 2 << ")";
  }
}

TEST_F(MusicTest, PlaysTheDecodeBitExactAfterTheLeadIn) {
  // ffmpeg is installed by setup.sh: a missing one is a failure, not a skip.
  ASSERT_TRUE(make_vorbis(2, 48000, "3")) << "ffmpeg could not make a Vorbis file";
  play_and_compare(48000, audio::kHalfFrames + 48000 + 30000);
}

TEST_F(MusicTest, OneChannelStreamPlaysOnBothSides) {
  ASSERT_TRUE(make_vorbis(1, 44100, "2")) << "ffmpeg could not make a Vorbis file";
  play_and_compare(44100, audio::kHalfFrames + 44100);
}

}  // namespace
