// Command line of quorl-capture.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace capture {

enum class Mode { kNone, kVideo, kFrames, kAt, kSheet };

struct Options {
  int width = 1920;
  int height = 1080;
  int fps = 60;
  Mode mode = Mode::kNone;
  std::string video;             // --video FILE (.mp4 or .mkv)
  std::string frames_dir;        // --frames DIR
  double from = 0.0, to = -1.0;  // --from S --to S (to < 0: to the end)
  std::vector<double> at;        // --at T1,T2,...
  std::string out_dir;           // --out DIR
  std::string sheet;             // --sheet FILE
  bool stats = false;            // --stats: where the time went, on stderr
  std::string data_dir;          // --data DIR: the show's data folder
  std::string preset;            // --preset NAME: x264's speed for --video
  bool help = false;             // -h, --help
};

// x264's presets, fastest first; --video uses kDefaultPreset unless told otherwise.
constexpr const char* kPresets[] = {"ultrafast", "superfast", "veryfast", "faster",  "fast",
                                    "medium",    "slow",      "slower",   "veryslow"};
constexpr const char* kDefaultPreset = "ultrafast";

constexpr const char* kUsage =
    "usage: quorl-capture [--size WxH] [--fps N] [--data DIR] [--stats] MODE\n"
    "modes:\n"
    "  --video FILE [--preset P]  the whole show with its music (.mp4: H.264 + AAC;\n"
    "                             .mkv: H.264 + FLAC); P is x264's speed, ultrafast to\n"
    "                             veryslow (default ultrafast)\n"
    "  --frames DIR [--from S] [--to S]  every display frame from S to S seconds as\n"
    "                             DIR/000000.png, ... (numbered by display frame)\n"
    "  --at T1,T2,... --out DIR   the first display frame at or after each time (seconds)\n"
    "                             as DIR/000.png, 001.png, ...\n"
    "  --sheet FILE               a contact sheet: one labelled thumbnail per schedule slot\n"
    "options:\n"
    "  --size WxH   picture size (default 1920x1080, even numbers)\n"
    "  --fps N      display frames per second (default 60)\n"
    "  --data DIR   the show's data folder; by default the current folder or its data/\n"
    "  --stats      print where the time went\n"
    "  -h, --help   this text\n"
    "Folders are made as needed. The show lasts 131 seconds; captures of late times only\n"
    "run the show's logic up to the first frame they write. Each file is written under a\n"
    "temporary name beside it and renamed into place only when whole.\n"
    "exit status:\n"
    "  0    done\n"
    "  1    the capture failed on the way: a write failed (the system's reason, such as\n"
    "       \"No space left on device\", is printed and the capture stops; files already\n"
    "       written are whole, the one that failed is not left behind) or ffmpeg failed\n"
    "       (no video is left)\n"
    "  2    a wrong command line, or an output that cannot be written (checked before\n"
    "       rendering), or no data folder\n"
    "  255  the show's data does not load\n";

// Parses argv (without the program name). On error returns false with a reason in *error.
// -h or --help anywhere sets `help` and succeeds.
bool parse_args(const std::vector<std::string>& args, Options* out, std::string* error);

// The display frames the request writes, in output order (--at: one per time asked; --frames:
// every frame in the range; --sheet: the middle of each slot; --video: all). False, with a
// reason in seconds, when the request would write nothing.
bool frames_to_write(const Options& o, std::vector<int64_t>* frames, std::string* error);

}  // namespace capture
