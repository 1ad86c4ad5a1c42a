// The texture catalogue: 24 pictures, one texture each, addressed by slot.
#pragma once

#include "gfx/gl.h"

namespace gfx {

constexpr int kTextureCount = 24;

enum TextureSlot : int {
  kTexBrick = 0,
  kTexStars = 1,
  kTexMandelbrot = 2,
  kTexFrame = 3,
  kTexFilmWriting = 4,
  kTexPresent = 5,
  kTexTitle = 6,
  kTexDumDeeDum = 7,
  kTexGazillion = 8,
  kTexLookCube = 9,
  kTexDorlz = 10,
  kTexDefinition = 11,
  kTexMath = 12,
  kTexTheEnd = 13,
  kTexTMandel = 14,
  kTexGreets1 = 15,
  kTexGreets2 = 16,
  kTexVantrope = 17,
  kTexPlemk = 18,
  kTexMus = 19,
  kTexScratch0 = 20,  // 20..23: the scratch overlays
};

// Starts reading and decoding the 24 pictures on worker threads, so that they are ready
// when the catalogue is loaded. Shows nothing: failures wait for the catalogue.
void start_decoding_pictures();

// Stops the workers and drops what they decoded; the catalogue then reads the pictures
// itself. Nothing to do when no decoding runs.
void stop_decoding_pictures();

// Loads all 24 pictures (decoding them here if that was not started). Uploads in slot order;
// on the first failing slot shows its box and returns false.
bool load_texture_catalogue();

GLuint texture(int slot);
const char* texture_path(int slot);

}  // namespace gfx
