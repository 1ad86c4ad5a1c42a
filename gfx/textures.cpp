#include "gfx/textures.h"

#include <thread>

#include "gfx/picture_loader.h"
#include "platform/message_box.h"

namespace gfx {
namespace {

const char* const kPaths[kTextureCount] = {
    "images/brick.png",    "images/stars.png",       "images/mandelbrot.png",
    "images/frame.jpg",    "images/filmwriting.jpg", "images/present.jpg",
    "images/title.jpg",    "images/dumdeedum.jpg",   "images/gazillion.jpg",
    "images/lookcube.jpg", "images/dorlz.jpg",       "images/definition.jpg",
    "images/math.jpg",     "images/theend.jpg",      "images/tmandel.jpg",
    "images/greets1.jpg",  "images/greets2.jpg",     "images/vantrope.jpg",
    "images/plemk.jpg",    "images/mus.jpg",         "images/f1.png",
    "images/f2.png",       "images/f3.png",          "images/f4.png",
};
// Linear filtering for the gate, the writing strip and the stills; nearest for the rest.
constexpr bool kLinear[kTextureCount] = {false, false, false, true, true,  true,  true,  true,
                                         true,  true,  true,  true, true,  true,  true,  true,
                                         true,  true,  true,  true, false, false, false, false};

struct TextureState {
  GLuint names[kTextureCount] = {};
  PictureLoader* loader = nullptr;  // pictures being decoded ahead, or null
} g_textures;

struct Format {
  GLint internal_format;
  GLenum format;
};
// By component count 1..4: grey reads as red only, grey+alpha as red and green.
const Format kFormats[4] = {
    {GL_R8, GL_RED}, {GL_RG8, GL_RG}, {GL_RGB8, GL_RGB}, {GL_RGBA8, GL_RGBA}};

// Uploads the slot's picture, or says why not (the text of its box). The picture is
// released either way.
bool upload_slot(int slot, LoadedPicture picture, const char** failure) {
  if (picture.status == LoadedPicture::kFileError) {
    *failure = "File error.";
    return false;
  }
  if (picture.status == LoadedPicture::kDecodeError) {
    *failure = picture.reason;
    return false;
  }
  Image& image = picture.image;
  if (image.components < 1 || image.components > 4) {
    free_image(&image);
    *failure = "Format error.";
    return false;
  }
  const int width = image.width, height = image.height;
  const Format& f = kFormats[image.components - 1];
  glBindTexture(GL_TEXTURE_2D, g_textures.names[slot]);
  glTexImage2D(GL_TEXTURE_2D, 0, f.internal_format, width, height, 0, f.format, GL_UNSIGNED_BYTE,
               image.pixels);
  const GLint filter = kLinear[slot] ? GL_LINEAR : GL_NEAREST;
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
  const GLint wrap = width == height ? GL_REPEAT : GL_CLAMP;
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
  free_image(&image);
  return true;
}

}  // namespace

void start_decoding_pictures() {
  if (g_textures.loader) return;
  // One core is left to the main thread, which makes the window, the context and the
  // shaders meanwhile: on two cores one worker still finishes first, and a second one only
  // slowed the main thread down (start-up 0.27 s against 0.25 s).
  const int cores = static_cast<int>(std::thread::hardware_concurrency());
  g_textures.loader = start_picture_loader(kPaths, kTextureCount, cores > 2 ? cores - 1 : 1);
  // Any box, whoever shows it, comes after the workers are gone.
  if (g_textures.loader) platform::set_before_message_box(&stop_decoding_pictures);
}

void stop_decoding_pictures() {
  PictureLoader* loader = g_textures.loader;
  g_textures.loader = nullptr;
  if (loader) finish_picture_loader(loader);
}

bool load_texture_catalogue() {
  start_decoding_pictures();
  PictureLoader* loader = g_textures.loader;
  g_textures.loader = nullptr;
  glGenTextures(kTextureCount, g_textures.names);
  // Decoded rows carry no padding; rows that are not a multiple of 4 bytes must not be
  // read with the default alignment.
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  // Uploads go in slot order, and the first slot that failed is the one shown: the loader
  // delivers every slot before it, whatever order the workers finished in.
  int slot = 0;
  const char* failure = nullptr;
  while (slot < kTextureCount &&
         upload_slot(slot, loader ? take_picture(loader, slot) : load_picture(kPaths[slot]),
                     &failure)) {
    ++slot;
  }
  // The workers are gone before any box: the box may fork, and a fork should not find
  // other threads in the middle of their work.
  if (loader) finish_picture_loader(loader);
  if (slot == kTextureCount) return true;
  platform::show_message_box(failure, kPaths[slot]);
  return false;
}

GLuint texture(int slot) { return g_textures.names[slot]; }
const char* texture_path(int slot) { return kPaths[slot]; }

}  // namespace gfx
