// Reads and decodes a list of pictures on worker threads while the caller goes on with
// other start-up work, and hands the results over in list order. Workers take pictures in
// list order; after a failure they take no further ones, so every picture before the first
// failure is still delivered and the first failure in list order is always the one reported.
#pragma once

#include "gfx/image_decode.h"

namespace gfx {

struct LoadedPicture {
  enum Status { kDecoded, kFileError, kDecodeError };
  Status status = kFileError;
  Image image;              // kDecoded: the pixels, to be released with free_image
  const char* reason = "";  // kDecodeError: the decoder's reason text, or "out of memory"
                            // when the file's bytes could not be held
};

class PictureLoader;

// Starts loading `count` pictures (paths must outlive the loader) on up to `threads` workers.
// Null when no worker could be started: the caller then loads the pictures itself.
PictureLoader* start_picture_loader(const char* const* paths, int count, int threads);

// Waits for picture `index` (taken in increasing order) and hands it over; the caller owns
// its pixels from then on.
LoadedPicture take_picture(PictureLoader* loader, int index);

// Stops the workers, waits for the pictures they are in the middle of, releases every
// picture not taken and the loader itself.
void finish_picture_loader(PictureLoader* loader);

// Reads and decodes one picture on the calling thread.
LoadedPicture load_picture(const char* path);

}  // namespace gfx
