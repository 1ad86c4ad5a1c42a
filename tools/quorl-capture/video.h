// The whole show to a video file through ffmpeg, with the music as the program plays it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "args.h"
#include "audio/refill.h"
#include "progress.h"
#include "render.h"

namespace capture {

// Whether `ffmpeg -version` runs (found on PATH, and it works).
bool ffmpeg_available();

// ffmpeg's arguments (no shell: each is one argument, whatever it holds): raw RGB frames on
// stdin, the soundtrack from the file `audio`, the video into the file `output`.
std::vector<std::string> encoder_arguments(const Options& o, uint32_t rate,
                                           const std::string& audio, const std::string& output);

// Frames go to ffmpeg through a pipe; the soundtrack is made first (it is small) and handed
// over in a temporary file that is removed afterwards. ffmpeg writes the video under a
// temporary name beside o.video, renamed into place when it succeeds and removed when it
// fails. Returns the exit code.
int capture_video(const Options& o, const audio::FrameSource& music, uint32_t rate,
                  Progress& progress, app::ShowRunner& show);

}  // namespace capture
