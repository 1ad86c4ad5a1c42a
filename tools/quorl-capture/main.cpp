// quorl-capture: renders the show deterministically, display frame k at the frame clock
// k / fps, offscreen (no display needed), to PNG frames, a contact sheet or a video with
// its music. The pictures come from the program's own code; only the clock is ours.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "app/window.h"
#include "args.h"
#include "audio/music.h"
#include "demo/demo.h"
#include "demo/timeline.h"
#include "gfx/film.h"
#include "gfx/mesh.h"
#include "gfx/programs.h"
#include "gfx/textures.h"
#include "image_write.h"
#include "platform/events.h"
#include "platform/message_box.h"
#include "platform/process.h"
#include "platform/quit.h"
#include "progress.h"
#include "show_runner.h"
#include "video.h"

namespace {

constexpr int kFilmWidth = 160;
constexpr int kFilmHeight = 120;

// Messages go to stderr only (show_message_box writes the line before the box).
void no_box(const char*, const char*) {}
bool never_escape() { return false; }

// The program's start-up, without the instance lock, the visible window, the cursor and
// the sound device. False after the failing step's message on stderr.
bool start_up(const capture::Options& o, audio::FrameSource* music, uint32_t* rate) {
  platform::set_message_box_hook(&no_box);
  platform::set_escape_hook(&never_escape);
  if (!app::create_offscreen_context(o.width, o.height)) {
    platform::show_message_box("Bad kind of error, error.", nullptr);
    return false;
  }
  demo::seed_random();
  if (!gfx::set_up_programs()) return false;
  if (!gfx::load_texture_catalogue()) return false;
  gfx::create_screen_quad();
  if (!audio::open_music_source(music, rate)) {
    platform::show_message_box("Sound error.", nullptr);
    return false;
  }
  gfx::load_mesh(&gfx::cube_mesh());
  demo::set_film_size(kFilmWidth, kFilmHeight);
  demo::fill_ball_tables();
  if (!gfx::create_film_framebuffer(kFilmWidth, kFilmHeight)) {
    platform::show_message_box("Framebuffer error.", nullptr);
    return false;
  }
  return true;
}

bool make_dir(const std::string& dir) {
  struct stat st;
  if (stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  return mkdir(dir.c_str(), 0755) == 0;
}

std::string numbered(const std::string& dir, int64_t n, int digits) {
  char name[32];
  std::snprintf(name, sizeof name, "/%0*lld.png", digits, static_cast<long long>(n));
  return dir + name;
}

int capture_frames(const capture::Options& o, capture::Progress& progress) {
  if (!make_dir(o.frames_dir)) {
    std::fprintf(stderr, "quorl-capture: cannot make the folder %s\n", o.frames_dir.c_str());
    return 1;
  }
  capture::ShowRunner show(o.fps);
  capture::Image image;
  while (capture::render_next(show, progress)) {
    if (show.time() >= o.from && (o.to < 0 || show.time() <= o.to)) {
      progress.timed_readback([&] { capture::read_framebuffer(o.width, o.height, &image); });
      bool ok = true;
      progress.timed_encode([&] { ok = capture::write_png(numbered(o.frames_dir, show.frame(), 6), image); });
      if (!ok) {
        std::fprintf(stderr, "quorl-capture: cannot write into %s\n", o.frames_dir.c_str());
        return 1;
      }
    }
    progress.frame_done();
    if (o.to >= 0 && show.time() > o.to) break;
  }
  return 0;
}

int capture_at(const capture::Options& o, capture::Progress& progress) {
  if (!make_dir(o.out_dir)) {
    std::fprintf(stderr, "quorl-capture: cannot make the folder %s\n", o.out_dir.c_str());
    return 1;
  }
  std::vector<int64_t> wanted;
  for (double t : o.at) wanted.push_back(capture::frame_at_or_after(t, o.fps));
  const int64_t last = *std::max_element(wanted.begin(), wanted.end());
  capture::ShowRunner show(o.fps);
  capture::Image image;
  while (show.frame() < last && capture::render_next(show, progress)) {
    for (size_t i = 0; i < wanted.size(); ++i) {
      if (wanted[i] != show.frame()) continue;
      capture::read_framebuffer(o.width, o.height, &image);
      if (!capture::write_png(numbered(o.out_dir, static_cast<int64_t>(i), 3), image)) {
        std::fprintf(stderr, "quorl-capture: cannot write into %s\n", o.out_dir.c_str());
        return 1;
      }
    }
    progress.frame_done();
  }
  if (show.frame() < last) {
    std::fprintf(stderr, "quorl-capture: the show ends at frame %lld, before the time asked\n",
                 static_cast<long long>(show.frame()));
    return 1;
  }
  return 0;
}

int capture_sheet(const capture::Options& o, capture::Progress& progress);

}  // namespace

int main(int argc, char** argv) {
  capture::Options o;
  std::string error;
  if (!capture::parse_args(std::vector<std::string>(argv + 1, argv + argc), &o, &error)) {
    std::fprintf(stderr, "quorl-capture: %s\n%s", error.c_str(), capture::kUsage);
    platform::end_process(2);
  }
  audio::FrameSource music{};
  uint32_t rate = 0;
  if (!start_up(o, &music, &rate)) platform::end_process(-1);

  int64_t total = capture::show_frames(o.fps);
  if (o.mode == capture::Mode::kAt) {
    total = 0;
    for (double t : o.at) total = std::max(total, capture::frame_at_or_after(t, o.fps) + 1);
  } else if (o.mode == capture::Mode::kFrames && o.to >= 0) {
    total = std::min(total, capture::frame_at_or_after(o.to, o.fps) + 1);
  }
  capture::Progress progress(total, o.stats);
  int code = 0;
  switch (o.mode) {
    case capture::Mode::kFrames: code = capture_frames(o, progress); break;
    case capture::Mode::kAt: code = capture_at(o, progress); break;
    case capture::Mode::kSheet: code = capture_sheet(o, progress); break;
    case capture::Mode::kVideo: {
      capture::ShowRunner show(o.fps);
      code = capture::capture_video(o, music, rate, progress, show);
      break;
    }
    case capture::Mode::kNone: break;
  }
  progress.finish();
  if (o.stats) capture::print_capture_report(o.width, o.height, code);
  platform::end_process(code);
}

namespace {

// One thumbnail per schedule slot, taken in the middle of the slot.
const char* const kSlotNames[demo::kSlotCount] = {
    "white frame", "writing strip", "present", "title", "vantrope", "plemk", "mus",
    "definition", "star tunnel", "planes", "dorlz", "brick tunnel", "dumdeedum", "metaballs",
    "dorlz", "lit cube", "gazillion", "textured cube", "lookcube", "brick tunnel 2", "math",
    "mandelbrot zoom", "tmandel", "metaballs 2", "greets1", "greets2", "theend", "white frame"};

int capture_sheet(const capture::Options& o, capture::Progress& progress) {
  constexpr int kColumns = 7, kThumbW = 256, kThumbH = 192, kPad = 8, kLabel = 22;
  const int rows = (demo::kSlotCount + kColumns - 1) / kColumns;
  capture::Image sheet;
  sheet.width = kColumns * (kThumbW + kPad) + kPad;
  sheet.height = rows * (kThumbH + kLabel + kPad) + kPad;
  sheet.rgb.assign(static_cast<size_t>(sheet.width) * sheet.height * 3, 24);

  const double* bounds = demo::slot_bounds();
  std::vector<int64_t> wanted;
  for (int s = 0; s < demo::kSlotCount; ++s) {
    const double from = s == 0 ? 0.0 : bounds[s - 1];
    // The last slot plays its fade backwards in effective time; its middle is t = 130.
    wanted.push_back(capture::frame_at_or_after((from + bounds[s]) / 2.0, o.fps));
  }
  capture::ShowRunner show(o.fps);
  capture::Image frame;
  size_t next = 0;
  while (next < wanted.size() && capture::render_next(show, progress)) {
    while (next < wanted.size() && wanted[next] == show.frame()) {
      capture::read_framebuffer(o.width, o.height, &frame);
      // Keep the aspect: fit the frame into the thumbnail, centred.
      int w = kThumbW, h = kThumbW * o.height / o.width;
      if (h > kThumbH) h = kThumbH, w = kThumbH * o.width / o.height;
      const capture::Image thumb = capture::resized(frame, w, h);
      const int col = static_cast<int>(next) % kColumns, row = static_cast<int>(next) / kColumns;
      const int x = kPad + col * (kThumbW + kPad), y = kPad + row * (kThumbH + kLabel + kPad);
      capture::blit(thumb, &sheet, x + (kThumbW - w) / 2, y + (kThumbH - h) / 2);
      char label[96];
      std::snprintf(label, sizeof label, "%d  %s  (%.1f s)", static_cast<int>(next) + 1,
                    kSlotNames[next], show.time());
      capture::draw_text(&sheet, x, y + kThumbH + 6, label, 1, 220);
      ++next;
    }
    progress.frame_done();
  }
  if (!capture::write_png(o.sheet, sheet)) {
    std::fprintf(stderr, "quorl-capture: cannot write %s\n", o.sheet.c_str());
    return 1;
  }
  return 0;
}

}  // namespace
