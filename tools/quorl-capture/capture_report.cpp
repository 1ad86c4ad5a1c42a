#include "capture_report.h"

#include <cstdio>
#include <cstdlib>

#include "demo/film_counts.h"
#include "report/frame_stats.h"
#include "report/run_stats.h"

namespace capture {
namespace {
constexpr uint32_t kRingFrames = 1u << 16;  // the whole show at 500 fps
float g_ring[kRingFrames];
report::FrameTimes g_render_times = {g_ring, kRingFrames, 0, 0.0, 0.0};
}  // namespace

void note_render_time(double seconds) { report::add_frame_time(&g_render_times, seconds); }

report::RunReport capture_report(int width, int height, int exit_code) {
  report::RunReport r;
  r.has_startup = false;
  r.has_music = false;
  r.frames_are_render_times = true;
  r.frames = report::summarise_frames(g_render_times);
  r.passes = g_render_times.count;
  r.clock_seconds = g_render_times.sum;
  r.film = demo::film_counts();
  r.screen_width = static_cast<uint32_t>(width);
  r.screen_height = static_cast<uint32_t>(height);
  r.renderer = report::gl_renderer();
  r.exit_code = exit_code;
  return r;
}

void print_capture_report(int width, int height, int exit_code) {
  const report::RunReport r = capture_report(width, height, exit_code);
  const bool json = report::stats_mode(std::getenv("QUORL_STATS")) == report::StatsMode::kJson;
  std::fputs((json ? report::format_json(r) + "\n" : report::format_text(r)).c_str(), stderr);
}

}  // namespace capture
