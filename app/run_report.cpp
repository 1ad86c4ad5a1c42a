#include "app/run_report.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>

namespace app {
namespace {

constexpr const char* kPhaseNames[kPhaseCount] = {
    "window and context", "programs", "pictures", "screen quad",
    "music", "mesh", "fullscreen", "film framebuffer"};
constexpr const char* kPhaseKeys[kPhaseCount] = {
    "window", "programs", "pictures", "screen_quad",
    "music", "mesh", "fullscreen", "film_framebuffer"};

void add(std::string* out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void add(std::string* out, const char* format, ...) {
  char line[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  *out += line;
}

double ms(double seconds) { return seconds * 1000.0; }

double phases_total(const RunReport& r) {
  double sum = 0.0;
  for (int i = 0; i < r.phases_reached; ++i) sum += r.phase_seconds[i];
  return sum;
}

// JSON has no NaN or infinity; a number that is not finite is written as null.
void add_number(std::string* out, const char* key, double value, int decimals) {
  if (std::isfinite(value)) {
    add(out, "\"%s\":%.*f", key, decimals, value);
  } else {
    add(out, "\"%s\":null", key);
  }
}

void add_json_string(std::string* out, const std::string& text) {
  *out += '"';
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      *out += '\\';
      *out += static_cast<char>(c);
    } else if (c < 0x20) {
      add(out, "\\u%04x", c);
    } else {
      *out += static_cast<char>(c);
    }
  }
  *out += '"';
}

void text_startup(std::string* out, const RunReport& r) {
  if (r.to_first_frame >= 0.0) {
    add(out, "start-up   %.3f s from process start to the first presented frame\n",
        r.to_first_frame);
  } else {
    add(out, "start-up   ended before the first frame, after %d of %d phases\n",
        r.phases_reached, kPhaseCount);
  }
  for (int i = 0; i < r.phases_reached; ++i) {
    add(out, "  %-20s %9.1f ms\n", kPhaseNames[i], ms(r.phase_seconds[i]));
  }
  if (r.to_first_frame >= 0.0) {
    add(out, "  %-20s %9.1f ms  (the first frame and the untimed steps)\n", "the rest",
        ms(r.to_first_frame - phases_total(r)));
  }
}

void text_frames(std::string* out, const RunReport& r) {
  const FrameSummary& f = r.frames;
  const char* what = r.frames_are_render_times ? "render time" : "frame time";
  if (r.frames_are_render_times) {
    add(out, "rendered   %llu display frames, %.1f a second of rendering\n",
        static_cast<unsigned long long>(r.passes), f.mean_rate);
  } else {
    add(out, "display    %llu frames in %.2f s, %.1f a second\n",
        static_cast<unsigned long long>(r.passes), r.clock_seconds, f.mean_rate);
  }
  if (f.count == 0) return;
  add(out, "  %s p50 %.2f ms, p99 %.2f ms, max %.2f ms\n", what, ms(f.p50), ms(f.p99), ms(f.max));
  add(out, "  %llu frames longer than %.2f ms (twice the median)", 
      static_cast<unsigned long long>(f.slow), ms(2.0 * f.p50));
  if (f.window < f.count) {
    add(out, "; percentiles of the last %llu", static_cast<unsigned long long>(f.window));
  }
  *out += '\n';
}

void text_music(std::string* out, const RunReport& r) {
  if (r.rate == 0) {
    add(out, "music      no sound device played\n");
    return;
  }
  add(out, "music      %llu frames played at %u Hz (%.3f s); %llu stale halves, %llu halves "
      "caught up\n", static_cast<unsigned long long>(r.played_frames), r.rate,
      static_cast<double>(r.played_frames) / r.rate,
      static_cast<unsigned long long>(r.stale_halves),
      static_cast<unsigned long long>(r.halves_caught_up));
  if (r.first_frame_clock >= 0.0) {
    const double first =
        music_offset_frames(r.first_frame_clock, r.first_frame_played, r.rate, r.lead_in);
    add(out, "  at the first frame %.0f frames (%.1f ms) behind the frame clock\n", first,
        ms(first / r.rate));
  }
  const double offset = music_offset_frames(r.clock_seconds, r.played_frames, r.rate, r.lead_in);
  add(out, "  at the end %.0f frames (%.1f ms) behind the frame clock, of which the lead-in is %u "
      "(%.1f ms)\n", offset, ms(offset / r.rate), r.lead_in, ms(static_cast<double>(r.lead_in) / r.rate));
}

}  // namespace

const char* phase_name(Phase phase) { return kPhaseNames[static_cast<int>(phase)]; }
const char* phase_key(Phase phase) { return kPhaseKeys[static_cast<int>(phase)]; }

double music_offset_frames(double clock_seconds, uint64_t played, uint32_t rate,
                           uint32_t lead_in) {
  const double heard = static_cast<double>(played) - static_cast<double>(lead_in);
  return clock_seconds * rate - heard;
}

std::string format_text(const RunReport& r) {
  std::string out;
  add(&out, "quorl run report (exit code %d)\n", r.exit_code);
  if (r.has_startup) text_startup(&out, r);
  if (r.passes > 0 || !r.has_startup) text_frames(&out, r);
  if (r.film.advances > 0) {
    add(&out, "film       %llu indices gone through: %llu advances, %llu rendered a scene; "
        "%llu skipped (display slower than 16 a second)\n",
        static_cast<unsigned long long>(r.film.indices),
        static_cast<unsigned long long>(r.film.advances),
        static_cast<unsigned long long>(r.film.scenes),
        static_cast<unsigned long long>(r.film.skipped));
  }
  if (r.has_music && r.passes > 0) text_music(&out, r);
  if (r.screen_width > 0) {
    add(&out, "screen     %u x %u, %s\n", r.screen_width, r.screen_height,
        r.renderer.empty() ? "no renderer" : r.renderer.c_str());
  }
  return out;
}

std::string format_json(const RunReport& r) {
  std::string out = "{";
  if (r.has_startup) {
    out += "\"startup\":{";
    if (r.to_first_frame >= 0.0) {
      add_number(&out, "first_frame_ms", ms(r.to_first_frame), 3);
    } else {
      out += "\"first_frame_ms\":null";
    }
    out += ",\"phases\":[";
    for (int i = 0; i < r.phases_reached; ++i) {
      add(&out, "%s{\"name\":\"%s\",", i ? "," : "", kPhaseKeys[i]);
      add_number(&out, "ms", ms(r.phase_seconds[i]), 3);
      out += '}';
    }
    out += "]},";
  }
  const FrameSummary& f = r.frames;
  add(&out, "\"frames\":{\"count\":%llu,\"times\":\"%s\",", static_cast<unsigned long long>(r.passes),
      r.frames_are_render_times ? "render" : "display");
  add_number(&out, "seconds", r.clock_seconds, 3);
  out += ',';
  add_number(&out, "mean_fps", f.mean_rate, 2);
  out += ',';
  add_number(&out, "p50_ms", ms(f.p50), 3);
  out += ',';
  add_number(&out, "p99_ms", ms(f.p99), 3);
  out += ',';
  add_number(&out, "max_ms", ms(f.max), 3);
  add(&out, ",\"slow\":%llu,\"window\":%llu},", static_cast<unsigned long long>(f.slow),
      static_cast<unsigned long long>(f.window));
  add(&out, "\"film\":{\"indices\":%llu,\"advances\":%llu,\"scenes\":%llu,\"skipped\":%llu}",
      static_cast<unsigned long long>(r.film.indices),
      static_cast<unsigned long long>(r.film.advances),
      static_cast<unsigned long long>(r.film.scenes),
      static_cast<unsigned long long>(r.film.skipped));
  if (r.has_music) {
    add(&out, ",\"music\":{\"rate\":%u,\"played_frames\":%llu,\"stale_halves\":%llu,"
        "\"halves_caught_up\":%llu,\"lead_in\":%u,", r.rate,
        static_cast<unsigned long long>(r.played_frames),
        static_cast<unsigned long long>(r.stale_halves),
        static_cast<unsigned long long>(r.halves_caught_up), r.lead_in);
    if (r.rate > 0 && r.first_frame_clock >= 0.0) {
      add_number(&out, "offset_first_frame_frames",
                 music_offset_frames(r.first_frame_clock, r.first_frame_played, r.rate, r.lead_in),
                 0);
    } else {
      out += "\"offset_first_frame_frames\":null";
    }
    out += ',';
    if (r.rate > 0 && r.passes > 0) {
      add_number(&out, "offset_frames",
                 music_offset_frames(r.clock_seconds, r.played_frames, r.rate, r.lead_in), 0);
    } else {
      out += "\"offset_frames\":null";
    }
    out += '}';
  }
  add(&out, ",\"screen\":{\"width\":%u,\"height\":%u},\"renderer\":", r.screen_width,
      r.screen_height);
  add_json_string(&out, r.renderer);
  add(&out, ",\"exit_code\":%d}", r.exit_code);
  return out;
}

}  // namespace app
