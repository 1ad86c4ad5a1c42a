// Writes one hostile picture for the end-to-end tests: quorl_image_forge KIND PATH, where
// KIND is huffman-overflow, baseline-undefined-ac, progressive-undefined-ac or png-bomb.
#include <cstdio>
#include <cstring>

#include "image_forge.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: quorl_image_forge KIND PATH\n");
    return 2;
  }
  forge::Bytes bytes;
  const char* kind = argv[1];
  if (!std::strcmp(kind, "huffman-overflow")) {
    bytes = forge::jpeg_oversized_huffman_table();
  } else if (!std::strcmp(kind, "baseline-undefined-ac")) {
    bytes = forge::jpeg_baseline_undefined_ac_table();
  } else if (!std::strcmp(kind, "progressive-undefined-ac")) {
    bytes = forge::jpeg_progressive_undefined_ac_table();
  } else if (!std::strcmp(kind, "png-bomb")) {
    bytes = forge::png_bomb(16384, 16384, 6, 1024);  // 1 MB inflating to 1 GiB
  } else {
    std::fprintf(stderr, "quorl_image_forge: unknown kind %s\n", kind);
    return 2;
  }
  std::FILE* f = std::fopen(argv[2], "wb");
  if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f)) {
    std::fprintf(stderr, "quorl_image_forge: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
