// Ogg Vorbis helpers for tests: short files made with ffmpeg (a sine per channel, 440 Hz
// and 660 Hz), libvorbisfile's own decode of a file as the reference, and everything a
// frame source yields, in the same interleaved left/right form.
#pragma once

#include <vorbis/vorbisfile.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "audio/refill.h"

// Writes `path`; false when ffmpeg (or its Vorbis encoder) is missing or fails.
inline bool make_test_vorbis(const std::string& path, int channels, int rate, const char* seconds) {
  if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0) return false;
  const std::string tones =
      channels == 1 ? "0.5*sin(2*PI*440*t)" : "0.5*sin(2*PI*440*t)|0.5*sin(2*PI*660*t)";
  const std::string cmd = "ffmpeg -nostdin -loglevel error -y -f lavfi -i 'aevalsrc=" + tones +
                          ":s=" + std::to_string(rate) + ":d=" + seconds + "' -c:a libvorbis '" +
                          path + "'";
  return std::system(cmd.c_str()) == 0;
}

// libvorbisfile reading the file itself: left, right of every sample (channel 0 twice for
// one channel). Empty when the file does not open; *channels gets its channel count.
inline std::vector<float> reference_vorbis_decode(const std::string& path,
                                                  int* channels = nullptr) {
  std::vector<float> out;
  OggVorbis_File vf;
  if (ov_fopen(path.c_str(), &vf) != 0) return out;
  const int count = ov_info(&vf, -1)->channels;
  if (channels) *channels = count;
  const int right = count >= 2 ? 1 : 0;
  float** pcm = nullptr;
  int section = 0;
  for (long n; (n = ov_read_float(&vf, &pcm, 1024, &section)) > 0;) {
    for (long i = 0; i < n; ++i) {
      out.push_back(pcm[0][i]);
      out.push_back(pcm[right][i]);
    }
  }
  ov_clear(&vf);
  return out;
}

// Every sample a frame source yields until it returns 0, as the refill reads them.
inline std::vector<float> decode_all(const audio::FrameSource& source) {
  std::vector<float> out;
  float** ch = nullptr;
  for (int n; (n = source.decode(source.decoder, &ch)) > 0;) {
    for (int i = 0; i < n; ++i) {
      out.push_back(ch[0][i]);
      out.push_back(ch[source.right_channel][i]);
    }
  }
  return out;
}
