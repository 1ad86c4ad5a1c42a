#include "gfx/picture_loader.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "platform/file_reader.h"
#include "platform/threads.h"

namespace gfx {

class PictureLoader {
 public:
  PictureLoader(const char* const* paths, int count)
      : paths_(paths),
        count_(count),
        pictures_(static_cast<size_t>(count)),
        done_(static_cast<size_t>(count), false) {}

  void work() {
    for (;;) {
      int index;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stop_ || next_ >= count_) return;
        index = next_++;
      }
      LoadedPicture picture = load_picture(paths_[index]);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        pictures_[static_cast<size_t>(index)] = picture;
        done_[static_cast<size_t>(index)] = true;
        if (picture.status != LoadedPicture::kDecoded) stop_ = true;
      }
      ready_.notify_all();
    }
  }

  LoadedPicture take(int index) {
    std::unique_lock<std::mutex> lock(mutex_);
    ready_.wait(lock, [&] { return done_[static_cast<size_t>(index)]; });
    LoadedPicture picture = pictures_[static_cast<size_t>(index)];
    pictures_[static_cast<size_t>(index)] = LoadedPicture{};
    return picture;
  }

  void finish() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    for (std::thread& t : workers_) t.join();
    for (LoadedPicture& p : pictures_) free_image(&p.image);
  }

  std::vector<std::thread> workers_;

 private:
  const char* const* paths_;
  int count_;
  std::mutex mutex_;
  std::condition_variable ready_;
  int next_ = 0;
  bool stop_ = false;
  std::vector<LoadedPicture> pictures_;
  std::vector<bool> done_;
};

LoadedPicture load_picture(const char* path) {
  LoadedPicture picture;
  uint32_t length = 0;
  errno = 0;
  uint8_t* bytes = platform::read_whole_file(path, &length);
  if (!bytes) {
    // The file is there but its bytes could not be held (the reader's allocation left
    // ENOMEM): said as the decoders say it, not "File error.", which reads as a missing file.
    if (errno == ENOMEM) {
      picture.status = LoadedPicture::kDecodeError;
      picture.reason = "out of memory";
    }
    return picture;  // else kFileError
  }
  const bool decoded = decode_image(bytes, length, &picture.image, &picture.reason);
  std::free(bytes);
  picture.status = decoded ? LoadedPicture::kDecoded : LoadedPicture::kDecodeError;
  if (!picture.reason) picture.reason = "";
  return picture;
}

PictureLoader* start_picture_loader(const char* const* paths, int count, int threads) {
  if (!platform::threads_available()) return nullptr;
  PictureLoader* loader = new (std::nothrow) PictureLoader(paths, count);
  if (!loader) return nullptr;
  for (int i = 0; i < std::max(1, threads); ++i) {
    try {
      loader->workers_.emplace_back(&PictureLoader::work, loader);
    } catch (const std::exception&) {
      break;  // fewer workers; none at all is handled below
    }
  }
  if (loader->workers_.empty()) {
    delete loader;
    return nullptr;
  }
  return loader;
}

LoadedPicture take_picture(PictureLoader* loader, int index) { return loader->take(index); }

void finish_picture_loader(PictureLoader* loader) {
  loader->finish();
  delete loader;
}

}  // namespace gfx
