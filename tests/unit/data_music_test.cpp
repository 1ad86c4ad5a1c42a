// The committed music: decodable by the program's own Vorbis decoder (the
// audio library compiles it; only its declarations are included here), in
// the format the output expects, long enough for the show, never clipping
// and never falling silent.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#define STB_VORBIS_HEADER_ONLY
#include <stb/stb_vorbis.h>

namespace {

std::vector<unsigned char> musicBytes() {
    std::ifstream in(std::string(QUORL_SOURCE_DIR) + "/data/music/BrenlowickpianoRoll-ChineseBlues1916.ogg",
                     std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(DataMusic, DecodesAsLongStereoAt44100) {
    std::vector<unsigned char> bytes = musicBytes();
    ASSERT_FALSE(bytes.empty());
    int error = 0;
    stb_vorbis* v = stb_vorbis_open_memory(bytes.data(), int(bytes.size()), &error, nullptr);
    ASSERT_NE(v, nullptr) << "stb_vorbis error " << error;
    stb_vorbis_info info = stb_vorbis_get_info(v);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.sample_rate, 44100u);
    double seconds = double(stb_vorbis_stream_length_in_samples(v)) / info.sample_rate;
    EXPECT_GE(seconds, 133.0) << "the show lasts 131 s";
    EXPECT_LE(seconds, 150.0);
    stb_vorbis_close(v);
}

TEST(DataMusic, StaysBelowFullScaleAndNeverFallsSilent) {
    std::vector<unsigned char> bytes = musicBytes();
    ASSERT_FALSE(bytes.empty());
    int error = 0;
    stb_vorbis* v = stb_vorbis_open_memory(bytes.data(), int(bytes.size()), &error, nullptr);
    ASSERT_NE(v, nullptr);
    const int rate = 44100;
    std::vector<float> buf(size_t(rate) * 2);  // one second, interleaved stereo
    float peak = 0;
    int second = 0, quietSeconds = 0, quietest = -1;
    double quietestRms = 1;
    for (;;) {
        int got = stb_vorbis_get_samples_float_interleaved(v, 2, buf.data(), int(buf.size()));
        if (got <= 0) break;
        double sq = 0;
        for (int i = 0; i < got * 2; ++i) {
            peak = std::max(peak, std::fabs(buf[size_t(i)]));
            sq += double(buf[size_t(i)]) * buf[size_t(i)];
        }
        double rms = std::sqrt(sq / (got * 2));
        // The last second fades out; every full second before carries music.
        if (got == rate && second < 136) {
            if (rms < 0.003) ++quietSeconds;  // about -50 dBFS
            if (rms < quietestRms) { quietestRms = rms; quietest = second; }
        }
        ++second;
    }
    stb_vorbis_close(v);
    EXPECT_GE(second, 133);
    EXPECT_LT(peak, 0.891f) << "peak must stay below -1 dBFS";
    EXPECT_GT(peak, 0.3f) << "suspiciously quiet";
    EXPECT_EQ(quietSeconds, 0) << "quietest second " << quietest << " rms " << quietestRms;
}
