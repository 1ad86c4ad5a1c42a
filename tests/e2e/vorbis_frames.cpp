// quorl_vorbis_frames FILE N: writes the first N frames of an Ogg Vorbis file to stdout as
// interleaved left/right float32, decoded by libvorbisfile straight from the file (channel 0
// on both sides for a one-channel stream), padded with silence past the end. The end-to-end
// music test compares the program's sound output with this reference decode.
#include <vorbis/vorbisfile.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s FILE FRAMES\n", argv[0]);
    return 2;
  }
  const long wanted = std::strtol(argv[2], nullptr, 10);
  OggVorbis_File vf;
  if (ov_fopen(argv[1], &vf) != 0) {
    std::fprintf(stderr, "%s: not an Ogg Vorbis file\n", argv[1]);
    return 1;
  }
  long written = 0;
  for (;;) {
    float** pcm = nullptr;
    int section = 0;
    const long n = ov_read_float(&vf, &pcm, 4096, &section);
    if (n == OV_HOLE) continue;
    if (n <= 0 || written >= wanted) break;
    const int right = ov_info(&vf, -1)->channels >= 2 ? 1 : 0;
    for (long i = 0; i < n && written < wanted; ++i, ++written) {
      const float pair[2] = {pcm[0][i], pcm[right][i]};
      std::fwrite(pair, sizeof pair, 1, stdout);
    }
  }
  ov_clear(&vf);
  const float silence[2] = {0.0f, 0.0f};
  for (; written < wanted; ++written) std::fwrite(silence, sizeof silence, 1, stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}
