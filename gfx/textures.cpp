#include "gfx/textures.h"

#include <cstdlib>

#include "gfx/image_decode.h"
#include "platform/file_reader.h"
#include "platform/message_box.h"

namespace gfx {
namespace {

struct Picture {
  const char* path;
  bool linear;
};

const Picture kPictures[kTextureCount] = {
    {"images/brick.png", false},      {"images/stars.png", false},
    {"images/mandelbrot.png", false}, {"images/frame.jpg", true},
    {"images/filmwriting.jpg", true}, {"images/present.jpg", true},
    {"images/title.jpg", true},       {"images/dumdeedum.jpg", true},
    {"images/gazillion.jpg", true},   {"images/lookcube.jpg", true},
    {"images/dorlz.jpg", true},       {"images/definition.jpg", true},
    {"images/math.jpg", true},        {"images/theend.jpg", true},
    {"images/tmandel.jpg", true},     {"images/greets1.jpg", true},
    {"images/greets2.jpg", true},     {"images/vantrope.jpg", true},
    {"images/plemk.jpg", true},       {"images/mus.jpg", true},
    {"images/f1.png", false},         {"images/f2.png", false},
    {"images/f3.png", false},         {"images/f4.png", false},
};

struct TextureState {
  GLuint names[kTextureCount] = {};
} g_textures;

struct Format {
  GLint internal_format;
  GLenum format;
};
// By component count 1..4: grey reads as red only, grey+alpha as red and green.
const Format kFormats[4] = {
    {GL_R8, GL_RED}, {GL_RG8, GL_RG}, {GL_RGB8, GL_RGB}, {GL_RGBA8, GL_RGBA}};

bool load_slot(int slot) {
  const char* path = kPictures[slot].path;
  uint32_t length = 0;
  uint8_t* bytes = platform::read_whole_file(path, &length);
  if (!bytes) {
    platform::show_message_box("File error.", path);
    return false;
  }
  Image image;
  const char* reason = "";
  const bool decoded = decode_image(bytes, length, &image, &reason);
  std::free(bytes);
  if (!decoded) {
    platform::show_message_box(reason, path);
    return false;
  }
  if (image.components < 1 || image.components > 4) {
    free_image(&image);
    platform::show_message_box("Format error.", path);
    return false;
  }
  const int width = image.width, height = image.height;
  const Format& f = kFormats[image.components - 1];
  glBindTexture(GL_TEXTURE_2D, g_textures.names[slot]);
  glTexImage2D(GL_TEXTURE_2D, 0, f.internal_format, width, height, 0, f.format, GL_UNSIGNED_BYTE,
               image.pixels);
  const GLint filter = kPictures[slot].linear ? GL_LINEAR : GL_NEAREST;
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
  const GLint wrap = width == height ? GL_REPEAT : GL_CLAMP;
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
  free_image(&image);
  return true;
}

}  // namespace

bool load_texture_catalogue() {
  glGenTextures(kTextureCount, g_textures.names);
  // Decoded rows carry no padding; rows that are not a multiple of 4 bytes must not be
  // read with the default alignment.
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  for (int slot = 0; slot < kTextureCount; ++slot) {
    if (!load_slot(slot)) return false;
  }
  return true;
}

GLuint texture(int slot) { return g_textures.names[slot]; }
const char* texture_path(int slot) { return kPictures[slot].path; }

}  // namespace gfx
