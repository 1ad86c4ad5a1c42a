// The picture decoder, compiled once from Debian's stb_image header with only the two
// formats the show uses, and a cap on dimensions (a picture over it fails to decode with
// the decoder's own reason).
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_NO_STDIO
#define STBI_MAX_DIMENSIONS 16384
#include <stb/stb_image.h>
