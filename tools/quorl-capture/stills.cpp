#include "stills.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>

#include "demo/timeline.h"
#include "image_write.h"
#include "render.h"

namespace capture {
namespace {

std::string numbered(const std::string& dir, int64_t n, int digits) {
  char name[32];
  std::snprintf(name, sizeof name, "/%0*lld.png", digits, static_cast<long long>(n));
  return dir + name;
}

// Runs display frames 0 .. the last of `frames`, seeking through the ones not written, and
// hands each written frame's picture to `take` with its display frame. False when `take`
// fails or the show ends first.
bool run_to_frames(const Options& o, const std::vector<int64_t>& frames, Progress& progress,
                   const std::function<bool(int64_t, const Image&)>& take) {
  const int64_t last = *std::max_element(frames.begin(), frames.end());
  std::vector<bool> written(static_cast<size_t>(last) + 1, false);
  for (int64_t k : frames) written[static_cast<size_t>(k)] = true;
  const std::vector<demo::Drawing> plan = app::drawing_plan(written, o.fps);
  app::ShowRunner show(o.fps);
  Image image;
  for (int64_t k = 0; k <= last; ++k) {
    if (!render_next(show, progress, plan[static_cast<size_t>(k)])) {
      std::fprintf(stderr, "quorl-capture: the show ended at %.3f s, before the last time asked\n",
                   show.time());
      return false;
    }
    if (!written[static_cast<size_t>(k)]) continue;
    progress.timed_readback([&] { read_framebuffer(o.width, o.height, &image); });
    if (!take(k, image)) return false;
  }
  return true;
}

// A failed write ends the capture: the files written so far are whole, the one that
// failed is not there at all.
bool write_or_say(const std::string& path, const Image& image, Progress& progress) {
  bool ok = false;
  std::string error;
  progress.timed_encode([&] { ok = write_png(path, image, &error); });
  if (!ok) std::fprintf(stderr, "quorl-capture: %s\n", error.c_str());
  return ok;
}

// One thumbnail per schedule slot, taken in the middle of the slot.
const char* const kSlotNames[demo::kSlotCount] = {
    "white frame", "writing strip",  "present",     "title",           "vantrope",  "plemk",
    "mus",         "definition",     "star tunnel", "planes",          "dorlz",     "brick tunnel",
    "dumdeedum",   "metaballs",      "dorlz",       "lit cube",        "gazillion", "textured cube",
    "lookcube",    "brick tunnel 2", "math",        "mandelbrot zoom", "tmandel",   "metaballs 2",
    "greets1",     "greets2",        "theend",      "white frame"};

int capture_sheet(const Options& o, const std::vector<int64_t>& frames, Progress& progress) {
  constexpr int kColumns = 7, kThumbW = 256, kThumbH = 192, kPad = 8, kLabel = 22;
  const int rows = (demo::kSlotCount + kColumns - 1) / kColumns;
  Image sheet;
  sheet.width = kColumns * (kThumbW + kPad) + kPad;
  sheet.height = rows * (kThumbH + kLabel + kPad) + kPad;
  sheet.rgb.assign(static_cast<size_t>(sheet.width) * sheet.height * 3, 24);
  auto place = [&](int64_t k, const Image& frame) {
    for (size_t slot = 0; slot < frames.size(); ++slot) {
      if (frames[slot] != k) continue;
      // Keep the aspect: fit the frame into the thumbnail, centred.
      int w = kThumbW, h = kThumbW * o.height / o.width;
      if (h > kThumbH) h = kThumbH, w = kThumbH * o.width / o.height;
      const Image thumb = resized(frame, w, h);
      const int col = static_cast<int>(slot) % kColumns, row = static_cast<int>(slot) / kColumns;
      const int x = kPad + col * (kThumbW + kPad), y = kPad + row * (kThumbH + kLabel + kPad);
      blit(thumb, &sheet, x + (kThumbW - w) / 2, y + (kThumbH - h) / 2);
      char label[96];
      std::snprintf(label, sizeof label, "%d  %s  (%.1f s)", static_cast<int>(slot) + 1,
                    kSlotNames[slot], static_cast<double>(k) / o.fps);
      draw_text(&sheet, x, y + kThumbH + 6, label, 1, 220);
      progress.frame_written();
    }
    return true;
  };
  if (!run_to_frames(o, frames, progress, place)) return 1;
  return write_or_say(o.sheet, sheet, progress) ? 0 : 1;
}

}  // namespace

int capture_stills(const Options& o, const std::vector<int64_t>& frames, Progress& progress) {
  if (o.mode == Mode::kSheet) return capture_sheet(o, frames, progress);
  auto take = [&](int64_t k, const Image& image) {
    if (o.mode == Mode::kFrames) {  // named by display frame
      if (!write_or_say(numbered(o.frames_dir, k, 6), image, progress)) return false;
      progress.frame_written();
      return true;
    }
    for (size_t i = 0; i < frames.size(); ++i) {  // --at: named by the place of the time asked
      if (frames[i] != k) continue;
      if (!write_or_say(numbered(o.out_dir, static_cast<int64_t>(i), 3), image, progress))
        return false;
      progress.frame_written();
    }
    return true;
  };
  return run_to_frames(o, frames, progress, take) ? 0 : 1;
}

}  // namespace capture
