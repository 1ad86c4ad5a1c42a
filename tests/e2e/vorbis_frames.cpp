// quorl_vorbis_frames FILE N: writes the first N frames of an Ogg Vorbis file to stdout as
// interleaved left/right float32, decoded one stb_vorbis frame at a time (channel 0 on both
// sides for a one-channel stream), padded with silence past the end. The end-to-end music
// test compares the program's sound output with this.
#include <cstdio>
#include <cstdlib>

#define STB_VORBIS_HEADER_ONLY
#include <stb/stb_vorbis.h>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s FILE FRAMES\n", argv[0]);
    return 2;
  }
  const long wanted = std::strtol(argv[2], nullptr, 10);
  int error = 0;
  stb_vorbis* v = stb_vorbis_open_filename(argv[1], &error, nullptr);
  if (!v) {
    std::fprintf(stderr, "%s: not an Ogg Vorbis file (error %d)\n", argv[1], error);
    return 1;
  }
  const int right = stb_vorbis_get_info(v).channels >= 2 ? 1 : 0;
  long written = 0;
  float** out = nullptr;
  int n = 0;
  while (written < wanted && (n = stb_vorbis_get_frame_float(v, nullptr, &out)) > 0) {
    for (int i = 0; i < n && written < wanted; ++i, ++written) {
      const float pair[2] = {out[0][i], out[right][i]};
      std::fwrite(pair, sizeof pair, 1, stdout);
    }
  }
  const float silence[2] = {0.0f, 0.0f};
  for (; written < wanted; ++written) std::fwrite(silence, sizeof silence, 1, stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}
