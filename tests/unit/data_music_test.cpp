// The committed music: decodable by the program's own Vorbis decoder, in the format the
// output expects, long enough for the show, never clipping and never falling silent.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "audio/vorbis_decoder.h"
#include "test_vorbis.h"

namespace {

std::vector<unsigned char> musicBytes() {
  std::ifstream in(
      std::string(QUORL_SOURCE_DIR) + "/data/music/BrenlowickpianoRoll-ChineseBlues1916.ogg",
      std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in),
                                    std::istreambuf_iterator<char>());
}

}  // namespace

TEST(DataMusic, LongStereoAt44100StaysBelowFullScaleAndNeverFallsSilent) {
  std::vector<unsigned char> bytes = musicBytes();
  ASSERT_FALSE(bytes.empty());
  audio::VorbisStream* v = audio::open_vorbis(bytes.data(), bytes.size());
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(audio::vorbis_channels(v), 2);
  const uint32_t rate = audio::vorbis_rate(v);
  EXPECT_EQ(rate, 44100u);
  const std::vector<float> all = decode_all(audio::vorbis_source(v));
  audio::close_vorbis(v);

  const size_t frames = all.size() / 2;
  const double seconds = double(frames) / rate;
  EXPECT_GE(seconds, 133.0) << "the show lasts 131 s";
  EXPECT_LE(seconds, 150.0);

  float peak = 0;
  for (float s : all) peak = std::max(peak, std::fabs(s));
  int quietSeconds = 0, quietest = -1;
  double quietestRms = 1;
  for (size_t second = 0; (second + 1) * rate <= frames; ++second) {
    double sq = 0;
    for (size_t i = second * rate * 2; i < (second + 1) * rate * 2; ++i) {
      sq += double(all[i]) * all[i];
    }
    const double rms = std::sqrt(sq / (rate * 2));
    // The last second fades out; every full second before carries music.
    if (second < 136) {
      if (rms < 0.003) ++quietSeconds;  // about -50 dBFS
      if (rms < quietestRms) {
        quietestRms = rms;
        quietest = int(second);
      }
    }
  }
  EXPECT_LT(peak, 0.891f) << "peak must stay below -1 dBFS";
  EXPECT_GT(peak, 0.3f) << "suspiciously quiet";
  EXPECT_EQ(quietSeconds, 0) << "quietest second " << quietest << " rms " << quietestRms;
}
