#include "report/run_report.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "report/json_text.h"

namespace report {
namespace {

constexpr const char* kPhaseNames[kPhaseCount] = {
    "window and context", "programs",        "pictures", "screen quad", "music", "mesh",
    "fullscreen",         "film framebuffer"};
constexpr const char* kPhaseKeys[kPhaseCount] = {"window",      "programs",        "pictures",
                                                 "screen_quad", "music",           "mesh",
                                                 "fullscreen",  "film_framebuffer"};

// One value of the report, written once: its member name in the JSON object of its section
// and the fragment of the readable report it is printed in (a printf format with at most
// one conversion, which takes the value). Either may be missing: a value only one of the
// two forms shows.
struct Field {
  enum class Kind { kCount, kInt, kReal, kText, kNull, kList };
  const char* key = nullptr;
  const char* readable = nullptr;
  Kind kind = Kind::kNull;
  unsigned long long count = 0;
  int integer = 0;
  double real = 0.0;
  int decimals = 0;  // JSON only; the readable fragment has its own precision
  std::string text;
  std::vector<std::vector<Field>> items;  // kList: a JSON array of objects, read in order
};

struct Section {
  const char* key;  // the JSON object of the section; nullptr: members of the top level
  bool readable;    // the readable report shows this section
  std::vector<Field> fields;
  bool json = true;  // the JSON object has this section
};

Field count(const char* key, const char* readable, uint64_t value) {
  Field f;
  f.key = key;
  f.readable = readable;
  f.kind = Field::Kind::kCount;
  f.count = static_cast<unsigned long long>(value);
  return f;
}

Field integer(const char* key, const char* readable, int64_t value) {
  Field f = count(key, readable, 0);
  f.kind = Field::Kind::kInt;
  f.integer = static_cast<int>(value);
  return f;
}

Field real(const char* key, const char* readable, double value, int decimals) {
  Field f = count(key, readable, 0);
  f.kind = Field::Kind::kReal;
  f.real = value;
  f.decimals = decimals;
  return f;
}

Field text(const char* key, const char* readable, std::string value) {
  Field f = count(key, readable, 0);
  f.kind = Field::Kind::kText;
  f.text = std::move(value);
  return f;
}

Field null(const char* key, const char* readable = nullptr) {
  Field f = count(key, readable, 0);
  f.kind = Field::Kind::kNull;
  return f;
}

// A real value the report may not have: null in JSON, and nothing in the readable form.
Field real_or_null(const char* key, const char* readable, bool known, double value, int decimals) {
  return known ? real(key, readable, value, decimals) : null(key);
}

double ms(double seconds) { return seconds * 1000.0; }

double phases_total(const RunReport& r) {
  double sum = 0.0;
  for (int i = 0; i < r.phases_reached; ++i) sum += r.phase_seconds[i];
  return sum;
}

Section startup_section(const RunReport& r) {
  Section s{"startup", r.has_startup, {}, r.has_startup};
  const bool first = r.to_first_frame >= 0.0;
  if (first) {
    s.fields.push_back(real(nullptr,
                            "start-up   %.3f s from process start to the first presented frame\n",
                            r.to_first_frame, 0));
    s.fields.push_back(real("first_frame_ms", nullptr, ms(r.to_first_frame), 3));
  } else {
    s.fields.push_back(
        integer(nullptr, "start-up   ended before the first frame, after %d", r.phases_reached));
    s.fields.push_back(integer(nullptr, " of %d phases\n", kPhaseCount));
    s.fields.push_back(null("first_frame_ms"));
  }
  Field phases = null("phases");
  phases.kind = Field::Kind::kList;
  for (int i = 0; i < r.phases_reached; ++i) {
    phases.items.push_back({text("name", nullptr, kPhaseKeys[i]),
                            text(nullptr, "  %-20s", kPhaseNames[i]),
                            real("ms", " %9.1f ms\n", ms(r.phase_seconds[i]), 3)});
  }
  s.fields.push_back(std::move(phases));
  // The first frame's wait for the sound device to ask for sound: the clock starts there.
  const bool waited = r.sound_wait >= 0.0;
  const bool device = r.rate > 0;
  s.fields.push_back(text(nullptr, waited ? "  %-20s" : nullptr, "sound's first request"));
  s.fields.push_back(real_or_null("sound_wait_ms", " %9.1f ms", waited, ms(r.sound_wait), 3));
  s.fields.push_back(text("sound_request", nullptr,
                          !waited            ? "none"
                          : r.sound_answered ? "answered"
                          : device           ? "timed out"
                                             : "no device"));
  s.fields.push_back(null(nullptr, !waited            ? nullptr
                                   : r.sound_answered ? "  (the clock starts there)\n"
                                   : device ? "  (none came: the show started without it)\n"
                                            : "  (no sound device)\n"));
  if (first) {
    s.fields.push_back(text(nullptr, "  %-20s", "the rest"));
    s.fields.push_back(real(nullptr, " %9.1f ms  (the first frame and the untimed steps)\n",
                            ms(r.to_first_frame - phases_total(r) - (waited ? r.sound_wait : 0.0)),
                            0));
  }
  return s;
}

Section frames_section(const RunReport& r) {
  const FrameSummary& f = r.frames;
  const bool render = r.frames_are_render_times;
  const bool timed = f.count > 0;  // the readable lines past the first need frame times
  Section s{"frames", r.passes > 0 || !r.has_startup, {}};
  s.fields = {
      count("count", render ? "rendered   %llu display frames" : "display    %llu frames",
            r.passes),
      text("times", nullptr, render ? "render" : "display"),
      real("seconds", render ? nullptr : " in %.2f s", r.clock_seconds, 3),
      real("mean_fps", render ? ", %.1f a second of rendering\n" : ", %.1f a second\n", f.mean_rate,
           2),
      text(nullptr, timed ? "  %s" : nullptr, render ? "render time" : "frame time"),
      real("p50_ms", timed ? " p50 %.2f ms" : nullptr, ms(f.p50), 3),
      real("p99_ms", timed ? ", p99 %.2f ms" : nullptr, ms(f.p99), 3),
      real("max_ms", timed ? ", max %.2f ms\n" : nullptr, ms(f.max), 3),
      count("slow", timed ? "  %llu frames longer than" : nullptr, f.slow),
      real(nullptr, timed ? " %.2f ms (twice the median)" : nullptr, ms(2.0 * f.p50), 0),
      count("window",
            !timed               ? nullptr
            : f.window < f.count ? "; percentiles of the last %llu\n"
                                 : "\n",
            f.window),
  };
  return s;
}

Section film_section(const RunReport& r) {
  return {"film",
          r.film.advances > 0,
          {count("indices", "film       %llu indices gone through", r.film.indices),
           count("advances", ": %llu advances", r.film.advances),
           count("scenes", ", %llu rendered a scene", r.film.scenes),
           count("skipped", "; %llu skipped (display slower than 16 a second)\n", r.film.skipped)}};
}

Section music_section(const RunReport& r) {
  Section s{r.has_music ? "music" : nullptr, r.has_music && r.passes > 0, {}};
  if (!r.has_music) return s;
  const bool played = r.rate > 0;
  const double rate = played ? r.rate : 1.0;
  const bool first = played && r.first_frame_clock >= 0.0;
  const bool end = played && r.passes > 0;
  const double first_offset =
      first ? music_offset_frames(r.first_frame_clock, r.first_frame_played, r.rate, r.lead_in)
            : 0.0;
  const double offset =
      played ? music_offset_frames(r.clock_seconds, r.played_frames, r.rate, r.lead_in) : 0.0;
  // With the device gone the position says nothing of what is heard: no lag at the end.
  const bool lost = r.devices_lost > r.devices_reopened;
  s.fields = {
      null(nullptr, played ? nullptr : "music      no sound device played\n"),
      count("played_frames", played ? "music      %llu frames played" : nullptr, r.played_frames),
      count("rate", played ? " at %llu Hz" : nullptr, r.rate),
      real(nullptr, played ? " (%.3f s)" : nullptr, r.played_frames / rate, 0),
      count("stale_halves", played ? "; %llu stale halves" : nullptr, r.stale_halves),
      count("halves_caught_up", played ? ", %llu halves caught up\n" : nullptr, r.halves_caught_up),
      count("frames_skipped", played ? "  %llu frames skipped to stay in step" : nullptr,
            r.frames_skipped),
      count("underruns", played ? ", %llu device underruns seen" : nullptr, r.underruns),
      real_or_null("first_callback_frames", "; the device first asked %.0f frames",
                   played && r.first_callback_known, static_cast<double>(r.first_callback_lag), 0),
      real(nullptr, played && r.first_callback_known ? " (%.1f ms) after the resume" : nullptr,
           ms(r.first_callback_lag / rate), 0),
      null(nullptr, played ? "\n" : nullptr),
      count("devices_lost",
            played && r.devices_lost ? "  the sound device was lost %llu times" : nullptr,
            r.devices_lost),
      count("devices_reopened", played && r.devices_lost ? ", opened again %llu times" : nullptr,
            r.devices_reopened),
      null(nullptr, !played || !r.devices_lost ? nullptr
                    : lost                     ? "; none plays at the end\n"
                                               : "; one plays at the end\n"),
      count("lead_in", nullptr, r.lead_in),
      real_or_null("offset_first_frame_frames", "  at the first frame %.0f frames", first,
                   first_offset, 0),
      real(nullptr, first ? " (%.1f ms) behind the frame clock\n" : nullptr,
           ms(first_offset / rate), 0),
      real_or_null("offset_frames", "  at the end %.0f frames", end && !lost, offset, 0),
      real(nullptr, played && !lost ? " (%.1f ms) behind the frame clock" : nullptr,
           ms(offset / rate), 0),
      count(nullptr, played && !lost ? ", of which the lead-in is %llu" : nullptr, r.lead_in),
      real(nullptr, played && !lost ? " (%.1f ms)\n" : nullptr, ms(r.lead_in / rate), 0),
  };
  return s;
}

// The whole report in the order both forms write it.
std::vector<Section> report_sections(const RunReport& r) {
  const bool screen = r.screen_width > 0;
  return {
      {nullptr, true, {integer(nullptr, "quorl run report (exit code %d)\n", r.exit_code)}},
      startup_section(r),
      frames_section(r),
      film_section(r),
      music_section(r),
      {"screen",
       screen,
       {count("width", "screen     %llu", r.screen_width),
        count("height", " x %llu", r.screen_height)}},
      {nullptr,
       screen,
       {text("renderer", nullptr, r.renderer),
        text(nullptr, ", %s\n", r.renderer.empty() ? "no renderer" : r.renderer),
        integer("exit_code", nullptr, r.exit_code)}},
  };
}

void add_readable(std::string* out, const Field& f) {
  if (f.kind == Field::Kind::kList) {
    for (const std::vector<Field>& item : f.items) {
      for (const Field& g : item) add_readable(out, g);
    }
    return;
  }
  if (!f.readable) return;
  char line[512];
  switch (f.kind) {
    case Field::Kind::kCount: std::snprintf(line, sizeof line, f.readable, f.count); break;
    case Field::Kind::kInt: std::snprintf(line, sizeof line, f.readable, f.integer); break;
    case Field::Kind::kReal: std::snprintf(line, sizeof line, f.readable, f.real); break;
    case Field::Kind::kText: std::snprintf(line, sizeof line, f.readable, f.text.c_str()); break;
    default: std::snprintf(line, sizeof line, "%s", f.readable); break;
  }
  *out += line;
}

void add_json_members(std::string* out, const std::vector<Field>& fields, bool* first);

void add_json_value(std::string* out, const Field& f) {
  char number[64];
  switch (f.kind) {
    case Field::Kind::kCount: std::snprintf(number, sizeof number, "%llu", f.count); break;
    case Field::Kind::kInt: std::snprintf(number, sizeof number, "%d", f.integer); break;
    case Field::Kind::kReal:
      // JSON has no NaN or infinity; a number that is not finite is written as null.
      if (std::isfinite(f.real)) {
        std::snprintf(number, sizeof number, "%.*f", f.decimals, f.real);
      } else {
        std::snprintf(number, sizeof number, "null");
      }
      break;
    case Field::Kind::kText: *out += json_string(f.text); return;
    case Field::Kind::kList: {
      *out += '[';
      for (size_t i = 0; i < f.items.size(); ++i) {
        if (i) *out += ',';
        bool first = true;
        *out += '{';
        add_json_members(out, f.items[i], &first);
        *out += '}';
      }
      *out += ']';
      return;
    }
    default: std::snprintf(number, sizeof number, "null"); break;
  }
  *out += number;
}

void add_json_members(std::string* out, const std::vector<Field>& fields, bool* first) {
  for (const Field& f : fields) {
    if (!f.key) continue;
    if (!*first) *out += ',';
    *first = false;
    *out += json_string(f.key);
    *out += ':';
    add_json_value(out, f);
  }
}

}  // namespace

const char* phase_name(Phase phase) { return kPhaseNames[static_cast<int>(phase)]; }
const char* phase_key(Phase phase) { return kPhaseKeys[static_cast<int>(phase)]; }

double music_offset_frames(double clock_seconds, uint64_t played, uint32_t rate, uint32_t lead_in) {
  const double heard = static_cast<double>(played) - static_cast<double>(lead_in);
  return clock_seconds * rate - heard;
}

std::string format_text(const RunReport& r) {
  std::string out;
  for (const Section& s : report_sections(r)) {
    if (!s.readable) continue;
    for (const Field& f : s.fields) add_readable(&out, f);
  }
  return out;
}

std::string format_json(const RunReport& r) {
  std::string out = "{";
  bool first = true;
  for (const Section& s : report_sections(r)) {
    if (!s.json) continue;
    if (!s.key) {
      add_json_members(&out, s.fields, &first);
      continue;
    }
    if (!first) out += ',';
    first = false;
    out += json_string(s.key);
    out += ":{";
    bool first_member = true;
    add_json_members(&out, s.fields, &first_member);
    out += '}';
  }
  out += '}';
  return out;
}

}  // namespace report
