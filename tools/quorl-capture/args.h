// Command line of quorl-capture.
#pragma once

#include <string>
#include <vector>

namespace capture {

enum class Mode { kNone, kVideo, kFrames, kAt, kSheet };

struct Options {
  int width = 1920;
  int height = 1080;
  int fps = 60;
  Mode mode = Mode::kNone;
  std::string video;              // --video FILE (.mp4 or .mkv)
  std::string frames_dir;         // --frames DIR
  double from = 0.0, to = -1.0;   // --from S --to S (to < 0: to the end)
  std::vector<double> at;         // --at T1,T2,...
  std::string out_dir;            // --out DIR
  std::string sheet;              // --sheet FILE
  bool stats = false;             // --stats: where the time went, on stderr
};

constexpr const char* kUsage =
    "usage: quorl-capture [--size WxH] [--fps N] [--stats] MODE\n"
    "  --video FILE            the whole show with its music (.mp4: H.264 + AAC; .mkv: H.264 + FLAC)\n"
    "  --frames DIR [--from S] [--to S]   every display frame as DIR/000000.png, ...\n"
    "  --at T1,T2,... --out DIR           the first display frame at or after each time\n"
    "  --sheet FILE            a contact sheet: one labelled thumbnail per schedule slot\n";

// Parses argv (without the program name). On error returns false with a reason in *error.
bool parse_args(const std::vector<std::string>& args, Options* out, std::string* error);

}  // namespace capture
