#include "args.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "app/seek.h"
#include "demo/timeline.h"

namespace capture {
namespace {

bool parse_number(const std::string& s, double* out) {
  if (s.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(s.c_str(), &end);
  if (errno != 0 || *end != '\0' || !std::isfinite(v) || v < 0.0) return false;
  *out = v;
  return true;
}

bool parse_int(const std::string& s, int lo, int hi, int* out) {
  if (s.empty() || s.find_first_not_of("0123456789") != std::string::npos || s.size() > 6)
    return false;
  const int v = std::atoi(s.c_str());
  if (v < lo || v > hi) return false;
  *out = v;
  return true;
}

bool ends_with(const std::string& s, const char* suffix) {
  const std::string x(suffix);
  return s.size() > x.size() && s.compare(s.size() - x.size(), x.size(), x) == 0;
}

// Options that take a value; the rest are --stats and -h/--help.
const char* const kValueOptions[] = {"--size", "--fps",  "--video",  "--frames", "--from", "--to",
                                     "--at",   "--data", "--preset", "--out",    "--sheet"};

bool is_option(const std::string& a) {
  if (a == "--stats" || a == "-h" || a == "--help") return true;
  for (const char* name : kValueOptions) {
    if (a == name) return true;
  }
  return false;
}

bool set_mode(Options* o, Mode m, std::string* error) {
  if (o->mode != Mode::kNone) {
    *error = "choose one of --video, --frames, --at, --sheet";
    return false;
  }
  o->mode = m;
  return true;
}

}  // namespace

bool parse_args(const std::vector<std::string>& args, Options* o, std::string* error) {
  *o = Options{};
  bool has_from = false, has_to = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool has_value = i + 1 < args.size();
    auto value = [&]() -> const std::string& { return args[++i]; };
    if (a == "--stats") {
      o->stats = true;
      continue;
    }
    if (a == "-h" || a == "--help") {
      o->help = true;
      return true;
    }
    // What the argument is comes first: an unknown one is never "missing its value".
    if (!is_option(a)) {
      *error = a.size() > 1 && a[0] == '-' ? "unknown option " + a : "unexpected argument " + a;
      return false;
    }
    // `--out --stats` is a forgotten value, not a folder named "--stats".
    if (!has_value || is_option(args[i + 1])) {
      *error = a + " needs a value";
      return false;
    }
    if (a == "--size") {
      const std::string v = value();
      const size_t x = v.find('x');
      if (x == std::string::npos || !parse_int(v.substr(0, x), 16, 8192, &o->width) ||
          !parse_int(v.substr(x + 1), 16, 8192, &o->height)) {
        *error = "--size wants WxH, each 16 to 8192";
        return false;
      }
      if (o->width % 2 || o->height % 2) {
        *error = "--size wants even width and height (the video is yuv420p)";
        return false;
      }
    } else if (a == "--fps") {
      if (!parse_int(value(), 1, 1000, &o->fps)) {
        *error = "--fps wants a whole number from 1 to 1000";
        return false;
      }
    } else if (a == "--video") {
      if (!set_mode(o, Mode::kVideo, error)) return false;
      o->video = value();
      if (!ends_with(o->video, ".mp4") && !ends_with(o->video, ".mkv")) {
        *error = "--video wants a file ending in .mp4 or .mkv";
        return false;
      }
    } else if (a == "--frames") {
      if (!set_mode(o, Mode::kFrames, error)) return false;
      o->frames_dir = value();
    } else if (a == "--from" || a == "--to") {
      double v;
      if (!parse_number(value(), &v)) {
        *error = a + " wants a time in seconds";
        return false;
      }
      (a == "--from" ? o->from : o->to) = v;
      (a == "--from" ? has_from : has_to) = true;
    } else if (a == "--at") {
      if (!set_mode(o, Mode::kAt, error)) return false;
      std::string list = value();
      size_t start = 0;
      while (start <= list.size()) {
        const size_t comma = list.find(',', start);
        const std::string item =
            list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        double t;
        if (!parse_number(item, &t)) {
          *error = "--at wants times in seconds separated by commas";
          return false;
        }
        o->at.push_back(t);
        if (comma == std::string::npos) break;
        start = comma + 1;
      }
    } else if (a == "--data") {
      o->data_dir = value();
    } else if (a == "--preset") {
      o->preset = value();
      bool known = false;
      for (const char* p : kPresets) known = known || o->preset == p;
      if (!known) {
        *error =
            "--preset wants one of ultrafast, superfast, veryfast, faster, fast, medium, "
            "slow, slower, veryslow";
        return false;
      }
    } else if (a == "--out") {
      o->out_dir = value();
    } else if (a == "--sheet") {
      if (!set_mode(o, Mode::kSheet, error)) return false;
      o->sheet = value();
    }
  }
  if (o->mode == Mode::kNone) {
    *error = "no mode given";
    return false;
  }
  if ((has_from || has_to) && o->mode != Mode::kFrames) {
    *error = "--from and --to go with --frames";
    return false;
  }
  if (has_to && o->to < o->from) {
    *error = "--to comes before --from";
    return false;
  }
  if (o->mode == Mode::kAt && o->out_dir.empty()) {
    *error = "--at needs --out DIR";
    return false;
  }
  if (o->mode != Mode::kAt && !o->out_dir.empty()) {
    *error = "--out goes with --at";
    return false;
  }
  if (o->mode != Mode::kVideo && !o->preset.empty()) {
    *error = "--preset goes with --video";
    return false;
  }
  if (o->preset.empty()) o->preset = kDefaultPreset;
  return true;
}

bool frames_to_write(const Options& o, std::vector<int64_t>* frames, std::string* error) {
  frames->clear();
  const int64_t count = app::show_frames(o.fps);
  const double end = static_cast<double>(count - 1) / o.fps;  // the last frame run
  char text[200];
  switch (o.mode) {
    case Mode::kAt:
      for (double t : o.at) {
        const int64_t k = app::frame_at_or_after(t, o.fps);
        if (k >= count) {
          std::snprintf(text, sizeof text,
                        "--at %g s is after the show's last frame (%.3f s at %d fps); "
                        "nothing would be written for it",
                        t, end, o.fps);
          *error = text;
          return false;
        }
        frames->push_back(k);
      }
      return true;
    case Mode::kFrames: {
      const int64_t first = app::frame_at_or_after(o.from, o.fps);
      int64_t last = count - 1;
      if (o.to >= 0) {
        const int64_t k = app::frame_at_or_after(o.to, o.fps);
        last = std::min(last, static_cast<double>(k) / o.fps > o.to ? k - 1 : k);
      }
      if (first >= count) {
        std::snprintf(text, sizeof text,
                      "--from %g s is after the show's last frame (%.3f s at %d fps); "
                      "nothing would be written",
                      o.from, end, o.fps);
        *error = text;
        return false;
      }
      if (first > last) {
        std::snprintf(text, sizeof text,
                      "no display frame lies between --from %g s and --to %g s at %d fps; "
                      "nothing would be written",
                      o.from, o.to, o.fps);
        *error = text;
        return false;
      }
      for (int64_t k = first; k <= last; ++k) frames->push_back(k);
      return true;
    }
    case Mode::kSheet: {
      const double* bounds = demo::slot_bounds();
      for (int s = 0; s < demo::kSlotCount; ++s) {
        const double from = s == 0 ? 0.0 : bounds[s - 1];
        // The last slot plays its fade backwards in effective time; its middle is t = 130.
        frames->push_back(app::frame_at_or_after((from + bounds[s]) / 2.0, o.fps));
      }
      return true;
    }
    case Mode::kVideo:
      for (int64_t k = 0; k < count; ++k) frames->push_back(k);
      return true;
    case Mode::kNone: break;
  }
  *error = "no mode given";
  return false;
}

}  // namespace capture
