// quorl-capture: renders the show deterministically, display frame k at the frame clock
// k / fps, offscreen (no display needed), to PNG frames, a contact sheet or a video with
// its music. The pictures come from the program's own code; only the clock is ours.
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/seek.h"
#include "app/start_show.h"
#include "args.h"
#include "audio/music.h"
#include "output_file.h"
#include "paths.h"
#include "platform/exit_codes.h"
#include "platform/message_box.h"
#include "platform/process.h"
#include "progress.h"
#include "stills.h"
#include "video.h"

#ifndef QUORL_DATA_DIR
#define QUORL_DATA_DIR ""
#endif

namespace {

constexpr int kUsageError = 2;

// Messages go to stderr only (show_message_box writes the line before the box).
void no_box(const char*, const char*) {}

[[noreturn]] void refuse(const std::string& message) {
  std::fprintf(stderr, "quorl-capture: %s\n", message.c_str());
  platform::end_process(kUsageError);
}

// Output paths made absolute (the tool then works in the data folder), their folders made
// and checked writable, before anything is rendered.
void prepare_outputs(capture::Options* o) {
  using capture::Mode;
  std::string* path = o->mode == Mode::kFrames  ? &o->frames_dir
                      : o->mode == Mode::kAt    ? &o->out_dir
                      : o->mode == Mode::kSheet ? &o->sheet
                                                : &o->video;
  *path = capture::absolute(*path);
  std::string error;
  const bool folder = o->mode == Mode::kFrames || o->mode == Mode::kAt;
  if (!(folder ? capture::prepare_output_folder(*path, &error)
               : capture::prepare_output_file(*path, &error)))
    refuse(error);
}

void enter_data_folder(const capture::Options& o) {
  const capture::DataChoice data = capture::find_data(o.data_dir, QUORL_DATA_DIR);
  if (data.folder.empty()) refuse(data.report);
  if (chdir(data.folder.c_str()) != 0) refuse("cannot enter " + data.folder);
  std::fprintf(stderr, "quorl-capture: %s\n", data.report.c_str());
}

// The program's start-up, offscreen, without the instance lock, the visible window, the
// cursor and the sound device. False after the failing step's message on stderr.
bool start_up(const capture::Options& o, audio::FrameSource* music, uint32_t* rate) {
  platform::set_message_box_hook(&no_box);
  app::StartOptions start;
  start.output = app::StartOptions::Output::kOffscreen;
  start.width = o.width;
  start.height = o.height;
  start.music = app::StartOptions::Music::kSource;
  start.source = music;
  start.rate = rate;
  return app::start_show(start);
}

}  // namespace

int main(int argc, char** argv) {
  capture::Options o;
  std::string error;
  if (!capture::parse_args(std::vector<std::string>(argv + 1, argv + argc), &o, &error)) {
    std::fprintf(stderr, "quorl-capture: %s\n%s", error.c_str(), capture::kUsage);
    platform::end_process(kUsageError);
  }
  if (o.help) {
    std::fputs(capture::kUsage, stdout);
    std::fflush(stdout);
    platform::end_process(0);
  }
  std::vector<int64_t> frames;
  if (!capture::frames_to_write(o, &frames, &error)) refuse(error);
  if (o.mode == capture::Mode::kVideo && !capture::ffmpeg_available()) {
    refuse("ffmpeg was not found; install it (apt-get install ffmpeg)");
  }
  prepare_outputs(&o);
  enter_data_folder(o);

  audio::FrameSource music{};
  uint32_t rate = 0;
  if (!start_up(o, &music, &rate)) platform::end_process(platform::kExitStartFailed);

  capture::guard_outputs();  // after start-up: its handlers must not replace these
  capture::Progress progress(static_cast<int64_t>(frames.size()), o.stats,
                             isatty(STDERR_FILENO) == 1);
  int code = 0;
  if (o.mode == capture::Mode::kVideo) {
    app::ShowRunner show(o.fps);
    code = capture::capture_video(o, music, rate, progress, show);
  } else {
    code = capture::capture_stills(o, frames, progress);
  }
  progress.finish();
  if (o.stats) capture::print_capture_report(o.width, o.height, code);
  platform::end_process(code);
}
