#include "report/run_stats.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "audio/music.h"
#include "demo/film_counts.h"
#include "demo/state.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "platform/window.h"

namespace report {
namespace {

// 2^18 frame times: over 30 minutes at 144 Hz. Untouched (so never paged in) when off.
constexpr uint32_t kRingFrames = 1u << 18;
float g_ring[kRingFrames];

struct StatsState {
  StatsMode mode = StatsMode::kOff;
  uint64_t last_mark = 0;
  int phases_reached = 0;
  double phase_seconds[kPhaseCount] = {};
  char renderer[160] = {};
  app::LoopServices base = {};
  uint64_t passes = 0;
  double last_clock = 0.0;
  uint64_t loop_start = 0;     // counter reading the frame clock counts from
  uint64_t first_present = 0;  // 0: not yet
  uint64_t first_played = 0;   // device frames played at the first present
  bool waited = false;         // the show's loop waited for the sound (first_wait is set)
  platform::FirstRequest first_wait = {};
  FrameTimes frames = {g_ring, kRingFrames, 0, 0.0, 0.0};
} g_stats;

// Process start as near as the program can see it: before main and before any other
// constructor of ours (the dynamic loader has run by then). Kept apart from g_stats, which a
// later initialiser could overwrite.
uint64_t g_process_start;
__attribute__((constructor(101))) void note_process_start() {
  g_process_start = platform::counter();
}

double seconds_between(uint64_t from, uint64_t to) {
  return static_cast<double>(to - from) / static_cast<double>(platform::counter_frequency());
}

void recording_set_clock(double t) {
  if (g_stats.passes == 0) {
    const double ticks = t * static_cast<double>(platform::counter_frequency());
    g_stats.loop_start = platform::counter() - static_cast<uint64_t>(ticks);
  } else {
    add_frame_time(&g_stats.frames, t - g_stats.last_clock);
  }
  g_stats.last_clock = t;
  ++g_stats.passes;
  g_stats.base.set_clock(t);
}

void recording_present() {
  g_stats.base.present();
  if (g_stats.first_present == 0) {
    g_stats.first_present = platform::counter();
    g_stats.first_played = audio::music_stats().played_frames;
  }
}

RunReport collect(int exit_code) {
  const uint64_t now = platform::counter();
  RunReport r;
  r.phases_reached = g_stats.phases_reached;
  std::memcpy(r.phase_seconds, g_stats.phase_seconds, sizeof r.phase_seconds);
  if (g_stats.first_present != 0) {
    r.to_first_frame = seconds_between(g_process_start, g_stats.first_present);
  }
  r.frames = summarise_frames(g_stats.frames);
  r.passes = g_stats.passes;
  r.film = demo::film_counts();
  const audio::MusicStats music = audio::music_stats();
  r.rate = music.rate;
  r.played_frames = music.played_frames;
  if (g_stats.first_present != 0) {
    r.first_frame_clock = seconds_between(g_stats.loop_start, g_stats.first_present);
    r.first_frame_played = g_stats.first_played;
  }
  r.stale_halves = music.stale_halves;
  r.halves_caught_up = music.halves_caught_up;
  r.frames_skipped = music.frames_skipped;
  r.underruns = music.underruns;
  r.first_callback_known = music.rate > 0 && music.first_lag != audio::kNoLag;
  r.first_callback_lag = r.first_callback_known ? music.first_lag : 0;
  r.devices_lost = music.devices_lost;
  r.devices_reopened = music.devices_reopened;
  if (g_stats.waited) {
    r.sound_wait = seconds_between(0, g_stats.first_wait.waited);
    r.sound_answered = g_stats.first_wait.answered;
  }
  r.lead_in = audio::kHalfFrames;
  r.clock_seconds = g_stats.passes > 0 ? seconds_between(g_stats.loop_start, now) : 0.0;
  r.screen_width = demo::inputs().screen_width;
  r.screen_height = demo::inputs().screen_height;
  r.renderer = g_stats.renderer;
  r.exit_code = exit_code;
  return r;
}

void print_report(int exit_code) {
  const RunReport r = collect(exit_code);
  const std::string text =
      g_stats.mode == StatsMode::kJson ? format_json(r) + "\n" : format_text(r);
  std::fputs(text.c_str(), stderr);
}

}  // namespace

std::string gl_renderer() {
  constexpr unsigned kGlRenderer = 0x1F01;
  return platform::gl_string(kGlRenderer);
}

StatsMode stats_mode(const char* value) {
  if (!value || !*value || std::strcmp(value, "0") == 0) return StatsMode::kOff;
  return std::strcmp(value, "json") == 0 ? StatsMode::kJson : StatsMode::kText;
}

void start_run_stats() {
  g_stats.mode = stats_mode(std::getenv("QUORL_STATS"));
  if (g_stats.mode == StatsMode::kOff) return;
  g_stats.last_mark = g_process_start;
  platform::set_exit_hook(&print_report);
}

void phase_done(Phase phase) {
  if (g_stats.mode == StatsMode::kOff) return;
  const uint64_t now = platform::counter();
  const int i = static_cast<int>(phase);
  g_stats.phase_seconds[i] = seconds_between(g_stats.last_mark, now);
  g_stats.last_mark = now;
  if (i + 1 > g_stats.phases_reached) g_stats.phases_reached = i + 1;
  if (phase == Phase::kWindow) {
    std::snprintf(g_stats.renderer, sizeof g_stats.renderer, "%s", gl_renderer().c_str());
  }
}

void first_request_waited(const platform::FirstRequest& first) {
  if (g_stats.mode == StatsMode::kOff) return;
  g_stats.waited = true;
  g_stats.first_wait = first;
}

app::LoopServices with_run_stats(const app::LoopServices& services) {
  if (g_stats.mode == StatsMode::kOff) return services;
  g_stats.base = services;
  app::LoopServices wrapped = services;
  wrapped.set_clock = &recording_set_clock;
  wrapped.present = &recording_present;
  return wrapped;
}

}  // namespace report
