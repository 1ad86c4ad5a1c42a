// The music decoder over an in-memory file: the same samples as libvorbisfile reading the
// file itself, both sides for one channel, silence after a cut, refusal of what is not a
// playable stream.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "audio/vorbis_decoder.h"
#include "temp_dir.h"
#include "test_vorbis.h"

namespace {

std::vector<uint8_t> read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Everything the decoder yields; then it keeps answering 0, as the refill keeps asking.
std::vector<float> pull_all(audio::VorbisStream* v) {
  const audio::FrameSource source = audio::vorbis_source(v);
  std::vector<float> out = decode_all(source);
  float** ch = nullptr;
  for (int i = 0; i < 3; ++i) EXPECT_EQ(source.decode(source.decoder, &ch), 0);
  return out;
}

// The Ogg page CRC (polynomial 0x04C11DB7, not reflected), for patching a header field.
void fix_page_crc(std::vector<uint8_t>& bytes, size_t page, size_t page_length) {
  for (int i = 22; i < 26; ++i) bytes[page + i] = 0;
  uint32_t crc = 0;
  for (size_t i = page; i < page + page_length; ++i) {
    crc ^= uint32_t(bytes[i]) << 24;
    for (int b = 0; b < 8; ++b) crc = crc & 0x80000000u ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
  }
  for (int i = 0; i < 4; ++i) bytes[page + 22 + i] = uint8_t(crc >> (8 * i));
}

// The file with the identification header's sample rate replaced (first page, CRC fixed).
std::vector<uint8_t> with_rate(std::vector<uint8_t> bytes, uint32_t rate) {
  const uint8_t segments = bytes[26];
  size_t length = 27 + segments;
  for (int i = 0; i < segments; ++i) length += bytes[27 + i];
  const size_t at = 27 + segments + 7 + 4 + 1;  // "\1vorbis", version, channels
  for (int i = 0; i < 4; ++i) bytes[at + i] = uint8_t(rate >> (8 * i));
  fix_page_crc(bytes, 0, length);
  return bytes;
}

class VorbisDecoderTest : public ::testing::Test {
 protected:
  // Makes the file, or skips the test when ffmpeg is missing.
  std::vector<uint8_t> make(int channels, int rate, const char* seconds) {
    if (!make_test_vorbis(path_, channels, rate, seconds)) return {};
    return read_file(path_);
  }
  testdir::TempDir tmp_{"quorl-vorbis"};
  std::string path_ = tmp_ / "music.ogg";
};

TEST_F(VorbisDecoderTest, StereoAndMonoDecodeAsLibvorbisfileReadingTheFile) {
  for (int channels : {2, 1}) {
    const int rate = channels == 2 ? 48000 : 22050;
    const std::vector<uint8_t> bytes = make(channels, rate, "1.5");
    if (bytes.empty()) GTEST_SKIP() << "ffmpeg is needed to make a Vorbis file";
    audio::VorbisStream* v = audio::open_vorbis(bytes.data(), bytes.size());
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(audio::vorbis_rate(v), uint32_t(rate));
    EXPECT_EQ(audio::vorbis_channels(v), channels);
    const std::vector<float> got = pull_all(v);
    audio::close_vorbis(v);
    const std::vector<float> want = reference_vorbis_decode(path_);
    ASSERT_GE(want.size(), size_t(rate) * 2 * 3 / 2);
    EXPECT_TRUE(got == want) << channels << " channels: " << got.size() << " vs " << want.size();
  }
}

TEST_F(VorbisDecoderTest, FileCutInHalfPlaysItsFirstPartThenEnds) {
  // Long enough for several audio pages (ffmpeg writes about one per second).
  std::vector<uint8_t> bytes = make(2, 44100, "6");
  if (bytes.empty()) GTEST_SKIP() << "ffmpeg is needed to make a Vorbis file";
  const std::vector<float> whole = reference_vorbis_decode(path_);
  bytes.resize(bytes.size() / 2);
  audio::VorbisStream* v = audio::open_vorbis(bytes.data(), bytes.size());
  ASSERT_NE(v, nullptr);
  const std::vector<float> got = pull_all(v);
  audio::close_vorbis(v);
  ASSERT_GT(got.size(), whole.size() / 4);
  ASSERT_LT(got.size(), whole.size());
  EXPECT_TRUE(std::equal(got.begin(), got.end(), whole.begin()));
}

// Start offsets of the Ogg pages in a file (where "OggS" begins a page).
std::vector<size_t> page_starts(const std::vector<uint8_t>& bytes) {
  std::vector<size_t> starts;
  for (size_t i = 0; i + 27 <= bytes.size(); ++i) {
    if (bytes[i] == 'O' && bytes[i + 1] == 'g' && bytes[i + 2] == 'g' && bytes[i + 3] == 'S') {
      starts.push_back(i);
    }
  }
  return starts;
}

TEST_F(VorbisDecoderTest, ADamagedPageIsSkippedAndTheMusicGoesOn) {
  std::vector<uint8_t> bytes = make(2, 44100, "6");
  if (bytes.empty()) GTEST_SKIP() << "ffmpeg is needed to make a Vorbis file";
  const std::vector<float> whole = reference_vorbis_decode(path_);
  const std::vector<size_t> pages = page_starts(bytes);
  ASSERT_GE(pages.size(), 6u) << "too few pages to damage one in the middle";
  // Garbage over the middle of a page's audio, two fifths into the file: its checksum fails.
  const size_t page = pages[pages.size() * 2 / 5];
  const size_t end = pages[pages.size() * 2 / 5 + 1];
  for (size_t i = page + (end - page) / 3; i < page + 2 * (end - page) / 3; ++i) bytes[i] ^= 0x5a;
  audio::VorbisStream* v = audio::open_vorbis(bytes.data(), bytes.size());
  ASSERT_NE(v, nullptr);
  const std::vector<float> got = pull_all(v);
  audio::close_vorbis(v);
  // Only the damaged stretch is missing: the music after it plays to the end as it should.
  ASSERT_LT(got.size(), whole.size()) << "nothing was damaged";
  ASSERT_GT(got.size(), whole.size() * 4 / 5) << "the music ended at the damage";
  const size_t tail = 2 * 44100;
  EXPECT_TRUE(std::equal(got.end() - tail, got.end(), whole.end() - tail))
      << "the last second differs from the undamaged decode";
  EXPECT_TRUE(std::equal(got.begin(), got.begin() + tail, whole.begin()));
}

TEST_F(VorbisDecoderTest, RefusesWhatIsNotAPlayableStream) {
  const std::vector<uint8_t> bytes = make(2, 48000, "0.5");
  if (bytes.empty()) GTEST_SKIP() << "ffmpeg is needed to make a Vorbis file";
  const std::vector<std::vector<uint8_t>> bad = {
      {},
      std::vector<uint8_t>(4000, 0x5a),
      std::vector<uint8_t>(bytes.begin(), bytes.begin() + 200),  // the headers cut short
      with_rate(bytes, audio::kMaxMusicRate + 1),
      with_rate(bytes, 0xFFFFFFFFu),
  };
  for (size_t i = 0; i < bad.size(); ++i) {
    EXPECT_EQ(audio::open_vorbis(bad[i].data(), bad[i].size()), nullptr) << "case " << i;
  }
  // The patch itself is sound: a rate within bounds is taken as written.
  const std::vector<uint8_t> fast = with_rate(bytes, 96000);
  audio::VorbisStream* v = audio::open_vorbis(fast.data(), fast.size());
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(audio::vorbis_rate(v), 96000u);
  EXPECT_FALSE(pull_all(v).empty());
  audio::close_vorbis(v);
}

}  // namespace
