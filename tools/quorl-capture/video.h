// The whole show to a video file through ffmpeg, with the music as the program plays it.
#pragma once

#include <cstdint>
#include <string>

#include "args.h"
#include "audio/refill.h"
#include "progress.h"
#include "show_runner.h"

namespace capture {

bool ffmpeg_available();

// The ffmpeg command line for the video: raw RGB frames on stdin, the soundtrack from `audio`.
std::string encoder_command(const Options& o, uint32_t rate, const std::string& audio);

// Frames go to ffmpeg through a pipe; the soundtrack is made first (it is small) and handed
// over in a temporary file that is removed afterwards. Returns the exit code.
int capture_video(const Options& o, const audio::FrameSource& music, uint32_t rate,
                  Progress& progress, ShowRunner& show);

}  // namespace capture
