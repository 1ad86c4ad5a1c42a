// The run report: what a run's numbers were, as readable text or as one JSON object. Pure
// formatting of a filled-in record; the recorder (report/run_stats.h) and the capture tool
// fill it in at the end.
#pragma once

#include <cstdint>
#include <string>

#include "demo/film_counts.h"
#include "report/frame_stats.h"

namespace report {

// The start-up steps that are timed, in the order the program runs them.
enum class Phase {
  kWindow,
  kPrograms,
  kPictures,
  kScreenQuad,
  kMusic,
  kMesh,
  kFullscreen,
  kFilmFramebuffer,
  kCount
};
constexpr int kPhaseCount = static_cast<int>(Phase::kCount);
const char* phase_name(Phase phase);  // readable: "window and context"
const char* phase_key(Phase phase);   // JSON: "window"

struct RunReport {
  bool has_startup = true;  // false: the capture tool, which has no start-up here
  int phases_reached = 0;   // phases[0 .. phases_reached) were timed, in order
  double phase_seconds[kPhaseCount] = {};
  double to_first_frame = -1.0;  // process start to the first presented frame; < 0: none
  double sound_wait = -1.0;      // the first frame's wait for the device's first request; < 0: none
  bool sound_answered = false;   // the request came within the wait (false: none, or no device)
  bool frames_are_render_times = false;  // the capture tool's simulated clock
  FrameSummary frames;
  uint64_t passes = 0;  // display frames run
  demo::FilmCounts film;
  bool has_music = true;            // false: no music report (capture tool)
  uint32_t rate = 0;                // 0: no device played
  uint64_t played_frames = 0;       // at the end
  double first_frame_clock = -1.0;  // frame clock at the first present; < 0: none
  uint64_t first_frame_played = 0;  // device frames played by then
  uint64_t stale_halves = 0;
  uint64_t halves_caught_up = 0;
  uint64_t frames_skipped = 0;  // device position moved forward to stay in step
  uint64_t underruns = 0;       // times the device was found behind the clock
  bool first_callback_known = false;
  int64_t first_callback_lag = 0;  // frames due when the device first asked for sound
  uint64_t devices_lost = 0;       // the sound server went away mid-show
  uint64_t devices_reopened = 0;   // and a device was opened again
  double clock_seconds = 0.0;      // the frame clock when the report was made
  uint32_t lead_in = 0;            // frames of silence the device plays before the music
  uint32_t screen_width = 0, screen_height = 0;
  std::string renderer;  // GL renderer string; empty when no context came up
  int exit_code = 0;
};

// Frame clock x rate minus the music heard so far (played - lead-in): the music's lag
// behind the picture in frames; the lead-in alone when both run at one pace.
double music_offset_frames(double clock_seconds, uint64_t played, uint32_t rate, uint32_t lead_in);

std::string format_text(const RunReport& r);
std::string format_json(const RunReport& r);  // one line, no trailing newline

}  // namespace report
